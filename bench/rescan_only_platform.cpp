// The platform layer of the rescan-only copy: the product's own calls, except
// that no change notification can be armed, so that copy learns of a change
// from its rescan delay alone.
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

HANDLE ArmChangeNotification(const char*, DWORD)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
}
