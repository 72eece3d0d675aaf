// The floor for reaction time: waits on the same change notification as
// Tarnwick and prints one line per signal, doing nothing else.
#include <windows.h>

#include "watch/scan.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    HANDLE change = FindFirstChangeNotificationA(argv[1], FALSE, WatchFilter);
    if (change == INVALID_HANDLE_VALUE)
        return 1;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written;
    WriteFile(out, "armed\n", 6, &written, nullptr);
    while (WaitForSingleObject(change, INFINITE) == WAIT_OBJECT_0) {
        WriteFile(out, "signal\n", 7, &written, nullptr);
        if (!FindNextChangeNotification(change))
            return 1;
    }
    return 0;
}
