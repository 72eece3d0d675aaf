// The watched folder's life: it goes away and comes back in every way a
// folder can, turns into something else, sits at the end of a long path or
// at a drive root, and holds entries with unusual names and attributes.
#include <gtest/gtest.h>

#include "resource.h"
#include "tests/fault/fault_support.h"

namespace {

class FolderFault : public testing::Test {
protected:
    void SetUp() override
    {
        ClearSettings();
        watched = base.Path() + "\\watched";
        ASSERT_TRUE(CreateDirectoryA(watched.c_str(), nullptr));
    }
    void TearDown() override
    {
        if (program.ProcessId() && program.Running()) {
            EXPECT_EQ(0u, program.Exit());
        }
        RunUnix("rm -rf '" + UnixPath(base.Path()) + "'/*");
        ClearSettings();
    }

    // Starts the program on `watched`, with Wine's trace of the call `traced`
    // where one is named.
    void Open(DWORD rescan = 0, const char* traced = nullptr)
    {
        WriteString(SettingsKey, "Folder", watched);
        WriteNumber(SettingsKey, "Rescan", rescan);
        ASSERT_TRUE(traced ? OpenTraced(program, traced) : program.Open());
    }

    // Asks for a scan the way a click does and, once it is over, checks the
    // icon shows the truth.
    void ExpectTruthAfterClick(TrayPicture expected, const char* what)
    {
        EXPECT_TRUE(ClickIcon(program.window)) << what;
        EXPECT_EQ(expected, WaitForTrayPicture(expected)) << what;
        // A folder deleted on the Windows side goes only once the program's
        // own handle on it is closed, so the test looks after the scan.
        EXPECT_EQ(expected, Truth(watched)) << what << ": the test's own listing disagrees";
    }

    // Removes the folder behind the program's back, as another program would.
    void RemoveOnUnixSide() { ASSERT_TRUE(RunUnix("rm -rf '" + UnixPath(watched) + "'")); }

    // The folder is watched again: a change shows without anyone asking.
    void ExpectWatched(const char* what)
    {
        const std::string file = watched + "\\proof.txt";
        CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty, 3000)) << what;
        DeleteFileA(file.c_str());
        EXPECT_EQ(Truth(watched), WaitForTrayPicture(Truth(watched), 3000)) << what;
    }

    void ExpectIdle(const char* what)
    {
        const double cpu = CpuMilliseconds(program.ProcessId());
        Sleep(1000);
        EXPECT_LT(CpuMilliseconds(program.ProcessId()) - cpu, 100.0) << what << ": the program keeps working";
    }

    TempFolder base;
    std::string watched;
    RunningProgram program;
};

