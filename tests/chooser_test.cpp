// The folder chooser, with the shell's real folder browser answered by a
// timer inside its modal loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "resource.h"
#include "settings/chooser.h"
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

class ChooserTest : public ProgramTest {
protected:
    // Opens the chooser and answers the browser with `answer` (which its tree
    // shows as `shown`, when not by its last name), or cancels it when that is
    // empty; what the chooser returned. Nothing else may show, neither a
    // message nor the browser again: whatever does is cancelled.
    static bool Choose(const std::string& answer, const std::string& shown = "")
    {
        std::unique_ptr<BrowserAnswer> browser;
        HWND first = nullptr;
        bool greyedWhileOpen = false, answered = false, more = false;
        ModalVisit visit(
            "answering the folder browser with \"" + answer + "\"",
            [&] {
                HWND dialog = FindThreadDialog();
                if (dialog && !first) {
                    browser.reset(new BrowserAnswer(first = dialog, answer, shown));
                    greyedWhileOpen = IsGreyed(TrayMenu.Handle(), IDM_SELECT_FOLDER);
                }
                if (dialog && dialog != first) {
                    more = true;
                    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                } else if (dialog && !answered) {
                    answered = browser->Step();
                }
                return false;
            },
            10000, 50);
        const bool chosen = ChooseFolder();
        EXPECT_TRUE(answered);
        EXPECT_FALSE(more) << "a message, or the browser again";
        EXPECT_TRUE(greyedWhileOpen);
        EXPECT_FALSE(IsGreyed(TrayMenu.Handle(), IDM_SELECT_FOLDER));
        return chosen;
    }
    static RawValue StoredFolder() { return Stored(SettingsKey, "Folder"); }
};

TEST_F(ChooserTest, AChosenFolderIsStoredWatchedAndScannedWithoutChecking)
{
    TempFolder folder;
    folder.AddFile("a.txt");
    // With no picture for the result, only Checking would add the icon.
    TrayIcons[NotEmpty] = nullptr;
    EXPECT_TRUE(Choose(folder.Path()));
    EXPECT_EQ(folder.Path(), WatchedFolder);
    EXPECT_EQ(RawString(folder.Path()), StoredFolder());
    EXPECT_EQ(NotEmpty, CurrentTrayState);
    EXPECT_EQ(0u, TrayIconData.cbSize) << "Checking was shown";
    EXPECT_NE(INVALID_HANDLE_VALUE, ChangeHandle);
    EXPECT_EQ(1u, AlertCalls.size());
}

TEST_F(ChooserTest, CancellingChangesNothing)
{
    lstrcpyA(WatchedFolder, "C:\\Before");
    EXPECT_FALSE(Choose(""));
    EXPECT_STREQ("C:\\Before", WatchedFolder);
    EXPECT_EQ(Missing, StoredFolder());
    EXPECT_EQ(-1, CurrentTrayState);
}

// Computer has no file-system path: the browser closes without a word, and
// nothing changes.
TEST_F(ChooserTest, AnItemWithoutAPathClosesTheBrowserAndChangesNothing)
{
    lstrcpyA(WatchedFolder, "C:\\Before");
    EXPECT_FALSE(Choose("::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", "My Computer"));
    EXPECT_STREQ("C:\\Before", WatchedFolder);
}

TEST_F(ChooserTest, ADriveRootKeepsItsSingleBackslash)
{
    EXPECT_TRUE(Choose("C:\\"));
    EXPECT_STREQ("C:\\", WatchedFolder);
    EXPECT_EQ(RawString("C:\\"), StoredFolder());
    EXPECT_EQ(NotEmpty, CurrentTrayState);
}

TEST_F(ChooserTest, SwitchingBetweenNonEmptyFoldersSoundsNoAlert)
{
    TempFolder first, second, empty;
    first.AddFile("a.txt");
    second.AddFile("b.txt");
    ASSERT_TRUE(Choose(first.Path()));
    AlertCalls.clear();
    ASSERT_TRUE(Choose(second.Path()));
    EXPECT_TRUE(AlertCalls.empty());
    // The state did not change, but the tip names the new folder.
    EXPECT_EQ("Tarnwick: " + second.Path() + " has something in it", TrayIconData.szTip);
    ASSERT_TRUE(Choose(empty.Path()));
    ASSERT_TRUE(Choose(first.Path()));
    EXPECT_EQ(1u, AlertCalls.size());
}

} // namespace
