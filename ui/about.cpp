#include "ui/about.h"

#include "app/platform.h"
#include "resource.h"
#include "ui/scale.h"

int AboutOpen;
HWND LinkControl;
HCURSOR LinkCursor;
HFONT LinkFont;
RECT LinkHotSpot;

const char LinkAddress[] = "http://www.orrel.example/tarnwick/";

namespace {

const COLORREF LinkColour = RGB(0, 0, 192);

HINSTANCE InstanceOf(HWND window)
{
    return HINSTANCE(GetWindowLongPtrA(window, GWLP_HINSTANCE));
}

void CloseAbout(HWND dialog)
{
    AboutOpen = 0;
    // The picture control loaded the portrait from the template; not every
    // static control frees such an image, so take it back and free it here.
    if (HGDIOBJ picture =
            HGDIOBJ(SendDlgItemMessageA(dialog, IDC_ABOUT_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, 0)))
        DeleteObject(picture);
    EndDialog(dialog, 0);
}

// The portrait is drawn for 96 DPI. At another scale the dialog grows with
// its font, and the picture is stretched along (halftone, which keeps the
// dithered greys even) so that it keeps its place beside the texts.
void ScalePortrait(HWND dialog)
{
    const HWND control = GetDlgItem(dialog, IDC_ABOUT_PICTURE);
    const auto drawn = HGDIOBJ(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP original;
    const int dpi = int(WindowDpi(dialog));
    if (dpi == 96 || !drawn || !GetObjectA(drawn, sizeof(original), &original))
        return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = MulDiv(original.bmWidth, dpi, 96);
    info.bmiHeader.biHeight = MulDiv(original.bmHeight, dpi, 96);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24; // not 32: a 32-bit picture would be taken for one with alpha
    void* bits = nullptr;
    HDC screen = GetDC(dialog);
    HBITMAP scaled = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    ReleaseDC(dialog, screen);
    if (scaled && from && to) {
        const HGDIOBJ oldFrom = SelectObject(from, drawn), oldTo = SelectObject(to, scaled);
        SetStretchBltMode(to, HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);
        StretchBlt(to, 0, 0, info.bmiHeader.biWidth, info.bmiHeader.biHeight, from, 0, 0, original.bmWidth,
                   original.bmHeight, SRCCOPY);
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
        // The control hands back the picture it held, ours to free.
        if (const auto old = HGDIOBJ(SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, LPARAM(scaled))))
            DeleteObject(old);
    } else if (scaled) {
        DeleteObject(scaled);
    }
    DeleteDC(from);
    DeleteDC(to);
}

void OnInitDialog(HWND dialog)
{
    AboutOpen = 1;
    LinkCursor = LoadCursorA(InstanceOf(dialog), MAKEINTRESOURCEA(IDR_LINK_CURSOR));
    LinkControl = GetDlgItem(dialog, IDC_ABOUT_LINK);
    LinkFont = CreateLinkFont(dialog);
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, "Tarnwick " TARNWICK_VERSION);
    SetDlgItemTextA(dialog, IDC_ABOUT_NOTICE, "Copyright 2026 Orrel Software");
    SetDlgItemTextA(dialog, IDC_ABOUT_AUTHOR, "Written by Ada Merrow");
    SetWindowTextA(LinkControl, LinkAddress);
    ScalePortrait(dialog);

    // The hot spot spans the control's height and the text's width, measured
    // in the font the text is drawn in.
    GetWindowRect(LinkControl, &LinkHotSpot);
    ScreenToClient(dialog, reinterpret_cast<POINT*>(&LinkHotSpot.left));
    ScreenToClient(dialog, reinterpret_cast<POINT*>(&LinkHotSpot.right));
    SIZE extent = {};
    HDC dc = GetDC(LinkControl);
    HGDIOBJ oldFont = SelectObject(dc, LinkFont);
    GetTextExtentPoint32A(dc, LinkAddress, lstrlenA(LinkAddress), &extent);
    SelectObject(dc, oldFont);
    ReleaseDC(LinkControl, dc);
    LinkHotSpot.right = LinkHotSpot.left + extent.cx;
}

bool OverLink(POINT point)
{
    return PtInRect(&LinkHotSpot, point);
}

// The address is ASCII, which GDI's -A calls draw alike in every code page:
// they take the system's, not the program's UTF-8.
void DrawLink(const DRAWITEMSTRUCT& item)
{
    HGDIOBJ oldFont = SelectObject(item.hDC, LinkFont);
    const COLORREF oldColour = SetTextColor(item.hDC, LinkColour);
    TextOutA(item.hDC, item.rcItem.left, item.rcItem.top, LinkAddress, lstrlenA(LinkAddress));
    SetTextColor(item.hDC, oldColour);
    SelectObject(item.hDC, oldFont);
}

} // namespace

void ShowAbout(HWND owner)
{
    if (AboutOpen)
        return;
    DialogBoxParamA(InstanceOf(owner), MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialogProc, 0);
    if (LinkFont) {
        DeleteObject(LinkFont);
        LinkFont = nullptr;
    }
}

HFONT CreateLinkFont(HWND window)
{
    // Nothing is selected into the window's DC, so these are the metrics of
    // the system font.
    TEXTMETRICA metrics = {};
    HDC dc = GetDC(window);
    GetTextMetricsA(dc, &metrics);
    ReleaseDC(window, dc);

    LOGFONTA font = {};
    font.lfHeight = metrics.tmAscent;
    font.lfUnderline = 1;
    lstrcpyA(font.lfFaceName, "MS Sans Serif");
    return CreateFontIndirectA(&font);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_SETCURSOR: {
        if (!LinkControl || !LinkCursor)
            return FALSE;
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(dialog, &cursor);
        if (!OverLink(cursor))
            return FALSE;
        SetCursor(LinkCursor);
        return TRUE;
    }
    case WM_DRAWITEM:
        DrawLink(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return FALSE;
    case WM_LBUTTONDOWN: {
        // The link control takes no mouse input, so clicks on it land here.
        const POINT click = {LONG(LOWORD(lParam)), LONG(HIWORD(lParam))};
        if (!OverLink(click))
            return FALSE;
        // Shown normally: a browser started hidden would seem not to open.
        ShellOpen(dialog, "", LinkAddress, "", "", SW_SHOWNORMAL);
        return TRUE;
    }
    case WM_COMMAND:
        // Only OK closes; Escape's IDCANCEL is swallowed.
        if (wParam == IDOK)
            CloseAbout(dialog);
        return TRUE;
    case WM_CLOSE:
        CloseAbout(dialog);
        return TRUE;
    }
    return FALSE;
}
