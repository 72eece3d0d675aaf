// The hidden window's procedure: tray clicks, menu commands and the modal
// operations they start, driven in-process with timers and hooks.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>
#include <shlobj.h>

#include "app/main_loop.h"
#include "app/main_window.h"
#include "resource.h"
#include "settings/settings.h"
#include "tests/support/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/program_state.h"
#include "tests/support/registry.h"
#include "tests/support/ui.h"
#include "ui/about.h"
#include "ui/tray_menu.h"
#include "watch/scan.h"
#include "watch/tray.h"

namespace {

LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam = 0)
{
    return SendMessageA(MainWindow, message, wParam, lParam);
}

LRESULT Command(WPARAM id)
{
    return Send(WM_COMMAND, id);
}

void Click(LPARAM mouse)
{
    Send(WM_TRAYICON, TRAY_ICON_ID, mouse);
}

bool QuitPosted(WPARAM* code = nullptr)
{
    MSG message;
    if (!PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return false;
    if (code)
        *code = message.wParam;
    return true;
}

BOOL CALLBACK ReadStatic(HWND child, LPARAM text)
{
    char className[16], buffer[256];
    GetClassNameA(child, className, sizeof(className));
    GetWindowTextA(child, buffer, sizeof(buffer));
    if (lstrcmpiA(className, "Static") == 0 && buffer[0])
        *reinterpret_cast<std::string*>(text) = buffer;
    return TRUE;
}

// What was seen of the dialog a command opened, before it was answered.
struct DialogSeen {
    bool seen = false;
    bool greyed = false; // the command's menu item, while the dialog was open
    std::string text;
    LRESULT result = -1;
};

// Sends the command and answers the dialog it opens.
DialogSeen AnswerDialogOf(UINT command, WPARAM answer)
{
    DialogSeen seen;
    ModalVisit visit("answering the dialog of command " + std::to_string(command), [&] {
        HWND dialog = FindThreadDialog();
        if (!dialog)
            return false;
        seen.greyed = IsGreyed(TrayMenu.Handle(), command);
        EnumChildWindows(dialog, ReadStatic, LPARAM(&seen.text));
        PostMessageA(dialog, WM_COMMAND, answer, 0);
        return true;
    });
    seen.result = Command(command);
    seen.seen = visit.Done();
    return seen;
}

// Whether a scan showed Checking since the watched folder was moved.
bool CheckingShown()
{
    return std::any_of(TrayCalls.begin(), TrayCalls.end(),
                       [](const TrayCall& call) { return call.icon == TrayIcons[Checking]; });
}
bool StateIsNotEmpty()
{
    return CurrentTrayState == NotEmpty;
}

class MainWindowTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        lstrcpyA(WatchedFolder, folder.Path().c_str());
        ScanFolder(0);
        while (QuitPosted()) {}
    }
    void TearDown() override
    {
        if (IsWindow(MainWindow))
            KillTimer(MainWindow, CLICK_TIMER_ID);
        ProgramTest::TearDown();
    }

    void MoveWithoutScan()
    {
        lstrcpyA(WatchedFolder, other.Path().c_str());
        TrayCalls.clear();
    }

    TempFolder folder, other;
};

TEST_F(MainWindowTest, ASingleClickRescansWithCheckingOnceTheDoubleClickTimeIsOver)
{
    ASSERT_EQ(Empty, CurrentTrayState);
    MoveWithoutScan();
    const DWORD pressed = GetTickCount();
    Click(WM_LBUTTONDOWN);
    Click(WM_LBUTTONUP);
    PumpMessages(GetDoubleClickTime() - 100);
    EXPECT_FALSE(CheckingShown()) << "rescanned before the double-click time was over";
    PumpMessages(2000, CheckingShown);
    EXPECT_TRUE(CheckingShown());
    EXPECT_GE(GetTickCount() - pressed, GetDoubleClickTime() + 10);
    EXPECT_TRUE(ShellCalls.empty());
}

TEST_F(MainWindowTest, ADoubleClickOpensTheFolderAndRescansWithoutChecking)
{
    MoveWithoutScan();
    other.AddFile("a.txt");
    Click(WM_LBUTTONDOWN);
    Click(WM_LBUTTONUP);
    Click(WM_LBUTTONDBLCLK);
    EXPECT_EQ(NotEmpty, CurrentTrayState); // rescanned at once
    EXPECT_FALSE(CheckingShown()) << "Checking was shown";
    Click(WM_LBUTTONUP);
    ASSERT_TRUE(WaitForShellCall());
    EXPECT_EQ(nullptr, ShellCalls[0].owner);
    EXPECT_EQ("open", ShellCalls[0].verb);
    EXPECT_EQ(other.Path(), ShellCalls[0].file);
    EXPECT_TRUE(ShellCalls[0].nullParameters);
    EXPECT_TRUE(ShellCalls[0].nullDirectory);
    EXPECT_EQ(SW_SHOWNORMAL, ShellCalls[0].show);
    // No single-click rescan follows.
    PumpMessages(GetDoubleClickTime() + 300);
    EXPECT_FALSE(CheckingShown());
}

