#!/bin/sh
# Runs a command inside one Wine session: a throwaway prefix, one persistent
# wineserver and, when there is no X display, one Xvfb. Wine is stopped again
# when the command ends, whatever its result.
#   WINEPREFIX     the prefix to use (created on first use)
#   TARNWICK_ARCH  win32 (default): a 32-bit prefix and 32-bit Wine;
#                  win64: a 64-bit prefix and 64-bit Wine, which is then the
#                  "wine" that the command finds on its PATH
#   TARNWICK_DPI   the display scale of a prefix created now, in DPI
#                  (default Wine's, 96)
set -u
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all,err+winediag}" WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${TARNWICK_ARCH:-win32}" = win64 ]; then
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    PATH="$(cd "$(dirname "$0")" && pwd)/wine64:$PATH"
else
    export WINEARCH=win32
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${TARNWICK_IN_XVFB:-}" ]; then
    export TARNWICK_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

# wineserver and Wine's services keep the output they were started with;
# start them with /dev/null so that whoever reads our output is not held.
wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1
wineserver -p >/dev/null 2>&1 </dev/null
if [ ! -f "$WINEPREFIX/.ready" ]; then
    # Through "wine": the wineboot command goes to 32-bit Wine regardless.
    wine wineboot -i </dev/null >/dev/null 2>&1
    # Without a window manager, hiding a top-level window waits for one.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    # A crash prints a backtrace instead of waiting in a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    # A display scale other than 100 %, taken by everything started from now.
    if [ -n "${TARNWICK_DPI:-}" ]; then
        wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$TARNWICK_DPI" /f \
            </dev/null >/dev/null 2>&1
    fi
    # N: is a network drive, as a mapped share is on Windows (below).
    wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.ready"
    # The session that made the prefix keeps starting device services over
    # and over, and every later process start waits on them: begin afresh.
    wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1
    wineserver -p >/dev/null 2>&1 </dev/null
fi
# Wine takes a drive's type from HKLM\Software\Wine\Drives for the letters
# mapped when its services start, which the first program does; a test may
# have left N: unmapped.
mkdir -p "$WINEPREFIX/network-share"
ln -sfn "$WINEPREFIX/network-share" "$WINEPREFIX/dosdevices/n:"
# Wine closes the desktop once no program has used it for half a minute, and
# from then on every program started waits for a new one: a console program
# reading a pipe that stays open keeps it for the whole session.
hold="$WINEPREFIX/.session-hold"
rm -f "$hold"
mkfifo "$hold"
wine cmd /c "set /p x=" <"$hold" >/dev/null 2>&1 &
exec 9>"$hold"
wine cmd /c exit 0 </dev/null >/dev/null 2>&1

"$@" 9>&-
rc=$?
exec 9>&-
rm -f "$hold"
wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1
exit $rc
