#!/bin/sh
# Installs what building and testing Tarnwick needs on Debian 12, where it is
# missing: the mingw-w64 cross-compiler, 32-bit Wine, Xvfb, CMake, GoogleTest's
# source, ImageMagick and Python.
set -eu

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

missing=""
for package in g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev \
               wine wine32:i386 xvfb xauth x11-utils cmake make googletest \
               imagemagick python3 procps; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing="$missing $package"
done
[ -z "$missing" ] && [ "$need_i386" = 0 ] && exit 0

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
echo "Installing:$missing"
[ "$need_i386" = 1 ] && $sudo dpkg --add-architecture i386
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
