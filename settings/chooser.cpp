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
#include "watch/scan.h"

namespace {

const char UnnamedFolderText[] =
    "This folder's name uses characters that Windows cannot give Tarnwick, and the folder has no short "
    "name either. Rename the folder, or choose another.";

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
        // A path of MAX_PATH characters takes up to three times as many bytes
        // in UTF-8.
        char path[sizeof(WatchedFolder)];

        BROWSEINFOA browse = {};
        browse.hwndOwner = MainWindow;
        browse.pidlRoot = nullptr;
        browse.pszDisplayName = displayName;
        browse.lpszTitle = title;
        browse.ulFlags = BIF_RETURNONLYFSDIRS;

        for (;;) {
            LPITEMIDLIST item = SHBrowseForFolderA(&browse);
            if (!item)
                break;
            WCHAR widePath[MAX_PATH];
            const bool hasPath = SHGetPathFromIDListW(item, widePath);
            const bool named = hasPath && AnsiPathOf(widePath, path, sizeof(path));
            allocator->Free(item);
            if (named) {
                lstrcpyA(WatchedFolder, path);
                RegKey key(HKEY_CURRENT_USER, SettingsKeyPath);
                key.Exchange(REG_SZ, FolderValueName, WatchedFolder, true);
                ScanFolder(0);
                chosen = true;
            }
            if (named || !hasPath)
                break;
            // A folder the program cannot name is no choice: say why, and
            // ask again.
            MessageBoxA(MainWindow, UnnamedFolderText, "Tarnwick", MB_ICONEXCLAMATION | MB_OK);
        }
        if (SUCCEEDED(com))
            CoUninitialize();
        allocator->Release();
    }

    TrayMenu.EnableItem(IDM_SELECT_FOLDER);
    return chosen;
}
