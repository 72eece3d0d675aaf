// The end-to-end tests' copy of the program: while the test holds the event
// "Tarnwick: listing held" unset, every listing waits for it, as a server
// that does not answer keeps a listing waiting for a minute. Its change
// notification, and the rest of its platform layer, are the product's own.
#include "app/platform.h"

HANDLE ArmChangeNotification(const char* folder, DWORD filter)
{
    return FindFirstChangeNotificationA(folder, FALSE, filter);
}

HANDLE OpenListing(const WCHAR* pattern, WIN32_FIND_DATAW* entry)
{
    if (const HANDLE held = OpenEventA(SYNCHRONIZE, FALSE, "Tarnwick: listing held")) {
        WaitForSingleObject(held, 60000);
        CloseHandle(held);
    }
    return FindFirstFileW(pattern, entry);
}
