#include "tests/support/fake_platform.h"

#include "app/platform.h"

#include <mutex>

std::vector<UINT> AlertCalls;
std::vector<ShellCall> ShellCalls;
std::vector<TrayCall> TrayCalls;
std::function<BOOL(DWORD, NOTIFYICONDATAA*)> TrayShell;
std::function<HANDLE(const char*, DWORD)> ChangeNotifier;
std::function<HANDLE(const WCHAR*, WIN32_FIND_DATAW*)> Lister;
std::function<UINT()> TaskbarDpiSource;

namespace {

// The folder opens from a thread of its own, one for each time: the calls
// are recorded one at a time, and counted as they come.
std::mutex ShellCallsLock;
const HANDLE ShellCalled = CreateSemaphoreA(nullptr, 0, 1000, nullptr);

} // namespace

void PlayAlert(UINT type)
{
    AlertCalls.push_back(type);
}

void ShellOpen(HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
               int show)
{
    const std::lock_guard<std::mutex> recording(ShellCallsLock);
    ShellCalls.push_back({owner, verb ? verb : "", file ? file : "", parameters ? parameters : "",
                          directory ? directory : "", parameters == nullptr, directory == nullptr, show});
    ReleaseSemaphore(ShellCalled, 1, nullptr);
}

bool WaitForShellCall(DWORD timeout)
{
    return WaitForSingleObject(ShellCalled, timeout) == WAIT_OBJECT_0;
}

BOOL NotifyTray(DWORD message, NOTIFYICONDATAA* data)
{
    const BOOL result = TrayShell ? TrayShell(message, data) : Shell_NotifyIconA(message, data);
    TrayCalls.push_back({message, data->uFlags, data->hIcon, data->szTip, data->szInfoTitle, data->szInfo,
                         data->dwInfoFlags, result, GetTickCount()});
    return result;
}

HANDLE ArmChangeNotification(const char* folder, DWORD filter)
{
    return ChangeNotifier ? ChangeNotifier(folder, filter)
                          : FindFirstChangeNotificationA(folder, FALSE, filter);
}

HANDLE OpenListing(const WCHAR* pattern, WIN32_FIND_DATAW* entry)
{
    return Lister ? Lister(pattern, entry) : FindFirstFileW(pattern, entry);
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
    while (WaitForSingleObject(ShellCalled, 0) == WAIT_OBJECT_0) {}
    TrayCalls.clear();
    TrayShell = nullptr;
    ChangeNotifier = nullptr;
    Lister = nullptr;
    TaskbarDpiSource = nullptr;
}
