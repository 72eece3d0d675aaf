// The real program, started under Wine and driven from this process.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "resource.h"
#include "tests/fault/fault_support.h"
#include "tests/support/files.h"
#include "tests/support/program.h"
#include "tests/support/registry.h"
#include "tests/support/screen.h"
#include "tests/support/ui.h"

namespace {

// The names of the DLLs a process has loaded, in lower case; empty when
// they cannot be listed.
std::vector<std::string> LoadedModules(DWORD processId)
{
    std::vector<std::string> names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return names;
    MODULEENTRY32 module = {};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module)) {
        CharLowerA(module.szModule);
        names.push_back(module.szModule);
    }
    CloseHandle(snapshot);
    return names;
}

// Aware of the display's scale, as the program is by its manifest, so that
// this process sees the tray as it is drawn: before any window.
const BOOL DpiAware = SetProcessDPIAware();

// A tray picture as the build draws it from res/art: the layers' text maps
// painted over one another, a pixel 0xRRGGBB, or -1 where transparent.
std::vector<long> Drawing(const std::vector<std::string>& layers, int size)
{
    static const char codes[] = "#yYBR"; // black, dark yellow, yellow, blue, red
    static const long colours[] = {0x000000, 0x808000, 0xFFFF00, 0x0000FF, 0xFF0000};
    std::vector<long> pixels(size_t(size * size), -1);
    for (const std::string& layer : layers) {
        const std::string map =
            ReadWhole(ZPath(TARNWICK_ART) + "\\" + layer + "_" + std::to_string(size) + ".txt");
        int y = 0;
        for (size_t at = 0; at < map.size() && y < size;) {
            const size_t end = std::min(map.find('\n', at), map.size());
            const std::string row = map.substr(at, end - at);
            at = end + 1;
            if (row.empty() || row[0] == ';')
                continue;
            for (int x = 0; x < size && x < int(row.size()); ++x)
                if (const char* code = std::strchr(codes, row[x]))
                    pixels[size_t(y * size + x)] = colours[code - codes];
            ++y;
        }
    }
    return pixels;
}

// Whether the tray shows `drawing` somewhere, pixel for pixel where it is
// opaque.
bool TrayShows(const std::vector<long>& drawing, int size)
{
    int width = 0;
    const std::vector<DWORD> tray = TrayPixels(&width);
    const int height = width ? int(tray.size()) / width : 0;
    for (int top = 0; top + size <= height; ++top) {
        for (int left = 0; left + size <= width; ++left) {
            bool same = true;
            for (int i = 0; i < size * size && same; ++i)
                same = drawing[size_t(i)] < 0 ||
                       long(tray[size_t((top + i / size) * width + left + i % size)]) == drawing[size_t(i)];
            if (same)
                return true;
        }
    }
    return false;
}

bool HasLoaded(DWORD processId, const char* dll)
{
    const std::vector<std::string> loaded = LoadedModules(processId);
    return std::find(loaded.begin(), loaded.end(), dll) != loaded.end();
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }

    // Stores a watched folder as an earlier run would have left it.
    void StoreFolder(const std::string& path) { WriteString(SettingsKey, "Folder", path); }
    // Starts the program on `folder`, stored as the watched one.
    bool OpenOnFolder()
    {
        StoreFolder(folder.Path());
        return program.Open();
    }
    // Starts the program where it has to ask for a folder: the browser, or null.
    HWND StartAsking() { return program.Start() ? program.WaitForDialog() : nullptr; }

    TempFolder folder;
    RunningProgram program;
};

