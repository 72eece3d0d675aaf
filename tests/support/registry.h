// The program's registry data under HKEY_CURRENT_USER, read and written the
// way a user (or an earlier run) would leave it.
#pragma once
#include <windows.h>

#include <map>
#include <ostream>
#include <string>

// Where the program keeps its settings, and the Run key it starts from.
extern const char SettingsKey[];
extern const char RunKey[];

// A registry value exactly as stored: its type and its bytes.
struct RawValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const RawValue& other) const { return type == other.type && bytes == other.bytes; }
    bool operator!=(const RawValue& other) const { return !(*this == other); }
};
RawValue Raw(DWORD type, const std::string& bytes);
RawValue RawNumber(DWORD value);
// A REG_SZ value holding `text` and its terminating zero.
RawValue RawString(const std::string& text);
// What a missing value reads as.
extern const RawValue Missing;
std::string Show(const RawValue& value);
void PrintTo(const RawValue& value, std::ostream* out);

// The value as stored, or Missing.
RawValue Stored(const char* key, const char* name);
void WriteRaw(const char* key, const char* name, const RawValue& value);
// A REG_SZ value read or written wide, as Windows keeps it; empty when
// missing.
std::wstring StoredWide(const char* key, const char* name);
void WriteWide(const char* key, const char* name, const std::wstring& text);
// Every value of the key, by name; empty when the key is missing.
std::map<std::string, RawValue> Snapshot(const char* key);
// Waits until the value reads as `expected` (posted commands are handled
// after sent messages, so answering one proves nothing); false on time-out.
bool WaitForValue(const char* key, const char* name, const RawValue& expected, DWORD timeout = 3000);

void WriteNumber(const char* key, const char* name, DWORD value);
void WriteString(const char* key, const char* name, const std::string& value);
void DeleteValue(const char* key, const char* name);
bool KeyExists(const char* key);

// Deletes the settings key and the Run value, as before a first start.
void ClearSettings();
