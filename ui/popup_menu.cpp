#include "ui/popup_menu.h"

#include "ui/res_string.h"

PopupMenu::PopupMenu() : handle(CreatePopupMenu()) {}

PopupMenu::~PopupMenu()
{
    // DestroyMenu also destroys attached submenus, which their own objects
    // destroy; detach them first so that every menu is destroyed exactly once.
    for (int i = GetMenuItemCount(handle) - 1; i >= 0; --i) {
        if (GetSubMenu(handle, i))
            RemoveMenu(handle, i, MF_BYPOSITION);
    }
    DestroyMenu(handle);
}

UINT PopupMenu::AppendItem(UINT id)
{
    if (!handle)
        return 0;
    const char* text = Strings.LoadResString(id);
    return InsertMenuA(handle, UINT(-1), MF_BYPOSITION | MF_STRING, id, text) ? id : 0;
}

int PopupMenu::AttachSubmenu(const PopupMenu& submenu)
{
    if (!handle)
        return 0;
    const int count = GetMenuItemCount(handle);
    if (count <= 0)
        return 0;
    // An item without text (a separator) leaves the buffer as it starts: empty.
    char text[512] = "";
    GetMenuStringA(handle, count - 1, text, sizeof(text), MF_BYPOSITION);
    ModifyMenuA(handle, count - 1, MF_BYPOSITION | MF_POPUP, UINT_PTR(submenu.handle), text);
    return 0;
}

BOOL PopupMenu::AppendSeparator()
{
    if (!handle)
        return 0;
    return InsertMenuA(handle, UINT(-1), MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
}

UINT PopupMenu::CheckItem(UINT id)
{
    return CheckMenuItem(handle, id, MF_BYCOMMAND | MF_CHECKED) == DWORD(-1) ? 0 : id;
}

UINT PopupMenu::UncheckItem(UINT id)
{
    return CheckMenuItem(handle, id, MF_BYCOMMAND | MF_UNCHECKED) == DWORD(-1) ? 0 : id;
}

UINT PopupMenu::SetDefaultItem(UINT id)
{
    return SetMenuDefaultItem(handle, id, FALSE) ? id : 0;
}

UINT PopupMenu::EnableItem(UINT id)
{
    return EnableMenuItem(handle, id, MF_BYCOMMAND | MF_ENABLED) == -1 ? 0 : id;
}

UINT PopupMenu::GreyItem(UINT id)
{
    return EnableMenuItem(handle, id, MF_BYCOMMAND | MF_GRAYED) == -1 ? 0 : id;
}

void PopupMenu::TrackAtCursor(HWND window)
{
    POINT cursor;
    GetCursorPos(&cursor);
    // A notification-area menu only closes when the user clicks elsewhere if
    // its owner is the foreground window.
    SetForegroundWindow(window);
    TrackPopupMenuEx(handle, 0, cursor.x, cursor.y, window, nullptr);
    // Lets the menu close properly the next time it is shown.
    PostMessageA(window, WM_NULL, 0, 0);
}
