// The string loader and the popup menus, on real menus.
#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "tests/support/ui.h"
#include "ui/popup_menu.h"
#include "ui/res_string.h"
#include "ui/tray_menu.h"

namespace {

std::string TextAt(HMENU menu, int position)
{
    char text[256] = "";
    GetMenuStringA(menu, position, text, sizeof(text), MF_BYPOSITION);
    return text;
}

TEST(ResString, LoadsTextsAndFallsBackToTheId)
{
    EXPECT_STREQ("&About...", Strings.LoadResString(IDM_ABOUT));
    EXPECT_STREQ("Do you wish to uninstall", Strings.LoadResString(IDS_UNINSTALL));
    EXPECT_STREQ("RES721", Strings.LoadResString(721));
    EXPECT_STREQ("RES4294967295", Strings.LoadResString(0xFFFFFFFF));
}

TEST(ResString, EveryLoadReusesTheSameBuffer)
{
    ResString other;
    const char* first = Strings.LoadResString(IDM_EXIT);
    const char* second = other.LoadResString(IDS_CONFIRMATION);
    EXPECT_EQ(first, second);
    EXPECT_STREQ("Confirmation", first);
}

TEST(TrayMenuLayout, HasTheTwelveItemsInOrder)
{
    BuildTrayMenu();
    HMENU menu = TrayMenu.Handle();
    struct Item {
        const char* text;
        UINT id; // 0 for a separator, -1 for a submenu
    };
    const Item expected[] = {
        {"&Open now!", IDM_OPEN},
        {"&Cancel", IDM_CANCEL},
        {"", 0},
        {"&Rescan delay", UINT(-1)},
        {"&Buzzer", UINT(-1)},
        {"&Hidden files", IDM_HIDDEN},
        {"Sub&folders", IDM_SUBFOLDERS},
        {"&Permanent", IDM_PERMANENT},
        {"&Select folder...", IDM_SELECT_FOLDER},
        {"", 0},
        {"&About...", IDM_ABOUT},
        {"E&xit", IDM_EXIT},
    };
    ASSERT_EQ(12, GetMenuItemCount(menu));
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].text, TextAt(menu, i));
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        if (expected[i].id == 0) {
            EXPECT_TRUE(state & MF_SEPARATOR);
        } else if (expected[i].id == UINT(-1)) {
            EXPECT_NE(nullptr, GetSubMenu(menu, i));
        } else {
            EXPECT_EQ(expected[i].id, GetMenuItemID(menu, i));
            EXPECT_FALSE(state & (MF_CHECKED | MF_GRAYED));
        }
    }
    EXPECT_EQ(IDM_OPEN, GetMenuDefaultItem(menu, FALSE, 0));
    // The submenu openers carry no command.
    EXPECT_EQ(UINT(-1), GetMenuItemID(menu, 3));
    EXPECT_EQ(UINT(-1), GetMenuItemID(menu, 4));
    EXPECT_EQ(RescanMenu.Handle(), GetSubMenu(menu, 3));
    EXPECT_EQ(BuzzerMenu.Handle(), GetSubMenu(menu, 4));
    EXPECT_EQ(UINT(-1), GetMenuState(menu, IDM_RESCAN_DELAY, MF_BYCOMMAND));
    EXPECT_EQ(UINT(-1), GetMenuState(menu, IDM_BUZZER, MF_BYCOMMAND));
}

TEST(TrayMenuLayout, SubmenusListTheirChoicesWithDisabledLast)
{
    BuildTrayMenu();
    const UINT rescan[] = {IDM_RESCAN_SHORT, IDM_RESCAN_NORMAL, IDM_RESCAN_LONG, IDM_RESCAN_DISABLED};
    const char* rescanTexts[] = {"&Short", "&Normal", "&Long", "&Disabled"};
    ASSERT_EQ(4, GetMenuItemCount(RescanMenu.Handle()));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(rescan[i], GetMenuItemID(RescanMenu.Handle(), i));
        EXPECT_EQ(rescanTexts[i], TextAt(RescanMenu.Handle(), i));
    }
    // The sounds, then the notification, a choice of its own.
    const UINT buzzer[] = {IDM_BUZZER_QUIET, IDM_BUZZER_SPEAKER, IDM_BUZZER_WAVE, 0, IDM_NOTIFY};
    const char* buzzerTexts[] = {"&Quiet", "&Speaker", "&Wave", "", "&Notification"};
    ASSERT_EQ(5, GetMenuItemCount(BuzzerMenu.Handle()));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(buzzer[i], GetMenuItemID(BuzzerMenu.Handle(), i));
        EXPECT_EQ(buzzerTexts[i], TextAt(BuzzerMenu.Handle(), i));
    }
}

