// The About box, opened for real and driven from a timer inside its loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "resource.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_support.h"
#include "ui/about.h"

namespace {

HWND Owner;

// One visit to the open dialog: the test's check runs inside the dialog's
// own modal loop and closes it. Results are read from the dialog procedure
// itself, since SendMessage to a dialog answers with DWLP_MSGRESULT.
void (*Check)(HWND dialog);
int Visits;

HWND OpenAbout()
{
    return FindThreadDialog("About");
}

void CALLBACK VisitAbout(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = OpenAbout();
    if (!dialog)
        return;
    KillTimer(nullptr, id);
    ++Visits;
    Check(dialog);
}

// Opens the dialog; `check` runs once it is up and must close it.
void ShowAndVisit(void (*check)(HWND))
{
    Check = check;
    SetTimer(nullptr, 0, 20, VisitAbout);
    ShowAbout(Owner);
}

void Close(HWND dialog)
{
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

// Lets the dialog's loop run for a moment, notes whether it is still open,
// then closes it.
bool StillOpen;
void CALLBACK CloseLater(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    HWND dialog = OpenAbout();
    StillOpen = dialog && AboutOpen == 1;
    if (dialog)
        Close(dialog);
}

class AboutTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetProgramState();
        Owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        Visits = 0;
    }
    void TearDown() override
    {
        DestroyWindow(Owner);
        ResetProgramState();
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
} Opened;

TEST_F(AboutTest, OpensWithItsTextsPictureAndOKFocused)
{
    ShowAndVisit([](HWND dialog) {
        Opened.open = AboutOpen == 1;
        Opened.version = Text(dialog, IDC_ABOUT_VERSION);
        Opened.notice = Text(dialog, IDC_ABOUT_NOTICE);
        Opened.author = Text(dialog, IDC_ABOUT_AUTHOR);
        Opened.link = Text(dialog, IDC_ABOUT_LINK);
        Opened.linkStyle = GetWindowLongA(GetDlgItem(dialog, IDC_ABOUT_LINK), GWL_STYLE);
        HWND picture = GetDlgItem(dialog, IDC_ABOUT_PICTURE);
        Opened.pictureClass = ClassOf(picture);
        Opened.pictureStyle = GetWindowLongA(picture, GWL_STYLE);
        Opened.pictureExStyle = GetWindowLongA(picture, GWL_EXSTYLE);
        Opened.pictureHasBitmap = SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
        Opened.dialogStyle = GetWindowLongA(dialog, GWL_STYLE);
        Opened.dialogExStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
        Opened.focus = GetFocus() == GetDlgItem(dialog, IDOK) ? GetFocus() : nullptr;
        Close(dialog);
    });
    EXPECT_EQ(1, Visits);
    EXPECT_TRUE(Opened.open);
    EXPECT_EQ(0, AboutOpen);
    EXPECT_EQ("Tarnwick 1.5", Opened.version);
    EXPECT_NE("Text2", Opened.notice);
    EXPECT_NE(std::string::npos, Opened.notice.find("2026"));
    EXPECT_NE("Text3", Opened.author);
    EXPECT_EQ(LinkAddress, Opened.link);
    EXPECT_EQ(SS_OWNERDRAW, Opened.linkStyle & SS_TYPEMASK);
    EXPECT_FALSE(Opened.linkStyle & SS_NOTIFY);
    EXPECT_EQ("Static", Opened.pictureClass);
    EXPECT_EQ(SS_BITMAP, Opened.pictureStyle & SS_TYPEMASK);
    EXPECT_TRUE(Opened.pictureExStyle & WS_EX_TRANSPARENT);
    EXPECT_TRUE(Opened.pictureHasBitmap);
    EXPECT_TRUE(Opened.dialogStyle & WS_CAPTION);
    EXPECT_TRUE(Opened.dialogExStyle & WS_EX_TOOLWINDOW);
    EXPECT_NE(nullptr, Opened.focus);
    EXPECT_EQ(nullptr, LinkFont); // deleted once the dialog ended
}

TEST_F(AboutTest, AskingAgainWhileOpenDoesNothing)
{
    ShowAndVisit([](HWND dialog) {
        ShowAbout(Owner); // returns at once: no second dialog
        Close(dialog);
    });
    EXPECT_EQ(1, Visits);
    EXPECT_EQ(0, AboutOpen);
}

TEST_F(AboutTest, EscapeAndOtherCommandsKeepItOpen)
{
    ShowAndVisit([](HWND dialog) {
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(TRUE, AboutDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_SETFOCUS), 0));
        // The Escape key itself, through the dialog manager.
        PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        StillOpen = false;
        SetTimer(nullptr, 0, 200, CloseLater);
    });
    EXPECT_TRUE(StillOpen);
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
    EXPECT_EQ(4, Visits);
}

