#include "settings/ansi_path.h"

#include "paths/paths.h"

bool AnsiPathOf(const WCHAR* path, char* ansi, int size)
{
    if (Spell(path, ansi, size))
        return true;
    WCHAR shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(path, shortPath, MAX_PATH);
    // A volume without short names gives back the long name, which the code
    // page cannot spell either.
    return length && length < MAX_PATH && Spell(shortPath, ansi, size) && IsFolder(ansi);
}
