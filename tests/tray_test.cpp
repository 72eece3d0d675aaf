// The tray icon record: what is added, what is modified, what is skipped.
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "settings/settings.h"
#include "tests/support/screen.h"
#include "tests/support/program_state.h"
#include "watch/tray.h"

namespace {

class TrayTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        lstrcpyA(WatchedFolder, "C:\\Watched");
    }
};

// The first NOTIFYICONDATAA layout, up to the end of its 64-byte tip, which
// every shell takes.
constexpr DWORD FirstLayoutSize = sizeof(void*) == 4 ? 88 : 104;

TEST_F(TrayTest, TheFirstStateAddsTheIconAndLaterOnesModifyIt)
{
    EXPECT_EQ(0u, TrayIconData.cbSize);
    SetTrayState(Empty);
    EXPECT_EQ(FirstLayoutSize, TrayIconData.cbSize);
    EXPECT_EQ(UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP), TrayIconData.uFlags);
    EXPECT_EQ(MainWindow, TrayIconData.hWnd);
    EXPECT_EQ(110u, TrayIconData.uID);
    EXPECT_EQ(1025u, TrayIconData.uCallbackMessage);
    EXPECT_EQ(TrayIcons[Empty], TrayIconData.hIcon);
    EXPECT_STREQ("C:\\Watched", TrayIconData.szTip);
    // The shell knows the icon now: modifying it succeeds.
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &TrayIconData));

    SetTrayState(NotEmpty);
    EXPECT_EQ(UINT(NIF_ICON | NIF_TIP), TrayIconData.uFlags);
    EXPECT_EQ(TrayIcons[NotEmpty], TrayIconData.hIcon);
    EXPECT_EQ(NotEmpty, CurrentTrayState);
}

TEST_F(TrayTest, TheSameStateAgainChangesNothing)
{
    SetTrayState(Empty);
    lstrcpyA(WatchedFolder, "C:\\Elsewhere");
    SetTrayState(Empty);
    EXPECT_STREQ("C:\\Watched", TrayIconData.szTip);
    SetTrayState(Unavailable);
    EXPECT_STREQ("C:\\Elsewhere", TrayIconData.szTip);
}

TEST_F(TrayTest, TheTipShowsAtMost63Characters)
{
    const std::string exact(63, 'e');
    lstrcpyA(WatchedFolder, exact.c_str());
    SetTrayState(Empty);
    EXPECT_EQ(exact, TrayIconData.szTip);
    const std::string longer = std::string(63, 'l') + "TAIL";
    lstrcpyA(WatchedFolder, longer.c_str());
    SetTrayState(NotEmpty);
    EXPECT_EQ(std::string(63, 'l'), TrayIconData.szTip);
}

TEST_F(TrayTest, AStateWithoutAnIconCountsAsShownButChangesNothing)
{
    TrayIcons[Empty] = nullptr;
    SetTrayState(Empty);
    EXPECT_EQ(Empty, CurrentTrayState);
    EXPECT_EQ(0u, TrayIconData.cbSize); // not added yet
    SetTrayState(NotEmpty);
    EXPECT_EQ(FirstLayoutSize, TrayIconData.cbSize);
    lstrcpyA(WatchedFolder, "C:\\Elsewhere");
    SetTrayState(Empty);
    EXPECT_EQ(Empty, CurrentTrayState);
    EXPECT_STREQ("C:\\Watched", TrayIconData.szTip);
}

TEST_F(TrayTest, RestoringAddsTheIconAgainAsItStands)
{
    RestoreTrayIcon(); // nothing to restore before the first add
    EXPECT_EQ(0u, TrayIconData.cbSize);
    SetTrayState(NotEmpty);
    // The shell loses the icon, as when it restarts.
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &TrayIconData));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &TrayIconData));
    RestoreTrayIcon();
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &TrayIconData));
    EXPECT_EQ(TrayIcons[NotEmpty], TrayIconData.hIcon);
}

TEST_F(TrayTest, EachStateShowsItsOwnPictureInTheTray)
{
    const struct {
        TrayState state;
        TrayPicture picture;
        const char* name;
    } states[] = {
        {Checking, TrayPicture::Checking, "tray-checking"},
        {Empty, TrayPicture::Empty, "tray-empty"},
        {NotEmpty, TrayPicture::NotEmpty, "tray-not-empty"},
        {Unavailable, TrayPicture::Unavailable, "tray-unavailable"},
        {Empty, TrayPicture::Empty, "tray-empty-again"},
    };
    for (const auto& s : states) {
        SetTrayState(s.state);
        EXPECT_EQ(Describe(s.picture), Describe(WaitForTrayPicture(s.picture, 2000))) << s.name;
        SaveTrayPicture(s.name);
    }
    Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
    EXPECT_EQ(Describe(TrayPicture::None), Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
    TrayIconData.cbSize = 0;
}

} // namespace
