// A popup menu whose items are addressed by command id, the id also naming
// the string that labels the item.
#pragma once
#include <windows.h>

class PopupMenu {
public:
    PopupMenu();
    ~PopupMenu();
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;

    // Adds the item labelled by string `id` at the end. Returns the id, or 0
    // when nothing was added.
    UINT AppendItem(UINT id);
    // Makes the last item open `submenu`; the item keeps its text and loses
    // its command. The submenu stays owned by its own object. Returns 0.
    int AttachSubmenu(const PopupMenu& submenu);
    // Non-zero when a separator was added at the end.
    BOOL AppendSeparator();

    // Each returns the id, or 0 when the menu has no such item.
    UINT CheckItem(UINT id);
    UINT UncheckItem(UINT id);
    UINT SetDefaultItem(UINT id);
    UINT EnableItem(UINT id);
    UINT GreyItem(UINT id);

    // Shows the menu at the mouse cursor for `window`, which receives the
    // chosen item as WM_COMMAND once the menu has closed.
    void TrackAtCursor(HWND window);

    HMENU Handle() const { return handle; }

private:
    HMENU handle;
};
