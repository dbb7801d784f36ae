#!/usr/bin/env bash
# The first run starts nothing unless it has just made the copy it would start:
#  1. when the copy into the temporary directory fails, whatever file the launch would
#     name is not started;
#  2. when there is no temporary directory (its path is longer than any path the program
#     takes), nothing is copied into the current directory and nothing is started, so a
#     program started from its own folder cannot start itself again and again;
#  3. when the temporary directory's path leaves no room for the copy's name, the cut path
#     (which the shell would complete to another program's name) is not started.
# Both runs log the copy's failure, the "Run" line and a launch failure saying that no copy
# was made; no further run follows.
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/relaunch-refusals.sh
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_require
trap 'product cleanup >/dev/null' EXIT

product cleanup
read_paths
COPY="${TEMP_DIR}VuzavoRURIvezarov.exe"
SOURCE_DIR=$(windows_path "$TESSIVANE_BUILD_DIR")
NOT_STARTED="Error Message: No copy was made in the temporary directory; nothing was started."
# Time enough for a started copy to write its start lines, were one started.
SETTLE=3

echo "== 1. the copy fails: the temporary directory's path leads through a file"
# (Wine's shell copy reports success over a destination file that another process holds,
# so the failure is made where the shell does report it: a folder that cannot be made,
# which Wine's shell answers with 1223, "cancelled".)
OWN_DIR='C:\E2eDownloads'
BLOCKED_TEMP="$OWN_DIR\\not-a-folder.txt\\"
mkdir -p "$(unix_path "$OWN_DIR")"
echo "a file where the temporary directory should be" >"$(unix_path "$OWN_DIR")/not-a-folder.txt"
run_result=$(product run 60 9 "$SOURCE_DIR" "$(windows_path "$UNINSTALLER")" --temp "$BLOCKED_TEMP")
echo "      $run_result"
check_match "the run ends with exit code 0 after its 9 lines" '^exit=0 .*loglines=9 ' "$run_result"
sleep "$SETTLE"
check "log lines ${SETTLE}s later (no second run)" 9 "$(log_line_count)"
capture_state blocked
check "run-once value" "absent" "$(state_of runonce.32)"
{
  start_lines "" "$SOURCE_DIR\\VuzavoRURIvezarov.exe" "$BLOCKED_TEMP"
  cat <<LINES
Copy $SOURCE_DIR\\VuzavoRURIvezarov.exe to $BLOCKED_TEMP
    Copy from: $SOURCE_DIR\\VuzavoRURIvezarov.exe to: $BLOCKED_TEMP failed.  Error: Error: 1223 Rturned from SHFileOperation
Run ${BLOCKED_TEMP}VuzavoRURIvezarov.exe 
    ${BLOCKED_TEMP}VuzavoRURIvezarov.exe launch failed.  Error: Unable to run the program: ${BLOCKED_TEMP}VuzavoRURIvezarov.exe $NOT_STARTED
LINES
} >"$SCRATCH/log.expected"
compare_log "$SCRATCH/log.expected"

echo "== 2. no temporary directory: the program runs from its own folder, the current directory"
product cleanup >/dev/null
OWN="$OWN_DIR\\VuzavoRURIvezarov.exe"
mkdir -p "$(unix_path "$OWN_DIR")"
cp "$UNINSTALLER" "$(unix_path "$OWN")"
LONG_TEMP="C:\\$(printf 'T%.0s' {1..280})\\"
run_result=$(product run 60 9 "$OWN_DIR" "$OWN" --temp "$LONG_TEMP")
echo "      $run_result"
check_match "the run ends with exit code 0 after its 9 lines" '^exit=0 .*loglines=9 ' "$run_result"
sleep "$SETTLE"
check "log lines ${SETTLE}s later (no second run)" 9 "$(log_line_count)"
check "files in the program's folder (nothing copied there)" "VuzavoRURIvezarov.exe" "$(ls "$(unix_path "$OWN_DIR")" | tr '\n' ' ' | sed 's/ $//')"
{
  start_lines "" "$OWN" ""
  cat <<LINES
Copy $OWN to 
    Copy from: $OWN to:  failed.  Error: The temporary directory could not be found; nothing was copied.
Run VuzavoRURIvezarov.exe 
    VuzavoRURIvezarov.exe launch failed.  Error: Unable to run the program: VuzavoRURIvezarov.exe $NOT_STARTED
LINES
} >"$SCRATCH/log.expected"
compare_log "$SCRATCH/log.expected"

echo "== 3. the temporary directory's path leaves no room for the copy's name"
product cleanup >/dev/null
LONG_DIR="C:\\$(printf 'L%.0s' {1..245})\\"
CUT="${LONG_DIR}VuzavoRURI"
mkdir -p "$(unix_path "$LONG_DIR")"
# What the cut path would find, were it started.
cp "$PRODUCT_EXE" "$(unix_path "$CUT.exe")"
run_result=$(product run 60 9 "$SOURCE_DIR" "$(windows_path "$UNINSTALLER")" --temp "$LONG_DIR")
echo "      $run_result"
check_match "the run ends with exit code 0 after its 9 lines" '^exit=0 .*loglines=9 ' "$run_result"
sleep "$SETTLE"
check "log lines ${SETTLE}s later (no second run)" 9 "$(log_line_count)"
check "the program at the cut path was not started" "no" \
  "$([ -f "$(unix_path "${LONG_DIR}e2e_planted_ran.txt")" ] && echo yes || echo no)"
rm -rf "$(unix_path "$LONG_DIR")"
{
  start_lines "" "$SOURCE_DIR\\VuzavoRURIvezarov.exe" "$LONG_DIR"
  cat <<LINES
Copy $SOURCE_DIR\\VuzavoRURIvezarov.exe to $LONG_DIR
    Copy from: $SOURCE_DIR\\VuzavoRURIvezarov.exe to: $LONG_DIR success.
Run $CUT 
    $CUT launch failed.  Error: Unable to run the program: $CUT Error Message: The path of the copy is too long; nothing was started.
LINES
} >"$SCRATCH/log.expected"
compare_log "$SCRATCH/log.expected"
e2e_finish
