#!/usr/bin/env bash
# The main job: builds the program, runs it under Wine in a throwaway prefix inside the
# build tree as a user would start it from a download folder, lets the next-logon start it
# registered happen, and prints the log the runs wrote.
# The 64-bit test build is the one that runs here (this machine cannot run 32-bit code);
# the shipped 32-bit program is built beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null

program="$PWD/build/test/VuzavoRURIvezarov.exe"
prefix="$PWD/build/demo/wineprefix"
downloads="$PWD/build/demo/Downloads"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
unset DISPLAY
server=/usr/lib/wine/wineserver64
wine=/usr/lib/wine/wine64

"$server" -k 2>/dev/null || true
rm -rf "$PWD/build/demo"
mkdir -p "$prefix" "$downloads"
echo "Creating a throwaway Wine prefix in $prefix ..."
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$server" -w

cp "$program" "$downloads/"
echo "Running $downloads/VuzavoRURIvezarov.exe (it copies itself to the temporary directory and starts the copy) ..."
"$wine" "$downloads/VuzavoRURIvezarov.exe"
"$server" -w

echo "Starting a new session, which runs the next-logon command the copy registered ..."
"$wine" wineboot >/dev/null 2>&1
"$server" -w

log=$("$wine" cmd /c 'echo %ProgramData%\Halvorne\Logs\KESPremoval.log' 2>/dev/null | tr -d '\r')
unix_log=$("$wine" winepath -u "$log" 2>/dev/null | tr -d '\r')
"$server" -w
echo
echo "Log written to $log:"
echo "------------------------------------------------------------------------"
cat "$unix_log"
echo "------------------------------------------------------------------------"
echo "Shipped 32-bit program: $PWD/build/shipped/VuzavoRURIvezarov.exe"