TEST_F(EndToEnd, ASecondCopyEndsAtOnceAndChangesNothing)
{
    ASSERT_TRUE(OpenOnFolder());
    ASSERT_TRUE(WaitForLoop(program.window));
    // What any start rewrites: a number stored as a string, a missing
    // number, and the Run value while Permanent is on.
    WriteRaw(SettingsKey, "Buzzer", RawString("2"));
    DeleteValue(SettingsKey, "Rescan");
    WriteString(RunKey, "Tarnwick", "stale");
    const auto before = Snapshot(SettingsKey);

    RunningProgram second;
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(0u, second.WaitForExit(5000));
    EXPECT_EQ(before, Snapshot(SettingsKey));
    EXPECT_EQ(RawString("stale"), Stored(RunKey, "Tarnwick"));
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, FirstStartStoresDefaultsAsksForAFolderAndCancellingEnds)
{
    HWND browser = StartAsking();
    ASSERT_NE(nullptr, browser);

    EXPECT_EQ(RawString(""), Stored(SettingsKey, "Folder"));
    const struct {
        const char* name;
        DWORD value;
    } defaults[] = {
        {"Buzzer", 1}, {"Rescan", 0}, {"See hiddeen files", 1}, {"See subfolders", 1}, {"Notify", 1}};
    for (const auto& d : defaults)
        EXPECT_EQ(RawNumber(d.value), Stored(SettingsKey, d.name)) << d.name;
    EXPECT_EQ(RawString("\"" + ProgramFile() + "\""), Stored(RunKey, "Tarnwick"));
    // The icon is up while the browser asks; with no folder it cannot list.
    EXPECT_EQ(TrayPicture::Unavailable, WaitForTrayPicture(TrayPicture::Unavailable));

    EXPECT_TRUE(AnswerBrowser(browser, ""));
    EXPECT_EQ(0u, program.WaitForExit());
    EXPECT_EQ(TrayPicture::None, WaitForTrayPicture(TrayPicture::None));
}

TEST_F(EndToEnd, ChoosingAFolderAtFirstStartWatchesIt)
{
    HWND browser = StartAsking();
    ASSERT_NE(nullptr, browser);
    EXPECT_TRUE(AnswerBrowser(browser, folder.Path()));
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    EXPECT_EQ(RawString(folder.Path()), Stored(SettingsKey, "Folder"));

    folder.AddFile("arrival.txt");
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty, 2000));
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, AStoredPathNamingAFileAsksAgain)
{
    StoreFolder(folder.AddFile("not-a-folder.txt"));
    HWND browser = StartAsking();
    ASSERT_NE(nullptr, browser);
    EXPECT_TRUE(AnswerBrowser(browser, ""));
    EXPECT_EQ(0u, program.WaitForExit());
}

TEST_F(EndToEnd, AStoredMissingFolderIsKeptAndShownUnavailable)
{
    const std::string missing = folder.Path() + "\\gone";
    StoreFolder(missing);
    ASSERT_TRUE(program.Start());
    ASSERT_NE(nullptr, program.WaitForWindow());
    EXPECT_EQ(TrayPicture::Unavailable, WaitForTrayPicture(TrayPicture::Unavailable));
    EXPECT_EQ(nullptr, program.WaitForDialog(500));
    EXPECT_EQ(RawString(missing), Stored(SettingsKey, "Folder"));
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, SettingsWrittenByOneRunAreReadByTheNext)
{
    folder.AddFile("hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    WriteString(RunKey, "Tarnwick", "started with Windows");
    ASSERT_TRUE(OpenOnFolder());
    HWND window = program.window;
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty));
    // Rescan Long, Buzzer Wave, hidden entries off, start with Windows off.
    PostMessageA(window, WM_COMMAND, IDM_RESCAN_LONG, 0);
    PostMessageA(window, WM_COMMAND, IDM_BUZZER_WAVE, 0);
    PostMessageA(window, WM_COMMAND, IDM_HIDDEN, 0);
    PostMessageA(window, WM_COMMAND, IDM_PERMANENT, 0);
    EXPECT_EQ(0u, program.Exit());
    EXPECT_EQ(Missing, Stored(RunKey, "Tarnwick"));

    // The next run counts no hidden entries: the folder shows empty.
    RunningProgram second;
    ASSERT_TRUE(second.Open());
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    EXPECT_EQ(0u, second.Exit());
    EXPECT_EQ(RawNumber(3), Stored(SettingsKey, "Rescan"));
    EXPECT_EQ(RawNumber(2), Stored(SettingsKey, "Buzzer"));
    EXPECT_EQ(RawNumber(0), Stored(SettingsKey, "See hiddeen files"));
    // Permanent was off, so the next start did not write the Run value again.
    EXPECT_EQ(Missing, Stored(RunKey, "Tarnwick"));
}

