// The hidden main window and the loop that waits for the folder, the rescan
// delay and window messages.
#pragma once
#include <windows.h>

// The hidden top-level window that owns the tray icon and the tray menu.
extern HWND MainWindow;

// Registers the window class and creates the hidden main window, which is
// never shown. False when no window could be made.
bool CreateMainWindow(HINSTANCE instance);

// Waits and dispatches until WM_QUIT, running one scan of its own per pass
// when the folder changed or the rescan delay ran out. Returns WM_QUIT's
// wParam; WM_QUIT itself is never dispatched.
int RunMainLoop();

// Removes the tray icon, then lets go of the drive and closes the change
// notifications, waiting half a second at most for a server to answer.
void Shutdown();
