#include "tests/support/screen.h"

#include <cstdlib>
#include <vector>

#include "tests/support/files.h"

namespace {

HWND TrayWindow()
{
    return FindWindowA(nullptr, "Wine System Tray");
}

// The tray draws a changed icon over the old one without clearing it, so
// have it repaint from scratch before looking.
void Repaint(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(50);
}

// The screen's pixels in `area` (screen coordinates), as 0xRRGGBB.
std::vector<DWORD> Grab(const RECT& area)
{
    const int width = area.right - area.left, height = area.bottom - area.top;
    std::vector<DWORD> pixels(size_t(width > 0 ? width : 0) * size_t(height > 0 ? height : 0));
    if (pixels.empty())
        return pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    CopyMemory(pixels.data(), bits, pixels.size() * sizeof(DWORD));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    for (DWORD& pixel : pixels)
        pixel &= 0xFFFFFF;
    return pixels;
}

RECT TrayArea()
{
    RECT area = {};
    if (HWND tray = TrayWindow()) {
        Repaint(tray);
        GetClientRect(tray, &area);
        MapWindowPoints(tray, nullptr, reinterpret_cast<POINT*>(&area), 2);
    }
    return area;
}

std::string ArtefactPath(const char* name)
{
    const std::string folder = ZPath(TARNWICK_ARTEFACTS);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\" + name + ".bmp";
}

std::string Save(const RECT& area, const char* name)
{
    const std::vector<DWORD> pixels = Grab(area);
    const int width = area.right - area.left, height = area.bottom - area.top;
    const std::string path = ArtefactPath(name);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = -height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = DWORD(file.bfOffBits + pixels.size() * 4);
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(out, &file, sizeof(file), &written, nullptr);
    WriteFile(out, &info, sizeof(info), &written, nullptr);
    WriteFile(out, pixels.data(), DWORD(pixels.size() * 4), &written, nullptr);
    CloseHandle(out);
    return path;
}

} // namespace

TrayPicture ReadTrayPicture()
{
    int yellow = 0, blue = 0, red = 0;
    for (DWORD pixel : Grab(TrayArea())) {
        yellow += pixel == 0xFFFF00;
        blue += pixel == 0x0000FF;
        red += pixel == 0xFF0000;
    }
    if (red > 0)
        return TrayPicture::Unavailable;
    if (blue > 0)
        return TrayPicture::Checking;
    if (yellow == 0)
        return TrayPicture::None;
    // At every size the empty sack's yellow covers an eighth of the picture
    // or so, the full one's over a third.
    const int size = MulDiv(16, ExpectedDpi(), 96);
    return yellow * 100 < 23 * size * size ? TrayPicture::Empty : TrayPicture::NotEmpty;
}

TrayPicture WaitForTrayPicture(TrayPicture picture, DWORD timeout)
{
    const DWORD start = GetTickCount();
    TrayPicture seen;
    while ((seen = ReadTrayPicture()) != picture && GetTickCount() - start < timeout)
        Sleep(50);
    return seen;
}

const char* Describe(TrayPicture picture)
{
    switch (picture) {
    case TrayPicture::None:
        return "no icon";
    case TrayPicture::Checking:
        return "Checking";
    case TrayPicture::Empty:
        return "Empty";
    case TrayPicture::NotEmpty:
        return "NotEmpty";
    case TrayPicture::Unavailable:
        return "Unavailable";
    }
    return "?";
}

int ExpectedDpi()
{
    char dpi[16] = "";
    return GetEnvironmentVariableA("TARNWICK_DPI", dpi, sizeof(dpi)) ? std::atoi(dpi) : 96;
}

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

std::vector<DWORD> TrayPixels(int* width)
{
    const RECT area = TrayArea();
    *width = area.right - area.left;
    return Grab(area);
}

std::string SaveTrayPicture(const char* name)
{
    return Save(TrayArea(), name);
}

std::string SaveWindowPicture(HWND window, const char* name, int margin)
{
    RECT area;
    GetWindowRect(window, &area);
    InflateRect(&area, margin, margin);
    return Save(area, name);
}
