// Helpers for the fault and load tests: raw registry data, resource counts of
// another process, Unix-side file system changes and the tray's state.
#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "tests/e2e/driver.h"

// True when TARNWICK_SOAK is set: the long runs instead of the short ones.
bool SoakRun();
// `normal` in the normal suite, `soak` in a soak run.
int Rounds(int normal, int soak);

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
std::string Show(const RawValue& value);

// Waits until the value reads as `expected` (posted commands are handled
// after sent messages, so answering one proves nothing); false on time-out.
bool WaitForValue(const char* key, const char* name, const RawValue& expected, DWORD timeout = 3000);
void WriteRaw(const char* key, const char* name, const RawValue& value);
bool ReadRaw(const char* key, const char* name, RawValue* value);
void DeleteValue(const char* key, const char* name);
// Every value of the key, by name; empty when the key is missing.
std::map<std::string, RawValue> Snapshot(const char* key);

// What another process holds, counted from outside.
struct Usage {
    int handles = -1;     // kernel handles, from the system handle list
    int gdi = -1;         // live GDI objects, from the process's GDI handle table
    std::string gdiKinds; // the same by kind, for messages
    int windows = -1;     // windows of the process, children included
    int fds = -1;         // open descriptors of the Unix process behind it
};
Usage Measure(DWORD processId);
std::string Show(const Usage& usage);
// Expects every count to stay flat over `rounds` repetitions of `what`. Wine
// makes a few objects of its own now and then (seen only when other tests
// run beside); a leak costs at least one per round, far above that slack.
void ExpectFlat(const Usage& before, const Usage& after, int rounds, const char* what);
// Whether a GDI handle of the process still names a live object.
bool GdiObjectAlive(DWORD processId, HANDLE object);
// CPU time (user + kernel) the process has used, in milliseconds.
double CpuMilliseconds(DWORD processId);

// True when the window answers a message within the time-out: the program is
// back in its loop, not hung.
bool Responds(HWND window, DWORD timeout = 5000);

// Runs a shell script on the Unix side and waits until it has finished.
bool RunUnix(const std::string& script, DWORD timeout = 15000);
// The Unix path behind a Z: path.
std::string UnixPath(const std::string& windowsPath);

// Asks for a rescan the way a single click on the icon does; the program
// scans about half a second later.
void ClickIcon(HWND window);
// Removes the program's icon from the tray as a restarted shell would lose it.
void DropIcon(HWND window);

// The picture the documented rules give for `folder` under these settings,
// listing it the way the program does.
TrayPicture Truth(const std::string& folder, bool hidden = true, bool subfolders = true);

// Removes a folder and everything below it; false when something stayed.
bool RemoveTree(const std::string& path);

// The program started on `folder` with the stored settings as they are, its
// window found. Fails the test (fatally) when it does not come up.
class WatchingProgram : public RunningProgram {
public:
    HWND window = nullptr;
    // Starts and waits for the window and the first answer to a message.
    bool Open();
};
