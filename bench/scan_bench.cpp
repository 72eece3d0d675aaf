// Times the product's ScanFolder in process, beside a full listing of the
// same folder, and the parts a scan is made of: arming a change notification
// (beside one already armed), the presence test alone, and opening a listing.
//   scan_bench <folder> <trials> <showHidden> [unhide-last]
// With unhide-last, the entry listed last is made visible first, so that a
// folder of hidden entries has exactly one counted entry, at the very end.
// Prints "entries N counted C", then one "scan|list|arm|find|open <microseconds>" line
// per measurement; the markers "mark begin|end <what>" on stderr bracket one
// scan and one listing for Wine's heap trace.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "app/platform.h"
#include "settings/settings.h"
#include "watch/scan.h"

namespace {

LARGE_INTEGER Frequency;

double Microseconds(LARGE_INTEGER start, LARGE_INTEGER end)
{
    return double(end.QuadPart - start.QuadPart) * 1e6 / double(Frequency.QuadPart);
}

void Mark(const char* text)
{
    DWORD written;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, lstrlenA(text), &written, nullptr);
}

// Every entry, as a program that wanted the whole content would read it.
// The folder's search pattern, wide, as ScanFolder lists it.
void WidePattern(const char* folder, WCHAR* pattern)
{
    char narrow[1032];
    MakeSearchPattern(folder, narrow);
    MultiByteToWideChar(CP_ACP, 0, narrow, -1, pattern, 1032);
}

int ListAll(const char* folder, int* counted, WCHAR* lastName)
{
    WCHAR pattern[1032];
    WidePattern(folder, pattern);
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(pattern, &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return -1;
    int entries = 0;
    int seen = 0;
    do {
        if (lstrcmpW(entry.cFileName, L".") == 0 || lstrcmpW(entry.cFileName, L"..") == 0)
            continue;
        ++entries;
        if (IsCountedEntry(entry.dwFileAttributes, entry.cFileName, ShowHidden, ShowSubfolders))
            ++seen;
        if (lastName)
            lstrcpyW(lastName, entry.cFileName);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    if (counted)
        *counted = seen;
    return entries;
}

// The presence test alone, without the change notification that a scan
// re-arms: the same loop as ScanFolder's.
bool FirstCounted(const char* folder)
{
    WCHAR pattern[1032];
    WidePattern(folder, pattern);
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(pattern, &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return false;
    bool found = IsCountedEntry(entry.dwFileAttributes, entry.cFileName, ShowHidden, ShowSubfolders);
    while (!found && FindNextFileW(listing, &entry))
        found = IsCountedEntry(entry.dwFileAttributes, entry.cFileName, ShowHidden, ShowSubfolders);
    FindClose(listing);
    return found;
}

// The least any listing costs: the first entry only. Under Wine this reads
// the whole folder's names, so it grows with the folder.
void OpenListing(const char* folder)
{
    WCHAR pattern[1032];
    WidePattern(folder, pattern);
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(pattern, &entry);
    if (listing != INVALID_HANDLE_VALUE)
        FindClose(listing);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    QueryPerformanceFrequency(&Frequency);
    lstrcpynA(WatchedFolder, argv[1], sizeof(WatchedFolder));
    const int trials = atoi(argv[2]);
    ShowHidden = atoi(argv[3]);
    ShowSubfolders = 1;
    BuzzerMode = 0;

    if (argc > 4) {
        WCHAR last[MAX_PATH], path[1300];
        ListAll(WatchedFolder, nullptr, last);
        MultiByteToWideChar(CP_ACP, 0, WatchedFolder, -1, path, 1300);
        lstrcatW(path, L"\\");
        lstrcatW(path, last);
        if (!SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL))
            return 3;
    }
    int counted = 0;
    const int entries = ListAll(WatchedFolder, &counted, nullptr);
    printf("entries %d counted %d\n", entries, counted);

    // Warm the caches, and check that the scan sees what the listing sees.
    ScanFolder(0);
    if (WasNotEmpty != (counted > 0))
        return 4;

    Mark("mark begin scan\n");
    ScanFolder(0);
    Mark("mark end scan\n");
    Mark("mark begin list\n");
    ListAll(WatchedFolder, nullptr, nullptr);
    Mark("mark end list\n");

    LARGE_INTEGER a, b;
    for (int i = 0; i < trials; ++i) {
        // Alternate the order so that neither always runs on warmer caches.
        for (int k = 0; k < 5; ++k) {
            const int what = (i + k) % 5;
            QueryPerformanceCounter(&a);
            if (what == 0) {
                ScanFolder(0);
            } else if (what == 1) {
                ListAll(WatchedFolder, nullptr, nullptr);
            } else if (what == 3) {
                FirstCounted(WatchedFolder);
            } else if (what == 4) {
                OpenListing(WatchedFolder);
            } else {
                HANDLE change = ArmChangeNotification(WatchedFolder, WatchFilter);
                FindCloseChangeNotification(change);
            }
            QueryPerformanceCounter(&b);
            static const char* const names[] = {"scan", "list", "arm", "find", "open"};
            printf("%s %.1f\n", names[what], Microseconds(a, b));
        }
        if (WasNotEmpty != (counted > 0))
            return 4;
    }
    fflush(stdout);
    return 0;
}
