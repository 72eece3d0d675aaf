// The rescan-only copy's change notification: none can be armed, so that copy
// learns of a change from its rescan delay alone. The rest of its platform
// layer is the product's own.
#include "app/platform.h"

HANDLE ArmChangeNotification(const char*, DWORD)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
}
