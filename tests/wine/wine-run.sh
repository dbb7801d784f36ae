#!/bin/sh
# Runs one Windows program of the test build under wine64, inside the suite's own prefix.
# CTest uses this as the cross-compiling emulator, so a test's exit code is the program's.
: "${WINEPREFIX:?WINEPREFIX must name the suite prefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
[ -n "${TESSIVANE_KEEP_DISPLAY:-}" ] || unset DISPLAY
exec /usr/lib/wine/wine64 "$@"
