#include "tests/support/program_state.h"

#include "app/main_loop.h"
#include "settings/settings.h"
#include "tests/support/fake_platform.h"
#include "tests/support/registry.h"
#include "ui/about.h"
#include "ui/scale.h"
#include "ui/tray_menu.h"
#include "watch/drive.h"
#include "watch/scan.h"
#include "watch/tray.h"

void ResetProgramState()
{
    ChangeHandle.Close();
    ParentWatch.Close();
    DriveRegistration.Unregister();
    WasNotEmpty = 0;
    LookAgainSoon = false;
    if (TrayIconData.cbSize)
        Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
    ZeroMemory(&TrayIconData, sizeof(TrayIconData));
    CurrentTrayState = -1;
    TrayIconShown = false;
    if (TrayRetryDelay)
        KillTimer(MainWindow, TRAY_RETRY_TIMER_ID);
    TrayRetryDelay = 0;
    WatchedFolder[0] = 0;
    BuzzerMode = 1;
    RescanDelay = 0;
    ShowHidden = 1;
    ShowSubfolders = 1;
    Permanent = 1;
    ShowNotification = 1;
    AboutOpen = 0;
    ResetFakePlatform();
}

namespace {

void EmptyMenu(HMENU menu)
{
    while (GetMenuItemCount(menu) > 0)
        RemoveMenu(menu, 0, MF_BYPOSITION);
}

} // namespace

void SetUpMainWindow()
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    LoadTrayIcons(instance, WindowDpi(nullptr));
    if (!IsWindow(MainWindow))
        CreateMainWindow(instance);
    EmptyMenu(TrayMenu.Handle());
    EmptyMenu(RescanMenu.Handle());
    EmptyMenu(BuzzerMenu.Handle());
    BuildTrayMenu();
}

void ProgramTest::SetUp()
{
    ClearSettings();
    ResetProgramState();
    SetUpMainWindow();
}

void ProgramTest::TearDown()
{
    ResetProgramState();
    ClearSettings();
}
