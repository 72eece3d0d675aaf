#include "tests/support/registry.h"

#include <cstdio>
#include <vector>

const char SettingsKey[] = "Software\\Orrel\\Tarnwick\\1.5+";
const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace {

// Key and value names are plain ASCII.
std::wstring Wide(const char* name)
{
    return std::wstring(name, name + lstrlenA(name));
}

} // namespace

RawValue Raw(DWORD type, const std::string& bytes)
{
    RawValue value;
    value.type = type;
    value.bytes = bytes;
    return value;
}

RawValue RawNumber(DWORD number)
{
    return Raw(REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof(number)));
}

RawValue RawString(const std::string& text)
{
    return Raw(REG_SZ, std::string(text.c_str(), text.size() + 1));
}

const RawValue Missing = Raw(DWORD(-1), "");

std::string Show(const RawValue& value)
{
    if (value == Missing)
        return "missing";
    char text[64];
    std::snprintf(text, sizeof(text), "type %lu, %u bytes:", value.type, unsigned(value.bytes.size()));
    std::string shown = text;
    for (size_t i = 0; i < value.bytes.size() && i < 24; ++i) {
        std::snprintf(text, sizeof(text), " %02x", unsigned(static_cast<unsigned char>(value.bytes[i])));
        shown += text;
    }
    if (value.bytes.size() > 24)
        shown += " ...";
    return shown;
}

void PrintTo(const RawValue& value, std::ostream* out)
{
    *out << Show(value);
}

RawValue Stored(const char* key, const char* name)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return Missing;
    std::vector<BYTE> buffer(70000);
    DWORD type = 0, size = DWORD(buffer.size());
    const LONG status = RegQueryValueExA(handle, name, nullptr, &type, buffer.data(), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS)
        return Missing;
    return Raw(type, std::string(reinterpret_cast<const char*>(buffer.data()), size));
}

std::wstring StoredWide(const char* key, const char* name)
{
    WCHAR text[2048] = L"";
    DWORD size = sizeof(text);
    RegGetValueW(HKEY_CURRENT_USER, Wide(key).c_str(), Wide(name).c_str(), RRF_RT_REG_SZ, nullptr, text,
                 &size);
    return text;
}

void WriteWide(const char* key, const char* name, const std::wstring& text)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, Wide(key).c_str(), Wide(name).c_str(), REG_SZ, text.c_str(),
                    DWORD(text.size() + 1) * sizeof(WCHAR));
}

void WriteRaw(const char* key, const char* name, const RawValue& value)
{
    RegSetKeyValueA(HKEY_CURRENT_USER, key, name, value.type, value.bytes.data(), DWORD(value.bytes.size()));
}

std::map<std::string, RawValue> Snapshot(const char* key)
{
    std::map<std::string, RawValue> values;
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return values;
    std::vector<BYTE> buffer(70000);
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameLength = sizeof(name), type = 0, size = DWORD(buffer.size());
        if (RegEnumValueA(handle, index, name, &nameLength, nullptr, &type, buffer.data(), &size) !=
            ERROR_SUCCESS)
            break;
        values[name] = Raw(type, std::string(reinterpret_cast<const char*>(buffer.data()), size));
    }
    RegCloseKey(handle);
    return values;
}

bool WaitForValue(const char* key, const char* name, const RawValue& expected, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (Stored(key, name) == expected)
            return true;
        if (GetTickCount() - start >= timeout)
            return false;
        Sleep(20);
    }
}

void WriteNumber(const char* key, const char* name, DWORD value)
{
    WriteRaw(key, name, RawNumber(value));
}

void WriteString(const char* key, const char* name, const std::string& value)
{
    WriteRaw(key, name, RawString(value));
}

void DeleteValue(const char* key, const char* name)
{
    RegDeleteKeyValueA(HKEY_CURRENT_USER, key, name);
}

bool KeyExists(const char* key)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

void ClearSettings()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey);
    DeleteValue(RunKey, "Tarnwick");
}
