#include "watch/tray.h"

#include <versionhelpers.h>

#include "app/main_loop.h"
#include "app/platform.h"
#include "resource.h"
#include "paths/paths.h"
#include "settings/settings.h"
#include "ui/res_string.h"
#include "ui/scale.h"

HICON TrayIcons[4];
int CurrentTrayState = -1;
NOTIFYICONDATAA TrayIconData;
bool TrayIconShown;
UINT TrayRetryDelay;

namespace {

// A shell that is not ready (at logon, say) is asked again after a second,
// then after ever longer pauses, up to half a minute, for as long as it takes.
constexpr UINT FirstRetryDelay = 1000;
constexpr UINT LongestRetryDelay = 30000;

bool ModifyIcon()
{
    TrayIconData.uFlags = NIF_ICON | NIF_TIP;
    return NotifyTray(NIM_MODIFY, &TrayIconData);
}

bool AddIcon()
{
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    return NotifyTray(NIM_ADD, &TrayIconData);
}

// Arms (or re-arms) the retry timer; a timer that cannot be made leaves the
// next state change to try again.
void ArmRetry(UINT delay)
{
    TrayRetryDelay = SetTimer(MainWindow, TRAY_RETRY_TIMER_ID, delay, nullptr) ? delay : 0;
}

// The outcome of a shell call: a shown icon needs no timer, a missing one a
// retry if none is armed yet.
void Settle(bool shown)
{
    TrayIconShown = shown;
    if (shown && TrayRetryDelay) {
        KillTimer(MainWindow, TRAY_RETRY_TIMER_ID);
        TrayRetryDelay = 0;
    } else if (!shown && !TrayRetryDelay) {
        ArmRetry(FirstRetryDelay);
    }
}

// The icon `id` at `size` pixels. Each icon holds a picture drawn for each
// tray size up to 48 pixels (300 %), and Windows takes the one asked for; a
// shared icon (LoadIconA) would be the large one, which the tray shrinks.
// Above that, Windows scales the 48-pixel picture up.
HICON LoadTrayIcon(HINSTANCE instance, int id, int size)
{
    return HICON(LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
}

// Writes into `out` (`size` bytes, at most 256) string `id` with `value` in
// place of its %s. The value gets whatever room the words leave, shortened
// in the middle where it is a path, else cut between two characters of
// `codePage`; the words fit with room to spare.
void FillIn(char* out, int size, UINT id, const char* value, bool path, UINT codePage)
{
    // Copied out of the shared buffer, which the next load reuses.
    char text[256];
    CopyWholeCharacters(text, Strings.LoadResString(id), size, codePage);
    // Byte by byte: '%' is never part of a longer character.
    const char* mark = text;
    while (*mark && !(mark[0] == '%' && mark[1] == 's'))
        ++mark;
    if (!*mark) {
        lstrcpyA(out, text);
        return;
    }
    const int before = int(mark - text), after = lstrlenA(mark + 2);
    lstrcpynA(out, text, before + 1);
    if (path)
        ShortenPath(out + before, value, size - before - after, codePage);
    else
        CopyWholeCharacters(out + before, value, size - before - after, codePage);
    lstrcatA(out, mark + 2);
}

} // namespace

void LoadTrayIcons(HINSTANCE instance, UINT dpi)
{
    const int size = TrayIconSize(dpi);
    for (int i = 0; i < 4; ++i) {
        const HICON icon = LoadTrayIcon(instance, IDI_CHECKING + i, size);
        if (!icon)
            continue;
        if (TrayIcons[i])
            DestroyIcon(TrayIcons[i]);
        TrayIcons[i] = icon;
    }
    if (CurrentTrayState >= 0 && TrayIcons[CurrentTrayState])
        TrayIconData.hIcon = TrayIcons[CurrentTrayState];
}

void RescaleTrayIcons(UINT dpi)
{
    LoadTrayIcons(HINSTANCE(GetWindowLongPtrA(MainWindow, GWLP_HINSTANCE)), dpi);
    RetryTrayIcon();
}

void MakeTrayTip(char* tip, TrayState state, const char* folder, UINT codePage)
{
    FillIn(tip, TRAY_TIP_SIZE, folder[0] ? IDS_TIP_CHECKING + state : IDS_TIP_NO_FOLDER, folder, true,
           codePage);
}

void SetTrayState(TrayState state)
{
    char tip[TRAY_TIP_SIZE];
    MakeTrayTip(tip, state, WatchedFolder, GetACP());
    if (state == CurrentTrayState && lstrcmpA(tip, TrayIconData.szTip) == 0)
        return;
    CurrentTrayState = state;
    // A picture that failed to load leaves the last one in the record, and
    // its tip, so that a later retry cannot blank the icon.
    if (!TrayIcons[state])
        return;
    TrayIconData.hIcon = TrayIcons[state];
    lstrcpyA(TrayIconData.szTip, tip);
    if (!TrayIconData.cbSize) {
        TrayIconData.cbSize = TRAY_ICON_DATA_SIZE;
        TrayIconData.uID = TRAY_ICON_ID;
        TrayIconData.uCallbackMessage = WM_TRAYICON;
        TrayIconData.hWnd = MainWindow;
        Settle(AddIcon());
    } else if (TrayIconShown) {
        // A modify fails only when the shell has lost the icon.
        Settle(ModifyIcon());
    } else if (!TrayRetryDelay) {
        RetryTrayIcon();
    }
}

void NotifyArrival(const char* name)
{
    if (!TrayIconShown)
        return;
    const UINT codePage = GetACP();
    CopyWholeCharacters(TrayIconData.szInfoTitle, OwnName(WatchedFolder, codePage),
                        sizeof(TrayIconData.szInfoTitle), codePage);
    if (name)
        FillIn(TrayIconData.szInfo, sizeof(TrayIconData.szInfo), IDS_NOTICE_WAITING, name, false, codePage);
    else
        lstrcpynA(TrayIconData.szInfo, Strings.LoadResString(IDS_NOTICE_SOMETHING),
                  sizeof(TrayIconData.szInfo));
    // The alert is the user's to choose. A shell before Windows 7 does not
    // know quiet time.
    TrayIconData.dwInfoFlags =
        NIIF_INFO | NIIF_NOSOUND | (IsWindows7OrGreater() ? NIIF_RESPECT_QUIET_TIME : 0);
    TrayIconData.uFlags = NIF_INFO;
    Settle(NotifyTray(NIM_MODIFY, &TrayIconData));
}

void RetryTrayIcon()
{
    if (!TrayIconData.cbSize)
        return;
    // Windows may report a time-out for an add that did go through: asking
    // for a modify first keeps a second icon, or an add that fails for ever
    // because the icon exists, out of the tray.
    const bool shown = ModifyIcon() || AddIcon();
    if (!shown && TrayRetryDelay)
        ArmRetry(TrayRetryDelay < LongestRetryDelay / 2 ? TrayRetryDelay * 2 : LongestRetryDelay);
    Settle(shown);
}
