#include "tests/support/program.h"

#include <shellapi.h>

#include <cstdlib>

#include "resource.h"
#include "tests/support/files.h"
#include "tests/support/registry.h"
#include "tests/support/ui.h"
#include "watch/tray.h"

std::string ProgramFile()
{
    // The build knows the program by its Unix path.
    return ZPath(TARNWICK_EXE);
}

RunningProgram::~RunningProgram()
{
    if (!process.hProcess)
        return;
    if (Running()) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

bool RunningProgram::Start(const std::string& file, bool quoted)
{
    std::string commandLine = quoted ? "\"" + file + "\"" : file;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessA(file.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process);
}

bool RunningProgram::Open(const std::string& file)
{
    // A window that answers is not enough: start-up answers sent messages
    // while the tray takes its icon, and goes on storing settings after.
    if (!Start(file) || !WaitUntilIdle())
        return false;
    window = WaitForWindow();
    return window && Responds(window);
}

bool RunningProgram::Start(const std::wstring& file, std::wstring commandLine, const std::wstring& folder)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(file.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                          &startup, &process);
}

HWND RunningProgram::WaitForWindow(DWORD timeout) const
{
    return FindProcessWindow(process.dwProcessId, "Tarnwick", false, timeout);
}

bool RunningProgram::WaitUntilIdle(DWORD timeout) const
{
    return WaitForInputIdle(process.hProcess, timeout) == 0;
}

HWND RunningProgram::WaitForDialog(DWORD timeout) const
{
    return FindProcessWindow(process.dwProcessId, "#32770", true, timeout);
}

DWORD RunningProgram::WaitForExit(DWORD timeout) const
{
    if (WaitForSingleObject(process.hProcess, timeout) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

DWORD RunningProgram::Exit()
{
    PostMessageA(WaitForWindow(), WM_COMMAND, IDM_EXIT, 0);
    return WaitForExit();
}

bool WaitForLoop(HWND window)
{
    WriteNumber(SettingsKey, "Buzzer", 1);
    PostMessageA(window, WM_COMMAND, IDM_BUZZER_QUIET, 0);
    return WaitForValue(SettingsKey, "Buzzer", RawNumber(0), 5000);
}

bool Responds(HWND window, DWORD timeout)
{
    DWORD_PTR result = 0;
    return window && SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeout, &result) != 0;
}

double CpuMilliseconds(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    FILETIME created, ended, kernel, user;
    double ms = -1;
    if (process && GetProcessTimes(process, &created, &ended, &kernel, &user)) {
        auto ticks = [](FILETIME t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
        ms = double(ticks(kernel) + ticks(user)) / 10000.0;
    }
    if (process)
        CloseHandle(process);
    return ms;
}

void PostTrayMouse(HWND window, UINT mouseMessage)
{
    PostMessageA(window, WM_TRAYICON, TRAY_ICON_ID, mouseMessage);
}

bool ClickIcon(HWND window)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONDOWN, SMTO_ABORTIFHUNG, 5000,
                             &result))
        return false;
    Sleep(GetDoubleClickTime() + 10 + 100);
    return Responds(window);
}

void DropIcon(HWND window)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = window;
    icon.uID = TRAY_ICON_ID;
    Shell_NotifyIconA(NIM_DELETE, &icon);
}

std::string ReadWhole(const std::string& file)
{
    std::string text;
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(handle, chunk, sizeof(chunk), &got, nullptr) && got)
        text.append(chunk, got);
    CloseHandle(handle);
    return text;
}

namespace {

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], DWORD(text.size()));
    return text;
}

} // namespace

std::string UnixProcessDirectory(const std::string& exeName)
{
    char prefix[1024] = "";
    GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix));
    const std::string name = Lower(exeName);
    std::string found;
    int matches = 0;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA("Z:\\proc\\*", &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9')
            continue;
        const std::string dir = std::string("Z:\\proc\\") + entry.cFileName;
        // Wine shows a Windows program's own path as its first argument.
        std::string program = Lower(ReadWhole(dir + "\\cmdline").c_str());
        for (char& c : program)
            if (c == '/')
                c = '\\';
        const std::string ending = "\\" + name;
        if (program.size() < ending.size() ||
            program.compare(program.size() - ending.size(), ending.size(), ending))
            continue;
        const std::string environment = ReadWhole(dir + "\\environ");
        if (environment.find(std::string("WINEPREFIX=") + prefix + '\0') == std::string::npos)
            continue;
        found = dir;
        ++matches;
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return matches == 1 ? found : std::string();
}

long VoluntarySwitches(const std::string& taskDirectory)
{
    const std::string status = ReadWhole(taskDirectory + "\\status");
    // At a line's start: "nonvoluntary_ctxt_switches" ends in the same words.
    const char key[] = "\nvoluntary_ctxt_switches:";
    const size_t at = status.find(key);
    if (at == std::string::npos)
        return -1;
    return std::strtol(status.c_str() + at + sizeof(key) - 1, nullptr, 10);
}
