#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds both executables, and runs every
# test under Wine in a throwaway prefix inside build/test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --preset test "$@"