TEST_F(MainWindowTest, TwoSlowClicksRescanTwice)
{
    MoveWithoutScan();
    Click(WM_LBUTTONDOWN);
    PumpMessages(2000, CheckingShown);
    ASSERT_TRUE(CheckingShown());
    other.AddFile("b.txt");
    Click(WM_LBUTTONDOWN);
    PumpMessages(2000, StateIsNotEmpty);
    EXPECT_EQ(NotEmpty, CurrentTrayState);
}

TEST_F(MainWindowTest, OtherTrayEventsAndTimersDoNothing)
{
    MoveWithoutScan();
    Send(WM_TRAYICON, TRAY_ICON_ID + 1, WM_LBUTTONDOWN);
    Send(WM_TRAYICON, TRAY_ICON_ID, WM_MOUSEMOVE);
    Send(WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONDOWN);
    EXPECT_EQ(0, Send(WM_TIMER, CLICK_TIMER_ID + 1));
    PumpMessages(GetDoubleClickTime() + 300);
    EXPECT_FALSE(CheckingShown());
    EXPECT_TRUE(ShellCalls.empty());
    EXPECT_EQ(0, Send(WM_QUERYOPEN, 0)); // never restored
}

// Once the tray menu is up, closes it, or chooses an item by its mnemonic.
bool ActOnMenu(WPARAM key)
{
    HWND menu = FindProcessWindow(GetCurrentProcessId(), "#32768", true, 0);
    if (!menu)
        return false;
    if (key)
        PostMessageA(menu, WM_KEYDOWN, key, 0);
    else
        EndMenu();
    return true;
}

