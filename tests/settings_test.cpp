// The settings against the real registry and the real menus.
#include <gtest/gtest.h>

#include <algorithm>

#include "resource.h"
#include "settings/settings.h"
#include "tests/support/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/program_state.h"
#include "tests/support/registry.h"
#include "tests/support/ui.h"
#include "ui/tray_menu.h"
#include "watch/scan.h"
#include "watch/tray.h"

namespace {

class SettingsTest : public ProgramTest {
protected:
    static RawValue Setting(const char* name) { return Stored(SettingsKey, name); }
    static bool RunValueExists() { return Stored(RunKey, "Tarnwick") != Missing; }
};

TEST_F(SettingsTest, AFirstStartStoresEveryDefault)
{
    LoadSettings();
    EXPECT_EQ(RawString(""), Setting("Folder"));
    EXPECT_EQ(RawNumber(1), Setting("Buzzer"));
    EXPECT_EQ(RawNumber(0), Setting("Rescan"));
    EXPECT_EQ(RawNumber(1), Setting("See hiddeen files"));
    EXPECT_EQ(RawNumber(1), Setting("See subfolders"));
    EXPECT_EQ(RawNumber(1), Setting("Notify"));
    EXPECT_EQ(1, Permanent);
    EXPECT_FALSE(RunValueExists()); // the Run key is not read or written yet
}

TEST_F(SettingsTest, LaterStartsTakeStartingWithWindowsFromTheRunValue)
{
    WriteString(SettingsKey, "Folder", "C:\\Data");
    LoadSettings();
    EXPECT_EQ(0, Permanent);
    EXPECT_STREQ("C:\\Data", WatchedFolder);

    Permanent = 1;
    WriteString(RunKey, "Tarnwick", "anything");
    LoadSettings();
    EXPECT_EQ(1, Permanent);
}

TEST_F(SettingsTest, WithoutAFolderValueTheRunValueIsNotConsulted)
{
    WriteNumber(SettingsKey, "Buzzer", 2);
    LoadSettings();
    EXPECT_EQ(1, Permanent);
    EXPECT_EQ(2, BuzzerMode);
}

// Before Windows 10 1903 the program runs in the system's code page (as this
// test does, in 1252): a folder it cannot spell is watched by its short name,
// and the stored name is kept.
TEST_F(SettingsTest, AStoredFolderTheCodePageCannotSpellIsWatchedByItsShortName)
{
    TempFolder base;
    const std::wstring folder = std::wstring(base.Path().begin(), base.Path().end()) + L"\\Пример";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    WCHAR shortName[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameW(folder.c_str(), shortName, MAX_PATH));
    WriteWide(SettingsKey, "Folder", folder);
    LoadSettings();
    EXPECT_EQ(std::string(shortName, shortName + lstrlenW(shortName)), WatchedFolder);
    EXPECT_EQ(folder, StoredWide(SettingsKey, "Folder"));
}

TEST_F(SettingsTest, StoredValuesAreReadAsTheyStand)
{
    WriteString(SettingsKey, "Folder", "C:\\Data");
    WriteNumber(SettingsKey, "Buzzer", 7);
    WriteNumber(SettingsKey, "Rescan", 9);
    WriteNumber(SettingsKey, "See hiddeen files", 0);
    WriteNumber(SettingsKey, "See subfolders", 4);
    LoadSettings();
    EXPECT_EQ(7, BuzzerMode);
    EXPECT_EQ(9, RescanDelay);
    EXPECT_EQ(0, ShowHidden);
    EXPECT_EQ(4, ShowSubfolders);
}

TEST_F(SettingsTest, AnOverlongFolderIsNotReadAndStaysStored)
{
    const std::string overlong(1100, 'f');
    WriteString(SettingsKey, "Folder", overlong);
    lstrcpyA(WatchedFolder, "");
    LoadSettings();
    EXPECT_STREQ("", WatchedFolder);
    EXPECT_EQ(RawString(overlong), Setting("Folder"));
}

TEST_F(SettingsTest, ValuesOfTheWrongTypeReadAsDefaultsAndAreLeftAlone)
{
    WriteNumber(SettingsKey, "Folder", 5);
    WriteString(SettingsKey, "Buzzer", "2");
    WriteString(SettingsKey, "Notify", "0");
    LoadSettings();
    EXPECT_STREQ("", WatchedFolder);
    EXPECT_EQ(1, BuzzerMode);
    EXPECT_EQ(1, ShowNotification);
    EXPECT_EQ(RawNumber(5), Setting("Folder"));
    EXPECT_EQ(RawString("2"), Setting("Buzzer"));
    EXPECT_EQ(RawString("0"), Setting("Notify"));
}

// The loop then waits as long as the delay says, but looks every 10 s at
// least at a folder where nothing would tell of a change: one that lists and
// cannot be watched, or one missing with no watch above it and no drive
// arrival to wait for. Windows announces sticks, cards and discs arriving,
// not network connections: a letter never seen may be mapped by a logon
// script after the program starts.
TEST_F(SettingsTest, TheRescanDelayIsStoredMarkedAndScanned)
{
    TempFolder folder;
    const std::string missing = folder.Path() + "\\missing";
    const struct {
        const char* what;
        const char* path;
        bool watchable, soon;
    } cases[] = {
        {"unwatchable", folder.Path().c_str(), false, true},
        {"missing, nothing watched above", missing.c_str(), false, true},
        {"missing below a watched folder", missing.c_str(), true, false},
        {"on a letter never seen, which a network drive may take later", "Q:\\inbox", true, true},
        {"on a share whose server is away", "\\\\server-away.invalid\\scans\\inbox", true, true},
    };
    const auto refuse = [](const char*, DWORD) { return INVALID_HANDLE_VALUE; };
    for (int index = 0; index < 4; ++index) {
        lstrcpyA(WatchedFolder, folder.Path().c_str());
        ChangeNotifier = nullptr;
        CurrentTrayState = -1;
        SetRescanDelay(index);
        EXPECT_EQ(RawNumber(index), Setting("Rescan"));
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(other == index, IsChecked(RescanMenu.Handle(), IDM_RESCAN_DISABLED + other));
        EXPECT_NE(-1, CurrentTrayState) << "no scan";
        // Disabled, Short (10 s), Normal (1 min), Long (10 min).
        const DWORD timeouts[] = {INFINITE, 10000, 60000, 600000};
        EXPECT_EQ(timeouts[index], RescanTimeout());
        EXPECT_EQ(timeouts[index], ScanTimeout());
        for (const auto& c : cases) {
            ChangeNotifier = nullptr;
            if (!c.watchable)
                ChangeNotifier = refuse;
            lstrcpyA(WatchedFolder, c.path);
            ScanFolder(0);
            EXPECT_EQ(c.soon ? std::min(timeouts[index], DWORD(10000)) : timeouts[index], ScanTimeout())
                << c.what;
        }
        // A change above the missing folder after which a watch above can be
        // armed: it tells from now on.
        lstrcpyA(WatchedFolder, missing.c_str());
        ChangeNotifier = refuse;
        ScanFolder(0);
        ChangeNotifier = nullptr;
        LookAbove();
        EXPECT_EQ(timeouts[index], ScanTimeout()) << "a watch above armed by a change above";
    }
}

TEST_F(SettingsTest, ARescanDelayOutsideTheTableIsStoredUnmarkedAndWaitsForever)
{
    for (int index : {4, -1, 1000}) {
        SetRescanDelay(index);
        EXPECT_EQ(RawNumber(index), Setting("Rescan"));
        for (UINT id = IDM_RESCAN_DISABLED; id <= IDM_RESCAN_LONG; ++id)
            EXPECT_FALSE(IsChecked(RescanMenu.Handle(), id));
        EXPECT_EQ(INFINITE, RescanTimeout());
    }
}

TEST_F(SettingsTest, TheBuzzerAndTheNotificationAreStoredAndMarkedWithoutAScan)
{
    for (int mode : {0, 1, 2, 3}) {
        SetBuzzer(mode);
        EXPECT_EQ(RawNumber(mode), Setting("Buzzer"));
        for (int other = 0; other < 3; ++other)
            EXPECT_EQ(other == mode, IsChecked(BuzzerMenu.Handle(), IDM_BUZZER_QUIET + other));
    }
    for (int on : {0, 1, 0}) {
        SetShowNotification(on);
        EXPECT_EQ(RawNumber(on), Setting("Notify"));
        EXPECT_EQ(on == 1, IsChecked(BuzzerMenu.Handle(), IDM_NOTIFY));
    }
    EXPECT_EQ(-1, CurrentTrayState);
}

TEST_F(SettingsTest, TheCountingOptionsAreStoredMarkedAndRescan)
{
    TempFolder folder;
    folder.AddFile("secret.txt", FILE_ATTRIBUTE_HIDDEN);
    folder.AddFolder("sub");
    lstrcpyA(WatchedFolder, folder.Path().c_str());
    ShowSubfolders = 0;
    SetShowHidden(0);
    EXPECT_EQ(RawNumber(0), Setting("See hiddeen files"));
    EXPECT_FALSE(IsChecked(TrayMenu.Handle(), IDM_HIDDEN));
    EXPECT_EQ(Empty, CurrentTrayState);
    SetShowHidden(3);
    EXPECT_EQ(RawNumber(3), Setting("See hiddeen files"));
    EXPECT_TRUE(IsChecked(TrayMenu.Handle(), IDM_HIDDEN));
    EXPECT_EQ(NotEmpty, CurrentTrayState);

    SetShowHidden(0);
    SetShowSubfolders(1);
    EXPECT_EQ(RawNumber(1), Setting("See subfolders"));
    EXPECT_TRUE(IsChecked(TrayMenu.Handle(), IDM_SUBFOLDERS));
    EXPECT_EQ(NotEmpty, CurrentTrayState);
    SetShowSubfolders(0);
    EXPECT_EQ(RawNumber(0), Setting("See subfolders"));
    EXPECT_FALSE(IsChecked(TrayMenu.Handle(), IDM_SUBFOLDERS));
    EXPECT_EQ(Empty, CurrentTrayState);
}

TEST_F(SettingsTest, StartingWithWindowsWritesOrDeletesTheRunValue)
{
    SetPermanent(1);
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof(self));
    EXPECT_EQ(RawString("\"" + std::string(self) + "\""), Stored(RunKey, "Tarnwick"));
    EXPECT_TRUE(IsChecked(TrayMenu.Handle(), IDM_PERMANENT));
    EXPECT_EQ(-1, CurrentTrayState);

    SetPermanent(0);
    EXPECT_FALSE(RunValueExists());
    EXPECT_FALSE(IsChecked(TrayMenu.Handle(), IDM_PERMANENT));
    SetPermanent(0); // already gone: no complaint
    EXPECT_EQ(0, Permanent);
}

TEST_F(SettingsTest, RemovingDeletesTheKeyAndRunValueButKeepsTheParents)
{
    LoadSettings();
    SetPermanent(1);
    RemoveSettings();
    EXPECT_FALSE(KeyExists(SettingsKey));
    EXPECT_TRUE(KeyExists("Software\\Orrel\\Tarnwick"));
    EXPECT_FALSE(RunValueExists());
    RemoveSettings(); // nothing left to remove
}

} // namespace
