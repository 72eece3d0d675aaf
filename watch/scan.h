// Decides whether the watched folder holds anything, shows it, and watches
// the folder for the next change.
#pragma once
#include <windows.h>

#include "watch/change_notification.h"

// What the change notification on the watched folder reports: an entry
// added, removed or renamed, or its attributes changed (hidden or not).
constexpr DWORD WatchFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES;

// The change notification armed on the watched folder by the last scan.
extern ChangeNotification ChangeHandle;
// A notification on the nearest folder above the watched one that exists
// (its parent, while it is there), for folders coming and going there: the
// folder moving away, another taking its name, or its return.
extern ChangeNotification ParentWatch;

// Whether the last scan that could list the folder found a counted entry.
extern int WasNotEmpty;
// Whether nothing would tell of the folder's next change but looking again:
// it lists but no notification could be armed on it, as on a share whose
// server sends none; or it cannot be listed, and neither a watch above it
// nor Windows would tell of its return, as for a network drive or a UNC
// path whose server is away.
extern bool LookAgainSoon;
// GetTickCount() when the last scan ended.
extern DWORD LastScanEnd;

// Whether an entry with these attributes and this name counts under the
// current ShowHidden and ShowSubfolders settings. Names beginning with a dot,
// and entries both hidden and system, never count.
bool IsCountedEntry(DWORD attributes, const WCHAR* name);

// Writes folder + "\*.*" into pattern (1032 bytes), adding the backslash only
// when the folder's last character is not one.
void MakeSearchPattern(const char* folder, char* pattern);

// Lists the folder and shows Empty, NotEmpty or Unavailable (Checking first
// when showChecking is non-zero), sounds the alert when the folder has turned
// non-empty, and replaces the change notification on the folder; the one
// above it is kept while it still serves. A scan that is overtaken while it
// waits on the shell (by another scan, or by letting go of the folder) leaves
// the rest to what overtook it.
void ScanFolder(int showChecking);

// ScanFolder(1) with every notification armed afresh, as after sleep: one
// on a network folder may never fire again.
void ScanAfresh();

// For ParentWatch having fired: scans (without Checking) when the folder
// listed last time or is back; otherwise watches again, from the nearest
// folder that exists now, and nothing shows.
void LookAbove();

// Closes every notification the program holds on the folder's drive and
// shows Unavailable, so that Windows can remove the drive.
void LetGoOfFolder();

// How long after the last scan the main loop looks again: the rescan delay,
// but no longer than Short while LookAgainSoon.
DWORD ScanTimeout();
