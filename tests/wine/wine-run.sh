#!/bin/sh
# Runs one Windows program of the test build under wine64, inside the suite's own prefix.
# CTest uses this as the cross-compiling emulator, so a test's exit code is the program's.
: "${WINEPREFIX:?WINEPREFIX must name the suite prefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
[ -n "${TESSIVANE_KEEP_DISPLAY:-}" ] || unset DISPLAY
# A program of the build starts from the prefix's link to the build tree, so that its own
# path is the same short one wherever the repository was cloned.
program=$1
shift
build=${TESSIVANE_BUILD_DIR:-}
if [ -n "$build" ] && [ -e "$WINEPREFIX/drive_c/tessivane-build" ]; then
  case "$program" in
    "$build"/*) program="C:\\tessivane-build$(printf '%s' "${program#"$build"}" | tr / '\\')" ;;
  esac
fi
exec /usr/lib/wine/wine64 "$program" "$@"
