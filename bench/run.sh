#!/bin/sh
# Builds the release Tarnwick.exe and the benchmark's helpers, then measures
# reaction time, idle cost, scan scaling and footprint under Wine, in a fresh
# prefix and a virtual display of its own: the shipped 32-bit program where
# this machine runs 32-bit code, its 64-bit twin where it does not
# (TARNWICK_ARCH forces one; see scripts/arch.sh). Prints one table and
# writes it, with the raw figures, to bench/results/ and into the README's
# Benchmark section (or to $BENCH_OUT alone).
#   BENCH_BUILD   build directory (default /tmp/tarnwick-bench-build), with
#                 a tree per word size
#   BENCH_OUT     where results go (default bench/results)
# Extra arguments go to bench.py (e.g. --trials 20 --idle-seconds 20).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
build=${BENCH_BUILD:-/tmp/tarnwick-bench-build}/$TARNWICK_ARCH
out=${BENCH_OUT:-$root/bench/results}
# Only the results kept in the tree are quoted in its README.
[ -z "${BENCH_OUT:-}" ] && set -- --readme "$root/README.md" "$@"

sh "$root/scripts/setup.sh"

if [ "$TARNWICK_ARCH" = win32 ]; then
    toolchain=$root/cmake/i686-w64-mingw32.cmake
    what="the shipped 32-bit Tarnwick.exe under 32-bit Wine"
else
    toolchain=$root/cmake/x86_64-w64-mingw32.cmake
    what="the 64-bit twin of Tarnwick.exe under 64-bit Wine"
fi
echo "Measuring $what: $TARNWICK_ARCH_WHY."
# The helpers are targets of the product's own build (bench/CMakeLists.txt).
cmake -S "$root" -B "$build/product" -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
cmake --build "$build/product" -j "$(nproc)" --target Tarnwick bench_helpers

export WINEPREFIX="$build/prefix"
rm -rf "$WINEPREFIX" "$WINEPREFIX-waiter"
unset DISPLAY
# Debian's own Python, which setup.sh installs.
exec sh "$root/scripts/wine-session.sh" /usr/bin/python3 "$root/bench/bench.py" \
    --helpers "$build/product/bench" --tarnwick "$build/product/Tarnwick.exe" --build "$what" --out "$out" "$@"
