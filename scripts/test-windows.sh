#!/usr/bin/env bash
# Runs the Windows test suite under Wine, on the X server of the caller (the
# window test needs one). The prefix lives in the build tree; the Wine server
# is kept running for the whole run, or test discovery hangs on its pipe.
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEPREFIX=$PWD/build-windows/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k || true' EXIT
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1

# One test at a time: on Windows the settings folder and default install
# folders are machine-wide places that the tests share.
ctest --test-dir build-windows --output-on-failure -j1