TEST_F(MainWindowTest, ARightClickShowsTheTrayMenuAndChoosingAnItemPostsItsCommand)
{
    {
        ModalVisit close("closing the tray menu", [] { return ActOnMenu(0); });
        Click(WM_RBUTTONUP);
        EXPECT_TRUE(close.Done());
    }
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, MainWindow, WM_COMMAND, WM_COMMAND, PM_NOREMOVE));

    ModalVisit choose("choosing Cancel", [] { return ActOnMenu('C'); }); // "&Cancel"
    ShowTrayMenu();
    ASSERT_TRUE(choose.Done());
    ASSERT_TRUE(PeekMessageA(&message, MainWindow, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(WPARAM(IDM_CANCEL), message.wParam);
    EXPECT_EQ(0, Command(message.wParam));
    EXPECT_FALSE(QuitPosted());
}

TEST_F(MainWindowTest, OptionCommandsSetTheirSettings)
{
    const struct {
        WPARAM id;
        int* setting;
        int value;
    } cases[] = {
        {IDM_BUZZER_QUIET, &BuzzerMode, 0},     {IDM_BUZZER_WAVE, &BuzzerMode, 2},
        {IDM_BUZZER_SPEAKER, &BuzzerMode, 1},   {IDM_RESCAN_LONG, &RescanDelay, 3},
        {IDM_RESCAN_SHORT, &RescanDelay, 1},    {IDM_RESCAN_NORMAL, &RescanDelay, 2},
        {IDM_RESCAN_DISABLED, &RescanDelay, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(0, Command(c.id));
        EXPECT_EQ(c.value, *c.setting) << c.id;
    }
    EXPECT_EQ(RawNumber(0), Stored(SettingsKey, "Rescan"));
    EXPECT_TRUE(IsChecked(RescanMenu.Handle(), IDM_RESCAN_DISABLED));
    EXPECT_TRUE(IsChecked(BuzzerMenu.Handle(), IDM_BUZZER_SPEAKER));
    // Posted one after another, each command meets the quick look of the one
    // before: none of them flashes Checking.
    TrayCalls.clear();
    for (WPARAM id : {IDM_RESCAN_DISABLED, IDM_HIDDEN, IDM_HIDDEN})
        PostMessageA(MainWindow, WM_COMMAND, id, 0);
    PumpMessages(300);
    EXPECT_FALSE(CheckingShown());
    EXPECT_EQ(1, ShowHidden);
}

TEST_F(MainWindowTest, TogglesTurnAnyNonZeroValueOffAndThenOn)
{
    const struct {
        WPARAM id;
        int* setting;
    } toggles[] = {{IDM_HIDDEN, &ShowHidden},
                   {IDM_SUBFOLDERS, &ShowSubfolders},
                   {IDM_PERMANENT, &Permanent},
                   {IDM_NOTIFY, &ShowNotification}};
    for (const auto& t : toggles) {
        *t.setting = 5;
        EXPECT_EQ(0, Command(t.id));
        EXPECT_EQ(0, *t.setting) << t.id;
        EXPECT_FALSE(IsChecked(TrayMenu.Handle(), UINT(t.id)));
        EXPECT_EQ(0, Command(t.id));
        EXPECT_EQ(1, *t.setting) << t.id;
        EXPECT_TRUE(IsChecked(TrayMenu.Handle(), UINT(t.id)));
    }
    EXPECT_NE(Missing, Stored(RunKey, "Tarnwick"));
    EXPECT_EQ(RawNumber(1), Stored(SettingsKey, "See hiddeen files"));
    EXPECT_EQ(RawNumber(1), Stored(SettingsKey, "Notify"));
}

TEST_F(MainWindowTest, OnlyWholeMenuCommandsAreRecognised)
{
    const int before = BuzzerMode;
    for (WPARAM id : {WPARAM(IDM_BUZZER), WPARAM(IDM_RESCAN_DELAY), MAKEWPARAM(IDM_OPEN, 1),
                      MAKEWPARAM(IDM_EXIT, 1), MAKEWPARAM(IDM_BUZZER_QUIET, 1), WPARAM(0)})
        Command(id);
    EXPECT_TRUE(ShellCalls.empty());
    EXPECT_FALSE(QuitPosted());
    EXPECT_EQ(before, BuzzerMode);
    EXPECT_EQ(0, Command(IDM_CANCEL));
    EXPECT_FALSE(QuitPosted());
}

TEST_F(MainWindowTest, OpenNowAndAClickOnTheNotificationOpenTheWatchedFolder)
{
    EXPECT_EQ(0, Command(IDM_OPEN));
    Click(NIN_BALLOONUSERCLICK);
    for (size_t i = 0; i < 2; ++i) {
        ASSERT_TRUE(WaitForShellCall()) << i;
        EXPECT_EQ(folder.Path(), ShellCalls[i].file);
        EXPECT_EQ("open", ShellCalls[i].verb);
    }
}

TEST_F(MainWindowTest, ExitQuitsWithZeroAndLeavesTheSettings)
{
    LoadSettings();
    EXPECT_EQ(0, Command(IDM_EXIT));
    WPARAM code = 99;
    EXPECT_TRUE(QuitPosted(&code));
    EXPECT_EQ(0u, code);
    EXPECT_EQ(RawNumber(1), Stored(SettingsKey, "Buzzer"));
}

TEST_F(MainWindowTest, AboutIsGreyedWhileItsDialogIsOpen)
{
    const DialogSeen about = AnswerDialogOf(IDM_ABOUT, IDOK);
    EXPECT_EQ(0, about.result);
    EXPECT_TRUE(about.seen);
    EXPECT_TRUE(about.greyed);
    EXPECT_FALSE(IsGreyed(TrayMenu.Handle(), IDM_ABOUT));
    EXPECT_EQ(0, AboutOpen);
}

TEST_F(MainWindowTest, SelectFolderIsGreyedWhileTheBrowserIsOpen)
{
    const DialogSeen browser = AnswerDialogOf(IDM_SELECT_FOLDER, IDCANCEL);
    EXPECT_EQ(0, browser.result);
    EXPECT_TRUE(browser.seen);
    EXPECT_TRUE(browser.greyed);
    EXPECT_FALSE(IsGreyed(TrayMenu.Handle(), IDM_SELECT_FOLDER));
    EXPECT_EQ(folder.Path(), WatchedFolder);
}

TEST_F(MainWindowTest, ShiftExitAnsweredNoKeepsRunningAndKeepsTheData)
{
    LoadSettings();
    SetPermanent(1);
    ShiftHeld shift;
    const DialogSeen question = AnswerDialogOf(IDM_EXIT, IDNO);
    EXPECT_TRUE(question.seen);
    EXPECT_EQ("Do you wish to uninstall Tarnwick?", question.text);
    EXPECT_TRUE(question.greyed);
    EXPECT_FALSE(IsGreyed(TrayMenu.Handle(), IDM_EXIT));
    EXPECT_FALSE(QuitPosted());
    EXPECT_EQ(RawNumber(1), Stored(SettingsKey, "Buzzer"));
    EXPECT_NE(Missing, Stored(RunKey, "Tarnwick"));
}

TEST_F(MainWindowTest, ShiftExitAnsweredYesRemovesTheDataAndQuits)
{
    LoadSettings();
    SetPermanent(1);
    ShiftHeld shift;
    const DialogSeen question = AnswerDialogOf(IDM_EXIT, IDYES);
    EXPECT_EQ(0, question.result);
    EXPECT_TRUE(question.seen);
    WPARAM code = 99;
    EXPECT_TRUE(QuitPosted(&code));
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(KeyExists(SettingsKey));
    EXPECT_TRUE(KeyExists("Software\\Orrel\\Tarnwick"));
    EXPECT_EQ(Missing, Stored(RunKey, "Tarnwick"));
}

TEST_F(MainWindowTest, CloseFromOutsideDestroysTheWindowAndQuitsWithZero)
{
    Send(WM_CLOSE, 0);
    EXPECT_FALSE(IsWindow(MainWindow));
    WPARAM code = 99;
    EXPECT_TRUE(QuitPosted(&code));
    EXPECT_EQ(0u, code);
    MainWindow = nullptr;
}

// The width of the picture the tray is given.
int ShownIconSize()
{
    ICONINFO info = {};
    BITMAP picture = {};
    GetIconInfo(TrayIconData.hIcon, &info);
    GetObjectA(info.hbmColor, sizeof(picture), &picture);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return picture.bmWidth;
}

// A restarted taskbar, perhaps at another scale, and a scale that changes:
// the icon is drawn for the display the taskbar is on where Windows tells
// it, else for our window's.
TEST_F(MainWindowTest, ARestartedTaskbarGetsTheIconBackAtItsScale)
{
    ASSERT_NE(0u, TrayIconData.cbSize);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &TrayIconData));
    UINT taskbar = 168;
    TaskbarDpiSource = [&] { return taskbar; };
    EXPECT_EQ(0, Send(RegisterWindowMessageA("TaskbarCreated"), 0));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &TrayIconData));
    EXPECT_EQ(TrayIcons[Empty], TrayIconData.hIcon);
    EXPECT_EQ(28, ShownIconSize());

    const struct {
        UINT taskbar, window;
        int size;
    } changes[] = {{144, 96, 24}, {0, 240, 40}, {0, 288, 48}, {0, 336, 56}, {0, 96, 16}};
    for (const auto& change : changes) {
        taskbar = change.taskbar;
        Send(WM_DPICHANGED, MAKEWPARAM(change.window, change.window));
        EXPECT_EQ(change.size, ShownIconSize())
            << "taskbar " << change.taskbar << ", window " << change.window;
    }
}

} // namespace

