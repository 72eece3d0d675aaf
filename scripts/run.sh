#!/bin/sh
# Sets up what is missing, builds Tarnwick and starts it under Wine: the
# shipped 32-bit program where this machine runs 32-bit code, its 64-bit twin
# where it does not (TARNWICK_ARCH forces one; see arch.sh).
# With an X display it runs there until you choose Exit from its tray menu.
# Without one it runs on a virtual display for a while and writes what the
# screen showed to build/run-screenshot.png.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
sh "$root/scripts/setup.sh"
sh "$root/scripts/build.sh" program
exe="$TARNWICK_TREE/Tarnwick.exe"
echo "Running ${exe#"$root/"} under ${TARNWICK_ARCH#win}-bit Wine: $TARNWICK_ARCH_WHY."
export WINEPREFIX="${WINEPREFIX:-$TARNWICK_TREE/run-prefix}"

if [ -n "${DISPLAY:-}" ]; then
    exec sh "$root/scripts/wine-session.sh" wine "$exe"
fi

seconds=${TARNWICK_RUN_SECONDS:-20}
shot="$root/build/run-screenshot.png"
echo "No X display: running Tarnwick on a virtual one for $seconds s; the screen goes to $shot"
exec sh "$root/scripts/wine-session.sh" sh -c '
    wine "$1" &
    sleep 5; import -window root "$2"
    sleep "$3"; import -window root "$2"' sh "$exe" "$shot" "$((seconds - 5))"
