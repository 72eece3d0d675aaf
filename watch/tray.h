// The tray icon: its picture shows the watched folder's state, its tip the
// folder's path.
#pragma once
#include <windows.h>
#include <shellapi.h>

enum TrayState : int { Checking = 0, Empty = 1, NotEmpty = 2, Unavailable = 3 };

// The message with which the shell reports mouse events over the icon; wParam
// is TRAY_ICON_ID, lParam the mouse message.
constexpr UINT WM_TRAYICON = WM_USER + 1;
constexpr UINT TRAY_ICON_ID = 110;

// Size of the original NOTIFYICONDATAA, which every shell understands: 88
// bytes in a 32-bit program.
constexpr DWORD TRAY_ICON_DATA_SIZE = NOTIFYICONDATAA_V1_SIZE;

// One icon per state, indexed by TrayState; null where loading failed.
extern HICON TrayIcons[4];
// The last state applied, -1 before the first.
extern int CurrentTrayState;
// The record the icon was added with; cbSize stays 0 until then.
extern NOTIFYICONDATAA TrayIconData;

// Loads the four state icons from the program's own resources.
void LoadTrayIcons(HINSTANCE instance);

// Shows `state`, adding the icon the first time. A state already shown costs
// nothing, not even a refresh of the tip.
void SetTrayState(TrayState state);

// Adds the icon again as it stands, for a shell that has restarted and lost
// it. Does nothing before the icon was first added.
void RestoreTrayIcon();
