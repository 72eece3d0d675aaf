// The About box, opened for real and driven from a timer inside its loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "resource.h"
#include "tests/support/fake_platform.h"
#include "tests/support/program_state.h"
#include "tests/support/screen.h"
#include "tests/support/ui.h"
#include "ui/about.h"

namespace {

// Aware of the display's scale, as the program is by its manifest: before any
// window.
const BOOL DpiAware = SetProcessDPIAware();

HWND Owner;

HWND OpenAbout()
{
    return FindThreadDialog("About");
}

// Opens the dialog; `check` runs inside the dialog's own modal loop once it
// is up, and must close it. Results are read from the dialog procedure
// itself, since SendMessage to a dialog answers with DWLP_MSGRESULT.
void ShowAndVisit(std::function<void(HWND)> check)
{
    ModalVisit visit("visiting the About box", [&] {
        HWND dialog = OpenAbout();
        if (dialog)
            check(dialog);
        return dialog != nullptr;
    });
    ShowAbout(Owner);
    EXPECT_TRUE(visit.Done()) << "the About box never showed";
}

void Close(HWND dialog)
{
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

class AboutTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        Owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(Owner);
        ProgramTest::TearDown();
    }
};

std::string Text(HWND dialog, int id)
{
    char text[256] = "";
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

std::string ClassOf(HWND window)
{
    char name[32] = "";
    GetClassNameA(window, name, sizeof(name));
    return name;
}

struct Seen {
    bool open;
    std::string version, notice, author, link;
    LONG linkStyle, pictureStyle, pictureExStyle, dialogStyle, dialogExStyle;
    std::string pictureClass;
    bool pictureHasBitmap;
    HWND focus;
};

TEST_F(AboutTest, OpensWithItsTextsPictureAndOKFocused)
{
    Seen opened = {};
    ShowAndVisit([&](HWND dialog) {
        opened.open = AboutOpen == 1;
        opened.version = Text(dialog, IDC_ABOUT_VERSION);
        opened.notice = Text(dialog, IDC_ABOUT_NOTICE);
        opened.author = Text(dialog, IDC_ABOUT_AUTHOR);
        opened.link = Text(dialog, IDC_ABOUT_LINK);
        opened.linkStyle = GetWindowLongA(GetDlgItem(dialog, IDC_ABOUT_LINK), GWL_STYLE);
        HWND picture = GetDlgItem(dialog, IDC_ABOUT_PICTURE);
        opened.pictureClass = ClassOf(picture);
        opened.pictureStyle = GetWindowLongA(picture, GWL_STYLE);
        opened.pictureExStyle = GetWindowLongA(picture, GWL_EXSTYLE);
        opened.pictureHasBitmap = SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
        opened.dialogStyle = GetWindowLongA(dialog, GWL_STYLE);
        opened.dialogExStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
        opened.focus = GetFocus() == GetDlgItem(dialog, IDOK) ? GetFocus() : nullptr;
        Close(dialog);
    });
    EXPECT_TRUE(opened.open);
    EXPECT_EQ(0, AboutOpen);
    EXPECT_EQ("Tarnwick 1.5", opened.version);
    EXPECT_NE("Text2", opened.notice);
    EXPECT_NE(std::string::npos, opened.notice.find("2026"));
    EXPECT_NE("Text3", opened.author);
    EXPECT_EQ(LinkAddress, opened.link);
    EXPECT_EQ(SS_OWNERDRAW, opened.linkStyle & SS_TYPEMASK);
    EXPECT_FALSE(opened.linkStyle & SS_NOTIFY);
    EXPECT_EQ("Static", opened.pictureClass);
    EXPECT_EQ(SS_BITMAP, opened.pictureStyle & SS_TYPEMASK);
    EXPECT_TRUE(opened.pictureExStyle & WS_EX_TRANSPARENT);
    EXPECT_TRUE(opened.pictureHasBitmap);
    EXPECT_TRUE(opened.dialogStyle & WS_CAPTION);
    EXPECT_TRUE(opened.dialogExStyle & WS_EX_TOOLWINDOW);
    EXPECT_NE(nullptr, opened.focus);
    EXPECT_EQ(nullptr, LinkFont); // deleted once the dialog ended
}

TEST_F(AboutTest, AskingAgainWhileOpenDoesNothing)
{
    DWORD took = INFINITE;
    ShowAndVisit([&](HWND dialog) {
        // A second dialog would hold this call in its own loop until the
        // visit's deadline closed it.
        const DWORD start = GetTickCount();
        ShowAbout(Owner);
        took = GetTickCount() - start;
        Close(dialog);
    });
    EXPECT_LT(took, 1000u) << "asking again opened a second About box";
    EXPECT_EQ(0, AboutOpen);
}

TEST_F(AboutTest, EscapeAndOtherCommandsKeepItOpen)
{
    bool stillOpen = false;
    std::unique_ptr<ModalVisit> later;
    ShowAndVisit([&](HWND dialog) {
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(TRUE, AboutDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_SETFOCUS), 0));
        // The Escape key itself, through the dialog manager.
        PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        // Lets the dialog's loop run for a moment, notes whether it is still
        // open, then closes it.
        later.reset(new ModalVisit(
            "closing the About box",
            [&] {
                HWND open = OpenAbout();
                stillOpen = open && AboutOpen == 1;
                if (open)
                    Close(open);
                return true;
            },
            INFINITE, 200));
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(0, AboutOpen);
}

TEST_F(AboutTest, OKEnterTheCloseButtonAndAltF4CloseIt)
{
    void (*closers[])(HWND) = {
        [](HWND dialog) { PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); },
        [](HWND dialog) { PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_RETURN, 0); },
        [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
        [](HWND dialog) { PostMessageA(dialog, WM_SYSKEYDOWN, VK_F4, 0x20000000); },
    };
    for (auto closer : closers) {
        ShowAndVisit(closer);
        EXPECT_EQ(0, AboutOpen);
        EXPECT_EQ(nullptr, OpenAbout());
    }
}

