// Resource and command identifiers. A menu item's command identifier is the
// id of the string that labels it, so IDM_ and IDS_ share one number space.
#pragma once

// Tray menu commands and their labels (string table).
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_OPEN 106
#define IDM_BUZZER 107
#define IDM_SELECT_FOLDER 108
#define IDM_PERMANENT 109
#define IDM_HIDDEN 110
#define IDM_SUBFOLDERS 111
#define IDM_NOTIFY 112
#define IDM_CANCEL 150
#define IDM_BUZZER_QUIET 200
#define IDM_BUZZER_SPEAKER 201
#define IDM_BUZZER_WAVE 202
#define IDM_RESCAN_DISABLED 210
#define IDM_RESCAN_SHORT 211
#define IDM_RESCAN_NORMAL 212
#define IDM_RESCAN_LONG 213
#define IDM_RESCAN_DELAY 300

// Strings that label no menu item.
#define IDS_UNINSTALL 115
#define IDS_CONFIRMATION 116
// The tray icon's tip, one per tray state in state order, each with %s where
// the folder goes; and the tip while no folder is chosen.
#define IDS_TIP_CHECKING 120
#define IDS_TIP_EMPTY 121
#define IDS_TIP_NOT_EMPTY 122
#define IDS_TIP_UNAVAILABLE 123
#define IDS_TIP_NO_FOLDER 124
// The notification's text when something lands: with %s where the name of
// the first entry found goes, and for a name the code page cannot spell.
#define IDS_NOTICE_WAITING 125
#define IDS_NOTICE_SOMETHING 126

// Icons, one per tray state, in state order.
#define IDI_CHECKING 101
#define IDI_EMPTY 102
#define IDI_NOT_EMPTY 103
#define IDI_UNAVAILABLE 104

// Cursor over the About box's web link.
#define IDR_LINK_CURSOR 1

// About box.
#define IDD_ABOUT 900
#define IDC_ABOUT_VERSION 903
#define IDC_ABOUT_NOTICE 904
#define IDC_ABOUT_AUTHOR 905
#define IDC_ABOUT_LINK 906
#define IDC_ABOUT_PICTURE 907
#define IDB_ABOUT 907
// The portrait's box in dialog units, which it fills at 100 % display scale.
#define ABOUT_PICTURE_WIDTH 85
#define ABOUT_PICTURE_HEIGHT 89