RECT HotSpotSeen, LinkRect;

TEST_F(AboutTest, OnlyAClickOnTheLinkTextOpensThePage)
{
    ShowAndVisit([](HWND dialog) {
        HotSpotSeen = LinkHotSpot;
        GetWindowRect(LinkControl, &LinkRect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&LinkRect), 2);
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
    EXPECT_EQ(LinkRect.left, HotSpotSeen.left);
    EXPECT_EQ(LinkRect.top, HotSpotSeen.top);
    EXPECT_EQ(LinkRect.bottom, HotSpotSeen.bottom);
    EXPECT_GT(HotSpotSeen.right, HotSpotSeen.left);
    EXPECT_LT(HotSpotSeen.right, LinkRect.right);
    ASSERT_EQ(2u, ShellCalls.size());
    EXPECT_EQ("", ShellCalls[0].verb);
    EXPECT_EQ(LinkAddress, ShellCalls[0].file);
    EXPECT_FALSE(ShellCalls[0].nullParameters);
    EXPECT_EQ("", ShellCalls[0].parameters);
    EXPECT_FALSE(ShellCalls[0].nullDirectory);
    EXPECT_EQ(SW_SHOWNORMAL, ShellCalls[0].show);
}

struct CursorSeen {
    INT_PTR overLink, besideLink;
    HCURSOR cursorOverLink;
} Cursor;

TEST_F(AboutTest, ThePointingHandShowsOnlyOverTheLinkText)
{
    ShowAndVisit([](HWND dialog) {
        auto at = [dialog](LONG x, LONG y) {
            POINT point = {x, y};
            ClientToScreen(dialog, &point);
            SetCursorPos(point.x, point.y);
            return AboutDialogProc(dialog, WM_SETCURSOR, WPARAM(dialog), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        };
        Cursor.overLink = at(LinkHotSpot.left + 2, LinkHotSpot.top + 2);
        Cursor.cursorOverLink = GetCursor();
        Cursor.besideLink = at(LinkHotSpot.right + 2, LinkHotSpot.top + 2);
        Close(dialog);
    });
    EXPECT_EQ(TRUE, Cursor.overLink);
    EXPECT_EQ(LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_LINK_CURSOR)),
              Cursor.cursorOverLink);
    EXPECT_EQ(FALSE, Cursor.besideLink);
}

int LinkPixels;

TEST_F(AboutTest, TheLinkIsDrawnInDarkBlue)
{
    ShowAndVisit([](HWND dialog) {
        UpdateWindow(dialog);
        RECT area;
        GetClientRect(LinkControl, &area);
        HDC dc = GetDC(LinkControl);
        LinkPixels = 0;
        for (int y = 0; y < area.bottom; ++y)
            for (int x = 0; x < area.right; ++x)
                LinkPixels += GetPixel(dc, x, y) == RGB(0, 0, 192);
        ReleaseDC(LinkControl, dc);
        Close(dialog);
    });
    EXPECT_GT(LinkPixels, 20);
}

std::vector<HFONT> Fonts;

TEST_F(AboutTest, EachOpeningMakesOneFontAndDeletesIt)
{
    Fonts.clear();
    for (int i = 0; i < 25; ++i) {
        ShowAndVisit([](HWND dialog) {
            Fonts.push_back(LinkFont);
            Close(dialog);
        });
    }
    ASSERT_EQ(25u, Fonts.size());
    for (HFONT font : Fonts) {
        EXPECT_NE(nullptr, font);
        EXPECT_EQ(0u, GetObjectType(font)); // deleted
    }
    LOGFONTA made = {};
    HFONT font = CreateLinkFont(Owner);
    GetObjectA(font, sizeof(made), &made);
    EXPECT_TRUE(made.lfUnderline);
    EXPECT_GT(made.lfHeight, 0);
    EXPECT_STREQ("MS Sans Serif", made.lfFaceName);
    DeleteObject(font);
}

} // namespace
