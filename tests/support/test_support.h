// Real folders, the real registry and the real hidden window for tests.
#pragma once
#include <windows.h>

#include <string>

// A fresh folder under the temp directory, removed with all it holds.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path; }
    // Creates a file (or a folder) inside; returns its full path.
    std::string AddFile(const char* name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const;
    std::string AddFolder(const char* name, DWORD attributes = 0) const;

private:
    std::string path;
};

// Removes a folder tree; true when it is gone.
bool RemoveTree(const std::string& path);

// Deletes the settings key and the Run value so a test starts like a first start.
void ClearStoredSettings();

// Reads a number or string value under HKEY_CURRENT_USER\key; false when
// missing or of another type.
bool ReadStoredNumber(const char* key, const char* name, DWORD* value);
bool ReadStoredString(const char* key, const char* name, std::string* value);
void WriteStoredNumber(const char* key, const char* name, DWORD value);
void WriteStoredString(const char* key, const char* name, const char* value);

// Puts every global of the program back to its state at process start.
void ResetProgramState();

// Loads the icons, creates the hidden main window and builds the menus, as
// start-up does before applying settings.
void SetUpMainWindow();

// A visible dialog of this thread, with this caption when one is given.
HWND FindThreadDialog(const char* caption = nullptr);

// Pumps messages for `milliseconds`, or until `done` returns true.
void PumpMessages(DWORD milliseconds, bool (*done)() = nullptr);

// Menu check and grey state of a command in a menu.
bool IsChecked(HMENU menu, UINT id);
bool IsGreyed(HMENU menu, UINT id);
