#!/bin/sh
# Runs the fault sweep of the test build in a throwaway prefix of its own (build/test/
# sweepprefix), with its wineserver stopped at the end; prints the sweep's lines and time.
# Usage: tests/sweep/fault-sweep.sh [relaunch|removal|cleanup]...   (all three by default)
set -u
cd "$(dirname "$0")/../.."
build=$(pwd)/build/test
prefix=$build/sweepprefix
sh tests/wine/prefix-setup.sh "$prefix" "$build" "$(pwd)/build/shipped" >/dev/null || exit 1
export WINEPREFIX="$prefix" TESSIVANE_BUILD_DIR="$build"
sh tests/wine/wine-run.sh "$build/tests/fault_sweep.exe" "$@"
rc=$?
sh tests/wine/prefix-teardown.sh "$prefix"
exit "$rc"
