#include "tests/fault/fault_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <cstdlib>
#include <vector>

bool SoakRun()
{
    const char* soak = std::getenv("TARNWICK_SOAK");
    return soak && *soak && std::string(soak) != "0";
}

int Rounds(int normal, int soak)
{
    return SoakRun() ? soak : normal;
}

namespace {

typedef LONG(NTAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
typedef LONG(NTAPI* QueryInformationProcess)(HANDLE, ULONG, PVOID, ULONG, PULONG);

// One row of the system handle list (SystemHandleInformation, class 16).
struct HandleRow {
    ULONG processId;
    BYTE type;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

int CountKernelHandles(DWORD processId)
{
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<char> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(16, buffer.data(), ULONG(buffer.size()), &needed);
        if (status == 0) {
            const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
            const auto* rows = reinterpret_cast<const HandleRow*>(buffer.data() + sizeof(ULONG_PTR));
            int mine = 0;
            for (ULONG i = 0; i < count; ++i)
                if (rows[i].processId == processId)
                    ++mine;
            return mine;
        }
        buffer.resize(buffer.size() * 2 + needed);
    }
    return -1;
}

// One entry of the GDI handle table that the process's PEB points to.
#pragma pack(push, 1)
struct GdiEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique; // the low byte's top bit marks a stock object
    BYTE type;     // zero for a free entry
    BYTE flags;
    UINT64 user;
};
#pragma pack(pop)
static_assert(sizeof(GdiEntry) == 24, "GDI handle table entry");

bool ReadGdiTable(HANDLE process, std::vector<GdiEntry>* entries)
{
    auto query = reinterpret_cast<QueryInformationProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    struct {
        LONG exitStatus;
        PVOID peb;
        ULONG_PTR affinity, priority, id, parent;
    } basic = {};
    ULONG length = 0;
    if (!query || query(process, 0, &basic, sizeof(basic), &length) != 0 || !basic.peb)
        return false;
    // GdiSharedHandleTable, a pointer in the PEB of a program of our own word
    // size, which the program under test always is.
    const size_t tableOffset = sizeof(void*) == 4 ? 0x94 : 0xF8;
    void* table = nullptr;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, static_cast<char*>(basic.peb) + tableOffset, &table, sizeof(table),
                           &read) ||
        !table)
        return false;
    entries->resize(0x10000);
    return ReadProcessMemory(process, table, entries->data(), entries->size() * sizeof(GdiEntry), &read) != 0;
}

int CountGdiObjects(HANDLE process, std::string* kinds)
{
    std::vector<GdiEntry> entries;
    if (!ReadGdiTable(process, &entries))
        return -1;
    int live = 0;
    std::map<int, int> byType;
    for (const GdiEntry& entry : entries)
        if (entry.type && !(entry.unique & 0x80)) {
            // Not a display DC with its region and surface (types 1, 4, 5): those
            // are Wine's, kept in a cache that grows to a high-water mark that
            // timing decides, as windows happen to paint at once. Memory DCs
            // (0x41) and everything a program makes count.
            live += entry.type != 0x01 && entry.type != 0x04 && entry.type != 0x05;
            ++byType[entry.type & 0x1f];
        }
    // By kind: 1 DC, 4 region, 5 surface, 8 palette, 9 bitmap, 10 font, 16 brush, 16+ pens.
    for (const auto& kind : byType) {
        char text[32];
        std::snprintf(text, sizeof(text), "%s%d:%d", kinds->empty() ? "" : " ", kind.first, kind.second);
        *kinds += text;
    }
    return live;
}

struct WindowCount {
    DWORD processId;
    int count;
};

BOOL CALLBACK CountChild(HWND, LPARAM parameter)
{
    ++reinterpret_cast<WindowCount*>(parameter)->count;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM parameter)
{
    auto* windows = reinterpret_cast<WindowCount*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == windows->processId) {
        ++windows->count;
        EnumChildWindows(window, CountChild, parameter);
    }
    return TRUE;
}

int CountWindows(DWORD processId)
{
    WindowCount windows = {processId, 0};
    EnumWindows(CountTopLevel, LPARAM(&windows));
    return windows.count;
}

