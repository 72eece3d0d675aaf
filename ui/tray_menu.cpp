#include "ui/tray_menu.h"

#include "resource.h"

PopupMenu TrayMenu;
PopupMenu RescanMenu;
PopupMenu BuzzerMenu;

void BuildTrayMenu()
{
    RescanMenu.AppendItem(IDM_RESCAN_SHORT);
    RescanMenu.AppendItem(IDM_RESCAN_NORMAL);
    RescanMenu.AppendItem(IDM_RESCAN_LONG);
    RescanMenu.AppendItem(IDM_RESCAN_DISABLED);

    BuzzerMenu.AppendItem(IDM_BUZZER_QUIET);
    BuzzerMenu.AppendItem(IDM_BUZZER_SPEAKER);
    BuzzerMenu.AppendItem(IDM_BUZZER_WAVE);
    BuzzerMenu.AppendSeparator();
    BuzzerMenu.AppendItem(IDM_NOTIFY);

    TrayMenu.AppendItem(IDM_OPEN);
    TrayMenu.AppendItem(IDM_CANCEL);
    TrayMenu.AppendSeparator();
    TrayMenu.AppendItem(IDM_RESCAN_DELAY);
    TrayMenu.AttachSubmenu(RescanMenu);
    TrayMenu.AppendItem(IDM_BUZZER);
    TrayMenu.AttachSubmenu(BuzzerMenu);
    TrayMenu.AppendItem(IDM_HIDDEN);
    TrayMenu.AppendItem(IDM_SUBFOLDERS);
    TrayMenu.AppendItem(IDM_PERMANENT);
    TrayMenu.AppendItem(IDM_SELECT_FOLDER);
    TrayMenu.AppendSeparator();
    TrayMenu.AppendItem(IDM_ABOUT);
    TrayMenu.AppendItem(IDM_EXIT);

    TrayMenu.SetDefaultItem(IDM_OPEN);
}
