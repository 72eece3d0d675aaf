// The tray icon's menu and its two submenus.
#pragma once
#include "ui/popup_menu.h"

// Constructed in this order before the entry function runs and destroyed in
// the reverse order after it returns.
extern PopupMenu TrayMenu;
extern PopupMenu RescanMenu;
extern PopupMenu BuzzerMenu;

// Fills the three menus with their items, once, at start-up.
void BuildTrayMenu();
