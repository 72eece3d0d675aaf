// Decides whether the watched folder holds anything, shows it, and watches
// the folder for the next change.
#pragma once
#include <windows.h>

// What the change notification on the watched folder reports: an entry
// added, removed or renamed, or its attributes changed (hidden or not).
constexpr DWORD WatchFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES;

// The change notification armed on the watched folder: null before the first
// scan, INVALID_HANDLE_VALUE while none could be armed.
extern HANDLE ChangeHandle;
// Whether ChangeHandle holds a notification that can be waited on.
bool HoldsChangeNotification();

// Whether the last scan that could list the folder found a counted entry.
extern int WasNotEmpty;

// Whether `path` names an existing folder.
bool IsFolder(const char* path);

// Whether an entry with these attributes and this name counts under the
// current ShowHidden and ShowSubfolders settings. Names beginning with a dot
// never count.
bool IsCountedEntry(DWORD attributes, const char* name);

// Writes folder + "\*.*" into pattern (1032 bytes), adding the backslash only
// when the folder does not end in one.
void MakeSearchPattern(const char* folder, char* pattern);

// Lists the folder and shows Empty, NotEmpty or Unavailable (Checking first
// when showChecking is non-zero), sounds the alert when the folder has turned
// non-empty, and replaces the change notification.
void ScanFolder(int showChecking);
