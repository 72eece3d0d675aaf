#include "ui/about.h"

#include <cstdlib>

#include "app/platform.h"
#include "resource.h"

int AboutOpen;
HWND LinkControl;
HCURSOR LinkCursor;
HFONT LinkFont;
RECT LinkHotSpot;

const char LinkAddress[] = "http://www.orrel.example/tarnwick/";

namespace {

const COLORREF LinkColour = RGB(0, 0, 192);

// Posted to the dialog to lay out anew what depends on its scale.
constexpr UINT WM_RELAYOUT = WM_APP;

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

// A copy of `picture` (`drawn` its size) stretched to `width` by `height`,
// with halftone, which keeps the dithered greys even; null when none can be
// made.
HBITMAP Stretch(HWND dialog, HBITMAP picture, const BITMAP& drawn, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24; // not 32: a 32-bit picture would be taken for one with alpha
    void* bits = nullptr;
    HDC screen = GetDC(dialog);
    HBITMAP stretched = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    ReleaseDC(dialog, screen);
    if (stretched && from && to) {
        const HGDIOBJ oldFrom = SelectObject(from, picture), oldTo = SelectObject(to, stretched);
        SetStretchBltMode(to, HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);
        StretchBlt(to, 0, 0, width, height, from, 0, 0, drawn.bmWidth, drawn.bmHeight, SRCCOPY);
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
    } else if (stretched) {
        DeleteObject(stretched);
        stretched = nullptr;
    }
    DeleteDC(from);
    DeleteDC(to);
    return stretched;
}

// The portrait is drawn for 100 % display scale, where it fills its box of
// the dialog. At another scale the dialog's units are larger, and the
// picture is stretched as far as its box allows with its shape kept, so
// that it keeps its place beside the texts in any font. A pixel either way
// is the rounding of the units, and not worth a blur.
void ScalePortrait(HWND dialog)
{
    // From the picture as drawn, not from one stretched for another scale.
    HBITMAP shown =
        HBITMAP(LoadImageA(InstanceOf(dialog), MAKEINTRESOURCEA(IDB_ABOUT), IMAGE_BITMAP, 0, 0, 0));
    BITMAP drawn;
    if (!shown)
        return;
    if (!GetObjectA(shown, sizeof(drawn), &drawn)) {
        DeleteObject(shown);
        return;
    }
    RECT box = {0, 0, ABOUT_PICTURE_WIDTH, ABOUT_PICTURE_HEIGHT};
    MapDialogRect(dialog, &box);
    int width = box.right, height = box.bottom;
    if (width * drawn.bmHeight > height * drawn.bmWidth)
        width = MulDiv(drawn.bmWidth, height, drawn.bmHeight);
    else
        height = MulDiv(drawn.bmHeight, width, drawn.bmWidth);
    if (std::abs(width - drawn.bmWidth) > 1 || std::abs(height - drawn.bmHeight) > 1) {
        if (const HBITMAP stretched = Stretch(dialog, shown, drawn, width, height)) {
            DeleteObject(shown);
            shown = stretched;
        }
    }
    // The control hands back the picture it held, ours to free.
    if (const auto old = HGDIOBJ(
            SendDlgItemMessageA(dialog, IDC_ABOUT_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, LPARAM(shown))))
        DeleteObject(old);
}

// What depends on the dialog's scale: the link's font and its hot spot, and
// the portrait. Done when it opens, and again when it is moved to a display
// of another scale.
void LayOut(HWND dialog)
{
    if (const HFONT font = CreateLinkFont(dialog)) {
        if (LinkFont)
            DeleteObject(LinkFont);
        LinkFont = font;
    }
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
    InvalidateRect(LinkControl, nullptr, TRUE);
}

void OnInitDialog(HWND dialog)
{
    AboutOpen = 1;
    LinkCursor = LoadCursorA(InstanceOf(dialog), MAKEINTRESOURCEA(IDR_LINK_CURSOR));
    LinkControl = GetDlgItem(dialog, IDC_ABOUT_LINK);
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, "Tarnwick " TARNWICK_VERSION);
    SetDlgItemTextA(dialog, IDC_ABOUT_NOTICE, "Copyright 2026 Orrel Software");
    SetDlgItemTextA(dialog, IDC_ABOUT_AUTHOR, "Written by Ada Merrow");
    SetWindowTextA(LinkControl, LinkAddress);
    LayOut(dialog);
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

HFONT CreateLinkFont(HWND dialog)
{
    LOGFONTA font = {};
    const auto dialogFont = HGDIOBJ(SendMessageA(dialog, WM_GETFONT, 0, 0));
    if (!dialogFont || !GetObjectA(dialogFont, sizeof(font), &font))
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    font.lfUnderline = 1;
    return CreateFontIndirectA(&font);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_DPICHANGED:
        // Windows scales the dialog, its font and its controls once this
        // returns; what depends on them follows after.
        PostMessageA(dialog, WM_RELAYOUT, 0, 0);
        return FALSE;
    case WM_RELAYOUT:
        LayOut(dialog);
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