TEST_F(EndToEnd, TheTrayFollowsTheFolderThroughEveryState)
{
    ASSERT_TRUE(OpenOnFolder());
    HWND window = program.window;
    EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
    SaveTrayPicture("e2e-empty");

    const std::string file = folder.AddFile("arrival.txt");
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty, 2000)));
    SaveTrayPicture("e2e-not-empty");
    // Wine's tray shows the notification's text alone, not its title.
    EXPECT_EQ("arrival.txt is waiting", WaitForBalloon("arrival.txt is waiting"));

    // The folder going away raises no notification; a click rescans.
    DeleteFileA(file.c_str());
    EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty, 2000)));
    const std::string away = folder.Path() + "-away";
    ASSERT_TRUE(MoveFileA(folder.Path().c_str(), away.c_str()));
    EXPECT_TRUE(ClickIcon(window));
    EXPECT_STREQ("Unavailable", Describe(WaitForTrayPicture(TrayPicture::Unavailable, 3000)));
    SaveTrayPicture("e2e-unavailable");
    ASSERT_TRUE(MoveFileA(away.c_str(), folder.Path().c_str()));
    EXPECT_TRUE(ClickIcon(window));
    EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty, 3000)));
    EXPECT_EQ(0u, program.Exit());
    EXPECT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
}

TEST_F(EndToEnd, CloseFromOutsideEndsLikeExit)
{
    folder.AddFile("a.txt");
    ASSERT_TRUE(OpenOnFolder());
    HWND window = program.window;
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty)));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.WaitForExit());
    EXPECT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
    EXPECT_TRUE(KeyExists(SettingsKey));
}

TEST_F(EndToEnd, TheMenuOpensAtTheCursorAndItsCommandsWork)
{
    folder.AddFile("a.txt");
    ASSERT_TRUE(OpenOnFolder());
    HWND window = program.window;
    SetCursorPos(40, 60);
    PostTrayMouse(window, WM_RBUTTONUP);
    HWND menu = FindProcessWindow(program.ProcessId(), "#32768", true, 2000);
    ASSERT_NE(nullptr, menu);
    RECT area;
    GetWindowRect(menu, &area);
    EXPECT_EQ(40, area.left);
    EXPECT_EQ(60, area.top);
    Sleep(100);
    SaveWindowPicture(menu, "e2e-menu", 8);
    // Down to "&Rescan delay" and into it: its submenu opens, no command.
    PostMessageA(menu, WM_KEYDOWN, 'R', 0);
    Sleep(200);
    PostMessageA(menu, WM_KEYDOWN, 'L', 0); // "&Long"
    EXPECT_TRUE(WaitForValue(SettingsKey, "Rescan", RawNumber(3)));
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, ShiftExitAnsweredYesRemovesTheStoredData)
{
    WriteString(RunKey, "Tarnwick", "on");
    ASSERT_TRUE(OpenOnFolder());
    HWND window = program.window;
    ASSERT_NE(Missing, Stored(RunKey, "Tarnwick"));
    HWND question;
    {
        // Sharing the program's input state lets this thread hold Shift for it.
        ShiftHeld shift(GetWindowThreadProcessId(window, nullptr));
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
        question = program.WaitForDialog();
    }
    ASSERT_NE(nullptr, question);
    char caption[64] = "";
    GetWindowTextA(question, caption, sizeof(caption));
    EXPECT_STREQ("Confirmation", caption);
    SaveWindowPicture(question, "e2e-uninstall", 0);
    PostMessageA(question, WM_COMMAND, IDYES, 0);
    EXPECT_EQ(0u, program.WaitForExit());
    EXPECT_FALSE(KeyExists(SettingsKey));
    EXPECT_TRUE(KeyExists("Software\\Orrel\\Tarnwick"));
    EXPECT_EQ(Missing, Stored(RunKey, "Tarnwick"));
    EXPECT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
}

