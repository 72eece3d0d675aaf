// Folder paths as the program holds them, in the ANSI code page: what a path
// names, and how its characters are stepped, cut and shortened. Settings and
// the watch both build on this; it builds on nothing of theirs.
#pragma once
#include <windows.h>

// Bytes a folder's path may take, its ending zero included: MAX_PATH
// characters in UTF-8 take up to three bytes each, and a few more for a path
// that Windows hands back longer than it takes in.
constexpr int FolderPathSize = 1028;

// Whether `path` names an existing folder. It asks the file system, which
// for a share waits on its server.
bool IsFolder(const char* path);

// Converts `text` into the ANSI code page, `size` bytes at most, without a
// character lost or replaced by a look-alike; false where the code page
// cannot spell it all, or it does not fit.
bool Spell(const WCHAR* text, char* ansi, int size);

// The folder's own name: what follows the last backslash of `path`, or the
// whole of a root ("C:\") that has no name of its own.
const char* OwnName(const char* path, UINT codePage);

// The character after the one at `c` in code page `codePage`. CharNextExA
// steps the double-byte characters of a code page, but not UTF-8's
// sequences, which are told by their continuation bytes.
const char* NextCharacter(const char* c, UINT codePage);

// Copies as much of `text` as fits in `size` bytes, its ending zero included,
// into `out`, cut between two characters of code page `codePage`: half a
// character would read as another one, or as none.
void CopyWholeCharacters(char* out, const char* text, int size, UINT codePage);

// Copies `path`, a folder as WatchedFolder holds one, into `out` (`size`
// bytes, its ending zero included), whole where it fits. Where it does not,
// the middle gives way to "...", as Explorer shortens paths: the root (a
// drive, or a share's \\server\share) stays, and as many whole names at the
// end as fit, the folder's own name at least. A name too long even so is cut
// between two characters of `codePage`.
void ShortenPath(char* out, const char* path, int size, UINT codePage);
