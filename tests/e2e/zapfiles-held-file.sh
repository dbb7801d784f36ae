#!/usr/bin/env bash
# "zapfiles" given to a run outside the temporary directory is passed on, so the copy
# takes the next-logon cleanup at once. Here another process holds a file in the home
# directory open without sharing, as a still-running program of the product would: the
# deletion fails, the failure is logged with the shell's number, the held file survives,
# and no removal step runs (no run-once value, the registry pieces stay).
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/zapfiles-held-file.sh
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_require
release_holder() {
  : >"$(unix_path "${TEMP_DIR}e2e_hold_release")"
  wait
}
trap 'release_holder; product cleanup >/dev/null' EXIT

product cleanup
read_paths
COPY="${TEMP_DIR}VuzavoRURIvezarov.exe"
SOURCE_DIR=$(windows_path "$TESSIVANE_BUILD_DIR")
HELD="$HOME_DIR\\data\\service.log"
product install 64 || exit 1
capture_state before

product hold "$HELD" 60 &
ready="$(unix_path "${TEMP_DIR}e2e_hold_ready")"
deadline=$((SECONDS + 20))
while [ ! -f "$ready" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
check "another process holds $HELD" "yes" "$([ -f "$ready" ] && echo yes || echo no)"

# 9 lines of this run, then 7 of the copy's cleanup run.
run_result=$(product run 60 16 "$SOURCE_DIR" "$(windows_path "$UNINSTALLER")" zapfiles)
echo "      $run_result"
check_match "first run ends with exit code 0, the copy's lines arrive" '^exit=0 .*loglines=16 ' "$run_result"
release_holder
capture_state after
check "the held file survives" "yes" "$([ -f "$(unix_path "$HELD")" ] && echo yes || echo no)"
check "no run-once value from a cleanup run" "absent" "$(state_of runonce.32)"
for piece in autostart.64 config.64 neighbour.folder neighbour.prefixfolder; do
  check "$piece" "$(STATE_FILE=$SCRATCH/state.before state_of $piece)" "$(state_of $piece)"
done

{
  start_lines "zapfiles" "$SOURCE_DIR\\VuzavoRURIvezarov.exe"
  cat <<LINES
Copy $SOURCE_DIR\\VuzavoRURIvezarov.exe to $TEMP_DIR
    Copy from: $SOURCE_DIR\\VuzavoRURIvezarov.exe to: $TEMP_DIR success.
Run $COPY zapfiles
    $COPY Launched OK
LINES
  start_lines "zapfiles" "$COPY"
  cat <<LINES
Delete home path: $HOME_DIR
    Delete failed.  Error: Error: 32 Returned from SHFileOperation
LINES
} >"$SCRATCH/log.expected"
compare_log "$SCRATCH/log.expected"
e2e_finish