// The picture drawn for the tray's size, not a larger one shrunk: 16 px at
// the suite's 96 DPI, 24 px at 144 (tests/at_dpi.sh).
TEST_F(EndToEnd, TheTrayShowsEachStateAsDrawnForTheDisplaysScale)
{
    ASSERT_EQ(ExpectedDpi(), ScreenDpi()) << "this process does not see the display's scale";
    const int size = GetSystemMetrics(SM_CXSMICON);
    const std::string watched = folder.Path() + "\\watched";
    StoreFolder(watched);
    ASSERT_TRUE(program.Open());
    const struct {
        std::vector<std::string> layers;
        std::function<void()> next;
    } states[] = {
        {{"sack_full", "cross"}, [&] { CreateDirectoryA(watched.c_str(), nullptr); }},
        {{"sack_empty"}, [&] { folder.AddFile("watched\\arrival.txt"); }},
        {{"sack_full"}, [] {}},
    };
    for (const auto& state : states) {
        const std::vector<long> drawing = Drawing(state.layers, size);
        bool shown = false;
        for (int i = 0; i < 50 && !(shown = TrayShows(drawing, size)); ++i)
            Sleep(100);
        EXPECT_TRUE(shown) << state.layers.back() << " at " << size << " px";
        SaveTrayPicture(("e2e-" + state.layers.back() + "-" + std::to_string(size)).c_str());
        state.next();
    }
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, ARestartedTaskbarGetsTheIconBack)
{
    folder.AddFile("a.txt");
    ASSERT_TRUE(OpenOnFolder());
    HWND window = program.window;
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty)));
    // The shell forgets the icon, then announces that it is back.
    DropIcon(window);
    EXPECT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
    PostMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty, 2000)));
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, WithItsIconShownTheProgramSleepsUntilSomethingHappens)
{
    ASSERT_TRUE(OpenOnFolder());
    ASSERT_TRUE(WaitForLoop(program.window));
    ASSERT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
    const std::string file = ProgramFile();
    const std::string process = UnixProcessDirectory(file.substr(file.find_last_of('\\') + 1));
    ASSERT_NE("", process);
    // Its one thread is the Unix process's first; with the rescan delay
    // Disabled and no timer left armed, it does not wake at all.
    const std::string thread = process + "\\task\\" + process.substr(process.find_last_of('\\') + 1);
    Sleep(500);
    const long before = VoluntarySwitches(thread);
    ASSERT_NE(-1, before);
    Sleep(3000);
    EXPECT_EQ(before, VoluntarySwitches(thread)) << "the program woke while nothing happened";
    // It does wake for a change.
    folder.AddFile("wake-up.txt");
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty)));
    EXPECT_LT(before, VoluntarySwitches(thread));
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, AnIconTheShellLostComesBackAtTheNextChangeUnasked)
{
    ASSERT_TRUE(OpenOnFolder());
    ASSERT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
    // The shell loses the icon and says nothing; the program finds out when
    // the next change of picture fails, and adds it again a second later.
    DropIcon(program.window);
    ASSERT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
    folder.AddFile("landed-while-the-icon-was-lost.txt");
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty, 4000)));
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, AResumeFromSleepLooksAgainAndWatchesAgain)
{
    // The folder's drive is away at start, so nothing watches the folder or
    // anything above it, and with the rescan delay Disabled only something
    // new makes the program look again.
    ASSERT_TRUE(MapDrive('q', ""));
    StoreFolder("Q:\\away");
    ASSERT_TRUE(program.Open());
    ASSERT_STREQ("Unavailable", Describe(WaitForTrayPicture(TrayPicture::Unavailable)));
    folder.AddFolder("away");
    ASSERT_TRUE(MapDrive('q', UnixPath(folder.Path())));
    Sleep(500);
    ASSERT_STREQ("Unavailable", Describe(ReadTrayPicture()));

    PostMessageA(program.window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
    folder.AddFile("away\\landed-after-the-resume.txt");
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty)));
    EXPECT_EQ(0u, program.Exit());
    MapDrive('q', "");
}

