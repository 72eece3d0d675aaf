#include "paths/paths.h"

namespace {

// How many bytes of `path` its root takes: "C:\\", or "\\\\server\\share\\"
// with its last backslash; 0 for a path without one.
int RootLength(const char* path, UINT codePage)
{
    if (path[0] && path[1] == ':')
        return path[2] == '\\' ? 3 : 2;
    if (path[0] != '\\' || path[1] != '\\')
        return 0;
    // Past the server's name and the share's.
    const char* c = path + 2;
    for (int names = 0; *c && names < 2; c = NextCharacter(c, codePage))
        if (*c == '\\')
            ++names;
    return int(c - path);
}

} // namespace

bool Spell(const WCHAR* text, char* ansi, int size)
{
    // UTF-8 spells every character but a lone surrogate, and Windows refuses
    // the best-fit flag and the lost-character report for it.
    if (GetACP() == CP_UTF8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, ansi, size, nullptr, nullptr) !=
               0;
    BOOL lost = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, ansi, size, nullptr, &lost) && !lost;
}

const char* OwnName(const char* path, UINT codePage)
{
    // Stepped by characters, since a backslash byte may end a double-byte one.
    const char* name = path;
    for (const char* c = path; *c; c = NextCharacter(c, codePage))
        if (*c == '\\' && c[1])
            name = c + 1;
    return name;
}

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

const char* NextCharacter(const char* c, UINT codePage)
{
    if (codePage != CP_UTF8)
        return CharNextExA(WORD(codePage), c, 0);
    do
        ++c;
    while ((*c & 0xC0) == 0x80);
    return c;
}

void CopyWholeCharacters(char* out, const char* text, int size, UINT codePage)
{
    int end = 0;
    for (const char* c = text; *c;) {
        c = NextCharacter(c, codePage);
        if (c - text >= size)
            break;
        end = int(c - text);
    }
    CopyMemory(out, text, end);
    out[end] = 0;
}

void ShortenPath(char* out, const char* path, int size, UINT codePage)
{
    if (lstrlenA(path) < size) {
        lstrcpyA(out, path);
        return;
    }
    const int root = RootLength(path, codePage);
    const char gap[] = "...";
    const int room = size - 1 - root - (sizeof(gap) - 1);
    // The longest end that fits and begins at a backslash, else the last
    // name; stepped by characters, since a backslash byte may end a
    // double-byte one.
    const char* end = nullptr;
    for (const char* c = path + root; *c; c = NextCharacter(c, codePage)) {
        if (*c != '\\' || !c[1])
            continue;
        end = c;
        if (lstrlenA(c) <= room)
            break;
    }
    if (!end) {
        CopyWholeCharacters(out, path, size, codePage);
        return;
    }
    char shortened[FolderPathSize + sizeof(gap)];
    lstrcpynA(shortened, path, root + 1);
    lstrcatA(shortened, gap);
    lstrcatA(shortened, end);
    CopyWholeCharacters(out, shortened, size, codePage);
}
