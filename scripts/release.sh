#!/bin/sh
# Sets up what is missing, builds the shipped 32-bit Tarnwick.exe and packs
# build/release/Tarnwick-<version>-win32.zip (the exe and a README.txt for
# Windows users) with SHA256SUMS beside it. Two builds of one commit give the
# same bytes, wherever and whenever they run.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target release
