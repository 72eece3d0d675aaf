// The display's scale, as far as the running Windows can tell it.
#pragma once
#include <windows.h>

// The DPI of the display `window` is on; the system's for a null window, and
// for any window before Windows 10 1607.
UINT WindowDpi(HWND window);

// The small-icon size, at which the tray draws its icons, for `dpi`; the
// system's before Windows 10 1607, which knows no other.
int SmallIconSize(UINT dpi);
