// The main loop, run for real: the folder's notification, the rescan delay
// and the queue wake it, and WM_QUIT ends it.
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "settings/settings.h"
#include "tests/support/test_support.h"
#include "watch/scan.h"
#include "watch/tray.h"

namespace {

// A script of actions at given times, each played by a one-shot thread
// timer inside the loop under test. One-shot, because every message wakes the
// loop and starts its rescan delay afresh.
struct Step {
    DWORD at;
    void (*action)();
};
struct Armed {
    UINT_PTR timer;
    void (*action)();
};
Armed Pending[8];

void CALLBACK PlayStep(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    for (Armed& armed : Pending) {
        if (armed.timer == id) {
            armed.timer = 0;
            armed.action();
        }
    }
}

// Runs the loop with the script; returns the loop's result.
template <size_t N> int RunWith(const Step (&steps)[N])
{
    static_assert(N <= 8, "too many steps");
    for (size_t i = 0; i < N; ++i)
        Pending[i] = {SetTimer(nullptr, 0, steps[i].at, PlayStep), steps[i].action};
    return RunMainLoop();
}

ULONGLONG CpuMilliseconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](FILETIME t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 10000;
}

TempFolder* Folder;
int SeenState;
DWORD SeenAt;

void Quit()
{
    PostQuitMessage(0);
}

class MainLoopTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetProgramState();
        SetUpMainWindow();
        Folder = &folder;
        lstrcpyA(WatchedFolder, folder.Path().c_str());
        SeenState = -1;
        SeenAt = 0;
    }
    void TearDown() override { ResetProgramState(); }

    TempFolder folder;
};

TEST_F(MainLoopTest, AChangeInTheFolderIsScannedAtOnceWithTheRescanDelayDisabled)
{
    RescanDelay = 0;
    ScanFolder(1);
    ASSERT_EQ(Empty, CurrentTrayState);
    const Step steps[] = {
        {50, [] { Folder->AddFile("arrival.txt"); }},
        {120, [] { SeenState = CurrentTrayState; }},
        {140, [] { DeleteFileA((Folder->Path() + "\\arrival.txt").c_str()); }},
        {220,
         [] {
             SeenAt = CurrentTrayState;
             Quit();
         }},
    };
    EXPECT_EQ(0, RunWith(steps));
    EXPECT_EQ(NotEmpty, SeenState);
    EXPECT_EQ(DWORD(Empty), SeenAt);
}

TEST_F(MainLoopTest, WithoutANotificationTheLoopWaitsOnTheQueueAloneAndNeverSpins)
{
    lstrcpyA(WatchedFolder, (folder.Path() + "\\missing").c_str());
    RescanDelay = 0;
    ScanFolder(1);
    ASSERT_EQ(INVALID_HANDLE_VALUE, ChangeHandle);
    const ULONGLONG before = CpuMilliseconds();
    const Step steps[] = {{1000, Quit}};
    EXPECT_EQ(0, RunWith(steps));
    EXPECT_LT(CpuMilliseconds() - before, 200u);
    EXPECT_EQ(Unavailable, CurrentTrayState);

    // Before the first scan there is no handle at all.
    ChangeHandle = nullptr;
    EXPECT_EQ(0, RunWith(steps));
}

TEST_F(MainLoopTest, AMissingFolderIsFoundAgainAtTheNextTimeOutOfANewlyChosenDelay)
{
    const std::string missing = folder.Path() + "\\later";
    lstrcpyA(WatchedFolder, missing.c_str());
    RescanDelay = 0;
    ScanFolder(1);
    ASSERT_EQ(Unavailable, CurrentTrayState);
    static std::string later;
    later = missing;
    const ULONGLONG before = CpuMilliseconds();
    // Short (10 s) chosen while the loop runs applies to the very next wait;
    // with Disabled the folder's return would never be seen. The wait after
    // the last step's message ends about 11 s in.
    const Step steps[] = {
        {100, [] { SetRescanDelay(1); }},
        {1000,
         [] {
             CreateDirectoryA(later.c_str(), nullptr);
             CloseHandle(
                 CreateFileA((later + "\\a.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
         }},
        {1050, [] { SeenState = CurrentTrayState; }},
        {11800,
         [] {
             SeenAt = CurrentTrayState;
             Quit();
         }},
    };
    EXPECT_EQ(0, RunWith(steps));
    EXPECT_EQ(Unavailable, SeenState);
    EXPECT_EQ(DWORD(NotEmpty), SeenAt);
    EXPECT_LT(CpuMilliseconds() - before, 1000u);
    RemoveTree(missing);
}

// Records that a window message was dispatched.
int Dispatched;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        ++Dispatched;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(MainLoopTest, WMQuitEndsTheLoopWithItsCodeAndLeavesLaterMessagesQueued)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.lpszClassName = "Counting";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "Counting", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    Dispatched = 0;
    PostMessageA(window, WM_APP, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 7, 0);
    PostMessageA(window, WM_APP, 0, 0);
    EXPECT_EQ(7, RunMainLoop());
    EXPECT_EQ(1, Dispatched);
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, window, WM_APP, WM_APP, PM_REMOVE));
    DestroyWindow(window);
}

TEST_F(MainLoopTest, ShutdownClosesTheNotificationAndRemovesTheIcon)
{
    ScanFolder(1);
    ASSERT_NE(0u, TrayIconData.cbSize);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &TrayIconData));
    const HANDLE notification = ChangeHandle;
    Shutdown();
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(notification, 0));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &TrayIconData));
}

} // namespace
