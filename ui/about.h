// The About box: name and version, attribution, author, portrait and a link
// to the maker's web page.
#pragma once
#include <windows.h>

// 1 while the dialog is open.
extern int AboutOpen;
// Set afresh each time the dialog opens.
extern HWND LinkControl;
extern HCURSOR LinkCursor;
extern HFONT LinkFont;
// The link text's area in dialog client coordinates, right and bottom
// excluded.
extern RECT LinkHotSpot;

extern const char LinkAddress[];

// Runs the dialog modally for `owner`, unless it is open already.
void ShowAbout(HWND owner);

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog's own font, underlined, so that the link matches the other texts
// at any scale; the caller owns it.
HFONT CreateLinkFont(HWND dialog);
