// The real program, started under Wine and driven from this process.
#include <gtest/gtest.h>

#include "tests/e2e/driver.h"

namespace {

class EndToEnd : public testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }

    // Stores a watched folder as an earlier run would have left it.
    void StoreFolder(const std::string& folder) { WriteString(SettingsKey, "Folder", folder); }
};

TEST_F(EndToEnd, ASecondCopyEndsAtOnceAndChangesNothing)
{
    ScratchFolder folder;
    StoreFolder(folder.Path());
    WriteNumber(SettingsKey, "Buzzer", 2);
    RunningProgram first;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.WaitUntilIdle());
    WriteNumber(SettingsKey, "Buzzer", 0); // a second copy must not rewrite this

    RunningProgram second;
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(0u, second.WaitForExit(5000));
    DWORD buzzer = 99;
    EXPECT_TRUE(ReadNumber(SettingsKey, "Buzzer", &buzzer));
    EXPECT_EQ(0u, buzzer);
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(0u, first.Exit());
}

TEST_F(EndToEnd, FirstStartStoresDefaultsAsksForAFolderAndCancellingEnds)
{
    RunningProgram program;
    ASSERT_TRUE(program.Start());
    HWND browser = program.WaitForDialog();
    ASSERT_NE(nullptr, browser);

    std::string folder = "unset";
    EXPECT_TRUE(ReadString(SettingsKey, "Folder", &folder));
    EXPECT_EQ("", folder);
    const struct {
        const char* name;
        DWORD value;
    } defaults[] = {{"Buzzer", 1}, {"Rescan", 0}, {"See hiddeen files", 1}, {"See subfolders", 1}};
    for (const auto& d : defaults) {
        DWORD value = 99;
        EXPECT_TRUE(ReadNumber(SettingsKey, d.name, &value)) << d.name;
        EXPECT_EQ(d.value, value) << d.name;
    }
    std::string run;
    ASSERT_TRUE(ReadString(RunKey, "Tarnwick", &run));
    EXPECT_EQ("\"" + ProgramFile() + "\"", run);
    // The icon is up while the browser asks; with no folder it cannot list.
    EXPECT_EQ(TrayPicture::Unavailable, WaitForTrayPicture(TrayPicture::Unavailable));

    AnswerBrowser(browser, "");
    EXPECT_EQ(0u, program.WaitForExit());
    EXPECT_EQ(TrayPicture::None, WaitForTrayPicture(TrayPicture::None));
}

TEST_F(EndToEnd, ChoosingAFolderAtFirstStartWatchesIt)
{
    ScratchFolder folder;
    RunningProgram program;
    ASSERT_TRUE(program.Start());
    HWND browser = program.WaitForDialog();
    ASSERT_NE(nullptr, browser);
    AnswerBrowser(browser, folder.Path());
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    std::string stored;
    EXPECT_TRUE(ReadString(SettingsKey, "Folder", &stored));
    EXPECT_EQ(folder.Path(), stored);

    folder.Add("arrival.txt");
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty, 2000));
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, AStoredPathNamingAFileAsksAgain)
{
    ScratchFolder folder;
    StoreFolder(folder.Add("not-a-folder.txt"));
    RunningProgram program;
    ASSERT_TRUE(program.Start());
    HWND browser = program.WaitForDialog();
    ASSERT_NE(nullptr, browser);
    AnswerBrowser(browser, "");
    EXPECT_EQ(0u, program.WaitForExit());
}

TEST_F(EndToEnd, AStoredMissingFolderIsKeptAndShownUnavailable)
{
    std::string missing;
    {
        ScratchFolder gone;
        missing = gone.Path();
    }
    StoreFolder(missing);
    RunningProgram program;
    ASSERT_TRUE(program.Start());
    ASSERT_NE(nullptr, program.WaitForWindow());
    EXPECT_EQ(TrayPicture::Unavailable, WaitForTrayPicture(TrayPicture::Unavailable));
    EXPECT_EQ(nullptr, program.WaitForDialog(500));
    std::string stored;
    EXPECT_TRUE(ReadString(SettingsKey, "Folder", &stored));
    EXPECT_EQ(missing, stored);
    EXPECT_EQ(0u, program.Exit());
}

TEST_F(EndToEnd, SettingsWrittenByOneRunAreReadByTheNext)
{
    ScratchFolder folder;
    StoreFolder(folder.Path());
    WriteString(RunKey, "Tarnwick", "started with Windows");
    RunningProgram first;
    ASSERT_TRUE(first.Start());
    HWND window = first.WaitForWindow();
    ASSERT_NE(nullptr, window);
    // Rescan Long, Buzzer Wave, hidden entries off, start with Windows off.
    PostMessageA(window, WM_COMMAND, 213, 0);
    PostMessageA(window, WM_COMMAND, 202, 0);
    PostMessageA(window, WM_COMMAND, 110, 0);
    PostMessageA(window, WM_COMMAND, 109, 0);
    EXPECT_EQ(0u, first.Exit());
    std::string run;
    EXPECT_FALSE(ReadString(RunKey, "Tarnwick", &run));

    RunningProgram second;
    ASSERT_TRUE(second.Start());
    ASSERT_NE(nullptr, second.WaitForWindow());
    EXPECT_EQ(0u, second.Exit());
    DWORD value = 99;
    EXPECT_TRUE(ReadNumber(SettingsKey, "Rescan", &value));
    EXPECT_EQ(3u, value);
    EXPECT_TRUE(ReadNumber(SettingsKey, "Buzzer", &value));
    EXPECT_EQ(2u, value);
    EXPECT_TRUE(ReadNumber(SettingsKey, "See hiddeen files", &value));
    EXPECT_EQ(0u, value);
    // Permanent was off, so the next start did not write the Run value again.
    EXPECT_FALSE(ReadString(RunKey, "Tarnwick", &run));
}

} // namespace
