// Reads the tray icon's picture off the screen, and keeps pictures of what a
// test saw.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// What the tray shows, judged by colour: the question mark is blue, the cross
// red, and the flat empty sack shows less yellow than the full one.
enum class TrayPicture { None, Checking, Empty, NotEmpty, Unavailable };
TrayPicture ReadTrayPicture();
// Waits until the tray shows `picture`; returns the last picture seen.
TrayPicture WaitForTrayPicture(TrayPicture picture, DWORD timeout = 5000);
const char* Describe(TrayPicture picture);

// The display scale this test runs at, in DPI: TARNWICK_DPI where the run at
// another scale sets it (tests/at_dpi.sh), else Wine's 96.
int ExpectedDpi();
// The display scale this process sees, in DPI; the process sees the real one
// once it is aware of the scale, as the program is by its manifest.
int ScreenDpi();

// The tray's pixels as 0xRRGGBB, row by row, `width` to a row; empty when
// there is no tray.
std::vector<DWORD> TrayPixels(int* width);

// Saves the tray, or a window with `margin` pixels around it, as a BMP
// under the build's artefacts folder; returns the file's path.
std::string SaveTrayPicture(const char* name);
std::string SaveWindowPicture(HWND window, const char* name, int margin = 0);
