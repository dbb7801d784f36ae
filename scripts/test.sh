#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds both executables, runs every test
# under Wine in a throwaway prefix inside build/test, then the fault sweep (every platform call
# of each run mode failed in turn, tests/sweep; FAULT_SWEEP=0 leaves it out), and then the
# release check, which runs the shipped 32-bit program itself inside an emulated machine (its
# first run makes the machine's disk, about fifteen minutes; SHIPPED_CHECK=0 leaves it out).
# Arguments go to ctest; a run that picks some tests leaves the sweep and the release check out too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --preset test "$@"
if [ "${FAULT_SWEEP:-1}" != 0 ] && [ $# = 0 ]; then
  started=$SECONDS
  sweep_rc=0
  tests/sweep/fault-sweep.sh || sweep_rc=$?
  echo "time: fault sweep: $((SECONDS - started)) s"
  [ "$sweep_rc" = 0 ] || exit "$sweep_rc"
fi
if [ "${SHIPPED_CHECK:-1}" != 0 ] && [ $# = 0 ]; then
  scripts/test-shipped.sh
fi
