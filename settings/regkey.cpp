#include "settings/regkey.h"

namespace {

// The stored copy of a string includes its terminating zero.
DWORD ValueSize(DWORD type, const void* value)
{
    return type == REG_SZ ? lstrlenA(static_cast<const char*>(value)) + 1 : sizeof(DWORD);
}

// What the registry stored is handed on only when it has the shape the caller
// reads: a REG_SZ whose string ends inside the buffer, or a REG_DWORD of
// exactly four bytes. A string stored without its terminating zero gets one
// when there is room for it. Anything else counts as a failed read.
bool MakeReadable(DWORD wanted, DWORD stored, DWORD size, BYTE* data, DWORD capacity)
{
    if (wanted == REG_SZ) {
        if (stored != REG_SZ)
            return false;
        if (size > 0 && data[size - 1] == 0)
            return true;
        if (size >= capacity)
            return false;
        data[size] = 0;
        return true;
    }
    return stored == REG_DWORD && size == sizeof(DWORD);
}

} // namespace

RegKey::RegKey(HKEY parent, const char* subKey)
{
    status = RegCreateKeyExA(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             &hkey, nullptr);
    if (status != ERROR_SUCCESS)
        hkey = nullptr;
}

RegKey::~RegKey()
{
    RegCloseKey(hkey);
}

const BYTE* RegKey::Exchange(DWORD type, const char* name, const void* value, bool write)
{
    this->type = type;
    const DWORD count = ValueSize(type, value);
    if (!write) {
        size = sizeof(data);
        status = RegQueryValueExA(hkey, name, nullptr, &this->type, data, &size);
        if (status == ERROR_SUCCESS && !MakeReadable(type, this->type, size, data, sizeof(data)))
            status = ERROR_INVALID_DATA;
        if (status == ERROR_FILE_NOT_FOUND) {
            write = true;
        } else if (status != ERROR_SUCCESS) {
            this->type = type;
            CopyMemory(data, value, count);
        }
    }
    if (write) {
        CopyMemory(data, value, count);
        size = count;
        status = RegSetValueExA(hkey, name, 0, type, data, count);
    }
    if (status != ERROR_SUCCESS)
        size = 0;
    return data;
}

bool RegKey::WriteWideString(const char* name, const WCHAR* text)
{
    WCHAR wideName[64];
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 64)) {
        status = ERROR_INVALID_PARAMETER;
        return false;
    }
    status = RegSetValueExW(hkey, wideName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            DWORD(lstrlenW(text) + 1) * sizeof(WCHAR));
    return status == ERROR_SUCCESS;
}

bool RegKey::DeleteValue(const char* name)
{
    status = RegDeleteValueA(hkey, name);
    return status == ERROR_SUCCESS;
}

bool RegKey::ValueExists(const char* name) const
{
    return hkey && RegQueryValueExA(hkey, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegKey::DeleteKey(HKEY parent, const char* subKey)
{
    return RegDeleteKeyA(parent, subKey) == ERROR_SUCCESS;
}
