// The folder scan on real folders: what counts, what the icon shows, when
// the alert sounds, and the change notification it leaves armed.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <algorithm>
#include <iterator>
#include <list>

#include "settings/settings.h"
#include "tests/support/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/program_state.h"
#include "tests/support/ui.h"
#include "watch/drive.h"
#include "watch/scan.h"
#include "watch/tray.h"

namespace {

class ScanTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        Watch(folder.Path());
    }

    static void Watch(const std::string& path) { lstrcpyA(WatchedFolder, path.c_str()); }
    static void Count(int hidden, int subfolders)
    {
        ShowHidden = hidden;
        ShowSubfolders = subfolders;
    }
    static int Scan()
    {
        ScanFolder(0);
        return CurrentTrayState;
    }

    TempFolder folder;
};

TEST(CountedEntry, FollowsTheHiddenAndSubfolderSettingsAndSkipsDotNames)
{
    const DWORD plain = FILE_ATTRIBUTE_ARCHIVE, hidden = FILE_ATTRIBUTE_HIDDEN,
                folder = FILE_ATTRIBUTE_DIRECTORY,
                other = FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_TEMPORARY,
                own = hidden | FILE_ATTRIBUTE_SYSTEM; // Windows' own, which Explorer never shows
    const struct {
        int showHidden, showSubfolders;
        DWORD attributes;
        const char* name;
        bool counted;
    } cases[] = {
        {0, 0, plain, "a.txt", true},         {0, 0, other, "sys.dat", true},
        {0, 0, hidden, "h.txt", false},       {1, 0, hidden, "h.txt", true},
        {0, 0, folder, "sub", false},         {0, 1, folder, "sub", true},
        {1, 0, hidden | folder, "hs", false}, {0, 1, hidden | folder, "hs", false},
        {1, 1, hidden | folder, "hs", true},  {1, 1, plain, ".profile", false},
        {1, 1, folder, ".", false},           {1, 1, folder, "..", false},
        {5, 7, hidden | folder, "hs", true},  {1, 1, plain, "x.", true},
        {1, 1, own, "desktop.ini", false},    {1, 1, own | folder, "$RECYCLE.BIN", false},
    };
    for (const auto& c : cases) {
        const std::wstring name(c.name, c.name + lstrlenA(c.name));
        EXPECT_EQ(c.counted, IsCountedEntry(c.attributes, name.c_str(), c.showHidden, c.showSubfolders))
            << c.name << " attributes " << c.attributes << " hidden " << c.showHidden << " sub "
            << c.showSubfolders;
    }
}

TEST(SearchPattern, AddsABackslashOnlyWhereNeeded)
{
    char pattern[1032];
    MakeSearchPattern("C:\\Data", pattern);
    EXPECT_STREQ("C:\\Data\\*.*", pattern);
    MakeSearchPattern("C:\\", pattern);
    EXPECT_STREQ("C:\\*.*", pattern);
    MakeSearchPattern("\\\\server\\share\\", pattern);
    EXPECT_STREQ("\\\\server\\share\\*.*", pattern);
    // The longest path the buffer holds still fits with its pattern.
    const std::string longest(1027, 'a');
    MakeSearchPattern(longest.c_str(), pattern);
    EXPECT_EQ(longest + "\\*.*", pattern);
}

TEST_F(ScanTest, AFolderWithOnlyDotEntriesIsEmpty)
{
    EXPECT_EQ(Empty, Scan());
    folder.AddFile(".hidden-by-name");
    folder.AddFolder(".config");
    EXPECT_EQ(Empty, Scan());
}

