#!/usr/bin/env bash
# A renamed download ("VuzavoRURIvezarov (1).exe", as a browser names a second download),
# started silently with the word written as a switch in capitals, against a product whose
# autostart value and configuration key live in the 32-bit registry view. A different
# program waits in the temporary directory under the usual name "VuzavoRURIvezarov.exe":
# it must never be started. The copy of the renamed file must do the removal (a running
# service included, which keeps it busy for the whole stop schedule) without any window, register itself (quoted: its name holds a blank and parentheses) for the next
# logon, and that start must delete the home directory.
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/renamed-silent-32bit-view.sh
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_require
trap 'product cleanup >/dev/null' EXIT

product cleanup
read_paths
DOWNLOADS='C:\E2eDownloads'
RENAMED="$DOWNLOADS\\VuzavoRURIvezarov (1).exe"
COPY="${TEMP_DIR}VuzavoRURIvezarov (1).exe"
mkdir -p "$(unix_path "$DOWNLOADS")"
cp "$UNINSTALLER" "$(unix_path "$RENAMED")"
cp "$PRODUCT_EXE" "$(unix_path "${TEMP_DIR}VuzavoRURIvezarov.exe")"

product install 32 service || exit 1
capture_state before
check "configuration key in the 32-bit view before the run" "keys=8 values=5" "$(state_of config.32)"
check "configuration key in the 64-bit view before the run" "absent" "$(state_of config.64)"
check "service before the run" "running" "$(state_of service)"

run_result=$(product run 120 27 "$DOWNLOADS" "$RENAMED" /SILENT)
echo "      $run_result"
check_match "first run ends with exit code 0, the copy's lines arrive" '^exit=0 .*loglines=27 ' "$run_result"
check_match "no status window in a silent run" ' windows=0 ' "$run_result"
capture_state removed
check "run-once value names the renamed copy, quoted" "\"$COPY\" silent zapfiles" "$(state_of runonce.32)"
check "service" "absent" "$(state_of service)"
check "autostart value (32-bit view)" "absent" "$(state_of autostart.32)"
check "configuration key (32-bit view)" "absent" "$(state_of config.32)"
check "the program waiting under the usual name was not started" "no" "$(state_of planted.ran)"
for piece in neighbour.run.64 neighbour.run.32 neighbour.key.32 neighbour.prefixkey.32 home; do
  check "$piece" "$(STATE_FILE=$SCRATCH/state.before state_of $piece)" "$(state_of $piece)"
done

next_logon
check "log lines after the next logon" 34 "$(wait_for_log_lines 34 60)"
capture_state after
check "home directory" "absent" "$(state_of home)"
check "run-once value after the next logon" "absent" "$(state_of runonce.32)"
check "the program waiting under the usual name was not started" "no" "$(state_of planted.ran)"

{
  start_lines "/SILENT" "$RENAMED"
  cat <<LINES
Copy $RENAMED to $TEMP_DIR
    Copy from: $RENAMED to: $TEMP_DIR success.
Run $COPY silent 
    $COPY Launched OK
LINES
  start_lines "silent " "$COPY"
  cat <<LINES
Add "$COPY" silent zapfiles to the RunOnce key
    registry item added
Remove service
Home path: $HOME_DIR
Stop the KESPWindowsService service
    Service stopped
Remove the KESPWindowsService service
    Service removed
Remove notification app from the registry
Remove the notification app from the registry
    registry item removed
Remove the service registry path
    registry item removed
LINES
  start_lines "silent zapfiles" "$COPY"
  cat <<LINES
Delete home path: $HOME_DIR
    Delete success
LINES
} >"$SCRATCH/log.expected"
compare_log "$SCRATCH/log.expected"
e2e_finish
