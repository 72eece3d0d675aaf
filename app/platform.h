// The calls that tests and the benchmark stand in for at link time: the alert
// sound and the shell launch leave no trace a test could look at, the shell's
// tray fails in ways (a shell not ready at logon, a time-out) that cannot be
// brought about on demand, nor can a taskbar on a display of another scale
// or a server that is slow to list a folder, and the benchmark's rescan-only
// copy refuses the change notification.
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

// The DPI of the display the taskbar, and with it the tray, is on:
// GetDpiForWindow of its window; 0 where there is none, or Windows cannot
// tell (before Windows 10 1607).
UINT TaskbarDpi();

// FindFirstChangeNotificationA(folder, FALSE, filter): the new notification,
// INVALID_HANDLE_VALUE when none could be armed.
HANDLE ArmChangeNotification(const char* folder, DWORD filter);

// FindFirstFileW(pattern, entry): the listing with its first entry, or
// INVALID_HANDLE_VALUE with the error set.
HANDLE OpenListing(const WCHAR* pattern, WIN32_FIND_DATAW* entry);
