#!/bin/sh
# Creates the suite's throwaway Wine prefix from nothing and leaves a persistent
# wineserver running for it, so that every test process after this one starts quickly
# and services registered by one test keep running until the suite ends.
# Wine's own background processes must not inherit CTest's output pipe, or CTest would
# wait for them: their output goes to a file beside the prefix.
# The build trees are linked into drive C: as C:\tessivane-build (the test build) and
# C:\tessivane-shipped (the shipped program's folder), so that the Windows paths the tests
# use are short and the same wherever the repository was cloned.
# Usage: prefix-setup.sh <prefix> [<test build dir> [<shipped build dir>]]
set -eu
prefix=$1
build=${2:-}
shipped=${3:-}
log="$prefix.log"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
unset DISPLAY
server=/usr/lib/wine/wineserver64

"$server" -k 2>/dev/null || true
"$server" -w 2>/dev/null || true
rm -rf "$prefix"
mkdir -p "$prefix"
: >"$log"
"$server" -p </dev/null >>"$log" 2>&1
/usr/lib/wine/wine64 wineboot -i </dev/null >>"$log" 2>&1
# No display here: the null driver lets windows exist and be measured without one.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >>"$log" 2>&1
[ -z "$build" ] || ln -s "$build" "$prefix/drive_c/tessivane-build"
[ -z "$shipped" ] || ln -s "$shipped" "$prefix/drive_c/tessivane-shipped"
"$server" -k
"$server" -w
"$server" -p </dev/null >>"$log" 2>&1
# Start the session now, so that its start-up work is not charged to the first test.
/usr/lib/wine/wine64 cmd /c exit </dev/null >>"$log" 2>&1
echo "Wine prefix ready: $prefix"
