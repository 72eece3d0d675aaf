#include "tests/support/ui.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <map>

namespace {

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* caption;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = "", caption[128] = "";
    GetClassNameA(window, className, sizeof(className));
    GetWindowTextA(window, caption, sizeof(caption));
    if ((!search->processId || owner == search->processId) && lstrcmpA(className, search->className) == 0 &&
        (!search->visibleOnly || IsWindowVisible(window)) &&
        (!search->caption || lstrcmpA(caption, search->caption) == 0)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK EndDialogOfThread(HWND window, LPARAM)
{
    char className[16] = "";
    GetClassNameA(window, className, sizeof(className));
    if (lstrcmpA(className, "#32770") == 0)
        EndDialog(window, IDCANCEL);
    return TRUE;
}

std::map<UINT_PTR, ModalVisit*>& Visits()
{
    static std::map<UINT_PTR, ModalVisit*> visits;
    return visits;
}

} // namespace

HWND FindThreadDialog(const char* caption)
{
    WindowSearch search = {0, "#32770", caption, true, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchWindow, LPARAM(&search));
    return search.found;
}

HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        WindowSearch search = {processId, className, nullptr, visibleOnly, nullptr};
        EnumWindows(MatchWindow, LPARAM(&search));
        if (search.found || GetTickCount() - start >= timeout)
            return search.found;
        Sleep(20);
    }
}

ModalVisit::ModalVisit(std::string what, std::function<bool()> visit, DWORD deadline, UINT period)
    : what(std::move(what)), visit(std::move(visit)), started(GetTickCount()), deadline(deadline),
      timer(SetTimer(nullptr, 0, period, Tick))
{
    Visits()[timer] = this;
}

ModalVisit::~ModalVisit()
{
    KillTimer(nullptr, timer);
    Visits().erase(timer);
}

void CALLBACK ModalVisit::Tick(HWND, UINT, UINT_PTR timer, DWORD)
{
    const auto found = Visits().find(timer);
    if (found == Visits().end() || found->second->done) {
        KillTimer(nullptr, timer);
        return;
    }
    ModalVisit& self = *found->second;
    // A visit that opens a modal loop of its own ticks here again from
    // inside it: only the deadline is watched then.
    if (!self.visiting && !self.expired) {
        self.visiting = true;
        self.done = self.visit();
        self.visiting = false;
        if (self.done) {
            KillTimer(nullptr, timer);
            return;
        }
    }
    if (self.deadline != INFINITE && GetTickCount() - self.started >= self.deadline) {
        if (!self.expired)
            ADD_FAILURE() << self.what << ": not done within " << self.deadline << " ms";
        self.expired = true;
        EndMenu();
        EnumThreadWindows(GetCurrentThreadId(), EndDialogOfThread, 0);
    }
}

ShiftHeld::ShiftHeld(DWORD thread) : thread(thread)
{
    if (thread)
        AttachThreadInput(GetCurrentThreadId(), thread, TRUE);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
}

ShiftHeld::~ShiftHeld()
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    if (thread)
        AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
}

void PumpMessages(DWORD milliseconds, bool (*done)())
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        if (done && done())
            return;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

bool IsChecked(HMENU menu, UINT id)
{
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool IsGreyed(HMENU menu, UINT id)
{
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

BrowserAnswer::BrowserAnswer(HWND browser, const std::string& folder, const std::string& shown)
    : browser(browser), tree(nullptr), folder(folder), name(shown)
{
    // The folder's last name, or a drive root's letter and colon.
    if (name.empty())
        name = folder.substr(folder.find_last_of('\\', folder.size() - 2) + 1);
    name = name.substr(0, name.find('\\'));
    DWORD processId = 0;
    GetWindowThreadProcessId(browser, &processId);
    process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(TVITEMA) + 2 * MAX_PATH, MEM_COMMIT, PAGE_READWRITE));
    WriteProcessMemory(process, remote + sizeof(TVITEMA) + MAX_PATH, folder.c_str(), folder.size() + 1,
                       nullptr);
}

BrowserAnswer::~BrowserAnswer()
{
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
}

std::string BrowserAnswer::SelectedText()
{
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = HTREEITEM(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = remote + sizeof(item);
    item.cchTextMax = MAX_PATH;
    if (!item.hItem)
        return "";
    WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
    SendMessageA(tree, TVM_GETITEMA, 0, LPARAM(remote));
    char text[MAX_PATH] = "";
    ReadProcessMemory(process, remote + sizeof(item), text, sizeof(text) - 1, nullptr);
    return text;
}

bool BrowserAnswer::Step()
{
    if (!tree)
        tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
    if (!tree || !SendMessageA(tree, TVM_GETCOUNT, 0, 0))
        return false;
    if (!folder.empty() && SelectedText().find(name) == std::string::npos) {
        if (steps++ % 10 == 0)
            SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, LPARAM(remote + sizeof(TVITEMA) + MAX_PATH));
        return false;
    }
    PostMessageA(browser, WM_COMMAND, folder.empty() ? IDCANCEL : IDOK, 0);
    return true;
}

bool AnswerBrowser(HWND browser, const std::string& folder, const std::string& shown)
{
    BrowserAnswer answer(browser, folder, shown);
    for (int i = 0; i < 200; ++i, Sleep(50))
        if (answer.Step())
            return true;
    PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
    return false;
}

std::string WaitForBalloon(const std::string& text, DWORD timeout)
{
    const DWORD start = GetTickCount();
    char shown[512];
    do {
        shown[0] = 0;
        // Asked of the tray's process: a tooltip answers with its tool's text.
        if (const HWND balloon = FindProcessWindow(0, TOOLTIPS_CLASSA, true, 0))
            SendMessageTimeoutA(balloon, WM_GETTEXT, sizeof(shown), LPARAM(shown), SMTO_ABORTIFHUNG, 1000,
                                nullptr);
    } while (!std::strstr(shown, text.c_str()) && GetTickCount() - start < timeout && (Sleep(100), true));
    return shown;
}
