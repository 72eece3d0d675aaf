// The display's scale, as far as the running Windows can tell it.
#pragma once
#include <windows.h>

// A function of user32 that older Windows lacks; null there.
template <typename Function> Function User32Function(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

// The DPI of the display `window` is on; the system's for a null window, and
// for any window before Windows 10 1607.
UINT WindowDpi(HWND window);

// The small-icon size for `dpi`; the system's before Windows 10 1607, which
// knows no other.
int SmallIconSize(UINT dpi);

// The size the tray draws its icons at: the small-icon size of the display
// the taskbar is on, which need not be the system's nor the one our window
// is on. Where Windows cannot tell (before Windows 10 1607), that of `dpi`.
int TrayIconSize(UINT dpi);
