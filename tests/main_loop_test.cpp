// The main loop, run for real: the folder's notification, the rescan delay
// and the queue wake it, and WM_QUIT ends it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <thread>
#include <vector>

#include "app/main_loop.h"
#include "settings/settings.h"
#include "tests/support/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/program.h"
#include "tests/support/program_state.h"
#include "tests/support/ui.h"
#include "watch/scan.h"
#include "watch/tray.h"

namespace {

// An action at a given time, played inside the loop under test by a one-shot
// thread timer: every tick of a repeating one would wake the loop.
struct Step {
    DWORD at;
    std::function<void()> action;
};

// Runs the loop with the script; returns the loop's result. A loop that the
// script cannot end fails and is ended 5 s after the last step.
int RunWith(const std::vector<Step>& steps)
{
    std::list<ModalVisit> timers;
    DWORD last = 0;
    for (const Step& step : steps) {
        timers.emplace_back(
            "a step",
            [&step] {
                step.action();
                return true;
            },
            INFINITE, step.at);
        last = std::max(last, step.at);
    }
    timers.emplace_back(
        "",
        [] {
            ADD_FAILURE() << "the loop did not end";
            PostQuitMessage(99);
            return true;
        },
        INFINITE, last + 5000);
    return RunMainLoop();
}

double OwnCpuMilliseconds()
{
    return CpuMilliseconds(GetCurrentProcessId());
}

void Quit()
{
    PostQuitMessage(0);
}

class MainLoopTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        lstrcpyA(WatchedFolder, folder.Path().c_str());
    }

    TempFolder folder;
};

TEST_F(MainLoopTest, AChangeInTheFolderIsScannedAtOnceWithTheRescanDelayDisabled)
{
    RescanDelay = 0;
    ScanFolder(1);
    ASSERT_EQ(Empty, CurrentTrayState);
    int arrived = -1, left = -1;
    EXPECT_EQ(0, RunWith({
                     {50, [&] { folder.AddFile("arrival.txt"); }},
                     {120, [&] { arrived = CurrentTrayState; }},
                     {140, [&] { DeleteFileA((folder.Path() + "\\arrival.txt").c_str()); }},
                     {220,
                      [&] {
                          left = CurrentTrayState;
                          Quit();
                      }},
                 }));
    EXPECT_EQ(NotEmpty, arrived);
    EXPECT_EQ(Empty, left);
}

TEST_F(MainLoopTest, WithoutANotificationTheLoopWaitsOnTheQueueAloneAndNeverSpins)
{
    lstrcpyA(WatchedFolder, (folder.Path() + "\\missing").c_str());
    RescanDelay = 0;
    ScanFolder(1);
    ASSERT_EQ(INVALID_HANDLE_VALUE, ChangeHandle);
    double before = OwnCpuMilliseconds();
    EXPECT_EQ(0, RunWith({{1000, Quit}}));
    EXPECT_LT(OwnCpuMilliseconds() - before, 200.0) << "the loop spun with a missing folder";
    EXPECT_EQ(Unavailable, CurrentTrayState);

    // Before the first scan there is no handle at all.
    ChangeHandle.Close();
    before = OwnCpuMilliseconds();
    EXPECT_EQ(0, RunWith({{1000, Quit}}));
    EXPECT_LT(OwnCpuMilliseconds() - before, 200.0) << "the loop spun before the first scan";
}

// Counts the loop thread's wake-ups while it should sleep, from a thread of
// its own: reading them from the loop's thread would wake it.
struct Sleeper {
    std::string task; // this process's main thread in /proc
    DWORD loopThread;
    long before = -1, after = -1;
};

DWORD WINAPI WatchSleeper(void* parameter)
{
    auto* sleeper = static_cast<Sleeper*>(parameter);
    Sleep(300); // the loop is in its wait by now
    sleeper->before = VoluntarySwitches(sleeper->task);
    Sleep(2000);
    sleeper->after = VoluntarySwitches(sleeper->task);
    PostThreadMessageA(sleeper->loopThread, WM_QUIT, 0, 0);
    return 0;
}

