#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds both executables, runs every test
# under Wine in a throwaway prefix inside build/test, and then the release check, which runs
# the shipped 32-bit program itself inside an emulated machine (its first run makes the
# machine's disk, about fifteen minutes; SHIPPED_CHECK=0 leaves it out). Arguments go to ctest;
# a run that picks some tests leaves the release check out too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --preset test "$@"
if [ "${SHIPPED_CHECK:-1}" != 0 ] && [ $# = 0 ]; then
  scripts/test-shipped.sh
fi
