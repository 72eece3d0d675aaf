#include "watch/scan.h"

#include "app/platform.h"
#include "paths/paths.h"
#include "settings/settings.h"
#include "watch/drive.h"
#include "watch/tray.h"

ChangeNotification ChangeHandle;
ChangeNotification ParentWatch;
int WasNotEmpty;
bool LookAgainSoon;
DWORD LastScanEnd;

namespace {

// Moves on at every scan and every letting go of the folder. Showing a
// picture waits on the shell, and meanwhile sent messages are dispatched: a
// device event may let go of the folder's drive, a drive's arrival scan
// again. A scan that finds this moved stops there, since what happened
// meanwhile is newer than its own listing: it must not arm a watch on a
// drive just let go, nor show an older result over a newer one.
unsigned Turn;

// Cuts the last name off `path`, keeping its first `root` bytes ("C:\a\b"
// gives "C:\a", "C:\a" gives "C:\"); false when nothing is left to cut.
// Forwards, since a backslash byte may end a double-byte character.
bool CutToParent(char* path, int root)
{
    char* cut = path + root;
    for (char* c = cut; *c; c = CharNextA(c))
        if (*c == '\\' && c[1] && c[1] != '\\')
            cut = c;
    if (!*cut)
        return false;
    *cut = 0;
    return true;
}

// The folder the last walk up started from, the folder above it that the
// walk found and watches (what ParentWatch is armed on), and whether the
// last scan listed the folder.
char WalkedFrom[FolderPathSize];
char WatchedAbove[FolderPathSize];
bool Listed;
// The kind of drive the folder's letter named when it was last there;
// DRIVE_UNKNOWN for a UNC path, or before it was ever seen.
UINT FolderDrive = DRIVE_UNKNOWN;

// The root ("N:\") of a path that begins with a drive letter, into `root`
// (4 bytes); empty for any other path.
void DriveRoot(const char* path, char* root)
{
    const bool letter = path[0] && path[1] == ':';
    const char drive[] = {letter ? path[0] : '\0', ':', '\\', 0};
    lstrcpyA(root, drive);
}

// Notes what kind of drive the folder is on. A letter that names nothing now
// keeps the kind it had: a network drive's letter may be dropped and mapped
// again (by a VPN client, say) with no word to anyone.
void NoteDrive()
{
    if (lstrcmpA(WalkedFrom, WatchedFolder) != 0)
        FolderDrive = DRIVE_UNKNOWN;
    char root[4];
    DriveRoot(WatchedFolder, root);
    const UINT drive = root[0] ? GetDriveTypeA(root) : DRIVE_UNKNOWN;
    if (drive != DRIVE_NO_ROOT_DIR && drive != DRIVE_UNKNOWN)
        FolderDrive = drive;
}

// Watches the nearest folder above the watched one that exists, on the same
// volume, for folders coming and going. While the folder is there that is
// its parent, where it moving away or another taking its name shows: no
// notification on the folder itself tells of that. While it is missing,
// that is where its return shows. A drive or share root has no folder above
// it; a drive or share that is gone has no volume.
void WatchAbove()
{
    NoteDrive();
    lstrcpyA(WalkedFrom, WatchedFolder);
    lstrcpyA(WatchedAbove, WatchedFolder);
    char root[FolderPathSize];
    if (GetVolumePathNameA(WatchedFolder, root, sizeof(root)) && lstrlenA(root) <= lstrlenA(WatchedAbove)) {
        while (CutToParent(WatchedAbove, lstrlenA(root))) {
            if (IsFolder(WatchedAbove)) {
                ParentWatch.Arm(WatchedAbove, FILE_NOTIFY_CHANGE_DIR_NAME);
                return;
            }
        }
    }
    ParentWatch.Close();
}

// Whether the watch above still watches the nearest folder above that
// exists: armed for this folder, not fired (so nothing came or went there),
// and on a folder that is still there, which a folder that listed proves of
// its parent. Walking up again would cost a volume lookup and a second
// notification, and round trips on a share.
bool AboveStillServes()
{
    return ParentWatch.Armed() && lstrcmpA(WalkedFrom, WatchedFolder) == 0 &&
           WaitForSingleObject(ParentWatch, 0) == WAIT_TIMEOUT && (Listed || IsFolder(WatchedAbove));
}

// Whether Windows tells of the folder's return while it cannot be listed
// and no watch above is armed: a drive letter that arrives is announced, and
// so is a card or disc put into a drive. A network drive may stay mapped
// while its server is away, or be mapped again by a logon script or a VPN
// client without a word; a UNC path has no letter at all.
bool ReturnIsAnnounced()
{
    char root[4];
    DriveRoot(WatchedFolder, root);
    if (!root[0])
        return false;
    switch (GetDriveTypeA(root)) {
    case DRIVE_NO_ROOT_DIR:
        return FolderDrive != DRIVE_REMOTE;
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
        return true;
    }
    return false;
}

// Whether nothing the program holds or hears of would tell of the folder's
// next change, so that only looking again finds it: a folder that lists but
// could not be watched (a share whose server sends no notifications), or
// one that cannot be listed, with no watch above and no announced return.
bool Unheard()
{
    if (Listed)
        return !ChangeHandle.Armed();
    return WatchedFolder[0] && !ParentWatch.Armed() && !ReturnIsAnnounced();
}

// Lists the folder: Empty, NotEmpty or Unavailable.
TrayState ListFolder()
{
    // An empty path would list the root of the current drive, a folder nobody
    // chose; it is simply not available.
    if (!WatchedFolder[0])
        return Unavailable;
    char pattern[1032];
    MakeSearchPattern(WatchedFolder, pattern);
    // Listed wide: in UTF-8 a name of 87 CJK characters takes more bytes than
    // WIN32_FIND_DATAA holds, and FindNextFileA then fails (ERROR_MORE_DATA)
    // as though the listing had ended.
    WCHAR widePattern[sizeof(pattern)];
    if (!MultiByteToWideChar(CP_ACP, 0, pattern, -1, widePattern, sizeof(pattern)))
        return Unavailable;
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW(widePattern, &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        // A drive root lists no "." or "..", so an empty one matches nothing
        // and fails with "no matching files": that alone is an empty folder.
        const bool nothingMatched = GetLastError() == ERROR_FILE_NOT_FOUND;
        return nothingMatched && IsFolder(WatchedFolder) ? Empty : Unavailable;
    }
    // A presence test: stop at the first counted entry.
    bool found = IsCountedEntry(entry.dwFileAttributes, entry.cFileName);
    while (!found && FindNextFileW(listing, &entry))
        found = IsCountedEntry(entry.dwFileAttributes, entry.cFileName);
    FindClose(listing);
    return found ? NotEmpty : Empty;
}

// The drive's registration follows the folder: one left over for a drive
// the folder is no longer on would let that drive's events cross out this
// folder. Only what the program holds on a drive keeps Windows from
// removing it, so a registration is made only while something is held.
void FollowDrive()
{
    if (ChangeHandle.Armed() || ParentWatch.Armed())
        KeepDriveRegistration();
    else if (!DriveRegistration.Serves(WatchedFolder))
        DriveRegistration.Unregister();
}

void SoundAlert()
{
    if (BuzzerMode == 0)
        return;
    PlayAlert(BuzzerMode == 2 ? MB_ICONASTERISK : 0xFFFFFFFF);
}

} // namespace