// Wine sends no device events: the test sends the ones Windows would, and
// learns the program's registrations from Wine's trace of the call, which
// goes to the stderr that the program shares with this test.
TEST_F(EndToEnd, AStickIsLetGoWhenWindowsAsksWatchedAgainWhenTheRemovalIsCalledOffAndSeenWhenItComesBack)
{
    folder.AddFolder("scans");
    ASSERT_TRUE(MapDrive('m', UnixPath(folder.Path())));
    StoreFolder("M:\\scans");
    const char registering[] = "user32.RegisterDeviceNotificationA";
    ASSERT_TRUE(OpenTraced(program, registering));
    const auto made = [&] { // the registrations so far, oldest first
        std::vector<HDEVNOTIFY> found;
        for (ULONG_PTR registration : TracedReturns(registering))
            found.push_back(HDEVNOTIFY(registration));
        return found;
    };
    const auto send = [&](WPARAM event, HDEVNOTIFY registration) {
        DEV_BROADCAST_HANDLE about = {sizeof(about), DBT_DEVTYP_HANDLE, 0, nullptr, registration, {}, 0, {}};
        return SendMessageA(program.window, WM_DEVICECHANGE, event, LPARAM(&about));
    };
    // The Wine server holds the folder of every open change notification.
    const std::string held = folder.Path() + "\\held.txt";
    const auto serverHolds = [&] {
        RunUnix("stick=$(realpath '" + UnixPath(folder.Path()) + "'); for p in $(pgrep wineserver); do " +
                "find /proc/$p/fd -lname \"$stick*\"; done | grep -c . > '" + UnixPath(held) + "'");
        return std::atoi(ReadWhole(held).c_str());
    };

    ASSERT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
    EXPECT_TRUE(ClickIcon(program.window));
    ASSERT_EQ(1u, made().size()) << "one registration for the folder, not one per scan";
    EXPECT_LT(0, serverHolds());
    // Safely Remove Hardware asks first: the program lets go of the stick.
    EXPECT_EQ(TRUE, send(DBT_DEVICEQUERYREMOVE, made()[0]));
    EXPECT_STREQ("Unavailable", Describe(WaitForTrayPicture(TrayPicture::Unavailable)));
    EXPECT_EQ(0, serverHolds()) << "the program still holds something on the stick";
    // Another program holds on to it, so the removal is called off: watched
    // again, under a new registration.
    send(DBT_DEVICEQUERYREMOVEFAILED, made()[0]);
    EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
    ASSERT_EQ(2u, made().size());
    folder.AddFile("scans\\page1.pdf");
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty)));
    // Asked again, and this time the stick goes, and comes back: Windows tells
    // every top-level window of a volume that arrives (bit 12 is M:).
    EXPECT_EQ(TRUE, send(DBT_DEVICEQUERYREMOVE, made()[1]));
    send(DBT_DEVICEREMOVECOMPLETE, made()[1]);
    ASSERT_TRUE(MapDrive('m', "") && MapDrive('m', UnixPath(folder.Path())));
    DEV_BROADCAST_VOLUME volume = {sizeof(volume), DBT_DEVTYP_VOLUME, 0, 1u << ('M' - 'A'), 0};
    SendMessageA(program.window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, LPARAM(&volume));
    EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty)));
    EXPECT_LT(0, serverHolds());
    EXPECT_EQ(0u, program.Exit());
    MapDrive('m', "");
}

// A server that stops answering holds a listing for a minute: Exit and
// Shift+Exit end the program at once all the same, the icon removed, the
// settings kept or removed as asked.
TEST_F(EndToEnd, ExitWhileAListingWaitsEndsAtOnceWithoutTheIcon)
{
    StoreFolder(folder.Path());
    for (const bool shift : {false, true}) {
        SCOPED_TRACE(shift ? "Shift+Exit" : "Exit");
        RunningProgram held;
        ASSERT_TRUE(held.Open(ZPath(TARNWICK_HELD_EXE)));
        EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
        const HANDLE holding = CreateEventA(nullptr, TRUE, FALSE, "Tarnwick: listing held");
        PostTrayMouse(held.window, WM_LBUTTONDOWN);
        EXPECT_STREQ("Checking", Describe(WaitForTrayPicture(TrayPicture::Checking)));
        EXPECT_TRUE(Responds(held.window, 1000));
        if (shift) {
            ShiftHeld down(GetWindowThreadProcessId(held.window, nullptr));
            PostMessageA(held.window, WM_COMMAND, IDM_EXIT, 0);
            const HWND question = held.WaitForDialog(2000);
            ASSERT_NE(nullptr, question);
            PostMessageA(question, WM_COMMAND, IDYES, 0);
        } else {
            PostMessageA(held.window, WM_COMMAND, IDM_EXIT, 0);
        }
        // Within a second of the answer, however long the listing waits.
        EXPECT_EQ(0u, held.WaitForExit(1000));
        EXPECT_STREQ("no icon", Describe(WaitForTrayPicture(TrayPicture::None, 2000)));
        EXPECT_EQ(!shift, KeyExists(SettingsKey));
        SetEvent(holding);
        CloseHandle(holding);
    }
}

