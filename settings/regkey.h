// One open registry key and a fixed buffer to exchange its values through.
#pragma once
#include <windows.h>

class RegKey {
public:
    // Opens parent\subKey, creating it (and any missing key above it) when it
    // does not exist. On failure hkey is null and status holds the error.
    RegKey(HKEY parent, const char* subKey);
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Reads (write false) or writes (write true) the value `name` as REG_SZ or
    // as a 4-byte number (any other type). For a read, `value` is the default:
    // a missing value is created from it, and any other failure gives it back
    // without storing it. A string to write or default must fit in data
    // (at most 511 characters). Returns data, which then holds a zero-terminated
    // string or a full 32-bit number, never undefined bytes.
    const BYTE* Exchange(DWORD type, const char* name, const void* value, bool write);

    // Writes `text` as the REG_SZ value `name` in the registry's own UTF-16,
    // so that no character is lost to the code page. True when stored; status
    // holds the registry's answer. The name is plain ASCII.
    bool WriteWideString(const char* name, const WCHAR* text);

    // True when the value was deleted; status holds the registry's answer.
    bool DeleteValue(const char* name);

    // True when a value of that name exists, whatever its type; status is
    // left untouched.
    bool ValueExists(const char* name) const;

    // Deletes only the last key of the path; the keys above it stay.
    static bool DeleteKey(HKEY parent, const char* subKey);

    HKEY hkey;
    LONG status;
    DWORD type;
    DWORD size;
    // Room for the longest path the program stores: in UTF-8 a path of
    // MAX_PATH characters takes up to three times as many bytes.
    BYTE data[1028];
};
