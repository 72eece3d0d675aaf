// One change notification on one folder, closed in one place.
#pragma once
#include <windows.h>

class ChangeNotification {
public:
    ChangeNotification() = default;
    ~ChangeNotification() { Close(); }
    ChangeNotification(const ChangeNotification&) = delete;
    ChangeNotification& operator=(const ChangeNotification&) = delete;

    // Closes the notification held, then arms a new one on `folder` (not its
    // subfolders) for the changes in `filter`. False, and INVALID_HANDLE_VALUE
    // held, when none could be armed.
    bool Arm(const char* folder, DWORD filter);
    // Closes the notification, if one is held; null is held afterwards.
    void Close();
    // Takes whatever `other` holds, which holds null afterwards; closes the
    // notification held first.
    void Take(ChangeNotification& other);

    // Whether a notification is held that can be waited on.
    bool Armed() const { return handle && handle != INVALID_HANDLE_VALUE; }
    // Null before the first Arm and after Close, INVALID_HANDLE_VALUE after a
    // failed Arm, else the notification.
    operator HANDLE() const { return handle; }

private:
    HANDLE handle = nullptr;
};
