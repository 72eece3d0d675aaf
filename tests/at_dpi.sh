#!/bin/sh
# Runs test programs at another display scale: in a prefix of its own beside
# the suite's, made with that scale, since Wine's tray and dialogs take the
# scale when they start. The suite's session and display stay as they are.
#   at_dpi.sh DPI PROGRAM.exe FILTER [PROGRAM.exe FILTER ...]
set -u
dpi=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
export TARNWICK_DPI="$dpi" WINEPREFIX="$WINEPREFIX-$dpi"
rm -rf "$WINEPREFIX"
# shellcheck disable=SC2016
exec sh "$here/../scripts/wine-session.sh" sh -c '
    status=0
    while [ $# -gt 1 ]; do
        sh "$0" "$1" --gtest_filter="$2" || status=1
        shift 2
    done
    exit $status' "$here/under_wine.sh" "$@"
