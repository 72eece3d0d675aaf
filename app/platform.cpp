#include "app/platform.h"

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
