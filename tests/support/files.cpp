#include "tests/support/files.h"

std::string ZPath(const char* unixPath)
{
    const std::string given = unixPath, root = TARNWICK_SOURCE_ROOT;
    char copy[MAX_PATH] = "";
    std::string path = "Z:" + given;
    if (GetEnvironmentVariableA("TARNWICK_ROOT", copy, sizeof(copy)) &&
        given.compare(0, root.size(), root) == 0 && given[root.size()] == '/')
        path = copy + given.substr(root.size());
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

TempFolder::TempFolder()
{
    char base[MAX_PATH], name[MAX_PATH];
    GetTempPathA(sizeof(base), base);
    // Windows may name it by its short name (C:\Users\RUNNER~1\...), where
    // the shell and the program give folders their long ones.
    GetLongPathNameA(base, base, sizeof(base));
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

SameObject::SameObject(HANDLE handle) : original(handle)
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
