// Helpers of the fault, load and end-to-end tests: resource counts of another
// process, Unix-side file system changes and what the folder should show.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/program.h"
#include "tests/support/registry.h"
#include "tests/support/screen.h"
#include "tests/support/ui.h"

// True when TARNWICK_SOAK is set: the long runs instead of the short ones.
bool SoakRun();
// `normal` in the normal suite, `soak` in a soak run.
int Rounds(int normal, int soak);

// What another process holds, counted from outside.
struct Usage {
    int handles = -1;     // kernel handles, from the system handle list
    int gdi = -1;         // live GDI objects but Wine's display DCs, from the GDI handle table
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

// Runs a shell script on the Unix side and waits until it has finished.
bool RunUnix(const std::string& script, DWORD timeout = 15000);
// The Unix path behind a Z: path.
std::string UnixPath(const std::string& windowsPath);
// Maps drive `letter` of the prefix to the Unix folder `unixFolder`, or
// unmaps it when that is empty: a stick plugged in or pulled out.
bool MapDrive(char letter, const std::string& unixFolder);

// Starts `program` from `file` with Wine's relay trace of `call`
// ("dll.Function"), which goes to the stderr it shares with this test.
bool OpenTraced(RunningProgram& program, const char* call, const std::string& file = ProgramFile());
// What the traced call of the running program `file` returned each time so
// far, oldest first.
std::vector<ULONG_PTR> TracedReturns(const char* call, const std::string& file = ProgramFile());

// The picture the documented rules give for `folder` under these settings,
// listing it the way the program does.
TrayPicture Truth(const std::string& folder, bool hidden = true, bool subfolders = true);