TEST_F(ScanTest, HiddenEntriesAndSubfoldersCountOnlyWhenAskedFor)
{
    folder.AddFile("secret.txt", FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(GetFileAttributesA((folder.Path() + "\\secret.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN)
        << "this file system keeps no hidden attribute";
    Count(0, 1);
    EXPECT_EQ(Empty, Scan());
    Count(1, 1);
    EXPECT_EQ(NotEmpty, Scan());

    TempFolder other;
    Watch(other.Path());
    other.AddFolder("sub");
    Count(1, 0);
    EXPECT_EQ(Empty, Scan());
    Count(0, 1);
    EXPECT_EQ(NotEmpty, Scan());
}

TEST_F(ScanTest, AHiddenSubfolderCountsOnlyWhenBothAreCounted)
{
    folder.AddFolder("hidden-sub", FILE_ATTRIBUTE_HIDDEN);
    for (int hidden = 0; hidden <= 1; ++hidden) {
        for (int subfolders = 0; subfolders <= 1; ++subfolders) {
            Count(hidden, subfolders);
            EXPECT_EQ(hidden && subfolders ? NotEmpty : Empty, Scan()) << hidden << subfolders;
        }
    }
}

TEST_F(ScanTest, SystemAndReadOnlyFilesCount)
{
    folder.AddFile("locked.dat", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    Count(0, 0);
    EXPECT_EQ(NotEmpty, Scan());
}

TEST_F(ScanTest, WhatCannotBeListedIsUnavailable)
{
    const std::string file = folder.AddFile("plain.txt");
    Watch(file);
    EXPECT_EQ(Unavailable, Scan());
    EXPECT_EQ(INVALID_HANDLE_VALUE, ChangeHandle);

    Watch(folder.Path() + "\\missing");
    EXPECT_EQ(Unavailable, Scan());
    EXPECT_EQ(INVALID_HANDLE_VALUE, ChangeHandle);
}

TEST_F(ScanTest, AnEmptyDriveRootIsEmpty)
{
    // The test run maps R: to an empty folder; a drive root lists no "." or
    // "..", so an empty one matches nothing at all, yet is there.
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("R:\\")) << "R: is not mapped";
    Watch("R:\\");
    EXPECT_EQ(Empty, Scan());
    EXPECT_NE(INVALID_HANDLE_VALUE, ChangeHandle);
}

// Device events for the watched folder's drive, however its letter is
// written, and for that drive alone; the registration follows the folder.
TEST_F(ScanTest, DriveEventsConcernTheWatchedFoldersDriveAlone)
{
    HDEVNOTIFY stick = nullptr;
    const auto tell = [](WPARAM event, HDEVNOTIFY registration) {
        DEV_BROADCAST_HANDLE about = {sizeof(about), DBT_DEVTYP_HANDLE, 0, nullptr, registration, {}, 0, {}};
        OnDeviceChange(event, LPARAM(&about));
    };
    // Missing, r:\gone is watched for from the drive's root.
    Watch("r:\\gone");
    EXPECT_EQ(Unavailable, Scan());
    ASSERT_TRUE((stick = DriveRegistration) && ParentWatch.Armed());
    tell(DBT_DEVICEREMOVECOMPLETE, HDEVNOTIFY(ULONG_PTR(stick) + 1));
    EXPECT_TRUE(ParentWatch.Armed()) << "another device's removal let go of the drive";
    tell(DBT_DEVICEREMOVECOMPLETE, stick); // pulled out without asking
    EXPECT_FALSE(ParentWatch.Armed()) << "the drive is still held";
    DEV_BROADCAST_VOLUME volume = {sizeof(volume), DBT_DEVTYP_VOLUME, 0, 1u << ('R' - 'A'), 0};
    OnDeviceChange(DBT_DEVICEARRIVAL, LPARAM(&volume));
    EXPECT_TRUE(ParentWatch.Armed()) << "the drive's return was not looked at";

    // Asked to let go while a scan waits on the shell, showing Checking or
    // its result: the scan takes nothing back, sounds no alert for the folder
    // let go, and leaves it to the drive's events.
    stick = DriveRegistration;
    ASSERT_TRUE(CreateDirectoryA("r:\\gone", nullptr));
    CloseHandle(CreateFileA("r:\\gone\\page.pdf", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    for (int interrupted : {1, 2}) {
        SCOPED_TRACE(interrupted == 1 ? "Checking" : "the result");
        int calls = 0;
        TrayShell = [&](DWORD message, NOTIFYICONDATAA* data) {
            if (++calls == interrupted)
                tell(DBT_DEVICEQUERYREMOVE, stick);
            return Shell_NotifyIconA(message, data);
        };
        WasNotEmpty = 0;
        AlertCalls.clear();
        ScanFolder(1);
        EXPECT_FALSE(ChangeHandle.Armed() || ParentWatch.Armed()) << "the scan took the drive back";
        EXPECT_TRUE(AlertCalls.empty());
        EXPECT_EQ(INFINITE, ScanTimeout()) << "the folder let go is looked at every 10 s";
    }
    // Asked to let go while the listing waits on the drive: answered at once,
    // and what the late listing armed is closed, its result dropped.
    TrayShell = nullptr;
    const HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Lister = [&](const WCHAR* pattern, WIN32_FIND_DATAW* entry) {
        WaitForSingleObject(release, 5000);
        return FindFirstFileW(pattern, entry);
    };
    std::list<SameObject> armed; // each watch the look armed
    ChangeNotifier = [&](const char* watched, DWORD filter) {
        const HANDLE notification = FindFirstChangeNotificationA(watched, FALSE, filter);
        armed.emplace_back(notification);
        return notification;
    };
    DWORD answered = INFINITE, started = GetTickCount();
    ModalVisit letGo("letting go while the listing waits", [&] {
        const DWORD asked = GetTickCount();
        tell(DBT_DEVICEQUERYREMOVE, stick);
        answered = GetTickCount() - asked;
        return true;
    });
    ScanFolder(1);
    EXPECT_LT(GetTickCount() - started, 1000u) << "the scan waited for the listing";
    EXPECT_LT(answered, 100u);
    ASSERT_FALSE(armed.empty());
    SetEvent(release);
    const auto open = [&] {
        return std::any_of(armed.begin(), armed.end(), [](const SameObject& a) { return a.StillOpen(); });
    };
    for (DWORD waited = 0; open() && waited < 3000; waited += 20)
        Sleep(20);
    EXPECT_FALSE(open()) << "the late listing left a watch on the drive";
    EXPECT_FALSE(ChangeHandle.Armed() || ParentWatch.Armed());
    EXPECT_EQ(Unavailable, CurrentTrayState);
    EXPECT_TRUE(AlertCalls.empty());
    CloseHandle(release);
    EXPECT_TRUE(RemoveTree("r:\\gone"));

    // Another folder, listed but not watched: the drive's events concern it no longer.
    ChangeNotifier = [](const char*, DWORD) { return INVALID_HANDLE_VALUE; };
    Watch(folder.Path());
    EXPECT_EQ(Empty, Scan());
    tell(DBT_DEVICEREMOVECOMPLETE, stick);
    EXPECT_EQ(Empty, CurrentTrayState);
}

// Under a Japanese locale (CTest runs these so): in code page 932, 予 (97 5C)
// and 表 (95 5C) end in a backslash byte.
class DoubleByte : public ScanTest {};

TEST_F(DoubleByte, ANameWithABackslashByteIsListedAndWalkedUpFromByCharacters)
{
    ASSERT_EQ(932u, GetACP());
    const char* const name = "\x97\x5C\x92\xE8\x95\x5C"; // 予定表
    Watch(folder.AddFolder(name));
    EXPECT_EQ(Empty, Scan());
    folder.AddFile((std::string(name) + "\\inside.txt").c_str());
    Count(1, 0);
    EXPECT_EQ(NotEmpty, Scan());

    // Missing, 予定 is watched for from the folder above it, not from half a 予.
    std::string above;
    ChangeNotifier = [&](const char* watched, DWORD filter) {
        above = filter == FILE_NOTIFY_CHANGE_DIR_NAME ? watched : above;
        return FindFirstChangeNotificationA(watched, FALSE, filter);
    };
    Watch(folder.Path() + "\\\x97\x5C\x92\xE8");
    EXPECT_EQ(Unavailable, Scan());
    EXPECT_EQ(folder.Path(), above);
}

TEST_F(ScanTest, AnEmptyPathIsUnavailableWithoutListingOrAlert)
{
    WatchedFolder[0] = 0;
    WasNotEmpty = 0;
    EXPECT_EQ(Unavailable, Scan());
    EXPECT_EQ(0, WasNotEmpty);
    EXPECT_TRUE(AlertCalls.empty());
    EXPECT_EQ(INVALID_HANDLE_VALUE, ChangeHandle);
}

// With the alert comes the notification, unless it is turned off: titled
// with the folder's own name, it names what landed.
TEST_F(ScanTest, TheAlertSoundsWhenTheFolderTurnsNonEmpty)
{
    const std::string missing = folder.Path() + "\\missing";
    const std::string file = folder.AddFile("a.txt");
    TempFolder empty, unspellable;
    // Named in the ANSI code page, which the listing must speak, not the OEM one.
    const std::string accented = folder.AddFolder("R\xe9sum\xe9");
    // A name code page 1252 cannot spell, as Windows before 10 1903 has it.
    CloseHandle(CreateFileW(
        (std::wstring(unspellable.Path().begin(), unspellable.Path().end()) + L"\\Пример.pdf").c_str(),
        GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    TrayShell = [](DWORD, NOTIFYICONDATAA*) { return TRUE; };
    // Each step: which folder to scan, with or without the notification, and
    // whether the alert sounds, with which notification.
    const struct {
        const std::string* path;
        int notify, state;
        bool alert;
        const char* notice;
    } steps[] = {
        {&folder.Path(), 1, NotEmpty, true, "a.txt is waiting"}, // the first non-empty result after start
        {&folder.Path(), 1, NotEmpty, false, nullptr},
        {&missing, 1, Unavailable, false, nullptr},
        {&folder.Path(), 1, NotEmpty, false, nullptr}, // non-empty before it could not list
        {&empty.Path(), 1, Empty, false, nullptr},
        {&missing, 1, Unavailable, false, nullptr},
        {&folder.Path(), 1, NotEmpty, true, "a.txt is waiting"}, // empty before it could not list
        {&accented, 1, Empty, false, nullptr},
        {&unspellable.Path(), 1, NotEmpty, true, "Something is waiting"},
        {&empty.Path(), 0, Empty, false, nullptr},
        {&folder.Path(), 0, NotEmpty, true, nullptr},
    };
    for (size_t i = 0; i < sizeof(steps) / sizeof(steps[0]); ++i) {
        SCOPED_TRACE(i);
        AlertCalls.clear();
        TrayCalls.clear();
        ShowNotification = steps[i].notify;
        Watch(*steps[i].path);
        EXPECT_EQ(steps[i].state, Scan());
        EXPECT_EQ(steps[i].alert ? 1u : 0u, AlertCalls.size());
        std::vector<TrayCall> notices;
        std::copy_if(TrayCalls.begin(), TrayCalls.end(), std::back_inserter(notices),
                     [](const TrayCall& call) { return call.flags & NIF_INFO; });
        ASSERT_EQ(steps[i].notice ? 1u : 0u, notices.size());
        if (steps[i].notice) {
            EXPECT_EQ(steps[i].notice, notices[0].info);
            EXPECT_EQ(steps[i].path->substr(steps[i].path->rfind('\\') + 1), notices[0].infoTitle);
            EXPECT_EQ(DWORD(NIIF_INFO | NIIF_NOSOUND | NIIF_RESPECT_QUIET_TIME), notices[0].infoFlags);
        }
    }
}

TEST_F(ScanTest, TheBuzzerModeChoosesTheSound)
{
    folder.AddFile("a.txt");
    TempFolder empty;
    const struct {
        int mode;
        std::vector<UINT> sounds;
    } cases[] = {{0, {}}, {1, {0xFFFFFFFF}}, {2, {MB_ICONASTERISK}}, {3, {0xFFFFFFFF}}, {-1, {0xFFFFFFFF}}};
    for (const auto& c : cases) {
        BuzzerMode = c.mode;
        Watch(empty.Path());
        Scan();
        AlertCalls.clear();
        Watch(folder.Path());
        Scan();
        EXPECT_EQ(c.sounds, AlertCalls) << "mode " << c.mode;
    }
}

TEST_F(ScanTest, CheckingShowsFirstAndTheTipFollowsTheFolder)
{
    folder.AddFile("a.txt");
    ScanFolder(0);
    ASSERT_EQ(NotEmpty, CurrentTrayState);
    AlertCalls.clear();
    TempFolder other;
    other.AddFile("b.txt");
    Watch(other.Path());
    TrayCalls.clear();
    ScanFolder(0);
    ASSERT_EQ(1u, TrayCalls.size()); // the same state of another folder
    EXPECT_EQ("Tarnwick: " + other.Path() + " has something in it", TrayCalls[0].tip);
    ScanFolder(1);
    EXPECT_EQ(TrayIcons[Checking], TrayCalls[1].icon);
    EXPECT_EQ(NotEmpty, CurrentTrayState);
    EXPECT_TRUE(AlertCalls.empty());
}

TEST_F(ScanTest, EveryScanReplacesTheNotificationItFound)
{
    for (int i = 0; i < 20; ++i) {
        ScanFolder(i % 2);
        const HANDLE previous = ChangeHandle;
        ASSERT_TRUE(ChangeHandle.Armed());
        const SameObject old(previous);
        ASSERT_TRUE(old.NamedBy(previous));
        // The old notification has fired; only a fresh one waits again.
        const std::string file = folder.AddFile(("f" + std::to_string(i)).c_str());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(previous, 1000));
        ScanFolder(i % 2);
        // The old handle was closed, though its value may name something new.
        EXPECT_FALSE(old.NamedBy(previous));
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(ChangeHandle, 0));
        DeleteFileA(file.c_str());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ChangeHandle, 1000));
    }
}

TEST_F(ScanTest, TheNotificationFiresOnEntriesComingGoingAndChangingButNotInsideSubfolders)
{
    const std::string sub = folder.AddFolder("sub");
    const std::string file = folder.Path() + "\\a.txt";
    const std::string renamed = folder.Path() + "\\b.txt";
    struct Change {
        const char* what;
        bool signals;
    };
    const Change changes[] = {
        {"create", true}, {"hide", true},   {"unhide", true},
        {"rename", true}, {"delete", true}, {"inside subfolder", false},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        ScanFolder(0);
        const std::string what = change.what;
        if (what == "create")
            folder.AddFile("a.txt");
        else if (what == "hide")
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN);
        else if (what == "unhide")
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        else if (what == "rename")
            MoveFileA(file.c_str(), renamed.c_str());
        else if (what == "delete")
            DeleteFileA(renamed.c_str());
        else
            CloseHandle(CreateFileA((sub + "\\inner.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                                    nullptr));
        EXPECT_EQ(change.signals ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(ChangeHandle, 300));
    }
}

} // namespace
