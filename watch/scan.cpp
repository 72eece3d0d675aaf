#include "watch/scan.h"

#include <new>

#include "app/main_loop.h"
#include "app/platform.h"
#include "paths/paths.h"
#include "settings/settings.h"
#include "watch/drive.h"
#include "watch/helper.h"
#include "watch/tray.h"

ChangeNotification ChangeHandle;
ChangeNotification ParentWatch;
int WasNotEmpty;
bool LookAgainSoon;
DWORD LastScanEnd;
bool PathIsAFile;

namespace {

// A look asked for in passing shows Checking once it has taken this long:
// long enough that a folder at hand never flashes the icon, soon enough to
// say that a slow server is being waited for.
constexpr DWORD SlowLook = 250;

// Moves on at every look and every letting go of the folder. While a look
// waits, and while a picture is shown (the shell's call dispatches sent
// messages), the window's messages are dispatched: a device event may let go
// of the folder's drive, a drive's arrival ask to look again, a new folder
// be chosen. A scan that finds this moved stops there, since what happened
// meanwhile is newer than its own listing: it must not arm a watch on a drive
// just let go, nor show an older result over a newer one.
unsigned Turn;

// What the scan knows of the folder from one look to the next: the folder
// the last walk up started from, the folder above it that the walk found and
// watches (what ParentWatch is armed on), whether the last scan listed the
// folder, and the kind of drive its letter named when it was last there
// (DRIVE_UNKNOWN for a UNC path, or before it was ever seen).
struct Knowledge {
    char walkedFrom[FolderPathSize];
    char watchedAbove[FolderPathSize];
    bool listed;
    UINT folderDrive;
};
Knowledge Known = {"", "", false, DRIVE_UNKNOWN};

// One look at the folder, made on the helper thread with copies of all it
// reads, so that the window's thread may change any of it meanwhile. The
// notifications held are handed to it, and handed back with what it found; a
// look given up closes them on the helper thread as it frees itself.
struct Look : HelperWork {
    // Asked of it.
    char folder[FolderPathSize];
    int showHidden, showSubfolders;
    bool aboveOnly;  // the watch above fired while the folder was missing
    bool walkAgain;  // the watch above is armed anew whether or not it serves
    HWND window;     // for the drive's registration
    bool registered; // the drive's registration serves the folder already
    // Carried from the last look, and on to the next.
    Knowledge known;
    ChangeNotification watch, above;
    // Found.
    DeviceRegistration drive;
    bool scanned; // false where the folder is still missing and only the watch above was armed again
    TrayState state;
    WCHAR found[MAX_PATH]; // the first entry counted, where one was
    bool isAFile;
    bool unheard;
};

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
void NoteDrive(Look& look)
{
    if (lstrcmpA(look.known.walkedFrom, look.folder) != 0)
        look.known.folderDrive = DRIVE_UNKNOWN;
    char root[4];
    DriveRoot(look.folder, root);
    const UINT drive = root[0] ? GetDriveTypeA(root) : DRIVE_UNKNOWN;
    if (drive != DRIVE_NO_ROOT_DIR && drive != DRIVE_UNKNOWN)
        look.known.folderDrive = drive;
}

// Watches the nearest folder above the watched one that exists, on the same
// volume, for folders coming and going. While the folder is there that is
// its parent, where it moving away or another taking its name shows: no
// notification on the folder itself tells of that. While it is missing,
// that is where its return shows. A drive or share root has no folder above
// it; a drive or share that is gone has no volume.
void WatchAbove(Look& look)
{
    NoteDrive(look);
    Knowledge& known = look.known;
    lstrcpyA(known.walkedFrom, look.folder);
    lstrcpyA(known.watchedAbove, look.folder);
    char root[FolderPathSize];
    if (GetVolumePathNameA(look.folder, root, sizeof(root)) &&
        lstrlenA(root) <= lstrlenA(known.watchedAbove)) {
        while (CutToParent(known.watchedAbove, lstrlenA(root))) {
            if (IsFolder(known.watchedAbove)) {
                look.above.Arm(known.watchedAbove, FILE_NOTIFY_CHANGE_DIR_NAME);
                return;
            }
        }
    }
    look.above.Close();
}

// Whether the watch above still watches the nearest folder above that
// exists: armed for this folder, not fired (so nothing came or went there),
// and on a folder that is still there, which a folder that listed proves of
// its parent. Walking up again would cost a volume lookup and a second
// notification, and round trips on a share.
bool AboveStillServes(const Look& look)
{
    return look.above.Armed() && lstrcmpA(look.known.walkedFrom, look.folder) == 0 &&
           WaitForSingleObject(look.above, 0) == WAIT_TIMEOUT &&
           (look.known.listed || IsFolder(look.known.watchedAbove));
}

// Whether Windows tells of the folder's return while it cannot be listed
// and no watch above is armed: a stick, a card or a disc that arrives is
// announced. Network connections are not: a network drive may stay mapped
// while its server is away, or be mapped by a logon script or a VPN client
// only after the program starts; a UNC path has no letter at all.
bool ReturnIsAnnounced(const Look& look)
{
    char root[4];
    DriveRoot(look.folder, root);
    if (!root[0])
        return false;
    switch (GetDriveTypeA(root)) {
    case DRIVE_NO_ROOT_DIR:
        // A letter named nothing, announced only where it was known to be
        // a stick's or a disc's.
        return look.known.folderDrive == DRIVE_REMOVABLE || look.known.folderDrive == DRIVE_CDROM;
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
bool Unheard(const Look& look)
{
    if (look.known.listed)
        return !look.watch.Armed();
    return look.folder[0] && !look.above.Armed() && !ReturnIsAnnounced(look);
}

// Lists the folder: Empty, NotEmpty or Unavailable.
TrayState ListFolder(Look& look)
{
    look.isAFile = false;
    // An empty path would list the root of the current drive, a folder nobody
    // chose; it is simply not available.
    if (!look.folder[0])
        return Unavailable;
    char pattern[FolderPathSize + 4];
    MakeSearchPattern(look.folder, pattern);
    // Listed wide: in UTF-8 a name of 87 CJK characters takes more bytes than
    // WIN32_FIND_DATAA holds, and FindNextFileA then fails (ERROR_MORE_DATA)
    // as though the listing had ended.
    WCHAR widePattern[sizeof(pattern)];
    if (!MultiByteToWideChar(CP_ACP, 0, pattern, -1, widePattern, sizeof(pattern)))
        return Unavailable;
    WIN32_FIND_DATAW entry;
    const HANDLE listing = OpenListing(widePattern, &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        // What the path names is asked only where the listing found no such
        // folder, or a name that is none: a server that did not answer would
        // be waited for twice.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME &&
            error != ERROR_DIRECTORY)
            return Unavailable;
        const DWORD attributes = GetFileAttributesA(look.folder);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return Unavailable;
        look.isAFile = !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        // A drive root lists no "." or "..", so an empty one matches nothing
        // and fails with "no matching files": that alone is an empty folder.
        return !look.isAFile && error == ERROR_FILE_NOT_FOUND ? Empty : Unavailable;
    }
    // A presence test: stop at the first counted entry.
    const int hidden = look.showHidden, subfolders = look.showSubfolders;
    bool found = IsCountedEntry(entry.dwFileAttributes, entry.cFileName, hidden, subfolders);
    while (!found && FindNextFileW(listing, &entry))
        found = IsCountedEntry(entry.dwFileAttributes, entry.cFileName, hidden, subfolders);
    FindClose(listing);
    if (found)
        lstrcpyW(look.found, entry.cFileName);
    return found ? NotEmpty : Empty;
}

// The look itself, on the helper thread: every call that may wait on the
// folder's server.
void RunLook(HelperWork* work)
{
    Look& look = *static_cast<Look*>(work);
    look.scanned = !look.aboveOnly || IsFolder(look.folder);
    if (!look.scanned) {
        // Something else changed up there, or a folder on the way back
        // appeared: watch again, from the nearest folder that exists now.
        WatchAbove(look);
        look.unheard = Unheard(look);
        return;
    }
    if (look.walkAgain)
        look.above.Close();
    // A notification fires once; each look closes the old one on the folder
    // and arms a new one. Closing first lets a folder that was deleted
    // meanwhile go: a handle kept on it would hold it pending deletion.
    // Arming before the listing means a change that lands while we list
    // raises a signal (and so one more scan) instead of going unseen.
    look.watch.Arm(look.folder, WatchFilter);
    const bool walked = !AboveStillServes(look);
    if (walked)
        WatchAbove(look);
    look.state = ListFolder(look);
    // The folder came or went with no word from above (its parent itself
    // went, say): the nearest folder above that exists may be another now.
    if (!walked && (look.state != Unavailable) != look.known.listed)
        WatchAbove(look);
    look.known.listed = look.state != Unavailable;
    look.unheard = Unheard(look);
    // The drive's registration follows the folder: only what the program
    // holds on a drive keeps Windows from removing it, so a registration is
    // made only while something is held.
    if ((look.watch.Armed() || look.above.Armed()) && !look.registered)
        look.drive.Register(look.window, look.folder);
}

// Lets go of what a look holds.
void CloseHeld(HelperWork* work)
{
    Look& look = *static_cast<Look*>(work);
    look.watch.Close();
    look.above.Close();
    look.drive.Unregister();
}

// Frees a look nobody waits for, closing what it holds on the way.
void DropLook(HelperWork* work)
{
    Look* look = static_cast<Look*>(work);
    look->~Look();
    HeapFree(GetProcessHeap(), 0, look);
}

// The look kept from the last scan for the next; null before the first, or
// when the last one was given up, and so the helper's.
Look* Spare;
// The look a scan waits for; null while none does, or once it is given up.
Look* Waiting;
// Whether a scan runs, even one whose look was given up; whether it was asked
// meanwhile to look once more, and how that look shows Checking; whether the
// next look arms the watch above anew.
bool Looking;
bool AskedAgain;
int AskedChecking = CheckingNever;
bool WalkAgain;
// Whether the look waited for has taken long enough to show Checking for,
// and whether whoever asked for it, or asked since, is to be shown Checking.
bool LookIsSlow;
bool LookShowsChecking;

// A look ready to be handed the folder: the one kept, or a new one; null
// when no memory is left.
Look* TakeLook()
{
    Look* look = Spare;
    Spare = nullptr;
    if (!look) {
        void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(Look));
        look = memory ? new (memory) Look() : nullptr;
    }
    if (look)
        look->drop = DropLook;
    return look;
}

// A look at the watched folder as it stands, holding the notifications.
Look* PrepareLook(bool aboveOnly)
{
    Look* look = TakeLook();
    if (!look)
        return nullptr;
    look->run = RunLook;
    lstrcpyA(look->folder, WatchedFolder);
    look->showHidden = ShowHidden;
    look->showSubfolders = ShowSubfolders;
    look->aboveOnly = aboveOnly;
    look->walkAgain = !aboveOnly && WalkAgain;
    if (look->walkAgain)
        WalkAgain = false;
    look->window = MainWindow;
    look->registered = DriveRegistration.Serves(WatchedFolder);
    look->known = Known;
    look->watch.Take(ChangeHandle);
    look->above.Take(ParentWatch);
    return look;
}

// Takes back what a look that ran holds and found, and keeps it for the next.
void TakeBack(Look* look)
{
    ChangeHandle.Take(look->watch);
    ParentWatch.Take(look->above);
    Known = look->known;
    if (look->drive.Serves(look->folder))
        DriveRegistration.Take(look->drive);
    else if (look->scanned && !ChangeHandle.Armed() && !ParentWatch.Armed() &&
             !DriveRegistration.Serves(WatchedFolder))
        // One left over for a drive the folder is no longer on would let that
        // drive's events cross out this folder.
        DriveRegistration.Unregister();
    Spare = look;
}

void ShowSlowLook()
{
    LookIsSlow = true;
    if (LookShowsChecking)
        SetTrayState(Checking);
}

// Tells that something has landed: the alert as the user chose it, and the
// notification naming `found` unless the user turned it off.
void TellArrival(const WCHAR* found)
{
    if (BuzzerMode != 0)
        PlayAlert(BuzzerMode == 2 ? MB_ICONASTERISK : 0xFFFFFFFF);
    if (!ShowNotification)
        return;
    // A name the code page cannot spell would show as question marks.
    char name[MAX_PATH * 3];
    NotifyArrival(Spell(found, name, sizeof(name)) ? name : nullptr);
}

// One look, and what it found shown.
void ScanOnce(int showChecking, bool aboveOnly)
{
    const unsigned turn = ++Turn;
    if (showChecking == CheckingAtOnce)
        SetTrayState(Checking);
    if (turn != Turn)
        return;
    Look* look = PrepareLook(aboveOnly);
    if (!look)
        return;
    Waiting = look;
    LookIsSlow = false;
    LookShowsChecking = showChecking != CheckingNever;
    const bool ran = AwaitHelper(look, SlowLook, ShowSlowLook);
    Waiting = nullptr;
    LookIsSlow = false;
    // Given up, the look is the helper's, which closes what it armed.
    if (!ran)
        return;
    if (turn != Turn) {
        look->run = CloseHeld;
        HandToHelper(look);
        return;
    }
    const TrayState state = look->state;
    const bool scanned = look->scanned, unheard = look->unheard, isAFile = look->isAFile;
    WCHAR found[MAX_PATH];
    lstrcpyW(found, look->found);
    TakeBack(look);
    LookAgainSoon = unheard;
    if (!scanned)
        return;
    PathIsAFile = isAFile;
    SetTrayState(state);
    if (turn != Turn)
        return;
    if (state == NotEmpty && !WasNotEmpty)
        TellArrival(found);
    if (Known.listed)
        WasNotEmpty = state == NotEmpty;
    LastScanEnd = GetTickCount();
}

// Remembers a look asked for while a scan looks, for when its look ends.
void AskAgain(int showChecking)
{
    // Asked for another folder: what the look finds would only be dropped.
    if (Waiting && lstrcmpA(Waiting->folder, WatchedFolder) != 0)
        OvertakeLook();
    AskedAgain = true;
    if (showChecking == CheckingAtOnce || (showChecking == CheckingIfSlow && AskedChecking == CheckingNever))
        AskedChecking = showChecking;
    if (showChecking == CheckingNever)
        return;
    // Whoever asked sees that the program looks: at once where the look under
    // way has proved slow, else once it does, or when the look asked for
    // begins a moment later. Commands given one after another meet a quick
    // look, and must not flash the icon.
    LookShowsChecking = true;
    if (LookIsSlow)
        SetTrayState(Checking);
}

// ScanFolder, or a look above only: one at a time, and once more for each
// time it was asked meanwhile.
void Scan(int showChecking, bool aboveOnly)
{
    if (Looking) {
        AskAgain(showChecking);
        return;
    }
    Looking = true;
    ScanOnce(showChecking, aboveOnly);
    while (AskedAgain) {
        AskedAgain = false;
        const int asked = AskedChecking;
        AskedChecking = CheckingNever;
        ScanOnce(asked, false);
    }
    Looking = false;
}

} // namespace

