#include "tests/support/fake_platform.h"

#include "app/platform.h"

std::vector<UINT> AlertCalls;
std::vector<ShellCall> ShellCalls;

void PlayAlert(UINT type)
{
    AlertCalls.push_back(type);
}

void ShellOpen(HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
               int show)
{
    ShellCalls.push_back({owner, verb ? verb : "", file ? file : "", parameters ? parameters : "",
                          directory ? directory : "", parameters == nullptr, directory == nullptr, show});
}
