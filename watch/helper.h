// The helper thread. The calls that may wait on the folder's server (a
// listing, a watch armed or closed, a folder or a volume looked up) run
// there, so that the window's thread goes on answering while a server is
// slow or gone; a wait for a server that does not answer lasts from 20 s to
// a minute. The helper waits for work without a time-out.
#pragma once
#include <windows.h>

// One piece of work for the helper thread. It is made ready by whoever
// hands it over; the helper thread reads and writes it only while it runs.
struct HelperWork {
    // Runs on the helper thread.
    void (*run)(HelperWork* work);
    // Runs on the helper thread after `run` when nobody waits for the work any
    // longer: lets go of what run armed or took, and of the work itself.
    void (*drop)(HelperWork* work);
    // Whose the work is; the helper's functions alone touch it.
    volatile LONG state;
};

// Runs `work` on the helper thread while this thread dispatches its messages,
// as a modal loop does, and returns true once it has run. Once `slowAfter` ms
// have passed without its end, calls `slow` (when given) on this thread.
// Returns false when the wait was given up: by GiveUpWork, or by WM_QUIT,
// which it posts again for the loop that ends with it. The work is then the
// helper's, which drops it once run is over. Where no helper thread can be
// had, runs the work on this thread.
bool AwaitHelper(HelperWork* work, DWORD slowAfter = INFINITE, void (*slow)() = nullptr);

// As AwaitHelper, but waits without dispatching, for `timeout` ms at most,
// then gives the wait up.
bool FinishOnHelper(HelperWork* work, DWORD timeout);

// Gives up the wait for `work`, which AwaitHelper waits for lower on this
// thread's stack, if it has not run yet: that wait returns false. Later work
// goes to a new helper thread, so that it does not queue behind a call that
// may not return for a minute. False, and nothing changed, when the work has
// run already.
bool GiveUpWork(HelperWork* work);

// Hands `work` to the helper thread to run and then drop; nobody waits for
// it. Where no helper thread can be had, runs and drops it here.
void HandToHelper(HelperWork* work);
