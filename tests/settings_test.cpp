// The settings against the real registry and the real menus.
#include <gtest/gtest.h>

#include <algorithm>

#include "resource.h"
#include "settings/settings.h"
#include "tests/support/test_support.h"
#include "ui/tray_menu.h"
#include "watch/tray.h"

namespace {

class SettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ClearStoredSettings();
        ResetProgramState();
        SetUpMainWindow();
    }
    void TearDown() override
    {
        ResetProgramState();
        ClearStoredSettings();
    }

    static DWORD Stored(const char* name)
    {
        DWORD value = 0xDEADBEEF;
        EXPECT_TRUE(ReadStoredNumber(SettingsKeyPath, name, &value)) << name;
        return value;
    }
    static bool RunValueExists()
    {
        std::string value;
        return ReadStoredString(RunKeyPath, "Tarnwick", &value);
    }
};

TEST_F(SettingsTest, AFirstStartStoresEveryDefault)
{
    LoadSettings();
    std::string folder = "unset";
    EXPECT_TRUE(ReadStoredString(SettingsKeyPath, "Folder", &folder));
    EXPECT_EQ("", folder);
    EXPECT_EQ(1u, Stored("Buzzer"));
    EXPECT_EQ(0u, Stored("Rescan"));
    EXPECT_EQ(1u, Stored("See hiddeen files"));
    EXPECT_EQ(1u, Stored("See subfolders"));
    EXPECT_EQ(1, Permanent);
    EXPECT_FALSE(RunValueExists()); // the Run key is not read or written yet
}

TEST_F(SettingsTest, LaterStartsTakeStartingWithWindowsFromTheRunValue)
{
    WriteStoredString(SettingsKeyPath, "Folder", "C:\\Data");
    LoadSettings();
    EXPECT_EQ(0, Permanent);
    EXPECT_STREQ("C:\\Data", WatchedFolder);

    Permanent = 1;
    WriteStoredString(RunKeyPath, "Tarnwick", "anything");
    LoadSettings();
    EXPECT_EQ(1, Permanent);
}

TEST_F(SettingsTest, WithoutAFolderValueTheRunValueIsNotConsulted)
{
    WriteStoredNumber(SettingsKeyPath, "Buzzer", 2);
    LoadSettings();
    EXPECT_EQ(1, Permanent);
    EXPECT_EQ(2, BuzzerMode);
}

TEST_F(SettingsTest, StoredValuesAreReadAsTheyStand)
{
    WriteStoredString(SettingsKeyPath, "Folder", "C:\\Data");
    WriteStoredNumber(SettingsKeyPath, "Buzzer", 7);
    WriteStoredNumber(SettingsKeyPath, "Rescan", 9);
    WriteStoredNumber(SettingsKeyPath, "See hiddeen files", 0);
    WriteStoredNumber(SettingsKeyPath, "See subfolders", 4);
    LoadSettings();
    EXPECT_EQ(7, BuzzerMode);
    EXPECT_EQ(9, RescanDelay);
    EXPECT_EQ(0, ShowHidden);
    EXPECT_EQ(4, ShowSubfolders);
}

TEST_F(SettingsTest, AnOverlongFolderIsNotReadAndStaysStored)
{
    const std::string overlong(600, 'f');
    WriteStoredString(SettingsKeyPath, "Folder", overlong.c_str());
    lstrcpyA(WatchedFolder, "");
    LoadSettings();
    EXPECT_STREQ("", WatchedFolder);
    std::string stored;
    EXPECT_TRUE(ReadStoredString(SettingsKeyPath, "Folder", &stored));
    EXPECT_EQ(overlong, stored);
}

TEST_F(SettingsTest, ValuesOfTheWrongTypeReadAsDefaultsAndAreLeftAlone)
{
    WriteStoredNumber(SettingsKeyPath, "Folder", 5);
    WriteStoredString(SettingsKeyPath, "Buzzer", "2");
    LoadSettings();
    EXPECT_STREQ("", WatchedFolder);
    EXPECT_EQ(1, BuzzerMode);
    DWORD folder = 0;
    EXPECT_TRUE(ReadStoredNumber(SettingsKeyPath, "Folder", &folder));
    std::string buzzer;
    EXPECT_TRUE(ReadStoredString(SettingsKeyPath, "Buzzer", &buzzer));
}

