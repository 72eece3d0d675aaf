// The folder chooser, with the shell's real folder browser answered by a
// timer inside its modal loop.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "resource.h"
#include "settings/chooser.h"
#include "settings/settings.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_support.h"
#include "ui/tray_menu.h"
#include "watch/scan.h"
#include "watch/tray.h"

namespace {

// What the timer does with the browser, and what it saw while it was open.
std::string Answer;
bool SawBrowser;
bool SelectGreyedWhileOpen;

int Ticks;

// The text of the tree's selected item.
std::string SelectedText(HWND tree)
{
    char text[MAX_PATH] = "";
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = HTREEITEM(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    if (item.hItem)
        SendMessageA(tree, TVM_GETITEMA, 0, LPARAM(&item));
    return text;
}

// The browser fills its tree after it shows and may settle a selection
// after that, so select the answer until the tree shows it, then confirm.
void CALLBACK AnswerBrowser(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND browser = FindThreadDialog();
    HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
    if (!tree || !SendMessageA(tree, TVM_GETCOUNT, 0, 0))
        return;
    SawBrowser = true;
    SelectGreyedWhileOpen = IsGreyed(TrayMenu.Handle(), IDM_SELECT_FOLDER);
    if (!Answer.empty()) {
        const std::string name = Answer.substr(Answer.find_last_of('\\', Answer.size() - 2) + 1);
        if (SelectedText(tree).find(name.substr(0, name.find('\\'))) == std::string::npos) {
            if (Ticks++ % 10 == 0)
                SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, LPARAM(Answer.c_str()));
            return;
        }
    }
    KillTimer(nullptr, id);
    PostMessageA(browser, WM_COMMAND, Answer.empty() ? IDCANCEL : IDOK, 0);
}

class ChooserTest : public testing::Test {
protected:
    void SetUp() override
    {
        ClearStoredSettings();
        ResetProgramState();
        SetUpMainWindow();
        SawBrowser = SelectGreyedWhileOpen = false;
    }
    void TearDown() override
    {
        ResetProgramState();
        ClearStoredSettings();
    }

    static bool Choose(const std::string& answer)
    {
        Answer = answer;
        Ticks = 0;
        SetTimer(nullptr, 0, 50, AnswerBrowser);
        const bool chosen = ChooseFolder();
        EXPECT_TRUE(SawBrowser);
        EXPECT_TRUE(SelectGreyedWhileOpen);
        EXPECT_FALSE(IsGreyed(TrayMenu.Handle(), IDM_SELECT_FOLDER));
        return chosen;
    }
    static std::string StoredFolder()
    {
        std::string folder = "(none)";
        ReadStoredString(SettingsKeyPath, "Folder", &folder);
        return folder;
    }
};

TEST_F(ChooserTest, AChosenFolderIsStoredWatchedAndScannedWithoutChecking)
{
    TempFolder folder;
    folder.AddFile("a.txt");
    EXPECT_TRUE(Choose(folder.Path()));
    EXPECT_EQ(folder.Path(), WatchedFolder);
    EXPECT_EQ(folder.Path(), StoredFolder());
    EXPECT_EQ(NotEmpty, CurrentTrayState);
    EXPECT_NE(INVALID_HANDLE_VALUE, ChangeHandle);
    EXPECT_EQ(1u, AlertCalls.size());
}

TEST_F(ChooserTest, CancellingChangesNothing)
{
    lstrcpyA(WatchedFolder, "C:\\Before");
    EXPECT_FALSE(Choose(""));
    EXPECT_STREQ("C:\\Before", WatchedFolder);
    EXPECT_EQ("(none)", StoredFolder());
    EXPECT_EQ(-1, CurrentTrayState);
}

TEST_F(ChooserTest, ADriveRootKeepsItsSingleBackslash)
{
    EXPECT_TRUE(Choose("C:\\"));
    EXPECT_STREQ("C:\\", WatchedFolder);
    EXPECT_EQ("C:\\", StoredFolder());
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
    // The tip keeps the old path: the state did not change and no Checking showed.
    EXPECT_EQ(first.Path(), TrayIconData.szTip);
    ASSERT_TRUE(Choose(empty.Path()));
    ASSERT_TRUE(Choose(first.Path()));
    EXPECT_EQ(1u, AlertCalls.size());
}

} // namespace
