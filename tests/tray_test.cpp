// The tray icon record: what is added, what is modified, what is skipped.
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "paths/paths.h"
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

// The second NOTIFYICONDATAA layout, with its 128-byte tip, which every
// shell since Windows 2000 takes.
constexpr DWORD SecondLayoutSize = sizeof(void*) == 4 ? 488 : 504;

TEST_F(TrayTest, TheFirstStateAddsTheIconAndLaterOnesModifyIt)
{
    EXPECT_EQ(0u, TrayIconData.cbSize);
    SetTrayState(Empty);
    EXPECT_EQ(SecondLayoutSize, TrayIconData.cbSize);
    EXPECT_EQ(UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP), TrayIconData.uFlags);
    EXPECT_EQ(MainWindow, TrayIconData.hWnd);
    EXPECT_EQ(110u, TrayIconData.uID);
    EXPECT_EQ(1025u, TrayIconData.uCallbackMessage);
    EXPECT_EQ(TrayIcons[Empty], TrayIconData.hIcon);
    EXPECT_STREQ("Tarnwick: C:\\Watched is empty", TrayIconData.szTip);
    // The shell knows the icon now: modifying it succeeds.
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &TrayIconData));

    SetTrayState(NotEmpty);
    EXPECT_EQ(UINT(NIF_ICON | NIF_TIP), TrayIconData.uFlags);
    EXPECT_EQ(TrayIcons[NotEmpty], TrayIconData.hIcon);
    EXPECT_EQ(NotEmpty, CurrentTrayState);
}

TEST_F(TrayTest, TheSameStateOfTheSameFolderChangesNothing)
{
    SetTrayState(Empty);
    TrayCalls.clear();
    SetTrayState(Empty);
    EXPECT_TRUE(TrayCalls.empty());
    lstrcpyA(WatchedFolder, "C:\\Elsewhere");
    SetTrayState(Empty);
    ASSERT_EQ(1u, TrayCalls.size());
    EXPECT_EQ("Tarnwick: C:\\Elsewhere is empty", TrayCalls[0].tip);
}

// The tip names the program, the folder and its state. A folder too long for
// it keeps its root and its own name, shortened in the middle; half a
// character would show as another one, or none, so what is cut is cut
// between two characters of the program's code page.
TEST(TipText, NamesTheProgramTheFolderAndItsState)
{
    const std::string yo = "\xe4\xba\x88", sjisYo = "\x97\x5C"; // 予 in UTF-8 and in code page 932
    auto times = [](int count, const std::string& text) {
        std::string out;
        while (count-- > 0)
            out += text;
        return out;
    };
    const std::string fits = "C:\\" + std::string(105, 'e'); // 108 bytes, all the room
    const struct {
        std::string folder;
        TrayState state;
        UINT codePage;
        std::string tip;
    } cases[] = {
        {"C:\\Scans", Checking, 1252, "Tarnwick: C:\\Scans is being checked"},
        {"C:\\Scans", NotEmpty, 1252, "Tarnwick: C:\\Scans has something in it"},
        {"\\\\nas\\scans", Unavailable, 1252, "Tarnwick: \\\\nas\\scans cannot be reached"},
        {"", Unavailable, 1252, "Tarnwick"},
        {fits, Empty, 1252, "Tarnwick: " + fits + " is empty"},
        {"C:\\Users\\" + std::string(100, 'l') + "\\Scans", Empty, 1252, "Tarnwick: C:\\...\\Scans is empty"},
        {"C:\\" + std::string(96, 'a') + "\\Ann\\Scans", Empty, 1252,
         "Tarnwick: C:\\...\\Ann\\Scans is empty"},
        // The last names take all the room left: they stay, every one.
        {"C:\\aaaa\\" + std::string(95, 'b') + "\\Scans", Empty, 1252,
         "Tarnwick: C:\\...\\" + std::string(95, 'b') + "\\Scans is empty"},
        {"\\\\nas\\scans\\" + std::string(100, 'd') + "\\in", Empty, 1252,
         "Tarnwick: \\\\nas\\scans\\...\\in is empty"},
        {"C:\\Users\\Ann\\" + times(40, yo) + "\\\xe5\x8f\x97\xe4\xbf\xa1", Empty, CP_UTF8,
         "Tarnwick: C:\\...\\\xe5\x8f\x97\xe4\xbf\xa1 is empty"}, // 受信
        {"C:\\" + times(60, sjisYo) + "\\in", Empty, 932, "Tarnwick: C:\\...\\in is empty"},
        // The folder's own name alone is too long.
        {"C:\\a\\" + std::string(200, 'n'), Empty, 1252,
         "Tarnwick: C:\\...\\" + std::string(101, 'n') + " is empty"},
        {"C:\\a\\" + times(60, yo), Empty, CP_UTF8, "Tarnwick: C:\\...\\" + times(33, yo) + " is empty"},
        {"C:\\a\\" + times(60, sjisYo), Empty, 932, "Tarnwick: C:\\...\\" + times(50, sjisYo) + " is empty"},
    };
    for (const auto& c : cases) {
        char tip[TRAY_TIP_SIZE];
        MakeTrayTip(tip, c.state, c.folder.c_str(), c.codePage);
        EXPECT_EQ(c.tip, tip) << c.folder << " in code page " << c.codePage;
    }
}

TEST_F(TrayTest, AStateWithoutAnIconCountsAsShownButChangesNothing)
{
    TrayIcons[Empty] = nullptr;
    SetTrayState(Empty);
    EXPECT_EQ(Empty, CurrentTrayState);
    EXPECT_EQ(0u, TrayIconData.cbSize); // not added yet
    SetTrayState(NotEmpty);
    EXPECT_EQ(SecondLayoutSize, TrayIconData.cbSize);
    lstrcpyA(WatchedFolder, "C:\\Elsewhere");
    SetTrayState(Empty);
    EXPECT_EQ(Empty, CurrentTrayState);
    EXPECT_STREQ("Tarnwick: C:\\Watched has something in it", TrayIconData.szTip);
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
    EXPECT_EQ("Tarnwick: C:\\Moved has something in it", TrayCalls.back().tip);
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
