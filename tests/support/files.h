// Real folders under the temp directory.
#pragma once
#include <windows.h>

#include <string>

// A fresh folder, removed with all it holds.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path; }
    // Creates an empty file (kept when it exists) or a folder inside, even
    // below a subfolder ("sub\\name"); returns its full path.
    std::string AddFile(const char* name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const;
    std::string AddFolder(const char* name, DWORD attributes = 0) const;

private:
    std::string path;
};

// The Windows path of a Unix one: Wine maps / to Z:. Where TARNWICK_ROOT
// names a copy of the build machine's source tree (and its build folders),
// as on Windows, a path inside that tree is taken from the copy instead.
std::string ZPath(const char* unixPath);

// Removes a file, or a folder and everything below it, whatever their
// attributes; true when nothing is left.
bool RemoveTree(const std::string& path);

// A second handle on the object that `handle` names: it tells a handle that
// was closed from one whose value was handed out again for something else.
class SameObject {
public:
    explicit SameObject(HANDLE handle);
    ~SameObject() { CloseHandle(kept); }
    SameObject(const SameObject&) = delete;
    SameObject& operator=(const SameObject&) = delete;

    bool NamedBy(HANDLE handle) const;
    // Whether the handle it was made from still names the object.
    bool StillOpen() const { return NamedBy(original); }

private:
    HANDLE original, kept = nullptr;
};
