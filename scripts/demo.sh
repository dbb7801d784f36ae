#!/usr/bin/env bash
# The main job: builds the program and says where the executables are.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null
echo "Shipped 32-bit program: $PWD/build/shipped/VuzavoRURIvezarov.exe"
echo "64-bit test build:      $PWD/build/test/VuzavoRURIvezarov.exe"
