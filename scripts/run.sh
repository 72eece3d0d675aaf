#!/bin/sh
# Sets up what is missing, builds Tarnwick and starts it under Wine.
# With an X display it runs there until you choose Exit from its tray menu.
# Without one it runs on a virtual display for a while and writes what the
# screen showed to build/run-screenshot.png.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/setup.sh"
sh "$root/scripts/build.sh"
export WINEPREFIX="${WINEPREFIX:-$root/build/run-prefix}"

if [ -n "${DISPLAY:-}" ]; then
    exec sh "$root/scripts/wine-session.sh" wine "$root/build/Tarnwick.exe"
fi

seconds=${TARNWICK_RUN_SECONDS:-20}
shot="$root/build/run-screenshot.png"
echo "No X display: running Tarnwick on a virtual one for $seconds s; the screen goes to $shot"
exec sh "$root/scripts/wine-session.sh" sh -c '
    wine "$1" &
    sleep 5; import -window root "$2"
    sleep "$3"; import -window root "$2"' sh "$root/build/Tarnwick.exe" "$shot" "$((seconds - 5))"
