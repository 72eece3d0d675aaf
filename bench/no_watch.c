/* Stands in for kernel32's FindFirstChangeNotificationA in the rescan-only
 * build: the program's own calls go through this import slot, which the
 * linker now takes from here, so no watch can ever be armed. */
#include <windows.h>

static HANDLE WINAPI RefuseWatch(LPCSTR folder, BOOL subtree, DWORD filter)
{
    (void)folder;
    (void)subtree;
    (void)filter;
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
}

/* The slot's name is decorated for stdcall only in 32-bit code. */
#ifdef _WIN64
void* RefuseWatchSlot __asm__("__imp_FindFirstChangeNotificationA") = (void*)RefuseWatch;
#else
void* RefuseWatchSlot __asm__("__imp__FindFirstChangeNotificationA@12") = (void*)RefuseWatch;
#endif
