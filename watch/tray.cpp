#include "watch/tray.h"

#include "app/main_loop.h"
#include "resource.h"
#include "settings/settings.h"

HICON TrayIcons[4];
int CurrentTrayState = -1;
NOTIFYICONDATAA TrayIconData;

void LoadTrayIcons(HINSTANCE instance)
{
    for (int i = 0; i < 4; ++i)
        TrayIcons[i] = LoadIconA(instance, MAKEINTRESOURCEA(IDI_CHECKING + i));
}

void SetTrayState(TrayState state)
{
    if (state == CurrentTrayState)
        return;
    CurrentTrayState = state;
    TrayIconData.hIcon = TrayIcons[state];
    if (!TrayIconData.hIcon)
        return;
    TrayIconData.uFlags = NIF_ICON | NIF_TIP;
    lstrcpynA(TrayIconData.szTip, WatchedFolder, 64);
    if (TrayIconData.cbSize) {
        Shell_NotifyIconA(NIM_MODIFY, &TrayIconData);
        return;
    }
    TrayIconData.cbSize = TRAY_ICON_DATA_SIZE;
    TrayIconData.uFlags |= NIF_MESSAGE;
    TrayIconData.uID = TRAY_ICON_ID;
    TrayIconData.uCallbackMessage = WM_TRAYICON;
    TrayIconData.hWnd = MainWindow;
    Shell_NotifyIconA(NIM_ADD, &TrayIconData);
}

void RestoreTrayIcon()
{
    if (!TrayIconData.cbSize)
        return;
    TrayIconData.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    Shell_NotifyIconA(NIM_ADD, &TrayIconData);
}