// The wake-ups of the loop in two quiet seconds.
long IdleWakeUps(const std::string& task)
{
    Sleeper sleeper = {task, GetCurrentThreadId()};
    HANDLE watcher = CreateThread(nullptr, 0, WatchSleeper, &sleeper, 0, nullptr);
    EXPECT_NE(nullptr, watcher);
    if (!watcher)
        return -1;
    EXPECT_EQ(0, RunWith({}));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watcher, 10000));
    CloseHandle(watcher);
    EXPECT_NE(-1, sleeper.before);
    return sleeper.after - sleeper.before;
}

TEST_F(MainLoopTest, WithTheRescanDelayDisabledAQuietLoopNeverWakes)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof(exe));
    const std::string process = UnixProcessDirectory(std::strrchr(exe, '\\') + 1);
    ASSERT_NE("", process) << "this process is not found in /proc";
    // The Windows main thread is the Unix process's first thread.
    const std::string task = process + "\\task\\" + process.substr(process.find_last_of('\\') + 1);
    const long slept = VoluntarySwitches(task);
    for (int i = 0; i < 5; ++i)
        Sleep(20);
    ASSERT_GE(VoluntarySwitches(task) - slept, 5) << "that task is not this thread";

    RescanDelay = 0;
    ScanFolder(1);
    ASSERT_TRUE(ChangeHandle.Armed());
    EXPECT_EQ(0, IdleWakeUps(task)) << "the loop woke while watching the folder";

    lstrcpyA(WatchedFolder, (folder.Path() + "\\missing").c_str());
    ScanFolder(1);
    ASSERT_EQ(INVALID_HANDLE_VALUE, ChangeHandle);
    EXPECT_EQ(0, IdleWakeUps(task)) << "the loop woke with the folder missing";

    // Three changes beside the folder, made before the loop runs: it wakes
    // for them as it starts, and then sleeps again.
    lstrcpyA(WatchedFolder, folder.AddFolder("inbox").c_str());
    ScanFolder(1);
    ASSERT_TRUE(ParentWatch.Armed());
    for (const char* beside : {"scanner-temp", "beside", "Downloads"})
        folder.AddFolder(beside);
    EXPECT_LE(IdleWakeUps(task), 2) << "the loop kept waking after changes beside the folder";
}

// A file that lands just as a scan arms its watch. Armed before the listing,
// the listing sees the file or the notification fires; armed after it, the
// file would fall between the two and the icon show Empty for good. And a
// listing that a slow server holds for 3 s: meanwhile the window answers,
// and a click asks for exactly one more look, made once the held one ends.
TEST_F(MainLoopTest, AFileThatLandsOrAClickThatComesWhileTheScanRunsIsSeen)
{
    RescanDelay = 0;
    ScanFolder(1);
    ASSERT_EQ(Empty, CurrentTrayState);
    bool landed = false;
    ChangeNotifier = [&](const char* watched, DWORD filter) {
        if (!landed) {
            landed = true;
            folder.AddFile("landed-during-the-scan.txt");
        }
        return FindFirstChangeNotificationA(watched, FALSE, filter);
    };
    ScanFolder(1);
    ASSERT_TRUE(landed);
    int shown = -1;
    EXPECT_EQ(0, RunWith({{500, [&] {
                               shown = CurrentTrayState;
                               Quit();
                           }}}));
    EXPECT_EQ(NotEmpty, shown);

    // Held from a look nobody asked for, which shows no Checking.
    DeleteFileA((folder.Path() + "\\landed-during-the-scan.txt").c_str());
    ScanFolder(1);
    std::vector<DWORD> listed; // when each listing began
    Lister = [&](const WCHAR* pattern, WIN32_FIND_DATAW* entry) {
        listed.push_back(GetTickCount());
        if (listed.size() == 1)
            Sleep(3000);
        return FindFirstFileW(pattern, entry);
    };
    TrayCalls.clear();
    DWORD answered = INFINITE, clicked = 0;
    std::thread asking; // how long another thread waits for the window to answer
    EXPECT_EQ(0, RunWith({{50, [] { ScanFolder(CheckingNever); }},
                          {300,
                           [&] {
                               asking = std::thread([&] {
                                   const DWORD asked = GetTickCount();
                                   Responds(MainWindow, 10000);
                                   answered = GetTickCount() - asked;
                               });
                           }},
                          {600,
                           [&] {
                               clicked = GetTickCount();
                               SendMessageA(MainWindow, WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONDOWN);
                           }},
                          {3800, Quit}}));
    if (asking.joinable())
        asking.join();
    EXPECT_LT(answered, 200u) << "the window did not answer while the listing waited";
    ASSERT_EQ(2u, listed.size()) << "not one look more for the click";
    EXPECT_GE(listed[1] - listed[0], 2900u) << "the click's look ran beside the held one";
    // Checking as the click's timer ran out, the held look's Empty, then the
    // click's own look: Checking again, and Empty.
    ASSERT_EQ(4u, TrayCalls.size());
    EXPECT_EQ(TrayIcons[Checking], TrayCalls[0].icon);
    EXPECT_LT(TrayCalls[0].at - clicked, GetDoubleClickTime() + 200);
    EXPECT_EQ(TrayIcons[Empty], TrayCalls[1].icon);
    EXPECT_GE(TrayCalls[1].at, listed[1] - 100);
    EXPECT_EQ(Empty, CurrentTrayState);
}

