#include "watch/change_notification.h"

#include "app/platform.h"

bool ChangeNotification::Arm(const char* folder, DWORD filter)
{
    Close();
    handle = ArmChangeNotification(folder, filter);
    return Armed();
}

void ChangeNotification::Close()
{
    if (Armed())
        FindCloseChangeNotification(handle);
    handle = nullptr;
}

void ChangeNotification::Take(ChangeNotification& other)
{
    Close();
    handle = other.handle;
    other.handle = nullptr;
}
