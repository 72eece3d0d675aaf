#include "settings/chooser.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "app/main_loop.h"
#include "resource.h"
#include "settings/ansi_path.h"
#include "settings/regkey.h"
#include "settings/settings.h"
#include "ui/tray_menu.h"
#include "watch/helper.h"
#include "watch/scan.h"

namespace {

const char UnnamedFolderText[] =
    "This folder's name uses characters that Windows cannot give Tarnwick, and the folder has no short "
    "name either. Rename the folder, or choose another.";

// The chosen folder, named for the ANSI calls on the helper thread: its short
// name is looked up on its volume, which for a share waits on its server.
struct Naming : HelperWork {
    WCHAR path[MAX_PATH];
    char ansi[FolderPathSize];
    bool named;
};

void RunNaming(HelperWork* work)
{
    Naming& naming = *static_cast<Naming*>(work);
    naming.named = AnsiPathOf(naming.path, naming.ansi, sizeof(naming.ansi));
}

void FreeNaming(HelperWork* work)
{
    HeapFree(GetProcessHeap(), 0, work);
}

} // namespace

bool ChooseFolder()
{
    bool chosen = false;
    TrayMenu.GreyItem(IDM_SELECT_FOLDER);

    IMalloc* allocator = nullptr;
    if (CoGetMalloc(MEMCTX_TASK, &allocator) == S_OK) {
        // The shell documents the browser as needing a single-threaded
        // apartment; take one for the time it is open.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

        char title[1024];
        lstrcpyA(title, "Tarnwick");
        lstrcatA(title, ": choose a folder to watch");
        char displayName[MAX_PATH];

        BROWSEINFOA browse = {};
        browse.hwndOwner = MainWindow;
        browse.pidlRoot = nullptr;
        browse.pszDisplayName = displayName;
        browse.lpszTitle = title;
        browse.ulFlags = BIF_RETURNONLYFSDIRS;

        auto* naming = static_cast<Naming*>(HeapAlloc(GetProcessHeap(), 0, sizeof(Naming)));
        while (naming) {
            LPITEMIDLIST item = SHBrowseForFolderA(&browse);
            if (!item)
                break;
            const bool hasPath = SHGetPathFromIDListW(item, naming->path);
            allocator->Free(item);
            if (!hasPath)
                break;
            naming->run = RunNaming;
            naming->drop = FreeNaming;
            // Given up, the program ends, and the helper frees the naming.
            if (!AwaitHelper(naming)) {
                naming = nullptr;
                break;
            }
            if (naming->named) {
                lstrcpyA(WatchedFolder, naming->ansi);
                RegKey key(HKEY_CURRENT_USER, SettingsKeyPath);
                key.Exchange(REG_SZ, FolderValueName, WatchedFolder, true);
                ScanFolder(CheckingIfSlow);
                chosen = true;
                break;
            }
            // A folder the program cannot name is no choice: say why, and
            // ask again.
            MessageBoxA(MainWindow, UnnamedFolderText, "Tarnwick", MB_ICONEXCLAMATION | MB_OK);
        }
        if (naming)
            HeapFree(GetProcessHeap(), 0, naming);
        if (SUCCEEDED(com))
            CoUninitialize();
        allocator->Release();
    }

    TrayMenu.EnableItem(IDM_SELECT_FOLDER);
    return chosen;
}
