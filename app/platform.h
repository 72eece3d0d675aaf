// The calls that tests and the benchmark stand in for at link time: the alert
// sound and the shell launch leave no trace a test could look at, the shell's
// tray fails in ways (a shell not ready at logon, a time-out) that cannot be
// brought about on demand, and the benchmark's rescan-only copy refuses the
// change notification.
#pragma once
#include <windows.h>
#include <shellapi.h>

// MessageBeep(type).
void PlayAlert(UINT type);

// ShellExecuteA with these arguments; its result is not used.
void ShellOpen(HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
               int show);

// Shell_NotifyIconA(message, data): TRUE when the shell took the request.
BOOL NotifyTray(DWORD message, NOTIFYICONDATAA* data);

// FindFirstChangeNotificationA(folder, FALSE, filter): the new notification,
// INVALID_HANDLE_VALUE when none could be armed.
HANDLE ArmChangeNotification(const char* folder, DWORD filter);
