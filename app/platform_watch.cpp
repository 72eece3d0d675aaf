// The change notification, apart from the rest of the platform layer: the
// benchmark's rescan-only copy links the rest with a watch that it refuses.
#include "app/platform.h"

HANDLE ArmChangeNotification(const char* folder, DWORD filter)
{
    return FindFirstChangeNotificationA(folder, FALSE, filter);
}
