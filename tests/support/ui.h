// Windows, menus and modal loops, driven the way Windows UI tests do it:
// timers that run inside the loop, a shared input state, messages.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

// A visible dialog of this thread, with this caption when one is given.
HWND FindThreadDialog(const char* caption = nullptr);
// A top-level window of the process with this class, visible ones only when
// asked; null when there is none by the time-out.
HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly, DWORD timeout);

// Calls `visit` from a thread timer every `period` ms, inside whatever modal
// loop (menu, dialog, the program's own loop) this thread runs, until it
// returns true. Past the deadline the test fails, saying `what` was never
// done, and the thread's menus and dialogs are closed so the modal call
// returns instead of hanging.
class ModalVisit {
public:
    ModalVisit(std::string what, std::function<bool()> visit, DWORD deadline = 5000, UINT period = 20);
    ~ModalVisit();
    ModalVisit(const ModalVisit&) = delete;
    ModalVisit& operator=(const ModalVisit&) = delete;

    bool Done() const { return done; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD);

    std::string what;
    std::function<bool()> visit;
    DWORD started, deadline;
    UINT_PTR timer;
    bool done = false, visiting = false, expired = false;
};

// Holds Shift down in this thread's keyboard state, shared with `thread`'s
// input when one is given, until it goes out of scope.
class ShiftHeld {
public:
    explicit ShiftHeld(DWORD thread = 0);
    ~ShiftHeld();
    ShiftHeld(const ShiftHeld&) = delete;
    ShiftHeld& operator=(const ShiftHeld&) = delete;

private:
    DWORD thread;
};

// The text of the notification the tray shows beside its icons (a visible
// tooltip), once one shows with this text in it; what it showed last, or
// empty, when none does by the time-out.
std::string WaitForBalloon(const std::string& text, DWORD timeout = 5000);

// Pumps messages for `milliseconds`, or until `done` returns true.
void PumpMessages(DWORD milliseconds, bool (*done)() = nullptr);

// Menu check and grey state of a command in a menu.
bool IsChecked(HMENU menu, UINT id);
bool IsGreyed(HMENU menu, UINT id);

// Answers the folder browser, in this process or another: one step at a
// time, it selects `folder` until the tree shows it and then confirms, or
// cancels when `folder` is empty. The browser fills its tree after it shows
// and may settle a selection of its own after that. The tree shows the
// folder's last name, or `shown` where the folder is given by another name
// (its short one).
class BrowserAnswer {
public:
    BrowserAnswer(HWND browser, const std::string& folder, const std::string& shown = "");
    ~BrowserAnswer();
    BrowserAnswer(const BrowserAnswer&) = delete;
    BrowserAnswer& operator=(const BrowserAnswer&) = delete;

    // True once the answer is given.
    bool Step();

private:
    std::string SelectedText();

    HWND browser, tree;
    std::string folder, name;
    HANDLE process;
    char* remote; // a tree item and two paths, in the browser's process
    int steps = 0;
};
// Answers a browser of another process, waiting until it can; false when the
// tree never filled or never showed the folder.
bool AnswerBrowser(HWND browser, const std::string& folder, const std::string& shown = "");
