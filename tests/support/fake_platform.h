// Stands in for the alert sound and the shell launch, which leave no trace a
// test could look at; records each call instead.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct ShellCall {
    HWND owner;
    std::string verb, file, parameters, directory;
    bool nullParameters, nullDirectory;
    int show;
};

extern std::vector<UINT> AlertCalls;
extern std::vector<ShellCall> ShellCalls;
