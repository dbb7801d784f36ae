#!/usr/bin/env bash
# The main job: builds the program and shows the whole removal under Wine on a throwaway
# prefix. A stand-in for the product is installed (a running "KESPWindowsService" whose
# program lives in its home directory, the autostart value, the configuration key with
# nested subkeys, the home directory with files and folders, and neighbours that must
# survive); the program is started from a download folder as a user would start it; the
# elevated copy it starts in the temporary directory removes the service, the registry
# pieces and the home directory and withdraws its run-once value; a new Wine session, the
# next logon, then has nothing left to run. Prints the log, the checks made along the way
# and a before/after table, then removes the prefix.
# The 64-bit test build is the one that runs here (this machine cannot run 32-bit code);
# the shipped 32-bit program is built beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null

demo="$PWD/build/demo"
export TESSIVANE_BUILD_DIR="$PWD/build/test" WINEPREFIX="$demo/wineprefix"
finish() {
  sh tests/wine/prefix-teardown.sh "$WINEPREFIX" >/dev/null 2>&1
  rm -rf "$demo"
}
trap finish EXIT

# A demonstration left over from an interrupted run goes first.
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
rm -rf "$demo"
mkdir -p "$demo"
echo "Creating a throwaway Wine prefix in $WINEPREFIX ..."
sh tests/wine/prefix-setup.sh "$WINEPREFIX" "$TESSIVANE_BUILD_DIR" >/dev/null

E2E_SNAPSHOTS=0 E2E_PROGRAM_DIR='C:\Downloads' tests/e2e/full-removal.sh
echo "Shipped 32-bit program: $PWD/build/shipped/VuzavoRURIvezarov.exe"
