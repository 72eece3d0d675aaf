// Decides whether the watched folder holds anything, shows it, and watches
// the folder for the next change.
#pragma once
#include <windows.h>

#include "watch/change_notification.h"

// What the change notification on the watched folder reports: an entry
// added, removed or renamed, or its attributes changed (hidden or not).
constexpr DWORD WatchFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES;

// ScanFolder's showChecking: when the icon shows Checking while a scan looks.
enum : int {
    // A look asked for in passing (a setting, a new folder, a double click):
    // Checking once the look has taken a moment, so that a folder at hand
    // never flashes the icon.
    CheckingIfSlow = 0,
    // A click, a change in the folder, the rescan delay the user chose.
    CheckingAtOnce = 1,
    // A look nobody asked for, made only because nothing else would tell:
    // it shows its result alone, so that a server away for hours does not
    // flash the icon at every look.
    CheckingNever = 2,
};

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
// Whether the last scan found that the watched path names something that is
// not a folder, such as a file.
extern bool PathIsAFile;

// Whether an entry with these attributes and this name counts while hidden
// entries and subfolders count as `showHidden` and `showSubfolders` say.
// Names beginning with a dot, and entries both hidden and system, never count.
bool IsCountedEntry(DWORD attributes, const WCHAR* name, int showHidden, int showSubfolders);

// Writes folder + "\*.*" into pattern (1032 bytes), adding the backslash only
// when the folder's last character is not one.
void MakeSearchPattern(const char* folder, char* pattern);

// Lists the folder and shows Empty, NotEmpty or Unavailable (Checking first,
// as showChecking says), sounds the alert when the folder has turned
// non-empty, and replaces the change notification on the folder; the one
// above it is kept while it still serves. Its steps run in order, but those
// that may wait on the folder's server run on the helper thread while this
// thread dispatches its messages. Asked while a scan looks, it does not look
// beside it: that scan looks once more when its look ends. A scan overtaken
// while it looks or shows its result (by letting go of the folder, by a new
// folder, by Exit) leaves the rest to what overtook it.
void ScanFolder(int showChecking);

// ScanFolder(1) with every notification armed afresh, as after sleep: one
// on a network folder may never fire again.
void ScanAfresh();

// For ParentWatch having fired: scans (without Checking) when the folder
// listed last time or is back; otherwise watches again, from the nearest
// folder that exists now, and nothing shows.
void LookAbove();

// Gives up the look a scan waits for, if one does: what happened meanwhile
// is newer than what it would find. Once its calls return, the helper closes
// what it armed.
void OvertakeLook();

// Closes every notification the program holds on the folder's drive and
// shows Unavailable, so that Windows can remove the drive. A look waiting,
// or asked for meanwhile, is given up.
void LetGoOfFolder();

// Closes the notifications held, on the helper thread, waiting `timeout` ms
// at most for a server that may not answer; for the program's end.
void CloseWatches(DWORD timeout);

// How long after the last scan the main loop looks again: the rescan delay,
// but no longer than Short while LookAgainSoon.
DWORD ScanTimeout();
