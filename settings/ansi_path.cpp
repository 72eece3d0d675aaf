#include "settings/ansi_path.h"

#include "paths/paths.h"

namespace {

// Converts without a character lost or replaced by a look-alike. UTF-8
// spells every character but a lone surrogate, and Windows refuses the
// best-fit flag and the lost-character report for it.
bool Spell(const WCHAR* text, char* ansi, int size)
{
    if (GetACP() == CP_UTF8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, ansi, size, nullptr, nullptr) !=
               0;
    BOOL lost = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, ansi, size, nullptr, &lost) && !lost;
}

} // namespace

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