TEST_F(SettingsTest, TheRescanDelayIsStoredMarkedAndScanned)
{
    lstrcpyA(WatchedFolder, "C:\\");
    for (int index = 0; index < 4; ++index) {
        CurrentTrayState = -1;
        SetRescanDelay(index);
        EXPECT_EQ(DWORD(index), Stored("Rescan"));
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(other == index, IsChecked(RescanMenu.Handle(), IDM_RESCAN_DISABLED + other));
        EXPECT_NE(-1, CurrentTrayState) << "no scan";
        EXPECT_EQ(RescanDelayTable[index], RescanTimeout());
    }
    const DWORD expected[] = {INFINITE, 10000, 60000, 600000};
    EXPECT_TRUE(std::equal(expected, expected + 4, RescanDelayTable));
}

TEST_F(SettingsTest, ARescanDelayOutsideTheTableIsStoredUnmarkedAndWaitsForever)
{
    for (int index : {4, -1, 1000}) {
        SetRescanDelay(index);
        EXPECT_EQ(DWORD(index), Stored("Rescan"));
        for (UINT id = IDM_RESCAN_DISABLED; id <= IDM_RESCAN_LONG; ++id)
            EXPECT_FALSE(IsChecked(RescanMenu.Handle(), id));
        EXPECT_EQ(INFINITE, RescanTimeout());
    }
}

TEST_F(SettingsTest, TheBuzzerIsStoredAndMarkedWithoutAScan)
{
    for (int mode : {0, 1, 2, 3}) {
        SetBuzzer(mode);
        EXPECT_EQ(DWORD(mode), Stored("Buzzer"));
        for (int other = 0; other < 3; ++other)
            EXPECT_EQ(other == mode, IsChecked(BuzzerMenu.Handle(), IDM_BUZZER_QUIET + other));
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
    EXPECT_EQ(0u, Stored("See hiddeen files"));
    EXPECT_FALSE(IsChecked(TrayMenu.Handle(), IDM_HIDDEN));
    EXPECT_EQ(Empty, CurrentTrayState);
    SetShowHidden(3);
    EXPECT_EQ(3u, Stored("See hiddeen files"));
    EXPECT_TRUE(IsChecked(TrayMenu.Handle(), IDM_HIDDEN));
    EXPECT_EQ(NotEmpty, CurrentTrayState);

    SetShowHidden(0);
    SetShowSubfolders(1);
    EXPECT_EQ(1u, Stored("See subfolders"));
    EXPECT_TRUE(IsChecked(TrayMenu.Handle(), IDM_SUBFOLDERS));
    EXPECT_EQ(NotEmpty, CurrentTrayState);
    SetShowSubfolders(0);
    EXPECT_EQ(0u, Stored("See subfolders"));
    EXPECT_FALSE(IsChecked(TrayMenu.Handle(), IDM_SUBFOLDERS));
    EXPECT_EQ(Empty, CurrentTrayState);
}

TEST_F(SettingsTest, StartingWithWindowsWritesOrDeletesTheRunValue)
{
    SetPermanent(1);
    std::string run;
    ASSERT_TRUE(ReadStoredString(RunKeyPath, "Tarnwick", &run));
    const std::string path = ProgramPath();
    // Quoted exactly when the command line was, so a path with spaces stays whole.
    EXPECT_EQ(GetCommandLineA()[0] == '"' ? "\"" + path + "\"" : path, run);
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
    HKEY key;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orrel\\Tarnwick", 0, KEY_READ, &key));
    RegCloseKey(key);
    EXPECT_FALSE(RunValueExists());
    RemoveSettings(); // nothing left to remove
}

TEST(ProgramPath, TakesThePathFromTheCommandLine)
{
    const std::string longLine(300, 'p');
    const struct {
        const char* commandLine;
        std::string path;
    } cases[] = {
        {"\"C:\\Program Files\\Tarnwick\\Tarnwick.exe\"", "C:\\Program Files\\Tarnwick\\Tarnwick.exe"},
        {"\"C:\\Tools\\Tarnwick.exe\" /x y", "C:\\Tools\\Tarnwick.exe"},
        {"\"C:\\Unclosed\\Tarnwick.exe /x", "C:\\Unclosed\\Tarnwick.exe /x"},
        {"C:\\Tools\\Tarnwick.exe /x y", "C:\\Tools\\Tarnwick.exe /x y"},
        {"\"\"", ""},
        {"", ""},
        {longLine.c_str(), std::string(259, 'p')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.path, PathFromCommandLine(c.commandLine)) << c.commandLine;
    EXPECT_EQ(PathFromCommandLine(GetCommandLineA()), ProgramPath());
}

} // namespace
