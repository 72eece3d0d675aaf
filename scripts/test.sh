#!/bin/sh
# Sets up what is missing, builds everything and runs the whole test suite
# under Wine in a fresh prefix and a virtual display: on the shipped 32-bit
# program where this machine runs 32-bit code, on its 64-bit twin where it
# does not (TARNWICK_ARCH=win32 or win64 forces one; see arch.sh). Either way
# the shipped program's file is checked too.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
sh "$root/scripts/setup.sh"
sh "$root/scripts/build.sh"

if [ "$TARNWICK_ARCH" = win32 ]; then
    echo "Testing the shipped 32-bit build/Tarnwick.exe under 32-bit Wine: $TARNWICK_ARCH_WHY."
else
    echo "Testing the 64-bit twin build/x64/Tarnwick.exe under 64-bit Wine, and the shipped 32-bit file: $TARNWICK_ARCH_WHY."
fi
export WINEPREFIX="$TARNWICK_TREE/test-prefix"
rm -rf "$WINEPREFIX"
unset DISPLAY
cd "$TARNWICK_TREE"
exec sh "$root/scripts/wine-session.sh" ctest --output-on-failure --timeout 120 -j 2 "$@"
