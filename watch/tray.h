// The tray icon: its picture shows the watched folder's state, its tip says
// it in words, for screen readers and for anyone who hovers.
#pragma once
#include <windows.h>
#include <shellapi.h>

enum TrayState : int { Checking = 0, Empty = 1, NotEmpty = 2, Unavailable = 3 };

// The message with which the shell reports mouse events over the icon; wParam
// is TRAY_ICON_ID, lParam the mouse message.
constexpr UINT WM_TRAYICON = WM_USER + 1;
constexpr UINT TRAY_ICON_ID = 110;

// The main window's timer that tries again to show an icon the shell does
// not hold; it exists only while the icon is missing.
constexpr UINT_PTR TRAY_RETRY_TIMER_ID = 130;

// Size of the second NOTIFYICONDATAA layout, which every shell since
// Windows 2000 takes: the first one's fields with a longer tip, and the
// balloon's, which stay empty. 488 bytes in a 32-bit program.
constexpr DWORD TRAY_ICON_DATA_SIZE = NOTIFYICONDATAA_V2_SIZE;
// The tip's room in that layout, its ending zero included.
constexpr int TRAY_TIP_SIZE = 128;

// One icon per state, indexed by TrayState, at the tray's size; null where
// loading failed.
extern HICON TrayIcons[4];
// The last state applied, -1 before the first.
extern int CurrentTrayState;
// The record of the icon; cbSize stays 0 until the first state with a
// picture has been applied.
extern NOTIFYICONDATAA TrayIconData;
// Whether the shell holds the icon: an add or a modify succeeded, and no
// modify has failed since.
extern bool TrayIconShown;
// The period of the armed retry timer in milliseconds; 0 while none is armed.
extern UINT TrayRetryDelay;

// Loads the four state icons from the program's own resources at the tray's
// size (TrayIconSize, with `dpi` where the taskbar's is not known), each
// replacing the one held, and destroying it, only once loaded. The record
// takes the current state's new icon.
void LoadTrayIcons(HINSTANCE instance, UINT dpi);

// For a display whose scale may have changed, or a restarted shell: loads
// the icons again as LoadTrayIcons does and gives the tray the current one.
void RescaleTrayIcons(UINT dpi);

// Writes into `tip` (TRAY_TIP_SIZE bytes) what the icon says of `folder` in
// `state`: the program, the folder and its state, from the string table. A
// folder too long for the tip is shortened in the middle; the text is cut
// between two characters of `codePage`.
void MakeTrayTip(char* tip, TrayState state, const char* folder, UINT codePage);

// Shows `state` with the tip for the watched folder, adding the icon the
// first time. A state already shown for the same folder costs nothing. While
// the icon is missing the state is only recorded, and the next try shows it.
void SetTrayState(TrayState state);

// Shows a notification from the icon, which Windows 10 and 11 show as a toast
// and keep in the notification centre: titled with the watched folder's own
// name, it says that `name` (the first entry found there, in the ANSI code
// page) is waiting, or that something is where `name` is null. It makes no
// sound, and from Windows 7 keeps quiet in the first hour after a new
// sign-in. A new one replaces the last. Nothing shows while the shell lacks
// the icon.
void NotifyArrival(const char* name);

// One try at showing the icon as it stands, for the retry timer and for a
// shell that announces it has (re)started: a modify where the shell still
// holds the icon, an add where it does not. On failure the retry timer runs
// on, each time after a longer pause. Does nothing before a state was applied.
void RetryTrayIcon();
