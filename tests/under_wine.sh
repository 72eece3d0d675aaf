#!/bin/sh
# Runs one test program under Wine for CTest. The test's output goes through
# a file rather than straight to CTest's pipe: every process a test starts
# (the program under test, and whatever that starts) inherits it, and CTest
# waits for its pipe to close, not only for the test to end. What a test left
# running is named and ended here, so that every test ends on its own.
#   under_wine.sh PROGRAM.exe [ARGUMENTS...]
out=$(mktemp "${TMPDIR:-/tmp}/tarnwick-test.XXXXXX")
trap 'cat "$out"; rm -f "$out"' EXIT
trap 'exit 143' TERM INT
wine "$@" >"$out" 2>&1 </dev/null
status=$?
for fd in $(find /proc/[0-9]*/fd -maxdepth 1 -lname "$out" 2>/dev/null); do
    pid=${fd#/proc/}
    pid=${pid%%/*}
    # The server keeps a file of its clients' open until it has closed their
    # handles; it holds no pipe of CTest's.
    command=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)
    case $command in *wineserver*) continue ;; esac
    printf 'left running by the test, now ended: %s %s\n' "$pid" "$command" >>"$out"
    kill -9 "$pid" 2>/dev/null
done
exit $status