bool IsCountedEntry(DWORD attributes, const WCHAR* name, int showHidden, int showSubfolders)
{
    // Hidden and system together mark Windows' own files (desktop.ini,
    // Thumbs.db, "System Volume Information", "$RECYCLE.BIN"), which Explorer
    // never shows, whatever the user asks for.
    const DWORD protectedFile = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if ((attributes & protectedFile) == protectedFile)
        return false;
    if (!showHidden && (attributes & FILE_ATTRIBUTE_HIDDEN))
        return false;
    if (!showSubfolders && (attributes & FILE_ATTRIBUTE_DIRECTORY))
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
    Scan(showChecking, false);
}

void ScanAfresh()
{
    WalkAgain = true;
    ScanFolder(CheckingAtOnce);
}

void LookAbove()
{
    // The folder listed last time (it may have moved away, or another taken
    // its name): look at what the path names now.
    Scan(CheckingNever, !Known.listed);
}

void OvertakeLook()
{
    ++Turn;
    if (Waiting)
        GiveUpWork(Waiting);
    Waiting = nullptr;
}

void LetGoOfFolder()
{
    OvertakeLook();
    // A look asked for meanwhile would take the drive back.
    AskedAgain = false;
    // Windows sends these events for local drives alone, where closing waits
    // on no server.
    ChangeHandle.Close();
    ParentWatch.Close();
    Known.listed = false;
    LookAgainSoon = false;
    SetTrayState(Unavailable);
}

void CloseWatches(DWORD timeout)
{
    Look* look = TakeLook();
    if (!look) {
        ChangeHandle.Close();
        ParentWatch.Close();
        return;
    }
    look->watch.Take(ChangeHandle);
    look->above.Take(ParentWatch);
    look->run = CloseHeld;
    if (FinishOnHelper(look, timeout))
        Spare = look;
}

DWORD ScanTimeout()
{
    // Looked at as often as the Short rescan delay asks, at least, while
    // nothing else would tell.
    const DWORD shortDelay = RescanDelayTable[1];
    const DWORD delay = RescanTimeout();
    return LookAgainSoon && delay > shortDelay ? shortDelay : delay;
}
