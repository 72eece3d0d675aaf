// The tray icon record: what is added, what is modified, what is skipped.
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "settings/ansi_path.h"
#include "settings/settings.h"
#include "tests/support/fake_platform.h"
#include "tests/support/program_state.h"
#include "tests/support/screen.h"
#include "tests/support/ui.h"
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

// Half a character would show as another one, or none: the tip is cut
// between two characters of the program's code page.
TEST(TipText, IsCutBetweenTwoCharacters)
{
    const std::string start(62, 'a');
    const struct {
        UINT codePage;
        const char* end;
        size_t kept;
    } cases[] = {
        {1252, "\xe9t", 63}, {932, "\x97\x5C", 62}, {CP_UTF8, "\xc3\xa9", 62}, {CP_UTF8, "\xe4\xba\x88", 62}};
    for (const auto& c : cases) {
        char tip[64];
        CopyWholeCharacters(tip, (start + c.end).c_str(), sizeof(tip), c.codePage);
        EXPECT_EQ((start + c.end).substr(0, c.kept), tip) << "code page " << c.codePage;
    }
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

// The shell as Windows may show it: not ready for the first `failures` adds,
// then the real one.
std::function<BOOL(DWORD, NOTIFYICONDATAA*)> NotReadyFor(int failures)
{
    return [failures](DWORD message, NOTIFYICONDATAA* data) mutable {
        if (message == NIM_ADD && failures > 0) {
            --failures;
            return FALSE;
        }
        return Shell_NotifyIconA(message, data);
    };
}

std::vector<DWORD> Messages()
{
    std::vector<DWORD> messages;
    for (const TrayCall& call : TrayCalls)
        messages.push_back(call.message);
    return messages;
}

// True while the retry timer is armed; kills it.
bool RetryArmed()
{
    return KillTimer(MainWindow, TRAY_RETRY_TIMER_ID);
}

bool IconShown()
{
    return TrayIconShown;
}

TEST_F(TrayTest, AShellThatIsNotReadyGetsTheIconLaterShowingTheStateOfThatMoment)
{
    TrayShell = NotReadyFor(2);
    SetTrayState(Empty);
    EXPECT_FALSE(TrayIconShown);
    // The folder fills and moves meanwhile; only the record changes.
    lstrcpyA(WatchedFolder, "C:\\Moved");
    SetTrayState(NotEmpty);
    EXPECT_EQ(1u, TrayCalls.size());

    PumpMessages(6000, IconShown);
    ASSERT_TRUE(TrayIconShown) << "the icon never came";
    // Add (fails); a second later modify, add (fails); two seconds after that
    // modify, add, which shows the current picture and tip.
    const std::vector<DWORD> expected = {NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_MODIFY, NIM_ADD};
    ASSERT_EQ(expected, Messages());
    EXPECT_EQ(TrayIcons[NotEmpty], TrayCalls.back().icon);
    EXPECT_EQ("C:\\Moved", TrayCalls.back().tip);
    const DWORD first = TrayCalls[1].at - TrayCalls[0].at, second = TrayCalls[3].at - TrayCalls[1].at;
    EXPECT_GE(first, 900u);
    EXPECT_LE(first, 1500u);
    EXPECT_GE(second, 1800u);
    EXPECT_LE(second, 2600u);
    EXPECT_FALSE(RetryArmed());
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &TrayIconData)); // the shell holds it
}

TEST_F(TrayTest, RetriesBackOffToHalfAMinuteAndStopOnceTheIconIsShown)
{
    TrayShell = [](DWORD, NOTIFYICONDATAA*) { return FALSE; };
    SetTrayState(Empty);
    std::vector<UINT> delays = {TrayRetryDelay};
    for (int i = 0; i < 6; ++i) {
        RetryTrayIcon();
        delays.push_back(TrayRetryDelay);
    }
    EXPECT_EQ((std::vector<UINT>{1000, 2000, 4000, 8000, 16000, 30000, 30000}), delays);
    ASSERT_TRUE(RetryArmed());
    SetTimer(MainWindow, TRAY_RETRY_TIMER_ID, TrayRetryDelay, nullptr);

    // The shell announces itself: the icon is added and the timer goes.
    TrayShell = nullptr;
    RetryTrayIcon();
    EXPECT_TRUE(TrayIconShown);
    EXPECT_EQ(0u, TrayRetryDelay);
    EXPECT_FALSE(RetryArmed());
}

TEST_F(TrayTest, ATryAsksForAModifyFirstAndAddsOnlyAnIconTheShellLacks)
{
    // Windows reports a time-out for an add that did go through: the try
    // modifies that icon instead of adding a second one.
    TrayShell = [](DWORD message, NOTIFYICONDATAA* data) {
        const BOOL done = Shell_NotifyIconA(message, data);
        return message == NIM_ADD ? FALSE : done;
    };
    SetTrayState(Empty);
    TrayShell = nullptr;
    RetryTrayIcon();
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_MODIFY}), Messages());
    EXPECT_TRUE(TrayIconShown);
    EXPECT_FALSE(RetryArmed());

    // The shell loses the icon without a word: the next change finds out,
    // and the try after it adds the icon again.
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &TrayIconData));
    TrayCalls.clear();
    SetTrayState(NotEmpty);
    EXPECT_FALSE(TrayIconShown);
    EXPECT_EQ(1000u, TrayRetryDelay);
    RetryTrayIcon();
    EXPECT_EQ((std::vector<DWORD>{NIM_MODIFY, NIM_MODIFY, NIM_ADD}), Messages());
    EXPECT_TRUE(TrayIconShown);
    EXPECT_FALSE(RetryArmed());
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
