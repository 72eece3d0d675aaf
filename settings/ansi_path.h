// An ANSI name for a folder whose name the code page may not spell.
#pragma once
#include <windows.h>

// Writes into `ansi` (`size` bytes) a name by which the ANSI calls find the
// folder `path`: the path itself where the code page spells it, else its
// short (8.3) path, which is plain ASCII. False, and `ansi` undefined, when
// neither serves: the volume keeps no short names, say.
bool AnsiPathOf(const WCHAR* path, char* ansi, int size);

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
