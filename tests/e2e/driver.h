// Drives the real Tarnwick.exe from another process: starts it, finds its
// hidden window and its dialogs, reads its tray icon off the screen.
#pragma once
#include <windows.h>

#include <string>

#include "tests/support/screen.h"

// The built program, as a Windows path.
std::string ProgramFile();

// A top-level window of the process with this class, visible ones only when
// asked; null when there is none by the time-out.
HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly, DWORD timeout);

// One started copy of the program.
class RunningProgram {
public:
    RunningProgram() = default;
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Starts `file` (the built program by default) with this command line
    // after the program name; false when it could not be started.
    bool Start(const std::string& file = ProgramFile(), bool quoted = true);
    // Its hidden main window, once it exists; null on time-out.
    HWND WaitForWindow(DWORD timeout = 10000) const;
    // Waits until start-up is over and the program waits for input.
    bool WaitUntilIdle(DWORD timeout = 10000) const;
    // A top-level dialog (class #32770) of the process; null on time-out.
    HWND WaitForDialog(DWORD timeout = 10000) const;
    // Its exit code, or STILL_ACTIVE on time-out.
    DWORD WaitForExit(DWORD timeout = 10000) const;
    bool Running() const { return WaitForExit(0) == STILL_ACTIVE; }
    DWORD ProcessId() const { return process.dwProcessId; }
    // Ends it the way the user's Exit does: WM_COMMAND with the Exit command.
    DWORD Exit();

private:
    PROCESS_INFORMATION process = {};
};

// Answers the folder browser: picks `folder`, or cancels when it is empty.
void AnswerBrowser(HWND dialog, const std::string& folder);

// Registry helpers, under HKEY_CURRENT_USER.
extern const char SettingsKey[];
extern const char RunKey[];
bool KeyExists(const char* key);
bool ReadNumber(const char* key, const char* name, DWORD* value);
bool ReadString(const char* key, const char* name, std::string* value);
void WriteNumber(const char* key, const char* name, DWORD value);
void WriteString(const char* key, const char* name, const std::string& value);
void ClearSettings();

// A fresh folder under the temp directory, removed with its content.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path; }
    std::string Add(const char* name) const;

private:
    std::string path;
};