TEST(PopupMenu, ItemOperationsAnswerTheIdOrZeroForAMissingItem)
{
    PopupMenu menu;
    EXPECT_EQ(IDM_HIDDEN, menu.AppendItem(IDM_HIDDEN));
    EXPECT_EQ(IDM_HIDDEN, menu.CheckItem(IDM_HIDDEN));
    EXPECT_TRUE(IsChecked(menu.Handle(), IDM_HIDDEN));
    EXPECT_EQ(IDM_HIDDEN, menu.UncheckItem(IDM_HIDDEN));
    EXPECT_FALSE(IsChecked(menu.Handle(), IDM_HIDDEN));
    EXPECT_EQ(IDM_HIDDEN, menu.GreyItem(IDM_HIDDEN));
    EXPECT_TRUE(IsGreyed(menu.Handle(), IDM_HIDDEN));
    EXPECT_EQ(IDM_HIDDEN, menu.EnableItem(IDM_HIDDEN));
    EXPECT_FALSE(IsGreyed(menu.Handle(), IDM_HIDDEN));
    EXPECT_EQ(IDM_HIDDEN, menu.SetDefaultItem(IDM_HIDDEN));

    EXPECT_EQ(0u, menu.CheckItem(999));
    EXPECT_EQ(0u, menu.UncheckItem(999));
    EXPECT_EQ(0u, menu.GreyItem(999));
    EXPECT_EQ(0u, menu.EnableItem(999));
    EXPECT_EQ(0u, menu.SetDefaultItem(999));
    EXPECT_EQ(1, GetMenuItemCount(menu.Handle()));
    EXPECT_FALSE(GetMenuState(menu.Handle(), IDM_HIDDEN, MF_BYCOMMAND) & (MF_CHECKED | MF_GRAYED));
}

TEST(PopupMenu, AnItemWithoutAStringIsLabelledByItsId)
{
    PopupMenu menu;
    EXPECT_EQ(777u, menu.AppendItem(777));
    EXPECT_EQ("RES777", TextAt(menu.Handle(), 0));
}

TEST(PopupMenu, AttachingASubmenuToNothingOrASeparator)
{
    PopupMenu menu, submenu;
    EXPECT_EQ(0, menu.AttachSubmenu(submenu));
    EXPECT_EQ(0, GetMenuItemCount(menu.Handle()));

    // A separator has no text: the opener is labelled empty, never with junk.
    EXPECT_TRUE(menu.AppendSeparator());
    menu.AttachSubmenu(submenu);
    EXPECT_EQ(submenu.Handle(), GetSubMenu(menu.Handle(), 0));
    EXPECT_EQ("", TextAt(menu.Handle(), 0));
}

TEST(PopupMenu, EachMenuIsDestroyedByItsOwnObjectOnly)
{
    HMENU parentHandle, childHandle;
    auto* child = new PopupMenu;
    {
        PopupMenu parent;
        parent.AppendItem(IDM_BUZZER);
        parent.AttachSubmenu(*child);
        parentHandle = parent.Handle();
        childHandle = child->Handle();
    }
    // The parent went first; its attached submenu belongs to its own object.
    EXPECT_FALSE(IsMenu(parentHandle));
    EXPECT_TRUE(IsMenu(childHandle));
    delete child;
    EXPECT_FALSE(IsMenu(childHandle));

    // The program's order: submenus first, while still attached.
    auto* parent = new PopupMenu;
    child = new PopupMenu;
    parent->AppendItem(IDM_BUZZER);
    parent->AttachSubmenu(*child);
    parentHandle = parent->Handle();
    childHandle = child->Handle();
    delete child;
    EXPECT_FALSE(IsMenu(childHandle));
    // A new menu may take the freed handle; the parent must not destroy it.
    PopupMenu bystander;
    delete parent;
    EXPECT_FALSE(IsMenu(parentHandle));
    EXPECT_TRUE(IsMenu(bystander.Handle()));
}

TEST(PopupMenu, TrackingReturnsWhenTheMenuClosesAndPostsNull)
{
    HWND owner =
        CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    PopupMenu menu;
    menu.AppendItem(IDM_CANCEL);
    ModalVisit cancel("cancelling the menu", [] {
        if (!FindProcessWindow(GetCurrentProcessId(), "#32768", true, 0))
            return false;
        EndMenu();
        return true;
    });
    menu.TrackAtCursor(owner);
    EXPECT_TRUE(cancel.Done());
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, owner, WM_NULL, WM_NULL, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&message, owner, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    DestroyWindow(owner);
}

} // namespace