TEST_F(MainWindowTest, AResumeFromSleepLooksAfreshAndWatchesAgain)
{
    // The folder is away when last looked at, so nothing watches it; it comes
    // back while the machine sleeps.
    const std::string away = folder.Path() + "\\away";
    lstrcpyA(WatchedFolder, away.c_str());
    ScanFolder(0);
    ASSERT_EQ(Unavailable, CurrentTrayState);
    ASSERT_TRUE(CreateDirectoryA(away.c_str(), nullptr));

    // Going to sleep, and power news other than a resume, change nothing.
    TrayCalls.clear();
    Send(WM_POWERBROADCAST, PBT_APMSUSPEND);
    Send(WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE);
    EXPECT_TRUE(TrayCalls.empty());

    for (WPARAM resume : {WPARAM(PBT_APMRESUMEAUTOMATIC), WPARAM(PBT_APMRESUMESUSPEND)}) {
        SCOPED_TRACE(resume);
        TrayCalls.clear();
        const HANDLE above = ParentWatch;
        const SameObject watchedAbove(above);
        EXPECT_EQ(TRUE, Send(WM_POWERBROADCAST, resume));
        ASSERT_EQ(2u, TrayCalls.size()); // Checking, then the folder's state
        EXPECT_EQ(TrayIcons[Checking], TrayCalls[0].icon);
        EXPECT_EQ(Empty, CurrentTrayState);
        ASSERT_TRUE(ChangeHandle.Armed());
        EXPECT_FALSE(watchedAbove.NamedBy(above)) << "the watch above was kept";
    }
    CreateDirectoryA((away + "\\landed").c_str(), nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ChangeHandle, 2000));
    RemoveTree(away);
}
