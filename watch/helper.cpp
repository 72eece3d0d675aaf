#include "watch/helper.h"

namespace {

// HelperWork::state: queued or running, run to its end (the caller's again),
// or given up (the helper's, to drop).
enum : LONG { Queued, Ran, GivenUp };

// What the helper's calls take; a small reservation keeps each helper cheap,
// and a given-up one may linger until its call returns.
constexpr SIZE_T HelperStack = 64 * 1024;

// Set each time a piece of work has been run. Never closed: a helper thread
// that was given up may still set it while the program ends.
const HANDLE WorkDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);

LONG StateOf(HelperWork* work)
{
    return InterlockedCompareExchange(&work->state, Queued, Queued);
}

// The helper thread: it sleeps until work is queued to it, and runs each
// piece in the order given.
class HelperThread {
public:
    HelperThread() = default;
    ~HelperThread() { Retire(); }
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // Queues `work`, starting the thread first if none runs. False when no
    // thread could be started, or the work not queued.
    bool Queue(HelperWork* work)
    {
        if (!thread)
            thread =
                CreateThread(nullptr, HelperStack, Main, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        return thread && QueueUserAPC(Run, thread, ULONG_PTR(work));
    }
    // Lets the thread end once the work queued to it has run; the next work
    // starts a new one.
    void Retire()
    {
        if (!thread)
            return;
        QueueUserAPC(End, thread, 0);
        CloseHandle(thread);
        thread = nullptr;
    }

private:
    static DWORD WINAPI Main(void*)
    {
        for (;;)
            SleepEx(INFINITE, TRUE);
    }
    static void CALLBACK Run(ULONG_PTR parameter)
    {
        auto* work = reinterpret_cast<HelperWork*>(parameter);
        work->run(work);
        // After this exchange the work is touched no more unless it was
        // given up: its caller may be reading it already.
        if (InterlockedCompareExchange(&work->state, Ran, Queued) == GivenUp)
            work->drop(work);
        SetEvent(WorkDone);
    }
    static void CALLBACK End(ULONG_PTR) { ExitThread(0); }

    HANDLE thread = nullptr;
};

HelperThread Helper;

// Queues the work, or runs it here where no helper can take it, or no wait
// for it could be made.
bool Queue(HelperWork* work)
{
    work->state = Queued;
    if (WorkDone && Helper.Queue(work))
        return true;
    work->run(work);
    work->state = Ran;
    return false;
}

} // namespace

bool AwaitHelper(HelperWork* work, DWORD slowAfter, void (*slow)())
{
    if (!Queue(work))
        return true;
    const DWORD start = GetTickCount();
    MSG message;
    for (;;) {
        const LONG state = StateOf(work);
        if (state != Queued)
            return state == Ran;
        DWORD timeout = INFINITE;
        if (slow) {
            const DWORD waited = GetTickCount() - start;
            if (waited >= slowAfter) {
                // Once only; it may dispatch messages of its own.
                const auto once = slow;
                slow = nullptr;
                once();
                continue;
            }
            timeout = slowAfter - waited;
        }
        // The queue is looked at only once there is input: a quick piece of
        // work costs the wait alone.
        if (MsgWaitForMultipleObjectsEx(1, &WorkDone, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE) !=
            WAIT_OBJECT_0 + 1)
            continue;
        // Looked at between messages: once the work has run, the rest of the
        // queue is for the caller's own loop.
        while (StateOf(work) == Queued && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(int(message.wParam));
                return !GiveUpWork(work);
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

bool FinishOnHelper(HelperWork* work, DWORD timeout)
{
    if (!Queue(work))
        return true;
    const DWORD start = GetTickCount();
    while (StateOf(work) == Queued) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= timeout || WaitForSingleObject(WorkDone, timeout - waited) == WAIT_TIMEOUT)
            return !GiveUpWork(work);
    }
    return true;
}

bool GiveUpWork(HelperWork* work)
{
    if (InterlockedCompareExchange(&work->state, GivenUp, Queued) != Queued)
        return false;
    Helper.Retire();
    return true;
}

void HandToHelper(HelperWork* work)
{
    // Given up from the start, so that the helper drops it after running it.
    work->state = GivenUp;
    if (!Helper.Queue(work)) {
        work->run(work);
        work->drop(work);
    }
}
