// The shell around the program: a restarted taskbar, and the About box and
// tray menu opened and closed over and over.
#include <gtest/gtest.h>

#include "resource.h"
#include "tests/fault/fault_support.h"

namespace {

class ShellFault : public testing::Test {
protected:
    void SetUp() override
    {
        ClearSettings();
        WriteString(SettingsKey, "Folder", folder.Path());
        ASSERT_TRUE(program.Open());
        ASSERT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    }
    void TearDown() override
    {
        if (program.Running()) {
            EXPECT_EQ(0u, program.Exit());
        }
        ClearSettings();
    }

    // Opens the About box, checks it is the program's dialog, closes it with
    // OK and waits until the program is back in its loop: the box is over
    // once its window is gone and the program answers again, for it frees the
    // box's font before it can answer. Returns the bitmap its picture showed.
    HANDLE CycleAbout()
    {
        PostMessageA(program.window, WM_COMMAND, IDM_ABOUT, 0);
        HWND about = FindProcessWindow(program.ProcessId(), "#32770", true, 5000);
        EXPECT_NE(nullptr, about);
        if (!about)
            return nullptr;
        const HANDLE picture =
            HANDLE(SendDlgItemMessageA(about, IDC_ABOUT_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
        SendMessageA(about, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 250 && IsWindow(about); ++i)
            Sleep(20);
        EXPECT_FALSE(IsWindow(about));
        EXPECT_TRUE(Responds(program.window));
        return picture;
    }

    // Pops the tray menu up the way a right click does and closes it with
    // Escape, as a user who changes their mind.
    void CycleMenu()
    {
        PostTrayMouse(program.window, WM_RBUTTONUP);
        HWND menu = FindProcessWindow(program.ProcessId(), "#32768", true, 5000);
        ASSERT_NE(nullptr, menu);
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        const DWORD start = GetTickCount();
        while (FindProcessWindow(program.ProcessId(), "#32768", true, 0) && GetTickCount() - start < 5000)
            Sleep(10);
        ASSERT_EQ(nullptr, FindProcessWindow(program.ProcessId(), "#32768", true, 0));
        ASSERT_TRUE(Responds(program.window));
    }

    TempFolder folder;
    RunningProgram program;
};

TEST_F(ShellFault, ARestartedTaskbarGetsTheIconBackShowingTheCurrentState)
{
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    ASSERT_NE(0u, taskbarCreated);

    // The shell forgets the icon; meanwhile the folder fills.
    DropIcon(program.window);
    ASSERT_EQ(TrayPicture::None, WaitForTrayPicture(TrayPicture::None));
    folder.AddFile("arrived-while-the-shell-was-away.txt");
    ASSERT_TRUE(ClickIcon(program.window));
    SendMessageA(program.window, taskbarCreated, 0, 0);
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty));

    // The same, announced the way the shell does it: to every top-level window.
    DropIcon(program.window);
    ASSERT_EQ(TrayPicture::None, WaitForTrayPicture(TrayPicture::None));
    PostMessageA(HWND_BROADCAST, taskbarCreated, 0, 0);
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty));

    // An announcement while the icon is still there changes nothing, and
    // many restarts cost nothing.
    const Usage before = Measure(program.ProcessId());
    const int restarts = Rounds(30, 2000);
    for (int i = 0; i < restarts; ++i) {
        if (i % 2)
            DropIcon(program.window);
        SendMessageA(program.window, taskbarCreated, 0, 0);
    }
    ASSERT_TRUE(Responds(program.window));
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty));
    ExpectFlat(before, Measure(program.ProcessId()), restarts, "taskbar restarts");

    // And the icon still follows the folder.
    RemoveTree(folder.Path() + "\\arrived-while-the-shell-was-away.txt");
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
}

// Each opening used to leave the portrait's bitmap behind under Wine.
TEST_F(ShellFault, TheAboutBoxOpenedAndClosedManyTimesLeaksNothing)
{
    // The first openings fill caches (classes, fonts, device contexts) that
    // stay for good.
    for (int i = 0; i < 8; ++i)
        CycleAbout();
    const Usage before = Measure(program.ProcessId());
    const int openings = Rounds(40, 1000);
    HANDLE picture = nullptr;
    for (int i = 0; i < openings && !HasFatalFailure(); ++i)
        picture = CycleAbout();
    ExpectFlat(before, Measure(program.ProcessId()), openings, "About box");
    ASSERT_NE(nullptr, picture);
    EXPECT_FALSE(GdiObjectAlive(program.ProcessId(), picture))
        << "the About box's picture outlives the dialog";

    // The program still answers its commands.
    PostMessageA(program.window, WM_COMMAND, IDM_BUZZER_WAVE, 0);
    EXPECT_TRUE(WaitForValue(SettingsKey, "Buzzer", RawNumber(2)));
}

TEST_F(ShellFault, TheTrayMenuOpenedAndClosedManyTimesLeaksNothing)
{
    CycleMenu();
    CycleMenu();
    const Usage before = Measure(program.ProcessId());
    const int openings = Rounds(40, 1000);
    for (int i = 0; i < openings && !HasFatalFailure(); ++i)
        CycleMenu();
    ExpectFlat(before, Measure(program.ProcessId()), openings, "tray menu");

    // Closing the menu lost no command: the folder is still watched and
    // the menu's commands still work.
    folder.AddFile("after-the-menus.txt");
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty));
    PostMessageA(program.window, WM_COMMAND, IDM_RESCAN_SHORT, 0);
    EXPECT_TRUE(WaitForValue(SettingsKey, "Rescan", RawNumber(1)));
}

} // namespace