int CountUnixFds()
{
    const std::string file = ProgramFile();
    const std::string dir = UnixProcessDirectory(file.substr(file.find_last_of('\\') + 1));
    if (dir.empty())
        return -1;
    int count = 0;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((dir + "\\fd\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return -1;
    do {
        if (entry.cFileName[0] != '.')
            ++count;
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return count;
}

} // namespace

Usage Measure(DWORD processId)
{
    Usage usage;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process) {
        usage.gdi = CountGdiObjects(process, &usage.gdiKinds);
        CloseHandle(process);
    }
    usage.handles = CountKernelHandles(processId);
    usage.windows = CountWindows(processId);
    usage.fds = CountUnixFds();
    return usage;
}

std::string Show(const Usage& usage)
{
    char text[128];
    std::snprintf(text, sizeof(text), "handles %d, GDI objects %d (", usage.handles, usage.gdi);
    std::string shown = text + usage.gdiKinds;
    std::snprintf(text, sizeof(text), "), windows %d, Unix fds %d", usage.windows, usage.fds);
    return shown + text;
}

void ExpectFlat(const Usage& before, const Usage& after, int rounds, const char* what)
{
    const int slack = 4;
    ASSERT_GT(rounds, 4 * slack) << what << ": too few rounds to tell a leak from noise";
    const std::string both = std::string(what) + "\nbefore: " + Show(before) + "\nafter:  " + Show(after);
    EXPECT_NE(-1, before.handles) << both;
    EXPECT_NE(-1, before.gdi) << both;
    EXPECT_NE(-1, before.fds) << both;
    EXPECT_LE(after.handles - before.handles, slack) << both;
    EXPECT_LE(after.gdi - before.gdi, slack) << both;
    EXPECT_LE(after.windows - before.windows, slack) << both;
    EXPECT_LE(after.fds - before.fds, slack) << both;
    std::printf("%s\n", both.c_str());
}

bool GdiObjectAlive(DWORD processId, HANDLE object)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    std::vector<GdiEntry> entries;
    const bool read = process && ReadGdiTable(process, &entries);
    if (process)
        CloseHandle(process);
    if (!read)
        return false;
    // A handle is its table index with the entry's serial number above it.
    const GdiEntry& entry = entries[LOWORD(ULONG_PTR(object))];
    return entry.type != 0 && entry.unique == HIWORD(ULONG_PTR(object));
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
    GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix));
    const std::string link = std::string(prefix) + "/dosdevices/" + char(letter | 0x20) + ":";
    return RunUnix(unixFolder.empty() ? "rm -f '" + link + "'"
                                      : "ln -sfn '" + unixFolder + "' '" + link + "'");
}

TrayPicture Truth(const std::string& folder, bool hidden, bool subfolders)
{
    if (folder.empty())
        return TrayPicture::Unavailable;
    std::string pattern = folder;
    if (pattern.back() != '\\')
        pattern += '\\';
    pattern += "*.*";
    // Wide, as the program lists: the ANSI call takes no path of MAX_PATH
    // characters or more under Wine, the wide one does.
    const std::wstring widePattern(pattern.begin(), pattern.end());
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(widePattern.c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        // An empty drive root lists nothing at all, yet is a folder.
        const bool nothingMatched = GetLastError() == ERROR_FILE_NOT_FOUND;
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        const bool isFolder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        return nothingMatched && isFolder ? TrayPicture::Empty : TrayPicture::Unavailable;
    }
    bool found = false;
    do {
        const DWORD windowsOwn = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        found = (entry.dwFileAttributes & windowsOwn) != windowsOwn &&
                (hidden || !(entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) &&
                (subfolders || !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) &&
                entry.cFileName[0] != L'.';
    } while (!found && FindNextFileW(listing, &entry));
    FindClose(listing);
    return found ? TrayPicture::NotEmpty : TrayPicture::Empty;
}

bool OpenTraced(RunningProgram& program, const char* call, const std::string& file)
{
    WriteString("Software\\Wine\\Debug", "RelayInclude", call);
    SetEnvironmentVariableA("WINEDEBUG", "-all,+relay");
    const bool opened = program.Open(file);
    SetEnvironmentVariableA("WINEDEBUG", nullptr);
    DeleteValue("Software\\Wine\\Debug", "RelayInclude");
    return opened;
}

std::vector<ULONG_PTR> TracedReturns(const char* call, const std::string& file)
{
    const std::string returned = "Ret  " + std::string(call) + "() retval=";
    const std::string text =
        ReadWhole(UnixProcessDirectory(file.substr(file.find_last_of('\\') + 1)) + "\\fd\\2");
    std::vector<ULONG_PTR> found;
    for (size_t at = text.find(returned); at != std::string::npos; at = text.find(returned, at + 1))
        found.push_back(ULONG_PTR(std::strtoull(text.c_str() + at + returned.size(), nullptr, 16)));
    return found;
}
