#include "tests/support/fake_platform.h"

#include "app/platform.h"

std::vector<UINT> AlertCalls;
std::vector<ShellCall> ShellCalls;
std::vector<TrayCall> TrayCalls;
std::function<BOOL(DWORD, NOTIFYICONDATAA*)> TrayShell;
std::function<HANDLE(const char*, DWORD)> ChangeNotifier;
std::function<UINT()> TaskbarDpiSource;

void PlayAlert(UINT type)
{
    AlertCalls.push_back(type);
}

void ShellOpen(HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
               int show)
{
    ShellCalls.push_back({owner, verb ? verb : "", file ? file : "", parameters ? parameters : "",
                          directory ? directory : "", parameters == nullptr, directory == nullptr, show});
}

BOOL NotifyTray(DWORD message, NOTIFYICONDATAA* data)
{
    const BOOL result = TrayShell ? TrayShell(message, data) : Shell_NotifyIconA(message, data);
    TrayCalls.push_back({message, data->hIcon, data->szTip, result, GetTickCount()});
    return result;
}

HANDLE ArmChangeNotification(const char* folder, DWORD filter)
{
    return ChangeNotifier ? ChangeNotifier(folder, filter)
                          : FindFirstChangeNotificationA(folder, FALSE, filter);
}

UINT TaskbarDpi()
{
    if (TaskbarDpiSource)
        return TaskbarDpiSource();
    const HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    return taskbar ? GetDpiForWindow(taskbar) : 0;
}

void ResetFakePlatform()
{
    AlertCalls.clear();
    ShellCalls.clear();
    TrayCalls.clear();
    TrayShell = nullptr;
    ChangeNotifier = nullptr;
    TaskbarDpiSource = nullptr;
}
