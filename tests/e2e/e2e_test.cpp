// The real program, started under Wine and driven from this process.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/driver.h"

namespace {

// The names of the DLLs a process has loaded, in lower case; empty when
// they cannot be listed.
std::vector<std::string> LoadedModules(DWORD processId)
{
    std::vector<std::string> names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return names;
    MODULEENTRY32 module = {};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module)) {
        CharLowerA(module.szModule);
        names.push_back(module.szModule);
    }
    CloseHandle(snapshot);
    return names;
}

bool HasLoaded(DWORD processId, const char* dll)
{
    const std::vector<std::string> loaded = LoadedModules(processId);
    return std::find(loaded.begin(), loaded.end(), dll) != loaded.end();
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }

    // Stores a watched folder as an earlier run would have left it.
    void StoreFolder(const std::string& folder) { WriteString(SettingsKey, "Folder", folder); }

    // Starts the program and waits until it has started up; its hidden
    // window, or null when it did not come up.
    static HWND StartUp(RunningProgram& program)
    {
        if (!program.Start() || !program.WaitUntilIdle())
            return nullptr;
        return program.WaitForWindow();
    }
};

TEST_F(EndToEnd, ASecondCopyEndsAtOnceAndChangesNothing)
{
    ScratchFolder folder;
    StoreFolder(folder.Path());
    WriteNumber(SettingsKey, "Buzzer", 2);
    RunningProgram first;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.WaitUntilIdle());
    WriteNumber(SettingsKey, "Buzzer", 0); // a second copy must not rewrite this

    RunningProgram second;
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(0u, second.WaitForExit(5000));
    DWORD buzzer = 99;
    EXPECT_TRUE(ReadNumber(SettingsKey, "Buzzer", &buzzer));
    EXPECT_EQ(0u, buzzer);
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(0u, first.Exit());
}

TEST_F(EndToEnd, FirstStartStoresDefaultsAsksForAFolderAndCancellingEnds)
{
    RunningProgram program;
    ASSERT_TRUE(program.Start());
    HWND browser = program.WaitForDialog();
    ASSERT_NE(nullptr, browser);

    std::string folder = "unset";
    EXPECT_TRUE(ReadString(SettingsKey, "Folder", &folder));
    EXPECT_EQ("", folder);
    const struct {
        const char* name;
        DWORD value;
    } defaults[] = {{"Buzzer", 1}, {"Rescan", 0}, {"See hiddeen files", 1}, {"See subfolders", 1}};
    for (const auto& d : defaults) {
        DWORD value = 99;
        EXPECT_TRUE(ReadNumber(SettingsKey, d.name, &value)) << d.name;
        EXPECT_EQ(d.value, value) << d.name;
    }
    std::string run;
    ASSERT_TRUE(ReadString(RunKey, "Tarnwick", &run));
    EXPECT_EQ("\"" + ProgramFile() + "\"", run);
    // The icon is up while the browser asks; with no folder it cannot list.
    EXPECT_EQ(TrayPicture::Unavailable, WaitForTrayPicture(TrayPicture::Unavailable));

    AnswerBrowser(browser, "");
    EXPECT_EQ(0u, program.WaitForExit());
    EXPECT_EQ(TrayPicture::None, WaitForTrayPicture(TrayPicture::None));
}

TEST_F(EndToEnd, ChoosingAFolderAtFirstStartWatchesIt)
{
    ScratchFolder folder;
    RunningProgram program;
    ASSERT_TRUE(program.Start());
    HWND browser = program.WaitForDialog();
    ASSERT_NE(nullptr, browser);
    AnswerBrowser(browser, folder.Path());
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    std::string stored;
    EXPECT_TRUE(ReadString(SettingsKey, "Folder", &stored));
    EXPECT_EQ(folder.Path(), stored);

    folder.Add("arrival.txt");
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty, 2000));
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, AStoredPathNamingAFileAsksAgain)
{
    ScratchFolder folder;
    StoreFolder(folder.Add("not-a-folder.txt"));
    RunningProgram program;
    ASSERT_TRUE(program.Start());
    HWND browser = program.WaitForDialog();
    ASSERT_NE(nullptr, browser);
    AnswerBrowser(browser, "");
    EXPECT_EQ(0u, program.WaitForExit());
}

