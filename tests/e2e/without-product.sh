#!/usr/bin/env bash
# A machine without the product: every step of every run still logs its outcome (the
# stop step the service manager's "does not exist", the removal step what the stop step
# found, the missing autostart value a failure, the missing configuration key a success,
# the next logon's deletion that there was no home directory), the first run ends with exit code 0, and
# nothing is left behind but the log and the copy.
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/without-product.sh
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_start
capture_state before
check "service before the run" "absent" "$(state_of service)"
check "home directory before the run" "absent" "$(state_of home)"

run_program 120 27 "$SOURCE_DIR" "$BUILT_EXE"
capture_state removed
check "run-once value" "\"$COPY\" silent zapfiles" "$(state_of runonce.32)"

next_logon 34
capture_state after
check "run-once value after the next logon" "absent" "$(state_of runonce.32)"
check "home directory" "absent" "$(state_of home)"

missing="Unable to stop KESPWindowsService (OpenService Error).  Error #1060"
compare_log <(
  first_run_lines "" "$BUILT_EXE" ""
  removal_run_lines "" "Stop failed.  Error: $missing" \
    "Removal failed.  Error: Unable to remove KESPWindowsService.  Stop step: $missing" "removal failed."
  cleanup_run_lines "silent zapfiles" "Delete failed.  Error: $HOME_DIR could not be deleted: File not found."
)
e2e_finish
