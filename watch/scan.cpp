#include "watch/scan.h"

#include "app/platform.h"
#include "settings/settings.h"
#include "watch/tray.h"

HANDLE ChangeHandle;
int WasNotEmpty;

namespace {

// A notification fires once; each scan closes the old one and arms a new one.
// Closing first lets a folder that was deleted meanwhile go: a handle kept on
// it would hold it pending deletion. Arming before the listing means a change
// that lands while we list raises a signal (and so one more scan) instead of
// going unseen.
void ReplaceWatch()
{
    if (HoldsChangeNotification())
        FindCloseChangeNotification(ChangeHandle);
    ChangeHandle = ArmChangeNotification(WatchedFolder, WatchFilter);
}

void SoundAlert()
{
    if (BuzzerMode == 0)
        return;
    PlayAlert(BuzzerMode == 2 ? MB_ICONASTERISK : 0xFFFFFFFF);
}

} // namespace

bool HoldsChangeNotification()
{
    return ChangeHandle && ChangeHandle != INVALID_HANDLE_VALUE;
}

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsCountedEntry(DWORD attributes, const char* name)
{
    if (!ShowHidden && (attributes & FILE_ATTRIBUTE_HIDDEN))
        return false;
    if (!ShowSubfolders && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return name[0] != '.';
}

void MakeSearchPattern(const char* folder, char* pattern)
{
    lstrcpyA(pattern, folder);
    const int length = lstrlenA(pattern);
    if (length == 0 || pattern[length - 1] != '\\')
        lstrcatA(pattern, "\\");
    lstrcatA(pattern, "*.*");
}

void ScanFolder(int showChecking)
{
    if (showChecking)
        SetTrayState(Checking);
    ReplaceWatch();

    // An empty path would list the root of the current drive, a folder nobody
    // chose; it is simply not available.
    char pattern[1032];
    WIN32_FIND_DATAA entry;
    HANDLE listing = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_PATH_NOT_FOUND;
    if (WatchedFolder[0]) {
        MakeSearchPattern(WatchedFolder, pattern);
        listing = FindFirstFileA(pattern, &entry);
        error = GetLastError();
    }
    bool found = false;
    if (listing != INVALID_HANDLE_VALUE) {
        // A presence test: stop at the first counted entry.
        found = IsCountedEntry(entry.dwFileAttributes, entry.cFileName);
        while (!found && FindNextFileA(listing, &entry))
            found = IsCountedEntry(entry.dwFileAttributes, entry.cFileName);
        FindClose(listing);
    } else if (error != ERROR_FILE_NOT_FOUND || !IsFolder(WatchedFolder)) {
        // A drive root lists no "." or "..", so an empty one matches nothing
        // and fails with "no matching files": that alone is an empty folder.
        SetTrayState(Unavailable);
        return;
    }

    if (found) {
        SetTrayState(NotEmpty);
        if (!WasNotEmpty)
            SoundAlert();
    } else {
        SetTrayState(Empty);
    }
    WasNotEmpty = found;
}