TEST_F(EndToEnd, AStoredMissingFolderIsKeptAndShownUnavailable)
{
    std::string missing;
    {
        ScratchFolder gone;
        missing = gone.Path();
    }
    StoreFolder(missing);
    RunningProgram program;
    ASSERT_TRUE(program.Start());
    ASSERT_NE(nullptr, program.WaitForWindow());
    EXPECT_EQ(TrayPicture::Unavailable, WaitForTrayPicture(TrayPicture::Unavailable));
    EXPECT_EQ(nullptr, program.WaitForDialog(500));
    std::string stored;
    EXPECT_TRUE(ReadString(SettingsKey, "Folder", &stored));
    EXPECT_EQ(missing, stored);
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, SettingsWrittenByOneRunAreReadByTheNext)
{
    ScratchFolder folder;
    StoreFolder(folder.Path());
    WriteString(RunKey, "Tarnwick", "started with Windows");
    RunningProgram first;
    HWND window = StartUp(first);
    ASSERT_NE(nullptr, window);
    // Rescan Long, Buzzer Wave, hidden entries off, start with Windows off.
    PostMessageA(window, WM_COMMAND, 213, 0);
    PostMessageA(window, WM_COMMAND, 202, 0);
    PostMessageA(window, WM_COMMAND, 110, 0);
    PostMessageA(window, WM_COMMAND, 109, 0);
    EXPECT_EQ(0u, first.Exit());
    std::string run;
    EXPECT_FALSE(ReadString(RunKey, "Tarnwick", &run));

    RunningProgram second;
    ASSERT_TRUE(second.Start());
    ASSERT_NE(nullptr, second.WaitForWindow());
    EXPECT_EQ(0u, second.Exit());
    DWORD value = 99;
    EXPECT_TRUE(ReadNumber(SettingsKey, "Rescan", &value));
    EXPECT_EQ(3u, value);
    EXPECT_TRUE(ReadNumber(SettingsKey, "Buzzer", &value));
    EXPECT_EQ(2u, value);
    EXPECT_TRUE(ReadNumber(SettingsKey, "See hiddeen files", &value));
    EXPECT_EQ(0u, value);
    // Permanent was off, so the next start did not write the Run value again.
    EXPECT_FALSE(ReadString(RunKey, "Tarnwick", &run));
}

TEST_F(EndToEnd, TheTrayFollowsTheFolderThroughEveryState)
{
    ScratchFolder folder;
    StoreFolder(folder.Path());
    RunningProgram program;
    HWND window = StartUp(program);
    ASSERT_NE(nullptr, window);
    EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
    SaveTrayPicture("e2e-empty");

    const std::string file = folder.Add("arrival.txt");
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty, 2000)));
    SaveTrayPicture("e2e-not-empty");

    // The folder going away raises no notification; a click rescans.
    DeleteFileA(file.c_str());
    EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty, 2000)));
    const std::string away = folder.Path() + "-away";
    ASSERT_TRUE(MoveFileA(folder.Path().c_str(), away.c_str()));
    PostMessageA(window, WM_USER + 1, 110, WM_LBUTTONDOWN);
    EXPECT_STREQ("Unavailable", Describe(WaitForTrayPicture(TrayPicture::Unavailable, 3000)));
    SaveTrayPicture("e2e-unavailable");
    ASSERT_TRUE(MoveFileA(away.c_str(), folder.Path().c_str()));
    PostMessageA(window, WM_USER + 1, 110, WM_LBUTTONDOWN);
    EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty, 3000)));
    EXPECT_EQ(0u, program.Exit());
    EXPECT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
}

TEST_F(EndToEnd, CloseFromOutsideEndsLikeExit)
{
    ScratchFolder folder;
    folder.Add("a.txt");
    StoreFolder(folder.Path());
    RunningProgram program;
    HWND window = StartUp(program);
    ASSERT_NE(nullptr, window);
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty)));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.WaitForExit());
    EXPECT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
    EXPECT_TRUE(KeyExists(SettingsKey));
}