TEST_F(FolderFault, AFolderThatGoesAwayShowsUnavailableAndIsWatchedAgainWhenItReturns)
{
    base.AddFile("watched\\content.txt");
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty));
    const std::string away = base.Path() + "\\away";
    const std::string unixWatched = UnixPath(watched);

    // Renamed away and back.
    ASSERT_TRUE(MoveFileA(watched.c_str(), away.c_str()));
    ExpectTruthAfterClick(TrayPicture::Unavailable, "renamed away");
    ExpectIdle("renamed away");
    ASSERT_TRUE(MoveFileA(away.c_str(), watched.c_str()));
    ExpectTruthAfterClick(TrayPicture::NotEmpty, "renamed back");
    DeleteFileA((watched + "\\content.txt").c_str());
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty, 3000))
        << "watched after renamed back";

    // Deleted and made again, as the user would and behind the program's back.
    ASSERT_TRUE(RemoveTree(watched));
    ExpectTruthAfterClick(TrayPicture::Unavailable, "deleted");
    ASSERT_TRUE(CreateDirectoryA(watched.c_str(), nullptr));
    ExpectTruthAfterClick(TrayPicture::Empty, "made again");
    ExpectWatched("made again");
    RemoveOnUnixSide();
    ExpectTruthAfterClick(TrayPicture::Unavailable, "removed on the Unix side");
    ASSERT_TRUE(CreateDirectoryA(watched.c_str(), nullptr));
    base.AddFile("watched\\again.txt");
    ExpectTruthAfterClick(TrayPicture::NotEmpty, "made again, not empty");
    ASSERT_TRUE(DeleteFileA((watched + "\\again.txt").c_str()));
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty, 3000));

    // Replaced by a file of the same name.
    RemoveOnUnixSide();
    CloseHandle(CreateFileA(watched.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ExpectTruthAfterClick(TrayPicture::Unavailable, "a file of the same name");
    ExpectIdle("a file of the same name");
    ASSERT_TRUE(DeleteFileA(watched.c_str()));
    ASSERT_TRUE(CreateDirectoryA(watched.c_str(), nullptr));
    ExpectTruthAfterClick(TrayPicture::Empty, "a folder again");

    // Unreadable: without the read bit (which root ignores), a link that loops,
    // a link to nowhere.
    ASSERT_TRUE(RunUnix("chmod 000 '" + unixWatched + "'"));
    ExpectTruthAfterClick(Truth(watched), "mode 000");
    ASSERT_TRUE(RunUnix("chmod 755 '" + unixWatched + "'; rmdir '" + unixWatched + "'; ln -s watched '" +
                        unixWatched + "'"));
    ExpectTruthAfterClick(TrayPicture::Unavailable, "a link to itself");
    ExpectIdle("a link to itself");
    ASSERT_TRUE(RunUnix("rm '" + unixWatched + "'; ln -s nowhere '" + unixWatched + "'"));
    ExpectTruthAfterClick(TrayPicture::Unavailable, "a link to nowhere");

    // A link to a folder with something in it, then the real folder back.
    ASSERT_TRUE(RunUnix("rm '" + unixWatched + "'; mkdir -p '" + UnixPath(away) + "'; touch '" +
                        UnixPath(away) + "/x'; ln -s away '" + unixWatched + "'"));
    ExpectTruthAfterClick(TrayPicture::NotEmpty, "a link to a full folder");
    ASSERT_TRUE(RunUnix("rm '" + unixWatched + "'; mkdir '" + unixWatched + "'"));
    ExpectTruthAfterClick(TrayPicture::Empty, "the folder back");
    ExpectWatched("the folder back");
}

// Only the periodic rescan can tell that a drive went or came back: no
// notification fires for it, and Wine sends no device events. It comes 10 s
// after the last scan, whatever messages arrive meanwhile: the delay used to
// start afresh with each one, and a steady trickle of them kept a vanished
// folder shown as present.
TEST_F(FolderFault, ThePeriodicRescanAloneSeesADriveGoAndReturnAndMessagesDoNotPutItOff)
{
    ASSERT_TRUE(MapDrive('n', UnixPath(base.Path())));
    watched = "N:\\watched";
    const char notify[] = "shell32.Shell_NotifyIconA";
    ASSERT_NO_FATAL_FAILURE(Open(1, notify));
    ASSERT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    for (const bool gone : {true, false}) {
        const TrayPicture after = gone ? TrayPicture::Unavailable : TrayPicture::Empty;
        ASSERT_TRUE(ClickIcon(program.window));
        const DWORD scanned = GetTickCount(); // just after the click's scan
        ASSERT_TRUE(MapDrive('n', gone ? "" : UnixPath(base.Path())));
        // The pointer rests on the icon for 5 s, and the shell reports a move
        // now and then. A wait that each message stretched would end 15 s in.
        TrayPicture seen = TrayPicture::None;
        while (GetTickCount() - scanned < 16000 && (seen = ReadTrayPicture()) != after) {
            if (GetTickCount() - scanned < 5000)
                PostTrayMouse(program.window, WM_MOUSEMOVE);
            Sleep(300);
        }
        EXPECT_EQ(after, seen);
        EXPECT_NEAR(10000.0, double(GetTickCount() - scanned), 800.0) << "not 10 s after the last scan";
    }
    ExpectWatched("back after a rescan");

    // N: is a network drive: its server going away and coming back with a
    // scan in the folder, of which nothing tells, shows with the rescan delay
    // Disabled too, at the first look 10 s after another. Those looks show no
    // Checking: one that finds the server still away shows nothing at all,
    // the one that finds it back its result and the notification alone.
    ASSERT_EQ(UINT(DRIVE_REMOTE), GetDriveTypeA("N:\\")) << "N: is no network drive in this prefix";
    PostMessageA(program.window, WM_COMMAND, IDM_RESCAN_DISABLED, 0);
    ASSERT_TRUE(WaitForValue(SettingsKey, "Rescan", RawNumber(0)));
    const std::string share = UnixPath(base.Path());
    ASSERT_TRUE(RunUnix("mv '" + share + "' '" + share + ".away'"));
    ExpectTruthAfterClick(TrayPicture::Unavailable, "the server away");
    const DWORD looked = GetTickCount();
    const size_t shown = TracedReturns(notify).size();
    Sleep(10500);
    ASSERT_TRUE(RunUnix("mv '" + share + ".away' '" + share + "' && touch '" + share + "/watched/scan.pdf'"));
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty, 12000)) << "the server back";
    EXPECT_NEAR(20000.0, double(GetTickCount() - looked), 800.0) << "not 10 s after the last look";
    EXPECT_EQ(shown + 2, TracedReturns(notify).size()) << "the looks while it was away showed Checking";
    ExpectWatched("the server back");
    MapDrive('n', "");
}