TEST_F(MainLoopTest, AMissingFolderIsFoundAgainAtTheNextTimeOutOfANewlyChosenDelay)
{
    const std::string missing = folder.Path() + "\\later";
    lstrcpyA(WatchedFolder, missing.c_str());
    // Watches that never fire, on the folder above too: only the time-out
    // looks.
    ChangeNotifier = [](const char*, DWORD) { return CreateEventA(nullptr, TRUE, FALSE, nullptr); };
    RescanDelay = 0;
    ScanFolder(1);
    ASSERT_EQ(Unavailable, CurrentTrayState);
    const double before = OwnCpuMilliseconds();
    // Short (10 s) chosen while the loop runs applies to the very next wait,
    // counted from the scan that choosing it runs; with Disabled the folder's
    // return would never be seen.
    int soon = -1, later = -1;
    EXPECT_EQ(0, RunWith({
                     {100, [] { SetRescanDelay(1); }},
                     {1000,
                      [&] {
                          folder.AddFolder("later");
                          folder.AddFile("later\\a.txt");
                      }},
                     {1050, [&] { soon = CurrentTrayState; }},
                     {11800,
                      [&] {
                          later = CurrentTrayState;
                          Quit();
                      }},
                 }));
    EXPECT_EQ(Unavailable, soon);
    EXPECT_EQ(NotEmpty, later);
    EXPECT_LT(OwnCpuMilliseconds() - before, 1000.0);
}

// A share whose server sends no change notifications lists all the same;
// with the rescan delay Disabled it would never be looked at again.
TEST_F(MainLoopTest, AFolderThatListsButCannotBeWatchedIsLookedAtEveryTenSecondsUntilItCanBe)
{
    bool refused = true;
    std::vector<DWORD> looks; // when each scan armed its watch on the folder
    ChangeNotifier = [&](const char* watched, DWORD filter) {
        if (watched == folder.Path())
            looks.push_back(GetTickCount());
        return refused ? INVALID_HANDLE_VALUE : FindFirstChangeNotificationA(watched, FALSE, filter);
    };
    ScanFolder(1);
    EXPECT_EQ(0, RunWith({{100, [&] { folder.AddFile("arrival.txt"); }},
                          {9000, [&] { refused = false; }},
                          {12000, Quit}}));
    EXPECT_EQ(NotEmpty, CurrentTrayState);
    // One look 10 s on, which armed a watch: from then on Disabled waits.
    ASSERT_EQ(2u, looks.size());
    EXPECT_NEAR(10000.0, double(looks[1] - looks[0]), 600.0);
}

