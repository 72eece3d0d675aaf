// The watched folder's drive: let go of when Windows asks to remove it (so
// that a USB stick can be ejected), looked at again when a drive arrives.
#pragma once
#include <windows.h>

#include "paths/paths.h"

// The main window's registration for the device events of the volume that
// holds one folder.
class DeviceRegistration {
public:
    DeviceRegistration() = default;
    ~DeviceRegistration() { Unregister(); }
    DeviceRegistration(const DeviceRegistration&) = delete;
    DeviceRegistration& operator=(const DeviceRegistration&) = delete;

    // Drops any earlier registration, then registers `window` for the events
    // of the volume that holds `folder`. The folder counts as served even when
    // no registration could be made (a share, say), so that it is not tried
    // at every scan. False when none was made.
    bool Register(HWND window, const char* folder);
    // Drops the registration; no folder is served afterwards.
    void Unregister();
    // Takes the registration `other` holds, and the folder it serves, after
    // dropping its own; `other` serves none afterwards.
    void Take(DeviceRegistration& other);

    bool Serves(const char* folder) const { return served[0] && lstrcmpA(served, folder) == 0; }
    bool Is(HDEVNOTIFY other) const { return registration && other == registration; }
    // The registration, null while none is held.
    operator HDEVNOTIFY() const { return registration; }

private:
    HDEVNOTIFY registration = nullptr;
    char served[FolderPathSize] = "";
};

// The registration for the watched folder's drive, made by the scan once per
// folder, and again after a removal was called off or a drive arrived.
extern DeviceRegistration DriveRegistration;

// Acts on a WM_DEVICECHANGE event for the watched folder's drive: on a
// query to remove it, closes everything the program holds there and shows
// Unavailable; when the removal is called off, looks again; when it is done,
// unregisters; when a volume with the folder's drive letter arrives, looks
// again. False for events that are not device events, which the caller
// passes on; the caller answers TRUE for the rest.
bool OnDeviceChange(WPARAM event, LPARAM data);
