// An ANSI name for a folder whose name the code page may not spell.
#pragma once
#include <windows.h>

// Writes into `ansi` (`size` bytes) a name by which the ANSI calls find the
// folder `path`: the path itself where the code page spells it, else its
// short (8.3) path, which is plain ASCII. False, and `ansi` undefined, when
// neither serves: the volume keeps no short names, say. Looking up a short
// name asks the file system, which for a share waits on its server.
bool AnsiPathOf(const WCHAR* path, char* ansi, int size);
