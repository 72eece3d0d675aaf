#!/bin/sh
# Sets up what is missing, builds everything and runs the whole test suite
# under Wine in a fresh prefix and a virtual display.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/setup.sh"
sh "$root/scripts/build.sh"
export WINEPREFIX="$root/build/test-prefix"
rm -rf "$WINEPREFIX"
unset DISPLAY
cd "$root/build"
exec sh "$root/scripts/wine-session.sh" ctest --output-on-failure --timeout 120 -j 2 "$@"
