// The resources compiled into the module: strings, pictures and dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "resource.h"

namespace {

HINSTANCE Module()
{
    return GetModuleHandleA(nullptr);
}

TEST(Resources, StringTableHoldsTheNineteenTexts)
{
    const struct {
        UINT id;
        const char* text;
    } strings[] = {
        {104, "&About..."},
        {105, "E&xit"},
        {106, "&Open now!"},
        {107, "&Buzzer"},
        {108, "&Select folder..."},
        {109, "&Permanent"},
        {110, "&Hidden files"},
        {111, "Sub&folders"},
        {115, "Do you wish to uninstall"},
        {116, "Confirmation"},
        {150, "&Cancel"},
        {200, "&Quiet"},
        {201, "&Speaker"},
        {202, "&Wave"},
        {210, "&Disabled"},
        {211, "&Short"},
        {212, "&Normal"},
        {213, "&Long"},
        {300, "&Rescan delay"},
    };
    int found = 0;
    for (UINT id = 0; id < 1024; ++id) {
        char text[256];
        if (LoadStringA(Module(), id, text, sizeof(text)) > 0)
            ++found;
    }
    EXPECT_EQ(19, found);
    for (const auto& s : strings) {
        char text[256] = "";
        LoadStringA(Module(), s.id, text, sizeof(text));
        EXPECT_STREQ(s.text, text) << s.id;
    }
}

TEST(Resources, EachStateIconHasA32And16PixelImageIn16Colours)
{
    for (int id = IDI_CHECKING; id <= IDI_UNAVAILABLE; ++id) {
        SCOPED_TRACE(id);
        HRSRC group = FindResourceExA(Module(), RT_GROUP_ICON, MAKEINTRESOURCEA(id),
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
        ASSERT_NE(nullptr, group);
        // GRPICONDIR: reserved, type, count, then 14-byte entries.
        const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(Module(), group)));
        const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
        ASSERT_EQ(2, count);
        bool has32 = false, has16 = false;
        for (int i = 0; i < count; ++i) {
            const BYTE* entry = dir + 6 + 14 * i;
            const WORD bits = *reinterpret_cast<const WORD*>(entry + 6);
            EXPECT_EQ(4, bits);
            EXPECT_EQ(16, entry[2]); // colour count
            has32 |= entry[0] == 32 && entry[1] == 32;
            has16 |= entry[0] == 16 && entry[1] == 16;
        }
        EXPECT_TRUE(has32);
        EXPECT_TRUE(has16);
        for (int size : {16, 32}) {
            HICON icon =
                static_cast<HICON>(LoadImageA(Module(), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
            ASSERT_NE(nullptr, icon);
            ICONINFO info;
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP mask;
            GetObjectA(info.hbmMask, sizeof(mask), &mask);
            EXPECT_EQ(size, mask.bmWidth);
            DeleteObject(info.hbmMask);
            DeleteObject(info.hbmColor);
            DestroyIcon(icon);
        }
    }
}

TEST(Resources, LinkCursorIsA32PixelHandWithItsHotSpotAtTheFingertip)
{
    HRSRC group = FindResourceExA(Module(), RT_GROUP_CURSOR, MAKEINTRESOURCEA(IDR_LINK_CURSOR),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(nullptr, group);
    HCURSOR cursor = LoadCursorA(Module(), MAKEINTRESOURCEA(IDR_LINK_CURSOR));
    ASSERT_NE(nullptr, cursor);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(6u, info.xHotspot);
    EXPECT_EQ(1u, info.yHotspot);
    BITMAP mask;
    GetObjectA(info.hbmMask, sizeof(mask), &mask);
    EXPECT_EQ(32, mask.bmWidth);
    EXPECT_EQ(nullptr, info.hbmColor); // two colours: AND and XOR masks only
    DeleteObject(info.hbmMask);
}

TEST(Resources, PortraitIs127By145AtOneBitPerPixel)
{
    HRSRC resource = FindResourceExA(Module(), RT_BITMAP, MAKEINTRESOURCEA(IDB_ABOUT),
                                     MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(nullptr, resource);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Module(), resource)));
    EXPECT_EQ(127, header->biWidth);
    EXPECT_EQ(145, header->biHeight);
    EXPECT_EQ(1, header->biBitCount);
}

BOOL CALLBACK NoteResource(HMODULE, LPCSTR, LPSTR, LONG_PTR found)
{
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

TEST(Resources, NoMenuAcceleratorOrVersionResource)
{
    for (LPCSTR type : {RT_MENU, RT_ACCELERATOR, RT_VERSION}) {
        bool any = false;
        EnumResourceNamesA(Module(), type, NoteResource, LONG_PTR(&any));
        EXPECT_FALSE(any);
    }
}

TEST(Resources, AboutDialogTemplateMatchesItsLayout)
{
    HRSRC resource = FindResourceExA(Module(), RT_DIALOG, MAKEINTRESOURCEA(IDD_ABOUT),
                                     MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(nullptr, resource);
    const WORD* words = static_cast<const WORD*>(LockResource(LoadResource(Module(), resource)));
    // DLGTEMPLATEEX: dlgVer 1, signature 0xFFFF, helpID, exStyle, style, cDlgItems, x, y, cx, cy.
    ASSERT_EQ(1, words[0]);
    ASSERT_EQ(0xFFFF, words[1]);
    const DWORD* dwords = reinterpret_cast<const DWORD*>(words + 2);
    EXPECT_EQ(0x81u, dwords[1]);
    EXPECT_EQ(0x90C800C4u, dwords[2]);
    const WORD* rest = reinterpret_cast<const WORD*>(dwords + 3);
    EXPECT_EQ(6, rest[0]); // OK, three texts, the link and the portrait
    const short* rect = reinterpret_cast<const short*>(rest + 1);
    EXPECT_EQ(0, rect[0]);
    EXPECT_EQ(0, rect[1]);
    EXPECT_EQ(283, rect[2]);
    EXPECT_EQ(98, rect[3]);
}

} // namespace
