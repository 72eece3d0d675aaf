#!/bin/sh
# Configures and builds Tarnwick and its tests in ./build.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$root/build" -j "$(nproc)"
