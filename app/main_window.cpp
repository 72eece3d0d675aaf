#include "app/main_window.h"

#include "app/main_loop.h"
#include "app/platform.h"
#include "resource.h"
#include "settings/chooser.h"
#include "settings/settings.h"
#include "ui/about.h"
#include "ui/res_string.h"
#include "ui/scale.h"
#include "ui/tray_menu.h"
#include "watch/drive.h"
#include "watch/scan.h"
#include "watch/tray.h"

namespace {

// Broadcast to top-level windows when the shell's taskbar (re)starts; a
// restarted shell has forgotten our icon.
const UINT TaskbarCreated = RegisterWindowMessageA("TaskbarCreated");

// Asks whether to remove the program's stored data. Exit stays greyed while
// the question is open.
bool ConfirmUninstall(HWND window)
{
    const char suffix[] = " Tarnwick?";
    char prompt[1024];
    // Copied out before the caption is loaded into the same shared buffer.
    lstrcpynA(prompt, Strings.LoadResString(IDS_UNINSTALL), sizeof(prompt) - lstrlenA(suffix));
    lstrcatA(prompt, suffix);
    TrayMenu.GreyItem(IDM_EXIT);
    const int answer =
        MessageBoxA(window, prompt, Strings.LoadResString(IDS_CONFIRMATION), MB_ICONWARNING | MB_YESNO);
    TrayMenu.EnableItem(IDM_EXIT);
    return answer == IDYES;
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    // The whole wParam is compared, so only menu commands (high word 0) match.
    switch (wParam) {
    case IDM_ABOUT:
        TrayMenu.GreyItem(IDM_ABOUT);
        ShowAbout(window);
        TrayMenu.EnableItem(IDM_ABOUT);
        return 0;
    case IDM_EXIT:
        if (GetKeyState(VK_SHIFT) < 0) {
            if (!ConfirmUninstall(window))
                break;
            RemoveSettings();
        }
        PostQuitMessage(0);
        return 0;
    case IDM_OPEN:
        OpenWatchedFolder();
        return 0;
    case IDM_SELECT_FOLDER:
        TrayMenu.GreyItem(IDM_SELECT_FOLDER);
        ChooseFolder();
        TrayMenu.EnableItem(IDM_SELECT_FOLDER);
        return 0;
    case IDM_PERMANENT:
        SetPermanent(Permanent ? 0 : 1);
        return 0;
    case IDM_HIDDEN:
        SetShowHidden(ShowHidden ? 0 : 1);
        return 0;
    case IDM_SUBFOLDERS:
        SetShowSubfolders(ShowSubfolders ? 0 : 1);
        return 0;
    case IDM_NOTIFY:
        SetShowNotification(ShowNotification ? 0 : 1);
        return 0;
    case IDM_CANCEL:
        return 0;
    case IDM_BUZZER_QUIET:
    case IDM_BUZZER_SPEAKER:
    case IDM_BUZZER_WAVE:
        SetBuzzer(int(wParam) - IDM_BUZZER_QUIET);
        return 0;
    case IDM_RESCAN_DISABLED:
    case IDM_RESCAN_SHORT:
    case IDM_RESCAN_NORMAL:
    case IDM_RESCAN_LONG:
        SetRescanDelay(int(wParam) - IDM_RESCAN_DISABLED);
        return 0;
    }
    return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}

LRESULT OnTrayIcon(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (wParam == TRAY_ICON_ID) {
        // The event is the low word, whatever version the shell speaks.
        switch (LOWORD(lParam)) {
        case WM_LBUTTONDOWN:
            // A double click counts up to the double-click time after the
            // first press; the extra 10 ms let its message arrive before the
            // timer takes the press for a single click.
            SetTimer(MainWindow, CLICK_TIMER_ID, GetDoubleClickTime() + 10, nullptr);
            return 0;
        case WM_LBUTTONDBLCLK:
            KillTimer(MainWindow, CLICK_TIMER_ID);
            ScanFolder(CheckingIfSlow);
            OpenWatchedFolder();
            return 0;
        case WM_RBUTTONUP:
            ShowTrayMenu();
            return 0;
        case NIN_BALLOONUSERCLICK:
            OpenWatchedFolder();
            return 0;
        }
    }
    return DefWindowProcA(window, WM_TRAYICON, wParam, lParam);
}

} // namespace

void HearTaskbarCreated(HWND window)
{
    // Windows Vista and later keep registered messages from a less
    // privileged shell away from an elevated program unless it lets them in;
    // earlier Windows has no such filter and no such function.
    const auto allow = User32Function<BOOL(WINAPI*)(HWND, UINT, DWORD, void*)>("ChangeWindowMessageFilterEx");
    if (allow && TaskbarCreated)
        allow(window, TaskbarCreated, MSGFLT_ALLOW, nullptr);
}

namespace {

// Opens the folder `path`, which it then frees.
DWORD WINAPI OpenFolder(void* path)
{
    ShellOpen(nullptr, "open", static_cast<const char*>(path), nullptr, nullptr, SW_SHOWNORMAL);
    HeapFree(GetProcessHeap(), 0, path);
    return 0;
}

} // namespace

void OpenWatchedFolder()
{
    // On a thread of its own, with a stack the shell's extensions may need:
    // the shell looks at the path before it opens it, which for a share
    // waits on its server. Where no thread can be had, from here.
    if (void* path = HeapAlloc(GetProcessHeap(), 0, sizeof(WatchedFolder))) {
        lstrcpyA(static_cast<char*>(path), WatchedFolder);
        if (const HANDLE opener = CreateThread(nullptr, 0, OpenFolder, path, 0, nullptr)) {
            CloseHandle(opener);
            return;
        }
        HeapFree(GetProcessHeap(), 0, path);
    }
    ShellOpen(nullptr, "open", WatchedFolder, nullptr, nullptr, SW_SHOWNORMAL);
}

void ShowTrayMenu()
{
    TrayMenu.TrackAtCursor(MainWindow);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        if (wParam == CLICK_TIMER_ID) {
            KillTimer(MainWindow, CLICK_TIMER_ID);
            ScanFolder(CheckingAtOnce);
        } else if (wParam == TRAY_RETRY_TIMER_ID) {
            RetryTrayIcon();
        }
        return 0;
    case WM_POWERBROADCAST:
        // After sleep a change notification, a network folder's above all,
        // may never fire again: look afresh, arming every one anew.
        if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
            ScanAfresh();
            return TRUE;
        }
        break;
    case WM_DEVICECHANGE:
        if (OnDeviceChange(wParam, lParam))
            return TRUE;
        break;
    // The scale of our window's display changed, or the displays did: the
    // taskbar's may have too.
    case WM_DPICHANGED:
        RescaleTrayIcons(LOWORD(wParam));
        return 0;
    case WM_DISPLAYCHANGE:
        RescaleTrayIcons(WindowDpi(window));
        return 0;
    case WM_QUERYOPEN:
        return 0;
    case WM_TRAYICON:
        return OnTrayIcon(window, wParam, lParam);
    }
    if (message == TaskbarCreated && TaskbarCreated) {
        // Sent too when the display's scale changes.
        RescaleTrayIcons(WindowDpi(window));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