TEST_F(AboutTest, OnlyAClickOnTheLinkTextOpensThePage)
{
    RECT hotSpotSeen, linkRect;
    ShowAndVisit([&](HWND dialog) {
        hotSpotSeen = LinkHotSpot;
        GetWindowRect(LinkControl, &linkRect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&linkRect), 2);
        auto click = [dialog](LONG x, LONG y) {
            return AboutDialogProc(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        };
        const RECT& spot = LinkHotSpot;
        EXPECT_EQ(FALSE, click(spot.right, spot.top));     // right edge: outside
        EXPECT_EQ(FALSE, click(spot.right + 5, spot.top)); // right of the text
        EXPECT_EQ(FALSE, click(spot.left - 1, spot.top));
        EXPECT_EQ(FALSE, click(spot.left, spot.bottom));
        EXPECT_TRUE(ShellCalls.empty());
        EXPECT_EQ(TRUE, click(spot.left, spot.top)); // left and top belong to it
        EXPECT_EQ(TRUE, click(spot.right - 1, spot.bottom - 1));
        Close(dialog);
    });
    // The hot spot is the control's height and the text's width.
    EXPECT_EQ(linkRect.left, hotSpotSeen.left);
    EXPECT_EQ(linkRect.top, hotSpotSeen.top);
    EXPECT_EQ(linkRect.bottom, hotSpotSeen.bottom);
    EXPECT_GT(hotSpotSeen.right, hotSpotSeen.left);
    EXPECT_LT(hotSpotSeen.right, linkRect.right);
    ASSERT_EQ(2u, ShellCalls.size());
    EXPECT_EQ("", ShellCalls[0].verb);
    EXPECT_EQ(LinkAddress, ShellCalls[0].file);
    EXPECT_FALSE(ShellCalls[0].nullParameters);
    EXPECT_EQ("", ShellCalls[0].parameters);
    EXPECT_FALSE(ShellCalls[0].nullDirectory);
    EXPECT_EQ(SW_SHOWNORMAL, ShellCalls[0].show);
}

TEST_F(AboutTest, ThePointingHandShowsOnlyOverTheLinkText)
{
    struct {
        INT_PTR overLink, besideLink;
        HCURSOR cursorOverLink;
    } cursor = {};
    ShowAndVisit([&](HWND dialog) {
        auto at = [dialog](LONG x, LONG y) {
            POINT point = {x, y};
            ClientToScreen(dialog, &point);
            SetCursorPos(point.x, point.y);
            return AboutDialogProc(dialog, WM_SETCURSOR, WPARAM(dialog), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        };
        cursor.overLink = at(LinkHotSpot.left + 2, LinkHotSpot.top + 2);
        cursor.cursorOverLink = GetCursor();
        cursor.besideLink = at(LinkHotSpot.right + 2, LinkHotSpot.top + 2);
        Close(dialog);
    });
    EXPECT_EQ(TRUE, cursor.overLink);
    EXPECT_EQ(LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_LINK_CURSOR)),
              cursor.cursorOverLink);
    EXPECT_EQ(FALSE, cursor.besideLink);
}

