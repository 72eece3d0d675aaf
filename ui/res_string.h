// Texts from the program's string table.
#pragma once
#include <windows.h>

class ResString {
public:
    // The text of string `id`, or "RES<id>" when the table has none. Every
    // load reuses one buffer, so a text is valid only until the next load.
    const char* LoadResString(UINT id);

private:
    static char buffer[1024];
};

extern ResString Strings;
