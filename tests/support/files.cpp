#include "tests/support/files.h"

std::string ZPath(const char* unixPath)
{
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

TempFolder::TempFolder()
{
    char base[MAX_PATH], name[MAX_PATH];
    GetTempPathA(sizeof(base), base);
    static int serial;
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
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
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

std::string UnixPath(const std::string& windowsPath)
{
    typedef char*(CDECL * ToUnix)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return std::string();
    WCHAR wide[2048];
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, 2048);
    char* unixName = toUnix(wide);
    std::string result = unixName ? unixName : "";
    if (unixName)
        HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

bool RunUnix(const std::string& script, DWORD timeout)
{
    static int serial;
    char temp[MAX_PATH], name[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    wsprintfA(name, "%stw-fault-%lu-%d", temp, GetCurrentProcessId(), ++serial);
    const std::string file = std::string(name) + ".sh", done = std::string(name) + ".done";
    const std::string body = script + "\ntouch '" + UnixPath(done) + "'\n";
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(handle, body.data(), DWORD(body.size()), &written, nullptr);
    CloseHandle(handle);

    // Wine starts a Unix program it is given but cannot wait for it: the
    // script marks its end with a file instead.
    std::string commandLine = "/bin/sh \"" + UnixPath(file) + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    const DWORD start = GetTickCount();
    bool finished = false;
    while (!(finished = GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) &&
           GetTickCount() - start < timeout)
        Sleep(20);
    DeleteFileA(done.c_str());
    DeleteFileA(file.c_str());
    return finished;
}

bool MapDrive(char letter, const std::string& unixFolder)
{
    char prefix[1024] = "";
    if (!GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix)))
        return false;
    const std::string link = std::string(prefix) + "/dosdevices/" + char(letter | 0x20) + ":";
    return RunUnix(unixFolder.empty() ? "rm -f '" + link + "'"
                                      : "ln -sfn '" + unixFolder + "' '" + link + "'");
}

bool RemoveTree(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileA(path.c_str()) != 0;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..")
                RemoveTree(path + "\\" + name);
        } while (FindNextFileA(listing, &entry));
        FindClose(listing);
    }
    return RemoveDirectoryA(path.c_str()) != 0;
}

SameObject::SameObject(HANDLE handle)
{
    DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &kept, 0, FALSE, DUPLICATE_SAME_ACCESS);
}

bool SameObject::NamedBy(HANDLE handle) const
{
    // Windows 10's call, which Wine has and older headers do not declare.
    using Compare = BOOL(WINAPI*)(HANDLE, HANDLE);
    static const auto compare = reinterpret_cast<Compare>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernelbase.dll"), "CompareObjectHandles")));
    return compare && compare(kept, handle);
}
