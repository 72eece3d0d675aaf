// Stands in for the alert sound and the shell launch, which leave no trace a
// test could look at, and records each call instead. The tray, the change
// notification and the taskbar's DPI go to the real calls unless a test puts
// a function of its own in front of them.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

struct ShellCall {
    HWND owner;
    std::string verb, file, parameters, directory;
    bool nullParameters, nullDirectory;
    int show;
};

struct TrayCall {
    DWORD message; // NIM_ADD, NIM_MODIFY or NIM_DELETE
    UINT flags;
    HICON icon;
    std::string tip;
    std::string infoTitle, info; // a notification's, where flags hold NIF_INFO
    DWORD infoFlags;
    BOOL result;
    DWORD at; // GetTickCount()
};

extern std::vector<UINT> AlertCalls;
extern std::vector<ShellCall> ShellCalls;
extern std::vector<TrayCall> TrayCalls;

// Empty: the real Shell_NotifyIconA, FindFirstChangeNotificationA,
// FindFirstFileW and taskbar's DPI. The notifier and the lister are called on
// the program's helper thread.
extern std::function<BOOL(DWORD, NOTIFYICONDATAA*)> TrayShell;
extern std::function<HANDLE(const char*, DWORD)> ChangeNotifier;
extern std::function<HANDLE(const WCHAR*, WIN32_FIND_DATAW*)> Lister;
extern std::function<UINT()> TaskbarDpiSource;

// The folder opens on a thread of its own: waits for one more shell call than
// the waits before it took, since the last reset, after which ShellCalls
// holds it; false on time-out.
bool WaitForShellCall(DWORD timeout = 2000);

// Puts the real calls back and forgets every recorded call.
void ResetFakePlatform();
