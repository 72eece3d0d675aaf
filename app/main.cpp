// Tarnwick's entry function: one copy at a time, a hidden window, a folder to
// watch, then the main loop.
#include <windows.h>

#include "app/main_loop.h"
#include "settings/chooser.h"
#include "settings/settings.h"
#include "ui/scale.h"
#include "ui/tray_menu.h"
#include "watch/scan.h"
#include "watch/tray.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // The mutex lives as long as the process; a second copy finds it.
    CreateMutexA(nullptr, FALSE, "Tarnwick");
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;

    LoadSettings();
    LoadTrayIcons(instance, WindowDpi(nullptr));

    if (!CreateMainWindow(instance))
        return 0;

    BuildTrayMenu();

    SetRescanDelay(RescanDelay);
    SetBuzzer(BuzzerMode);
    SetShowNotification(ShowNotification);
    SetShowSubfolders(ShowSubfolders);
    SetShowHidden(ShowHidden);
    SetPermanent(Permanent);

    // The setters' scans have looked at the folder, on the helper thread:
    // only a path that names something else, a file say, asks for another.
    // One that does not exist right now (a removed drive, a share whose
    // server is away) stays the watched folder and shows Unavailable.
    while (!WatchedFolder[0] || PathIsAFile) {
        if (!ChooseFolder()) {
            Shutdown();
            return 0;
        }
    }

    ScanFolder(CheckingAtOnce);
    const int exitCode = RunMainLoop();
    Shutdown();
    return exitCode;
}
