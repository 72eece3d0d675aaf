#include "tests/support/test_support.h"

#include "app/main_loop.h"
#include "settings/settings.h"
#include "tests/support/fake_platform.h"
#include "ui/about.h"
#include "ui/tray_menu.h"
#include "watch/scan.h"
#include "watch/tray.h"

TempFolder::TempFolder()
{
    char base[MAX_PATH];
    GetTempPathA(sizeof(base), base);
    static int serial;
    char name[MAX_PATH];
    wsprintfA(name, "%starnwick-%lu-%d-%lu", base, GetCurrentProcessId(), ++serial, GetTickCount());
    CreateDirectoryA(name, nullptr);
    path = name;
}

TempFolder::~TempFolder()
{
    RemoveTree(path);
}

std::string TempFolder::AddFile(const char* name, DWORD attributes) const
{
    const std::string file = path + "\\" + name;
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    CloseHandle(handle);
    SetFileAttributesA(file.c_str(), attributes);
    return file;
}

std::string TempFolder::AddFolder(const char* name, DWORD attributes) const
{
    const std::string folder = path + "\\" + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    if (attributes)
        SetFileAttributesA(folder.c_str(), attributes | FILE_ATTRIBUTE_DIRECTORY);
    return folder;
}

bool RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(listing, &entry));
        FindClose(listing);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

void ClearStoredSettings()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeyPath);
    HKEY run;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKeyPath, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, "Tarnwick");
        RegCloseKey(run);
    }
}

bool ReadStoredNumber(const char* key, const char* name, DWORD* value)
{
    DWORD type = 0, size = sizeof(*value);
    return RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_ANY, &type, value, &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == 4;
}

bool ReadStoredString(const char* key, const char* name, std::string* value)
{
    char buffer[4096];
    DWORD type = 0, size = sizeof(buffer);
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_ANY, &type, buffer, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    *value = buffer;
    return true;
}

void WriteStoredNumber(const char* key, const char* name, DWORD value)
{
    RegSetKeyValueA(HKEY_CURRENT_USER, key, name, REG_DWORD, &value, sizeof(value));
}

void WriteStoredString(const char* key, const char* name, const char* value)
{
    RegSetKeyValueA(HKEY_CURRENT_USER, key, name, REG_SZ, value, lstrlenA(value) + 1);
}

void ResetProgramState()
{
    if (HoldsChangeNotification())
        FindCloseChangeNotification(ChangeHandle);
    ChangeHandle = nullptr;
    WasNotEmpty = 0;
    if (TrayIconData.cbSize)
        Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
    ZeroMemory(&TrayIconData, sizeof(TrayIconData));
    CurrentTrayState = -1;
    WatchedFolder[0] = 0;
    BuzzerMode = 1;
    RescanDelay = 0;
    ShowHidden = 1;
    ShowSubfolders = 1;
    Permanent = 1;
    AboutOpen = 0;
    AlertCalls.clear();
    ShellCalls.clear();
}

namespace {

void EmptyMenu(HMENU menu)
{
    while (GetMenuItemCount(menu) > 0)
        RemoveMenu(menu, 0, MF_BYPOSITION);
}

} // namespace

void SetUpMainWindow()
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    LoadTrayIcons(instance);
    if (!IsWindow(MainWindow))
        CreateMainWindow(instance);
    EmptyMenu(TrayMenu.Handle());
    EmptyMenu(RescanMenu.Handle());
    EmptyMenu(BuzzerMenu.Handle());
    BuildTrayMenu();
}

namespace {

struct DialogSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    char className[16], caption[128];
    GetClassNameA(window, className, sizeof(className));
    GetWindowTextA(window, caption, sizeof(caption));
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) &&
        (!search->caption || lstrcmpA(caption, search->caption) == 0)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindThreadDialog(const char* caption)
{
    DialogSearch search = {caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, LPARAM(&search));
    return search.found;
}

void PumpMessages(DWORD milliseconds, bool (*done)())
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        if (done && done())
            return;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

bool IsChecked(HMENU menu, UINT id)
{
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool IsGreyed(HMENU menu, UINT id)
{
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}
