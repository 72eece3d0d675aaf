#include "watch/drive.h"

#include <dbt.h>

#include <cstddef>

#include "settings/settings.h"
#include "watch/scan.h"

DeviceRegistration DriveRegistration;

namespace {

// The event's data as a record of `kind`, when it is one and its size covers
// the first `fieldEnd` bytes; null otherwise. The data may come from another
// process.
template <typename Record> const Record* EventRecord(LPARAM data, DWORD kind, size_t fieldEnd)
{
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (!header || header->dbch_devicetype != kind || header->dbch_size < fieldEnd)
        return nullptr;
    return reinterpret_cast<const Record*>(header);
}

// Whether the event names our registration. Windows fills in the handle the
// registration was made with too, but that handle is long closed.
bool IsOurs(LPARAM data)
{
    const auto* event = EventRecord<DEV_BROADCAST_HANDLE>(
        data, DBT_DEVTYP_HANDLE, offsetof(DEV_BROADCAST_HANDLE, dbch_hdevnotify) + sizeof(HDEVNOTIFY));
    return event && DriveRegistration.Is(event->dbch_hdevnotify);
}

// Whether a volume that arrived has the watched folder's drive letter; bit 0
// of the mask is A:.
bool HoldsWatchedFolder(LPARAM data)
{
    const auto* volume = EventRecord<DEV_BROADCAST_VOLUME>(
        data, DBT_DEVTYP_VOLUME, offsetof(DEV_BROADCAST_VOLUME, dbcv_unitmask) + sizeof(DWORD));
    if (!volume || WatchedFolder[1] != ':')
        return false;
    char letter = WatchedFolder[0];
    if (letter >= 'a' && letter <= 'z')
        letter = char(letter - 'a' + 'A');
    return letter >= 'A' && letter <= 'Z' && (volume->dbcv_unitmask & (1u << (letter - 'A')));
}

} // namespace

bool DeviceRegistration::Register(HWND window, const char* folder)
{
    Unregister();
    lstrcpynA(served, folder, sizeof(served));
    // The registration is made through a handle on the volume's root, not on
    // the folder: a handle kept on the folder would hold it pending deletion
    // when it is deleted. The registration outlives the handle, which is
    // closed at once, so nothing but the change notification stays open on
    // the volume.
    char root[FolderPathSize];
    if (!GetVolumePathNameA(folder, root, sizeof(root)))
        return false;
    const HANDLE volume =
        CreateFileA(root, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return false;
    DEV_BROADCAST_HANDLE filter = {};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = volume;
    registration = RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    CloseHandle(volume);
    return registration != nullptr;
}

void DeviceRegistration::Unregister()
{
    if (registration)
        UnregisterDeviceNotification(registration);
    registration = nullptr;
    served[0] = 0;
}

void DeviceRegistration::Take(DeviceRegistration& other)
{
    Unregister();
    registration = other.registration;
    lstrcpyA(served, other.served);
    other.registration = nullptr;
    other.served[0] = 0;
}

bool OnDeviceChange(WPARAM event, LPARAM data)
{
    switch (event) {
    case DBT_DEVICEARRIVAL:
        // A registration made before the volume arrived cannot be for it,
        // nor can one that a look waited for meanwhile makes.
        if (HoldsWatchedFolder(data)) {
            OvertakeLook();
            DriveRegistration.Unregister();
            ScanFolder(CheckingAtOnce);
        }
        return true;
    case DBT_DEVICEQUERYREMOVE:
        // Windows removes the volume only once no handle on it is open.
        if (IsOurs(data))
            LetGoOfFolder();
        return true;
    case DBT_DEVICEQUERYREMOVEFAILED:
        if (IsOurs(data)) {
            OvertakeLook();
            DriveRegistration.Unregister();
            ScanFolder(CheckingAtOnce);
        }
        return true;
    case DBT_DEVICEREMOVEPENDING:
    case DBT_DEVICEREMOVECOMPLETE:
        // Also the only word of a drive pulled out without asking.
        if (IsOurs(data)) {
            LetGoOfFolder();
            DriveRegistration.Unregister();
        }
        return true;
    }
    return false;
}
