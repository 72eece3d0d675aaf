// Stands in for the alert sound and the shell launch, which leave no trace a
// test could look at, and records each call instead. The tray and the change
// notification go to the real calls unless a test puts a function of its own
// in front of them.
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
    HICON icon;
    std::string tip;
    BOOL result;
    DWORD at; // GetTickCount()
};

extern std::vector<UINT> AlertCalls;
extern std::vector<ShellCall> ShellCalls;
extern std::vector<TrayCall> TrayCalls;

// Empty: the real Shell_NotifyIconA and FindFirstChangeNotificationA.
extern std::function<BOOL(DWORD, NOTIFYICONDATAA*)> TrayShell;
extern std::function<HANDLE(const char*, DWORD)> ChangeNotifier;

// Puts the real calls back and forgets every recorded call.
void ResetFakePlatform();
