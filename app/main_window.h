// The hidden main window's procedure: tray clicks and menu commands.
#pragma once
#include <windows.h>

// The one-shot timer that tells a single click on the tray icon from a
// double click.
constexpr UINT_PTR CLICK_TIMER_ID = 120;

// Lets the shell's "TaskbarCreated" broadcast through to `window` even when
// the program runs elevated and the shell does not; where Windows has no
// message filter, or it refuses, nothing changes.
void HearTaskbarCreated(HWND window);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Opens the watched folder in the shell.
void OpenWatchedFolder();

// Pops up the tray menu at the mouse cursor.
void ShowTrayMenu();
