#!/usr/bin/env bash
# Runs a Windows test program under wine on a virtual X server of its own.
# A wine session keeps the display it started with, and the other Windows
# tests run without one, so the program gets a private copy of the caller's
# prefix (a session of its own), or a fresh prefix when the caller has none.
#   wine-on-display.sh --arch=win64|win32 PROGRAM [ARGUMENTS...]
set -euo pipefail

arch=${1#--arch=}
shift
loader=$("$(dirname "$0")/../../scripts/wine-loader" "$arch")

work=$(mktemp -d "${TMPDIR:-/tmp}/tam-display.XXXXXX")
source_prefix=${WINEPREFIX:-}
export WINEPREFIX="$work/prefix" WINEDEBUG="${WINEDEBUG:--all}"
# No debugger (a crash ends the program), no Mono or Gecko installers.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winedbg.exe=d;mscoree=d;mshtml=d}"
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

if [ -n "$source_prefix" ] && [ -f "$source_prefix/system.reg" ]; then
    cp -a "$source_prefix" "$WINEPREFIX"
else
    WINEARCH=$arch DISPLAY= timeout 300 "$loader" wineboot --init >/dev/null 2>&1
    timeout 120 wineserver -w
fi

if ! command -v xvfb-run >/dev/null; then
    echo "wine-on-display: xvfb-run is missing; the cases that need a desktop skip" >&2
    DISPLAY= timeout 900 "$loader" "$@"
    exit
fi
timeout 900 xvfb-run -a -s "-screen 0 1024x768x24" "$loader" "$@"
