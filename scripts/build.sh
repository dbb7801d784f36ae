#!/usr/bin/env bash
# Builds the shipped 32-bit executable and the 64-bit test build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset shipped >/dev/null
cmake --build --preset shipped -j "$jobs"
cmake --preset test >/dev/null
cmake --build --preset test -j "$jobs"
