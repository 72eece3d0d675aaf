#!/bin/sh
# Maps drive R: of the Wine prefix to an empty folder, for tests that need an
# empty drive root.
set -eu
folder=$1
rm -rf "$folder"
mkdir -p "$folder"
ln -sfn "$folder" "${WINEPREFIX:-$HOME/.wine}/dosdevices/r:"
