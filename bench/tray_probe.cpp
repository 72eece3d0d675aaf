// The Unix side's hands and eyes inside the Wine session. Reads one command
// per line on stdin and answers with one line:
//   pic                       the tray picture (Empty, NotEmpty, ...)
//   wait <picture> <ms>       waits for that picture; answers the last seen
//   post <class> <id>         posts WM_COMMAND id to that window
//   num <name> <value>        stores a number under Tarnwick's settings key
//   folder <path>             stores the watched folder
//   clear                     removes Tarnwick's settings
//   quit
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tests/support/registry.h"
#include "tests/support/screen.h"

namespace {

TrayPicture ParsePicture(const char* name)
{
    const TrayPicture all[] = {TrayPicture::None, TrayPicture::Checking, TrayPicture::Empty,
                               TrayPicture::NotEmpty, TrayPicture::Unavailable};
    for (TrayPicture picture : all)
        if (strcmp(Describe(picture), name) == 0)
            return picture;
    return TrayPicture::None;
}

} // namespace

int main()
{
    char line[2048];
    while (fgets(line, sizeof(line), stdin)) {
        line[strcspn(line, "\r\n")] = 0;
        char* argument = strchr(line, ' ');
        if (argument)
            *argument++ = 0;
        else
            argument = line + strlen(line);
        if (strcmp(line, "pic") == 0) {
            printf("%s\n", Describe(ReadTrayPicture()));
        } else if (strcmp(line, "wait") == 0) {
            char name[32];
            unsigned timeout = 5000;
            sscanf(argument, "%31s %u", name, &timeout);
            printf("%s\n", Describe(WaitForTrayPicture(ParsePicture(name), timeout)));
        } else if (strcmp(line, "post") == 0) {
            char className[64];
            unsigned id = 0;
            sscanf(argument, "%63s %u", className, &id);
            HWND window = FindWindowA(className, className);
            printf("%s\n", window && PostMessageA(window, WM_COMMAND, id, 0) ? "ok" : "none");
        } else if (strcmp(line, "num") == 0) {
            char name[64];
            unsigned value = 0;
            // Value names may hold spaces: the number is the last word.
            char* last = strrchr(argument, ' ');
            if (!last) {
                printf("error\n");
                fflush(stdout);
                continue;
            }
            *last = 0;
            lstrcpynA(name, argument, sizeof(name));
            value = strtoul(last + 1, nullptr, 10);
            WriteNumber(SettingsKey, name, value);
            printf("ok\n");
        } else if (strcmp(line, "folder") == 0) {
            WriteString(SettingsKey, "Folder", argument);
            printf("ok\n");
        } else if (strcmp(line, "clear") == 0) {
            ClearSettings();
            printf("ok\n");
        } else if (strcmp(line, "quit") == 0) {
            break;
        } else {
            printf("error\n");
        }
        fflush(stdout);
    }
    return 0;
}