TEST_F(FolderFault, ADriveRootIsWatchedAndAnEmptyOneIsEmpty)
{
    // A drive of our own, mapped to an empty folder.
    ASSERT_TRUE(MapDrive('t', UnixPath(watched)));
    watched = "T:\\";
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty)) << "an empty root lists nothing";

    base.AddFile("watched\\on-the-root.txt");
    ExpectTruthAfterClick(TrayPicture::NotEmpty, "a file on the root");
    DeleteFileA("T:\\on-the-root.txt");
    ExpectTruthAfterClick(TrayPicture::Empty, "the root empty again");
    CreateDirectoryA("T:\\sub", nullptr);
    ExpectTruthAfterClick(TrayPicture::NotEmpty, "a folder on the root");
    PostMessageA(program.window, WM_COMMAND, IDM_SUBFOLDERS, 0); // subfolders no longer count
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    EXPECT_EQ(0u, program.Exit());
    MapDrive('t', "");
}

TEST_F(FolderFault, EntriesWithUnusualNamesAndAttributesFollowTheCountingRules)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    const std::string unixWatched = UnixPath(watched);
    bool hidden = true, subfolders = true;
    // A change of picture shows the program reacted; where the truth is the
    // picture already shown, a click's scan is the reaction waited for.
    TrayPicture shown = TrayPicture::Empty;
    auto expectTruth = [&](const char* what) {
        const TrayPicture truth = Truth(watched, hidden, subfolders);
        if (truth == shown) {
            EXPECT_TRUE(ClickIcon(program.window)) << what;
        }
        EXPECT_EQ(truth, WaitForTrayPicture(truth, 3000)) << what;
        shown = truth;
    };
    auto toggle = [&](UINT command, bool* flag) {
        *flag = !*flag;
        PostMessageA(program.window, WM_COMMAND, command, 0);
    };

    // Names made on the Windows side, each alone in the folder.
    const char* const names[] = {
        ".profile", "..double-dot",           " leading space", "trailing.dot.", "a.b.c", "no-extension",
        "%TEMP%$",  "\xe9t\xe9 \xfc\xf1\xee", "~$lock.tmp",     "con-like",      "x"};
    for (const char* name : names) {
        const std::string file = base.AddFile((std::string("watched\\") + name).c_str());
        expectTruth(name);
        DeleteFileA(file.c_str());
        expectTruth("removed");
    }
    const std::string longName(240, 'n');
    const std::string longFile = base.AddFile(("watched\\" + longName).c_str());
    expectTruth("a long name");
    DeleteFileA(longFile.c_str());
    expectTruth("long name removed");

    // Names only the Unix side can make: Wine shows them some other way or not
    // at all, and the icon agrees with what the folder lists.
    const char* const unixNames[] = {
        "a:b", "star*", "back\\\\slash", "new\nline", "q?", "$(printf '\\377\\376')", ".dotfile"};
    for (const char* name : unixNames) {
        ASSERT_TRUE(RunUnix("cd '" + unixWatched + "' && touch \"" + name + "\""));
        expectTruth(name);
        expectTruth(name); // and a click's scan agrees
        ASSERT_TRUE(RunUnix("cd '" + unixWatched + "' && rm -f ./*  ./.[!.]*"));
        expectTruth("removed");
    }

    // Attributes, with the options that decide about them.
    const std::string file = base.AddFile("watched\\h.txt");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
    expectTruth("hidden file, hidden counted");
    toggle(IDM_HIDDEN, &hidden);
    expectTruth("hidden file, hidden not counted");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
    expectTruth("hidden system read-only file");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    expectTruth("unhidden read-only file");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(DeleteFileA(file.c_str()));
    expectTruth("removed");

    const std::string sub = watched + "\\sub";
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    expectTruth("subfolder, subfolders counted");
    toggle(IDM_SUBFOLDERS, &subfolders);
    expectTruth("subfolder, subfolders not counted");
    base.AddFile("watched\\sub\\inside.txt");
    expectTruth("a file inside the subfolder");
    toggle(IDM_SUBFOLDERS, &subfolders);
    ASSERT_TRUE(SetFileAttributesA(sub.c_str(), FILE_ATTRIBUTE_HIDDEN));
    expectTruth("hidden subfolder, hidden not counted");
    toggle(IDM_HIDDEN, &hidden);
    expectTruth("hidden subfolder, hidden counted");
    EXPECT_TRUE(Responds(program.window));
}

