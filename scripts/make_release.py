#!/usr/bin/env python3
"""Packs the release: Tarnwick-<version>-win32.zip with Tarnwick.exe and a
README.txt for Windows users, and SHA256SUMS beside it.

The archive depends on nothing but its inputs and the commit: each entry is
dated with the commit's time (SOURCE_DATE_EPOCH when set, otherwise the
commit date of the source tree), entries are stored uncompressed so that no
zlib version can change the bytes, and nothing of the builder (user, file
modes, local time zone) goes in.
"""
import argparse
import hashlib
import os
import subprocess
import time
import zipfile


def commit_time(source):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    stamp = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                           capture_output=True, text=True, check=True).stdout
    return int(stamp)


def add(archive, name, data, when):
    entry = zipfile.ZipInfo(name, date_time=time.gmtime(when)[:6])
    entry.create_system = 0  # MS-DOS: no Unix owner or mode
    entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
    entry.compress_type = zipfile.ZIP_STORED
    archive.writestr(entry, data)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--readme", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--source", required=True, help="the source tree, for its commit time")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    when = commit_time(args.source)
    with open(args.exe, "rb") as f:
        exe = f.read()
    with open(args.readme, encoding="ascii") as f:
        title, _, rest = f.read().replace("\r\n", "\n").split("\n", 2)
    # The title names the version; its rule is as long as the title.
    title = title.replace("@VERSION@", args.version)
    # Notepad on older Windows shows bare line feeds as one long line.
    readme = "\n".join([title, "=" * len(title), rest]).replace("\n", "\r\n").encode("ascii")

    os.makedirs(args.out, exist_ok=True)
    name = "Tarnwick-%s-win32.zip" % args.version
    path = os.path.join(args.out, name)
    with zipfile.ZipFile(path, "w") as archive:
        add(archive, "Tarnwick.exe", exe, when)
        add(archive, "README.txt", readme, when)
    with open(path, "rb") as f:
        packed = f.read()

    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), file)
                   for file, data in ((name, packed), ("Tarnwick.exe", exe)))
    with open(os.path.join(args.out, "SHA256SUMS"), "w", newline="\n") as f:
        f.write(sums)
    print("%s (%d bytes)\n%s" % (path, len(packed), sums), end="")


if __name__ == "__main__":
    main()
