// The program's options: held in globals, stored under the current user's
// registry key the moment they change, shown by the tray menu's check marks.
#pragma once
#include <windows.h>

#include "paths/paths.h"

extern char WatchedFolder[FolderPathSize];
extern int BuzzerMode;       // 0 quiet, 1 speaker, 2 wave; others sound like 1
extern int RescanDelay;      // index into RescanDelayTable
extern int ShowHidden;       // hidden entries count
extern int ShowSubfolders;   // subfolders count
extern int Permanent;        // start with Windows
extern int ShowNotification; // a notification beside the alert

// Milliseconds between periodic rescans, indexed by RescanDelay.
extern const DWORD RescanDelayTable[4];

extern const char SettingsKeyPath[];
extern const char RunKeyPath[];
// The watched folder's value under SettingsKeyPath.
extern const char FolderValueName[];

// The main loop's time-out for the current RescanDelay. A number outside the
// table (only possible from hand-edited data) waits like Disabled.
DWORD RescanTimeout();

// Reads the settings, creating any missing value from its default.
void LoadSettings();

// Each stores its value in its global and in the registry and updates the
// check marks; SetRescanDelay, SetShowHidden and SetShowSubfolders rescan.
void SetPermanent(int on);
void SetRescanDelay(int index);
void SetBuzzer(int mode);
void SetShowHidden(int on);
void SetShowSubfolders(int on);
void SetShowNotification(int on);

// Deletes the settings key and the Run value.
void RemoveSettings();

// The program's own file, quoted, as the Run value starts it; empty when
// Windows cannot give the path whole. Each call reuses one buffer.
const WCHAR* ProgramPath();