bool IsCountedEntry(DWORD attributes, const WCHAR* name)
{
    // Hidden and system together mark Windows' own files (desktop.ini,
    // Thumbs.db, "System Volume Information", "$RECYCLE.BIN"), which Explorer
    // never shows, whatever the user asks for.
    const DWORD protectedFile = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if ((attributes & protectedFile) == protectedFile)
        return false;
    if (!ShowHidden && (attributes & FILE_ATTRIBUTE_HIDDEN))
        return false;
    if (!ShowSubfolders && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return name[0] != L'.';
}

void MakeSearchPattern(const char* folder, char* pattern)
{
    lstrcpyA(pattern, folder);
    const int length = lstrlenA(pattern);
    // By its last character, not its last byte: in a double-byte code page a
    // character may end in 0x5C, a backslash byte.
    if (length == 0 || *CharPrevA(pattern, pattern + length) != '\\')
        lstrcatA(pattern, "\\");
    lstrcatA(pattern, "*.*");
}

void ScanFolder(int showChecking)
{
    const unsigned turn = ++Turn;
    if (showChecking)
        SetTrayState(Checking);
    if (turn != Turn)
        return;
    // A notification fires once; each scan closes the old one on the folder
    // and arms a new one. Closing first lets a folder that was deleted
    // meanwhile go: a handle kept on it would hold it pending deletion.
    // Arming before the listing means a change that lands while we list
    // raises a signal (and so one more scan) instead of going unseen.
    ChangeHandle.Arm(WatchedFolder, WatchFilter);
    const bool walked = !AboveStillServes();
    if (walked)
        WatchAbove();

    const TrayState state = ListFolder();
    // The folder came or went with no word from above (its parent itself
    // went, say): the nearest folder above that exists may be another now.
    if (!walked && (state != Unavailable) != Listed)
        WatchAbove();
    Listed = state != Unavailable;
    SetTrayState(state);
    if (turn != Turn)
        return;
    if (state == NotEmpty && !WasNotEmpty)
        SoundAlert();
    if (Listed)
        WasNotEmpty = state == NotEmpty;
    LookAgainSoon = Unheard();
    FollowDrive();
    LastScanEnd = GetTickCount();
}

void ScanAfresh()
{
    ParentWatch.Close();
    ScanFolder(1);
}

void LookAbove()
{
    // The folder listed last time (it may have moved away, or another taken
    // its name), or it is back: look at what the path names now.
    if (Listed || IsFolder(WatchedFolder)) {
        ScanFolder(0);
        return;
    }
    // Something else changed up there, or a folder on the way back appeared:
    // watch again, from the nearest folder that exists now.
    WatchAbove();
    LookAgainSoon = Unheard();
}

void LetGoOfFolder()
{
    ++Turn;
    ChangeHandle.Close();
    ParentWatch.Close();
    Listed = false;
    LookAgainSoon = false;
    SetTrayState(Unavailable);
}

DWORD ScanTimeout()
{
    // Looked at as often as the Short rescan delay asks, at least, while
    // nothing else would tell.
    const DWORD shortDelay = RescanDelayTable[1];
    const DWORD delay = RescanTimeout();
    return LookAgainSoon && delay > shortDelay ? shortDelay : delay;
}
