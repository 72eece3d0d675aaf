#!/bin/sh
# Proves the release reproducible: two clones of this tree (with its
# uncommitted changes), at paths of different lengths, each build the
# release at its own time and in its own time zone; Tarnwick.exe, the
# archive and SHA256SUMS must come out byte for byte the same.
#   reproducible_release.sh SOURCE WORK
set -eu
source=$(cd "$1" && pwd)
work=$2
rm -rf "$work"
mkdir -p "$work"

clone()
{
    git clone -q --no-local "$source" "$1"
    # What is not committed yet is built too, as the suite around us builds it.
    git -C "$source" diff --binary HEAD | git -C "$1" apply --allow-empty
    git -C "$source" ls-files -z --others --exclude-standard |
        (cd "$source" && tar --null -T - -cf -) | tar -xf - -C "$1"
}

build()
{
    TZ=$2 sh "$1/scripts/release.sh" >"$1.log" 2>&1 || { cat "$1.log"; exit 1; }
}

started=$(date +%s)
clone "$work/a"
build "$work/a" UTC
# Link times count in seconds: make sure the second build's differs.
sleep 2
clone "$work/second/clone/b"
build "$work/second/clone/b" Pacific/Auckland

status=0
# The archive is named after the version that CMake's project() gives.
zip=$(cd "$work/a/build" && ls release/Tarnwick-*-win32.zip)
for file in Tarnwick.exe "$zip" release/SHA256SUMS; do
    if cmp "$work/a/build/$file" "$work/second/clone/b/build/$file"; then
        echo "same: $file"
    else
        status=1
    fi
done
# The archive holds the very program that was built, and the README.
python3 - "$work/a/build" "$zip" <<'CHECK' || status=1
import sys, zipfile
build, name = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(build + "/" + name) as archive:
    names = archive.namelist()
    packed = archive.read("Tarnwick.exe") if "Tarnwick.exe" in names else b""
    readme = archive.read("README.txt").decode("ascii") if "README.txt" in names else ""
with open(build + "/Tarnwick.exe", "rb") as f:
    built = f.read()
print("archive holds:", " ".join(names))
# Its README is titled with the archive's version and has Windows line ends.
lines = readme.split("\r\n")
title = "Tarnwick " + name.split("-")[1]
print("README.txt begins:", lines[0])
sys.exit(0 if names == ["Tarnwick.exe", "README.txt"] and packed == built and lines[:2] == [title, "=" * len(title)]
         and "\n" not in readme.replace("\r\n", "") else 1)
CHECK
cat "$work/a/build/release/SHA256SUMS"
echo "two release builds took $(($(date +%s) - started)) s"
[ "$status" = 0 ] && rm -rf "$work"
exit $status
