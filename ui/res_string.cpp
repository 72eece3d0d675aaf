#include "ui/res_string.h"

char ResString::buffer[1024];

ResString Strings;

const char* ResString::LoadResString(UINT id)
{
    // A null instance means the module the process was started from.
    if (LoadStringA(nullptr, id, buffer, sizeof(buffer)) == 0)
        wsprintfA(buffer, "RES%u", id);
    return buffer;
}