// A folder whose name the test prefix's code page (1252) cannot spell is
// watched and stored by its own name: the program's code page is UTF-8. A
// file whose name takes more bytes in UTF-8 than a WIN32_FIND_DATAA holds
// counts all the same.
TEST_F(EndToEnd, AFolderNamedInAnyScriptIsWatchedAndStoredByItsOwnName)
{
    const std::wstring base(folder.Path().begin(), folder.Path().end()); // plain ASCII
    const std::wstring stored = base + L"\\Пример", chosen = base + L"\\inbox 📥";
    for (const std::wstring* path : {&stored, &chosen}) {
        BOOL lost = FALSE;
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path->c_str(), -1, nullptr, 0, nullptr, &lost);
        ASSERT_TRUE(lost) << "the code page spells this name";
        ASSERT_TRUE(CreateDirectoryW(path->c_str(), nullptr));
    }
    WCHAR shortName[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameW(chosen.c_str(), shortName, MAX_PATH));
    const std::string shortChosen(shortName, shortName + lstrlenW(shortName));
    WriteWide(SettingsKey, "Folder", stored);
    ASSERT_EQ(stored, StoredWide(SettingsKey, "Folder"));
    const auto landAndLeave = [](const std::wstring& path) {
        EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
        const std::wstring file = path + L"\\" + std::wstring(87, L'表');
        CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        EXPECT_STREQ("NotEmpty", Describe(WaitForTrayPicture(TrayPicture::NotEmpty)));
        DeleteFileW(file.c_str());
        EXPECT_STREQ("Empty", Describe(WaitForTrayPicture(TrayPicture::Empty)));
    };

    ASSERT_TRUE(program.Open());
    landAndLeave(stored);
    EXPECT_EQ(stored, StoredWide(SettingsKey, "Folder")) << "the stored name was changed";

    // Chosen by its short name, which the test's code page spells, and
    // stored by its own.
    PostMessageA(program.window, WM_COMMAND, IDM_SELECT_FOLDER, 0);
    HWND browser = program.WaitForDialog();
    ASSERT_NE(nullptr, browser);
    EXPECT_TRUE(AnswerBrowser(browser, shortChosen, "inbox "));
    for (int i = 0; i < 100 && StoredWide(SettingsKey, "Folder") != chosen; ++i)
        Sleep(30);
    EXPECT_EQ(chosen, StoredWide(SettingsKey, "Folder"));
    landAndLeave(chosen);
    EXPECT_EQ(0u, program.Exit());
}

// "Permanent" must start the program at logon: the Run value names its own
// file, started by a bare name from a console, or from a folder whose name
// the code page (1252 here) cannot spell.
TEST_F(EndToEnd, TheRunValueNamesTheProgramsOwnFileHoweverItWasStarted)
{
    StoreFolder(folder.Path());
    WriteString(RunKey, "Tarnwick", "Tarnwick.exe");
    const std::string exe = ProgramFile();
    const std::wstring built(exe.begin(), exe.end()), base(folder.Path().begin(), folder.Path().end());
    const struct {
        const wchar_t* folder;
        bool byBareName;
    } starts[] = {{L"plain", true}, {L"\x141ukasz", false}};
    for (const auto& start : starts) {
        const std::wstring where = base + L"\\" + start.folder, copy = where + L"\\Tarnwick.exe";
        ASSERT_TRUE(CreateDirectoryW(where.c_str(), nullptr) && CopyFileW(built.c_str(), copy.c_str(), TRUE));
        RunningProgram started;
        WriteNumber(SettingsKey, "Buzzer", 1); // as WaitForLoop expects a start to find it
        ASSERT_TRUE(started.Start(copy, start.byBareName ? L"Tarnwick.exe" : L"\"" + copy + L"\"", where));
        started.window = started.WaitForWindow();
        ASSERT_TRUE(WaitForLoop(started.window));
        EXPECT_EQ(L"\"" + copy + L"\"", StoredWide(RunKey, "Tarnwick"));
        EXPECT_EQ(0u, started.Exit());
        DeleteFileW(copy.c_str());
        RemoveDirectoryW(where.c_str());
    }
}

TEST_F(EndToEnd, ComIsLoadedWhenTheFolderChooserFirstOpensAndServesItEveryTime)
{
    TempFolder other;
    ASSERT_TRUE(OpenOnFolder());
    HWND window = program.window;
    ASSERT_TRUE(HasLoaded(program.ProcessId(), "kernel32.dll")); // its modules can be listed
    EXPECT_FALSE(HasLoaded(program.ProcessId(), "ole32.dll"));

    for (int round = 1; round <= 5; ++round) {
        SCOPED_TRACE(round);
        PostMessageA(window, WM_COMMAND, IDM_SELECT_FOLDER, 0);
        HWND browser = program.WaitForDialog();
        ASSERT_NE(nullptr, browser);
        EXPECT_TRUE(HasLoaded(program.ProcessId(), "ole32.dll"));
        // Cancelled four times, then answered.
        EXPECT_TRUE(AnswerBrowser(browser, round < 5 ? "" : other.Path()));
        for (int i = 0; i < 250 && IsWindow(browser); ++i)
            Sleep(20);
        ASSERT_FALSE(IsWindow(browser)) << "the folder browser did not close";
    }
    EXPECT_EQ(RawString(other.Path()), Stored(SettingsKey, "Folder"));
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(0u, program.Exit());
}

} // namespace
