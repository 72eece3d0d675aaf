// The real Tarnwick.exe, driven from another process: started, found by its
// hidden window, sent what the shell and the menu would send it.
#pragma once
#include <windows.h>

#include <string>

// The built program, as a Windows path.
std::string ProgramFile();

// One started copy of the program, ended when it goes out of scope.
class RunningProgram {
public:
    RunningProgram() = default;
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Starts `file` (the built program by default); false when it could not.
    bool Start(const std::string& file = ProgramFile(), bool quoted = true);
    // Starts the program file `file` by `commandLine` with `folder` current,
    // all wide, as a console or Explorer may.
    bool Start(const std::wstring& file, std::wstring commandLine, const std::wstring& folder);
    // Starts `file` and waits for its window and for it to wait for input,
    // which it may first do before start-up is over: WaitForLoop is the sure
    // sign that it runs its loop. Sets `window`.
    bool Open(const std::string& file = ProgramFile());
    // Its hidden main window, once it exists; null on time-out.
    HWND WaitForWindow(DWORD timeout = 10000) const;
    // Waits until start-up is over and the program waits for input.
    bool WaitUntilIdle(DWORD timeout = 10000) const;
    // A visible top-level dialog (class #32770) of the process; null on time-out.
    HWND WaitForDialog(DWORD timeout = 10000) const;
    // Its exit code, or STILL_ACTIVE on time-out.
    DWORD WaitForExit(DWORD timeout = 10000) const;
    bool Running() const { return process.hProcess && WaitForExit(0) == STILL_ACTIVE; }
    DWORD ProcessId() const { return process.dwProcessId; }
    // Ends it the way the user's Exit does and returns its exit code.
    DWORD Exit();

    HWND window = nullptr;

private:
    PROCESS_INFORMATION process = {};
};

// Returns once the program has reached its loop, by a command posted to it:
// start-up answers sent messages now and then, but posted ones only the loop
// carries out. The command sets the buzzer to Quiet, which the registry
// shows; false when that never happens.
bool WaitForLoop(HWND window);
// True when the window answers a message within the time-out: the program is
// not hung.
bool Responds(HWND window, DWORD timeout = 5000);
// Processor time (user and kernel) the process has used, in milliseconds.
double CpuMilliseconds(DWORD processId);

// The /proc folder, as a Z: path, of the one Unix process that runs the
// Windows program `exeName` in this prefix; empty when there is none, or more
// than one. Its task "task\\<pid>" is the process's main thread.
std::string UnixProcessDirectory(const std::string& exeName);
// Everything a file holds, read to its end; empty when it cannot be opened.
std::string ReadWhole(const std::string& file);
// How often a Unix thread has gone to sleep of its own accord (its voluntary
// context switches), read from the task's /proc folder; -1 if unreadable.
long VoluntarySwitches(const std::string& taskDirectory);

// The mouse on the tray icon, as the shell reports it.
void PostTrayMouse(HWND window, UINT mouseMessage);
// Clicks the icon once and returns when the rescan the click asks for has
// had time to end. The press is sent, so it is handled when the call returns;
// the program scans once its double-click timer has run out, and a scan of a
// folder at hand takes milliseconds. True once the window answers, which it
// does while a scan waits too.
bool ClickIcon(HWND window);
// Removes the program's icon from the tray, as a restarted shell loses it.
void DropIcon(HWND window);
