#!/usr/bin/env bash
# Builds the shipped 32-bit executable and the 64-bit test build, then prints the shipped
# program's size and SHA-256 and writes the checksum beside it, in the form that
# `sha256sum -c` reads (run it in build/shipped).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset shipped >/dev/null
cmake --build --preset shipped -j "$jobs"
(
  cd build/shipped
  sha256sum VuzavoRURIvezarov.exe >VuzavoRURIvezarov.exe.sha256
  echo "Shipped: build/shipped/VuzavoRURIvezarov.exe, $(stat -c %s VuzavoRURIvezarov.exe) bytes," \
    "SHA-256 $(cut -d' ' -f1 VuzavoRURIvezarov.exe.sha256)"
)
cmake --preset test >/dev/null
cmake --build --preset test -j "$jobs"