// An inbox deleted and made again, as sync tools do, with the rescan delay
// Disabled: the nearest folder above it is watched meanwhile. Then, while the
// inbox is away, the folder above it moves to the Recycle Bin: a watch on
// Windows follows a folder that moves without firing (as the stand-in's does
// here), so a click must watch from further up, where the two come back.
TEST_F(MainLoopTest, AFolderThatComesBackIsSeenAndOtherChangesAboveItShowNothing)
{
    const std::string drop = folder.Path() + "\\drop";
    lstrcpyA(WatchedFolder, (drop + "\\inbox").c_str());
    ScanFolder(1);
    TempFolder staging;
    const std::string inbox = staging.AddFolder("inbox");
    staging.AddFile("inbox\\page.pdf");
    staging.AddFolder("drop");
    staging.AddFolder("drop\\inbox");
    staging.AddFile("drop\\inbox\\page.pdf");
    bool deaf = false; // from then on, a watch on drop never fires
    ChangeNotifier = [&](const char* watched, DWORD filter) {
        return deaf && watched == drop ? CreateEventA(nullptr, TRUE, FALSE, nullptr)
                                       : FindFirstChangeNotificationA(watched, FALSE, filter);
    };
    TrayCalls.clear();
    size_t returned = 0;
    const double before = OwnCpuMilliseconds();
    EXPECT_EQ(0, RunWith({{50, [&] { folder.AddFolder("elsewhere"); }},
                          {150, [&] { folder.AddFolder("drop"); }}, // on the way back
                          {250, [&] { folder.AddFolder("drop\\other"); }},
                          {1000, [&] { MoveFileA(inbox.c_str(), WatchedFolder); }},
                          {1100,
                           [&] {
                               returned = TrayCalls.size();
                               deaf = true;
                               MoveFileA(WatchedFolder, (staging.Path() + "\\gone").c_str());
                           }},
                          {1200, [&] { MoveFileA(drop.c_str(), (folder.Path() + "\\recycled").c_str()); }},
                          {1300, [] { ScanFolder(CheckingAtOnce); }},
                          {1400, [&] { MoveFileA((staging.Path() + "\\drop").c_str(), drop.c_str()); }},
                          {1600, Quit}}));
    // Watched again after each change above, the loop never spun meanwhile.
    EXPECT_LT(OwnCpuMilliseconds() - before, 100.0);
    // Only the return showed, without Checking, and its notification.
    ASSERT_EQ(2u, returned);
    EXPECT_EQ(TrayIcons[NotEmpty], TrayCalls[0].icon);
    EXPECT_TRUE(TrayCalls[1].flags & NIF_INFO);
    EXPECT_EQ(NotEmpty, CurrentTrayState) << "the folder made again after its parent moved away";
    EXPECT_TRUE(ChangeHandle.Armed());
}

// Explorer's Delete moves the folder into the Recycle Bin, and sync tools
// swap folders: no notification on the folder tells of that, only one above
// it. With the rescan delay Disabled.
TEST_F(MainLoopTest, TheFolderMovingAwayIsSeenAtOnceAndChangesBesideItShowNothing)
{
    const std::string inbox = folder.AddFolder("inbox"), recycled = folder.Path() + "\\recycled";
    lstrcpyA(WatchedFolder, inbox.c_str());
    ScanFolder(1);
    TrayCalls.clear();
    int beside = -1, moved = -1, landedInMoved = -1;
    EXPECT_EQ(0, RunWith({{50, [&] { folder.AddFolder("beside"); }},
                          {150, [&] { beside = int(TrayCalls.size()); }},
                          {200, [&] { MoveFileA(inbox.c_str(), recycled.c_str()); }},
                          {300, [&] { moved = CurrentTrayState; }},
                          {350, [&] { folder.AddFile("recycled\\late.txt"); }},
                          {450, [&] { landedInMoved = CurrentTrayState; }},
                          {500,
                           [&] {
                               folder.AddFolder("inbox");
                               folder.AddFile("inbox\\new.txt");
                           }},
                          {650, Quit}}));
    EXPECT_EQ(0, beside) << "a change beside the folder showed";
    EXPECT_EQ(Unavailable, moved);
    EXPECT_EQ(Unavailable, landedInMoved);
    EXPECT_EQ(NotEmpty, CurrentTrayState) << "a folder made again under the name";
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
    const SameObject armed(notification);
    ASSERT_TRUE(armed.NamedBy(notification));
    Shutdown();
    EXPECT_FALSE(armed.NamedBy(notification));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &TrayIconData));
}

} // namespace
