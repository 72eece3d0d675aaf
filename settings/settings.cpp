#include "settings/settings.h"

#include "resource.h"
#include "settings/ansi_path.h"
#include "settings/regkey.h"
#include "ui/tray_menu.h"
#include "watch/scan.h"

char WatchedFolder[FolderPathSize];
int BuzzerMode = 1;
int RescanDelay = 0;
int ShowHidden = 1;
int ShowSubfolders = 1;
int Permanent = 1;
int ShowNotification = 1;

static_assert(sizeof(WatchedFolder) <= sizeof(RegKey::data), "a folder path must fit the value buffer");

const DWORD RescanDelayTable[4] = {INFINITE, 10000, 60000, 600000};

// The key ends in 1.5+ after the layout of the stored values, not after the
// program's version: every version that keeps this layout shares the key.
const char SettingsKeyPath[] = "Software\\Orrel\\Tarnwick\\1.5+";
const char RunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char FolderValueName[] = "Folder";

namespace {

const char RunValueName[] = "Tarnwick";
const char BuzzerValueName[] = "Buzzer";
const char RescanValueName[] = "Rescan";
// Misspelt since the first version; stored settings are found by this name.
const char ShowHiddenValueName[] = "See hiddeen files";
const char ShowSubfoldersValueName[] = "See subfolders";
// Missing for everyone who used an earlier version, and then on.
const char NotifyValueName[] = "Notify";

int ReadNumber(RegKey& key, const char* name, int fallback)
{
    int value;
    CopyMemory(&value, key.Exchange(REG_DWORD, name, &fallback, false), sizeof(value));
    return value;
}

void WriteNumber(const char* name, int value)
{
    RegKey key(HKEY_CURRENT_USER, SettingsKeyPath);
    key.Exchange(REG_DWORD, name, &value, true);
}

void ShowFlag(PopupMenu& menu, UINT id, int on)
{
    if (on)
        menu.CheckItem(id);
    else
        menu.UncheckItem(id);
}

// A folder whose name the code page cannot spell reads as question marks,
// which name nothing: read the stored name wide and watch the folder by its
// short name instead. The stored value stays as it is.
void WatchByAnsiName(HKEY key)
{
    WCHAR name[16], stored[512];
    MultiByteToWideChar(CP_ACP, 0, FolderValueName, -1, name, 16);
    DWORD type = REG_NONE, size = sizeof(stored) - sizeof(WCHAR);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(stored), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return;
    stored[size / sizeof(WCHAR)] = 0;
    char ansi[sizeof(WatchedFolder)];
    if (AnsiPathOf(stored, ansi, sizeof(ansi)))
        lstrcpyA(WatchedFolder, ansi);
}

} // namespace

DWORD RescanTimeout()
{
    return RescanDelay >= 0 && RescanDelay < 4 ? RescanDelayTable[RescanDelay] : INFINITE;
}

void LoadSettings()
{
    RegKey key(HKEY_CURRENT_USER, SettingsKeyPath);
    if (!key.hkey)
        return;
    // Before the first start has stored a folder, starting with Windows keeps
    // its default; afterwards the Run value alone tells.
    if (key.ValueExists(FolderValueName)) {
        RegKey run(HKEY_CURRENT_USER, RunKeyPath);
        if (run.hkey)
            Permanent = run.ValueExists(RunValueName) ? 1 : 0;
    }
    lstrcpyA(WatchedFolder, reinterpret_cast<const char*>(key.Exchange(REG_SZ, FolderValueName, "", false)));
    if (key.status == ERROR_SUCCESS)
        WatchByAnsiName(key.hkey);
    BuzzerMode = ReadNumber(key, BuzzerValueName, BuzzerMode);
    RescanDelay = ReadNumber(key, RescanValueName, RescanDelay);
    ShowHidden = ReadNumber(key, ShowHiddenValueName, ShowHidden);
    ShowSubfolders = ReadNumber(key, ShowSubfoldersValueName, ShowSubfolders);
    ShowNotification = ReadNumber(key, NotifyValueName, ShowNotification);
}

void SetPermanent(int on)
{
    RegKey key(HKEY_CURRENT_USER, RunKeyPath);
    Permanent = on;
    if (on) {
        // Written wide: the registry holds UTF-16, and the code page may not
        // spell the folder the program sits in. A path Windows cannot give
        // whole is not written at all, since it would start nothing.
        const WCHAR* path = ProgramPath();
        if (path[0])
            key.WriteWideString(RunValueName, path);
        TrayMenu.CheckItem(IDM_PERMANENT);
    } else {
        key.DeleteValue(RunValueName);
        TrayMenu.UncheckItem(IDM_PERMANENT);
    }
}

void SetRescanDelay(int index)
{
    for (UINT id = IDM_RESCAN_DISABLED; id <= IDM_RESCAN_LONG; ++id)
        RescanMenu.UncheckItem(id);
    RescanDelay = index;
    WriteNumber(RescanValueName, index);
    RescanMenu.CheckItem(IDM_RESCAN_DISABLED + index);
    ScanFolder(CheckingIfSlow);
}

void SetBuzzer(int mode)
{
    for (UINT id = IDM_BUZZER_WAVE; id >= IDM_BUZZER_QUIET; --id)
        BuzzerMenu.UncheckItem(id);
    BuzzerMode = mode;
    WriteNumber(BuzzerValueName, mode);
    BuzzerMenu.CheckItem(IDM_BUZZER_QUIET + mode);
}

void SetShowHidden(int on)
{
    ShowHidden = on;
    WriteNumber(ShowHiddenValueName, on);
    ShowFlag(TrayMenu, IDM_HIDDEN, on);
    ScanFolder(CheckingIfSlow);
}

void SetShowSubfolders(int on)
{
    ShowSubfolders = on;
    WriteNumber(ShowSubfoldersValueName, on);
    ShowFlag(TrayMenu, IDM_SUBFOLDERS, on);
    ScanFolder(CheckingIfSlow);
}

void SetShowNotification(int on)
{
    ShowNotification = on;
    WriteNumber(NotifyValueName, on);
    ShowFlag(BuzzerMenu, IDM_NOTIFY, on);
}

void RemoveSettings()
{
    RegKey::DeleteKey(HKEY_CURRENT_USER, SettingsKeyPath);
    RegKey run(HKEY_CURRENT_USER, RunKeyPath);
    run.DeleteValue(RunValueName);
}

const WCHAR* ProgramPath()
{
    // From the module itself: a command line may name the program by a bare
    // name, or spelt in a code page that lost some of its characters.
    static WCHAR quoted[MAX_PATH + 2];
    const DWORD length = GetModuleFileNameW(nullptr, quoted + 1, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        quoted[0] = 0;
        return quoted;
    }
    // Quoted, so that the shell cannot split a path with spaces.
    quoted[0] = quoted[length + 1] = L'"';
    quoted[length + 2] = 0;
    return quoted;
}
