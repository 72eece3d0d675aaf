// The rescan-only copy's change notification: none can be armed, so that copy
// learns of a change from its rescan delay alone. Its listing, and the rest
// of its platform layer, are the product's own.
#include "app/platform.h"

HANDLE ArmChangeNotification(const char*, DWORD)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenListing(const WCHAR* pattern, WIN32_FIND_DATAW* entry)
{
    return FindFirstFileW(pattern, entry);
}