TEST_F(FolderFault, LongPathsUpToTheLimitsOfTheBuffers)
{
    // Nested folders, made on the Unix side where no path limit applies.
    const size_t lengths[] = {200, 247, 248, 255, 256, 259, 260, 300, 511};
    for (size_t length : lengths) {
        std::string path = watched;
        while (path.size() < length) {
            const size_t room = length - path.size() - 1;
            // Never leave room for just a backslash.
            const size_t part = room == 61 ? 59 : (room > 60 ? 60 : room);
            path += "\\" + std::string(part, 'p');
        }
        std::string relative = path.substr(watched.size());
        for (char& c : relative)
            if (c == '\\')
                c = '/';
        const std::string unixPath = UnixPath(watched) + relative;
        ASSERT_TRUE(RunUnix("mkdir -p '" + unixPath + "' && touch '" + unixPath + "/x'"));
        SCOPED_TRACE("a folder path of " + std::to_string(path.size()) + " characters");
        WriteString(SettingsKey, "Folder", path);
        RunningProgram copy;
        ASSERT_TRUE(copy.Open());
        EXPECT_EQ(nullptr, FindProcessWindow(copy.ProcessId(), "#32770", true, 200));
        const TrayPicture truth = Truth(path);
        EXPECT_EQ(truth, WaitForTrayPicture(truth)) << Describe(truth);
        EXPECT_TRUE(ClickIcon(copy.window));
        EXPECT_EQ(truth, WaitForTrayPicture(truth)) << Describe(truth);
        EXPECT_EQ(RawString(path), Stored(SettingsKey, "Folder"));
        EXPECT_EQ(0u, copy.Exit());
    }
}

} // namespace