// At the display's scale the box looks as at 100 %, scaled: the portrait
// grows with the dialog and stays clear of the texts, no text is cut, and the
// link, drawn in dark blue in the dialog's font, lies in its hot spot.
// tests/at_dpi.sh runs it at 144 DPI.
TEST_F(AboutTest, LooksAlikeAtEveryDisplayScale)
{
    const int dpi = ScreenDpi();
    ASSERT_EQ(ExpectedDpi(), dpi) << "this process does not see the display's scale";
    BITMAP drawn = {};
    const HGDIOBJ original = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_ABOUT));
    GetObjectA(original, sizeof(drawn), &drawn);
    DeleteObject(original);
    ShowAndVisit([&](HWND dialog) {
        // The portrait fills its box of dialog units as far as its shape
        // lets it, as drawn where that is its own size; the link is in the
        // dialog's font, underlined.
        BITMAP shown = {};
        GetObjectA(HGDIOBJ(SendDlgItemMessageA(dialog, IDC_ABOUT_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0)),
                   sizeof(shown), &shown);
        RECT box = {0, 0, ABOUT_PICTURE_WIDTH, ABOUT_PICTURE_HEIGHT};
        MapDialogRect(dialog, &box);
        EXPECT_TRUE(shown.bmWidth <= box.right + 1 && shown.bmHeight <= box.bottom + 1);
        EXPECT_TRUE(shown.bmWidth >= box.right - 1 || shown.bmHeight >= box.bottom - 1);
        EXPECT_NEAR(double(drawn.bmWidth) / drawn.bmHeight, double(shown.bmWidth) / shown.bmHeight, 0.01);
        EXPECT_TRUE(dpi != 96 || (shown.bmWidth == drawn.bmWidth && shown.bmHeight == drawn.bmHeight));
        LOGFONTA link = {}, text = {};
        GetObjectA(LinkFont, sizeof(link), &link);
        GetObjectA(HGDIOBJ(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof(text), &text);
        EXPECT_TRUE(link.lfUnderline && text.lfHeight == link.lfHeight &&
                    !lstrcmpA(text.lfFaceName, link.lfFaceName));
        RECT picture, texts;
        GetWindowRect(GetDlgItem(dialog, IDC_ABOUT_PICTURE), &picture);
        GetWindowRect(GetDlgItem(dialog, IDC_ABOUT_VERSION), &texts);
        EXPECT_LE(picture.right, texts.left) << "the portrait reaches the texts";

        for (int id : {IDC_ABOUT_VERSION, IDC_ABOUT_NOTICE, IDC_ABOUT_AUTHOR, IDC_ABOUT_LINK}) {
            HWND control = GetDlgItem(dialog, id);
            const std::string text = Text(dialog, id);
            HDC dc = GetDC(control);
            const HGDIOBJ old = SelectObject(
                dc, id == IDC_ABOUT_LINK ? LinkFont : HGDIOBJ(SendMessageA(control, WM_GETFONT, 0, 0)));
            SIZE extent = {};
            GetTextExtentPoint32A(dc, text.c_str(), int(text.size()), &extent);
            SelectObject(dc, old);
            ReleaseDC(control, dc);
            RECT box;
            GetClientRect(control, &box);
            EXPECT_LE(extent.cx, box.right) << text << " is cut";
            EXPECT_LE(extent.cy, box.bottom) << text << " is cut";
        }

        // The link's ink, in the dialog's coordinates.
        UpdateWindow(dialog);
        RECT ink = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN}, area;
        int inked = 0;
        GetWindowRect(LinkControl, &area);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
        HDC dc = GetDC(dialog);
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (GetPixel(dc, x, y) == RGB(0, 0, 192)) {
                    ++inked;
                    ink = {std::min(ink.left, LONG(x)), std::min(ink.top, LONG(y)),
                           std::max(ink.right, LONG(x + 1)), std::max(ink.bottom, LONG(y + 1))};
                }
        ReleaseDC(dialog, dc);
        EXPECT_GT(inked, 20);
        const RECT& spot = LinkHotSpot;
        EXPECT_TRUE(ink.left >= spot.left && ink.top >= spot.top && ink.right <= spot.right &&
                    ink.bottom <= spot.bottom && ink.right - ink.left >= (spot.right - spot.left) * 9 / 10)
            << "ink " << ink.left << "," << ink.top << "-" << ink.right << "," << ink.bottom << " spot "
            << spot.left << "," << spot.top << "-" << spot.right << "," << spot.bottom;
        SaveWindowPicture(dialog, ("about-" + std::to_string(dpi)).c_str());
        Close(dialog);
    });
}

// Each opening, and each move to a display of another scale, makes the link
// font and the portrait anew and deletes the ones before.
TEST_F(AboutTest, EachOpeningAndEachNewScaleMakeTheFontAndPortraitAnew)
{
    std::vector<HGDIOBJ> made;
    for (int i = 0; i < 25; ++i) {
        ShowAndVisit([&](HWND dialog) {
            const auto picture = [dialog] {
                return HGDIOBJ(SendDlgItemMessageA(dialog, IDC_ABOUT_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
            };
            made.insert(made.end(), {LinkFont, picture()});
            RECT frame;
            GetWindowRect(dialog, &frame);
            SendMessageA(dialog, WM_DPICHANGED, MAKEWPARAM(ScreenDpi(), ScreenDpi()), LPARAM(&frame));
            MSG message;
            while (PeekMessageA(&message, dialog, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
            EXPECT_NE(made[made.size() - 2], LinkFont) << "not laid out anew";
            EXPECT_NE(made.back(), picture()) << "not laid out anew";
            made.insert(made.end(), {LinkFont, picture()});
            Close(dialog);
        });
    }
    ASSERT_EQ(100u, made.size());
    for (HGDIOBJ object : made) {
        EXPECT_NE(nullptr, object);
        EXPECT_EQ(0u, GetObjectType(object)); // deleted
    }
}

} // namespace
