#include "app/main_loop.h"

#include "app/main_window.h"
#include "app/platform.h"
#include "settings/settings.h"
#include "watch/scan.h"
#include "watch/tray.h"

HWND MainWindow;

namespace {

// Keys, mouse, posted and sent messages, timers, paint and hot keys.
constexpr DWORD WakeMask = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER | QS_PAINT |
                           QS_SENDMESSAGE | QS_HOTKEY;

} // namespace

bool CreateMainWindow(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = TrayIcons[Checking];
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
    // The rescan delay counts from the loop's last scan, not from the last
    // message: a steady trickle of messages must not put it off for ever.
    DWORD lastScan = GetTickCount();
    while (!quit) {
        // Without a notification (none armed yet, or the folder is missing)
        // wait on the queue and the time-out alone: INVALID_HANDLE_VALUE is
        // no wait object, and waiting on it would make the loop spin. With no
        // handle, WAIT_OBJECT_0 means input, not a change.
        const bool watching = HoldsChangeNotification();
        DWORD timeout = RescanTimeout();
        if (timeout != INFINITE) {
            const DWORD elapsed = GetTickCount() - lastScan;
            timeout = elapsed < timeout ? timeout - elapsed : 0;
        }
        const DWORD result =
            MsgWaitForMultipleObjects(watching ? 1 : 0, &ChangeHandle, FALSE, timeout, WakeMask);
        if ((watching && result == WAIT_OBJECT_0) || result == WAIT_TIMEOUT) {
            ScanFolder(1);
            lastScan = GetTickCount();
        }
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
    if (HoldsChangeNotification())
        FindCloseChangeNotification(ChangeHandle);
    ChangeHandle = nullptr;
    NotifyTray(NIM_DELETE, &TrayIconData);
}
