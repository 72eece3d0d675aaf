#include "tests/e2e/driver.h"

#include <commctrl.h>
#include <shlobj.h>

const char SettingsKey[] = "Software\\Orrel\\Tarnwick\\1.5+";
const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string ProgramFile()
{
    // The build knows the program by its Unix path; Wine maps / to Z:.
    std::string path = std::string("Z:") + TARNWICK_EXE;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
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

namespace {

struct WindowSearch {
    DWORD processId;
    const char* className;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = "";
    GetClassNameA(window, className, sizeof(className));
    if (owner == search->processId && lstrcmpA(className, search->className) == 0 &&
        (!search->visibleOnly || IsWindowVisible(window))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        WindowSearch search = {processId, className, visibleOnly, nullptr};
        EnumWindows(MatchWindow, LPARAM(&search));
        if (search.found || GetTickCount() - start >= timeout)
            return search.found;
        Sleep(20);
    }
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
    PostMessageA(WaitForWindow(), WM_COMMAND, 105, 0);
    return WaitForExit();
}

namespace {

// Memory in the browser's process: its messages read and write there.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size)
    {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
        address = static_cast<char*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteBuffer()
    {
        VirtualFreeEx(process, address, 0, MEM_RELEASE);
        CloseHandle(process);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    void Write(size_t offset, const void* data, size_t size)
    {
        WriteProcessMemory(process, address + offset, data, size, nullptr);
    }
    void Read(size_t offset, void* data, size_t size)
    {
        ReadProcessMemory(process, address + offset, data, size, nullptr);
    }
    char* At(size_t offset) const { return address + offset; }

private:
    HANDLE process;
    char* address;
};

// The text of the tree's selected item, read across the process boundary.
std::string SelectedText(HWND tree, RemoteBuffer& remote)
{
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = HTREEITEM(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = remote.At(sizeof(item));
    item.cchTextMax = MAX_PATH;
    if (!item.hItem)
        return "";
    remote.Write(0, &item, sizeof(item));
    SendMessageA(tree, TVM_GETITEMA, 0, LPARAM(remote.At(0)));
    char text[MAX_PATH] = "";
    remote.Read(sizeof(item), text, sizeof(text) - 1);
    return text;
}

} // namespace

void AnswerBrowser(HWND dialog, const std::string& folder)
{
    // The browser fills its tree after it shows and may settle a selection
    // after that, so select the folder until the tree shows it, then confirm.
    HWND tree = FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr);
    for (int i = 0; i < 250 && !SendMessageA(tree, TVM_GETCOUNT, 0, 0); ++i)
        Sleep(20);
    if (folder.empty()) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    RemoteBuffer remote(dialog, sizeof(TVITEMA) + 2 * MAX_PATH);
    const std::string name = folder.substr(folder.find_last_of('\\') + 1);
    remote.Write(sizeof(TVITEMA) + MAX_PATH, folder.c_str(), folder.size() + 1);
    for (int i = 0; i < 100 && SelectedText(tree, remote).find(name) == std::string::npos; ++i) {
        if (i % 10 == 0)
            SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, LPARAM(remote.At(sizeof(TVITEMA) + MAX_PATH)));
        Sleep(50);
    }
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

bool KeyExists(const char* key)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

bool ReadNumber(const char* key, const char* name, DWORD* value)
{
    DWORD type = 0, size = sizeof(*value);
    return RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_ANY, &type, value, &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

bool ReadString(const char* key, const char* name, std::string* value)
{
    char buffer[2048];
    DWORD type = 0, size = sizeof(buffer);
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_ANY, &type, buffer, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    *value = buffer;
    return true;
}

void WriteNumber(const char* key, const char* name, DWORD value)
{
    RegSetKeyValueA(HKEY_CURRENT_USER, key, name, REG_DWORD, &value, sizeof(value));
}

void WriteString(const char* key, const char* name, const std::string& value)
{
    RegSetKeyValueA(HKEY_CURRENT_USER, key, name, REG_SZ, value.c_str(), DWORD(value.size() + 1));
}

void ClearSettings()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey);
    HKEY run;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKey, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, "Tarnwick");
        RegCloseKey(run);
    }
}

ScratchFolder::ScratchFolder()
{
    char base[MAX_PATH], name[MAX_PATH];
    GetTempPathA(sizeof(base), base);
    static int serial;
    wsprintfA(name, "%stw-e2e-%lu-%d", base, GetCurrentProcessId(), ++serial);
    CreateDirectoryA(name, nullptr);
    path = name;
}

ScratchFolder::~ScratchFolder()
{
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::string child = path + "\\" + entry.cFileName;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(child.c_str());
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(listing, &entry));
        FindClose(listing);
    }
    RemoveDirectoryA(path.c_str());
}

std::string ScratchFolder::Add(const char* name) const
{
    const std::string file = path + "\\" + name;
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return file;
}
