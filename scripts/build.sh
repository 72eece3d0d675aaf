#!/bin/sh
# Builds the shipped 32-bit Tarnwick.exe in build/, its 64-bit twin in
# build/x64/, and the tests of the build that this machine runs (arch.sh).
#   build.sh           both programs, and the tests
#   build.sh program   only the program this machine runs
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
jobs=$(nproc)

# Each takes cmake --build's options, such as --target Tarnwick.
pe32()
{
    cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" >/dev/null
    cmake --build "$root/build" -j "$jobs" "$@"
}
twin()
{
    # The twin's file checks read the shipped PE32, not a build of their own.
    cmake -S "$root" -B "$root/build/x64" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" \
        -DTARNWICK_PE32="$root/build/Tarnwick.exe" >/dev/null
    cmake --build "$root/build/x64" -j "$jobs" "$@"
}

if [ "${1:-}" = program ]; then
    if [ "$TARNWICK_ARCH" = win32 ]; then pe32 --target Tarnwick; else twin --target Tarnwick; fi
elif [ "$TARNWICK_ARCH" = win32 ]; then
    pe32
    twin --target Tarnwick
else
    pe32 --target Tarnwick
    twin
fi
