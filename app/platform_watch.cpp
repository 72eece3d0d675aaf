// The change notification and the listing, apart from the rest of the
// platform layer: the benchmark's rescan-only copy links the rest with a
// watch that it refuses, the end-to-end tests' copy with a listing they hold.
#include "app/platform.h"

HANDLE ArmChangeNotification(const char* folder, DWORD filter)
{
    return FindFirstChangeNotificationA(folder, FALSE, filter);
}

HANDLE OpenListing(const WCHAR* pattern, WIN32_FIND_DATAW* entry)
{
    return FindFirstFileW(pattern, entry);
}