TEST_F(EndToEnd, TheMenuOpensAtTheCursorAndItsCommandsWork)
{
    ScratchFolder folder;
    folder.Add("a.txt");
    StoreFolder(folder.Path());
    RunningProgram program;
    HWND window = StartUp(program);
    ASSERT_NE(nullptr, window);
    SetCursorPos(40, 60);
    PostMessageA(window, WM_USER + 1, 110, WM_RBUTTONUP);
    HWND menu = nullptr;
    for (int i = 0; i < 100 && !(menu && IsWindowVisible(menu)); ++i, Sleep(20))
        menu = FindWindowA("#32768", nullptr);
    ASSERT_TRUE(menu && IsWindowVisible(menu));
    RECT area;
    GetWindowRect(menu, &area);
    EXPECT_EQ(40, area.left);
    EXPECT_EQ(60, area.top);
    Sleep(100);
    SaveWindowPicture(menu, "e2e-menu", 8);
    // Down to "&Rescan delay" and into it: its submenu opens, no command.
    PostMessageA(menu, WM_KEYDOWN, 'R', 0);
    Sleep(200);
    PostMessageA(menu, WM_KEYDOWN, 'L', 0); // "&Long"
    Sleep(300);
    DWORD rescan = 99;
    for (int i = 0; i < 50 && !(ReadNumber(SettingsKey, "Rescan", &rescan) && rescan == 3); ++i)
        Sleep(20);
    EXPECT_EQ(3u, rescan);
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, ShiftExitAnsweredYesRemovesTheStoredData)
{
    ScratchFolder folder;
    StoreFolder(folder.Path());
    WriteString(RunKey, "Tarnwick", "on");
    RunningProgram program;
    HWND window = StartUp(program);
    ASSERT_NE(nullptr, window);
    std::string run;
    ASSERT_TRUE(ReadString(RunKey, "Tarnwick", &run));
    // Sharing the program's input state lets this thread hold Shift for it.
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), thread, TRUE));
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    PostMessageA(window, WM_COMMAND, 105, 0);
    HWND question = program.WaitForDialog();
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
    ASSERT_NE(nullptr, question);
    char caption[64] = "";
    GetWindowTextA(question, caption, sizeof(caption));
    EXPECT_STREQ("Confirmation", caption);
    SaveWindowPicture(question, "e2e-uninstall", 0);
    PostMessageA(question, WM_COMMAND, IDYES, 0);
    EXPECT_EQ(0u, program.WaitForExit());
    EXPECT_FALSE(KeyExists(SettingsKey));
    EXPECT_TRUE(KeyExists("Software\\Orrel\\Tarnwick"));
    EXPECT_FALSE(ReadString(RunKey, "Tarnwick", &run));
    EXPECT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
}

TEST_F(EndToEnd, ARestartedTaskbarGetsTheIconBack)
{
    ScratchFolder folder;
    folder.Add("a.txt");
    StoreFolder(folder.Path());
    RunningProgram program;
    HWND window = StartUp(program);
    ASSERT_NE(nullptr, window);
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty)));
    // The shell forgets the icon, then announces that it is back.
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = window;
    icon.uID = 110;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &icon));
    EXPECT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
    PostMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty, 2000)));
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, ComIsLoadedWhenTheFolderChooserFirstOpensAndServesItEveryTime)
{
    ScratchFolder folder, other;
    StoreFolder(folder.Path());
    RunningProgram program;
    HWND window = StartUp(program);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(HasLoaded(program.ProcessId(), "kernel32.dll")); // its modules can be listed
    EXPECT_FALSE(HasLoaded(program.ProcessId(), "ole32.dll"));

    for (int round = 1; round <= 5; ++round) {
        SCOPED_TRACE(round);
        PostMessageA(window, WM_COMMAND, 108, 0); // Select folder...
        HWND browser = program.WaitForDialog();
        ASSERT_NE(nullptr, browser);
        EXPECT_TRUE(HasLoaded(program.ProcessId(), "ole32.dll"));
        // Cancelled four times, then answered.
        AnswerBrowser(browser, round < 5 ? "" : other.Path());
        for (int i = 0; i < 250 && IsWindow(browser); ++i)
            Sleep(20);
        ASSERT_FALSE(IsWindow(browser)) << "the folder browser did not close";
    }
    std::string stored;
    EXPECT_TRUE(ReadString(SettingsKey, "Folder", &stored));
    EXPECT_EQ(other.Path(), stored);
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(0u, program.Exit());
}

} // namespace
