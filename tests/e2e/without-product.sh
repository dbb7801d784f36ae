#!/usr/bin/env bash
# A machine without the product: every step of every run still logs its outcome (the
# stop step the service manager's "does not exist", the removal step what the stop step
# found, the missing autostart value a failure, the missing configuration key a success,
# the next logon's deletion the shell's failure), the first run ends with exit code 0, and
# nothing is left behind but the log and the copy.
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/without-product.sh
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_require
trap 'product cleanup >/dev/null' EXIT

product cleanup
read_paths
COPY="${TEMP_DIR}VuzavoRURIvezarov.exe"
SOURCE_DIR=$(windows_path "$TESSIVANE_BUILD_DIR")
capture_state before
check "service before the run" "absent" "$(state_of service)"
check "home directory before the run" "absent" "$(state_of home)"

run_result=$(product run 60 27 "$SOURCE_DIR" "$(windows_path "$UNINSTALLER")")
echo "      $run_result"
check_match "first run ends with exit code 0, the copy's lines arrive" '^exit=0 .*loglines=27 ' "$run_result"
capture_state removed
check "run-once value" "\"$COPY\" silent zapfiles" "$(state_of runonce.32)"

next_logon
check "log lines after the next logon" 34 "$(wait_for_log_lines 34 60)"
capture_state after
check "run-once value after the next logon" "absent" "$(state_of runonce.32)"
check "home directory" "absent" "$(state_of home)"

missing="Unable to stop KESPWindowsService (OpenService Error).  Error #1060"
{
  start_lines "" "$SOURCE_DIR\\VuzavoRURIvezarov.exe"
  cat <<LINES
Copy $SOURCE_DIR\\VuzavoRURIvezarov.exe to $TEMP_DIR
    Copy from: $SOURCE_DIR\\VuzavoRURIvezarov.exe to: $TEMP_DIR success.
Run $COPY 
    $COPY Launched OK
LINES
  start_lines "" "$COPY"
  cat <<LINES
Add "$COPY" silent zapfiles to the RunOnce key
    registry item added
Remove service
Home path: $HOME_DIR
Stop the KESPWindowsService service
    Stop failed.  Error: $missing
Remove the KESPWindowsService service
    Removal failed.  Error: Unable to remove KESPWindowsService.  Stop step: $missing
Remove notification app from the registry
Remove the notification app from the registry
    removal failed.
Remove the service registry path
    registry item removed
LINES
  start_lines "silent zapfiles" "$COPY"
  cat <<LINES
Delete home path: $HOME_DIR
    Delete failed.  Error: Error: 2 Returned from SHFileOperation
LINES
} >"$SCRATCH/log.expected"
compare_log "$SCRATCH/log.expected"
e2e_finish
