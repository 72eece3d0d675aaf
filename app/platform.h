// The two calls whose only effect lies outside the program: a sound and a
// shell launch. Kept apart so that tests can stand in for them at link time.
#pragma once
#include <windows.h>

// MessageBeep(type).
void PlayAlert(UINT type);

// ShellExecuteA with these arguments; its result is not used.
void ShellOpen(HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
               int show);
