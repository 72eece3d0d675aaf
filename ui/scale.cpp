#include "ui/scale.h"

#include "app/platform.h"

UINT WindowDpi(HWND window)
{
    static const auto forWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (window && forWindow)
        return forWindow(window);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return UINT(dpi);
}

int SmallIconSize(UINT dpi)
{
    static const auto forDpi = User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(SM_CXSMICON, dpi) : GetSystemMetrics(SM_CXSMICON);
}

int TrayIconSize(UINT dpi)
{
    const UINT taskbar = TaskbarDpi();
    return SmallIconSize(taskbar ? taskbar : dpi);
}
