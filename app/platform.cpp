#include "app/platform.h"

#include "ui/scale.h"

void PlayAlert(UINT type)
{
    MessageBeep(type);
}

void ShellOpen(HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
               int show)
{
    ShellExecuteA(owner, verb, file, parameters, directory, show);
}

BOOL NotifyTray(DWORD message, NOTIFYICONDATAA* data)
{
    return Shell_NotifyIconA(message, data);
}

UINT TaskbarDpi()
{
    const auto forWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    const HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    return forWindow && taskbar ? forWindow(taskbar) : 0;
}
