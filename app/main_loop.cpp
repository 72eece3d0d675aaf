#include "app/main_loop.h"

#include "app/main_window.h"
#include "app/platform.h"
#include "resource.h"
#include "settings/settings.h"
#include "watch/drive.h"
#include "watch/scan.h"
#include "watch/tray.h"

HWND MainWindow;

namespace {

// Keys, mouse, posted and sent messages, timers, paint and hot keys.
constexpr DWORD WakeMask = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER | QS_PAINT |
                           QS_SENDMESSAGE | QS_HOTKEY;

// How long the end waits for the notifications to close: on a share that
// may wait for its server, and Exit must end the program all the same.
constexpr DWORD ClosingWait = 500;

} // namespace

bool CreateMainWindow(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    // The shared icon at the size Windows wants for a window, not one of the
    // tray's, which are replaced when the display's scale changes.
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_CHECKING));
    windowClass.lpszClassName = "Tarnwick";
    RegisterClassA(&windowClass);

    MainWindow = CreateWindowExA(0, "Tarnwick", "Tarnwick", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!MainWindow)
        return false;
    ShowWindow(MainWindow, SW_HIDE);
    HearTaskbarCreated(MainWindow);
    return true;
}

int RunMainLoop()
{
    MSG message;
    message.message = 0;
    bool quit = false;
    while (!quit) {
        // Wait on the notifications that are armed, and on the queue. Without
        // one (none armed yet, or the folder is missing) wait on the queue and
        // the time-out alone: INVALID_HANDLE_VALUE is no wait object, and
        // waiting on it would make the loop spin.
        HANDLE changes[2];
        DWORD count = 0;
        if (ChangeHandle.Armed())
            changes[count++] = ChangeHandle;
        if (ParentWatch.Armed())
            changes[count++] = ParentWatch;
        // The delay counts from the end of the last scan, whoever ran it, not
        // from the last message: a steady trickle of messages must not put it
        // off for ever, and a listing that waits on a server that does not
        // answer must still leave the whole delay for clicks before the next.
        DWORD timeout = ScanTimeout();
        if (timeout != INFINITE) {
            const DWORD elapsed = GetTickCount() - LastScanEnd;
            timeout = elapsed < timeout ? timeout - elapsed : 0;
        }
        const DWORD result = MsgWaitForMultipleObjects(count, changes, FALSE, timeout, WakeMask);
        // A change above a missing folder that does not bring it back is no
        // scan: a busy parent must not put off the rescan.
        if (result < count && changes[result] == ParentWatch)
            LookAbove();
        else if (result < count)
            ScanFolder(CheckingAtOnce);
        else if (result == WAIT_TIMEOUT)
            // The rescan the user chose shows Checking; a look made sooner
            // only because nothing else would tell does not.
            ScanFolder(ScanTimeout() == RescanTimeout() ? CheckingAtOnce : CheckingNever);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                break;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return int(message.wParam);
}

void Shutdown()
{
    // The icon first: nothing before it may wait.
    NotifyTray(NIM_DELETE, &TrayIconData);
    DriveRegistration.Unregister();
    CloseWatches(ClosingWait);
}
