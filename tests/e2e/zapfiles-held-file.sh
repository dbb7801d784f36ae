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
e2e_start
release_holder() {
  : >"$(unix_path "${TEMP_DIR}e2e_hold_release")"
  wait
}
trap 'release_holder; product cleanup >/dev/null' EXIT
HELD="$HOME_DIR\\data\\service.log"
product install 64 || exit 1
capture_state before

# Held until released: the time limit only ends a holder that a broken run left behind.
product hold "$HELD" 300 &
holder=$!
ready="$(unix_path "${TEMP_DIR}e2e_hold_ready")"
deadline=$((SECONDS + 60))
while [ ! -f "$ready" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
check "another process holds $HELD" "yes" "$(exists "$ready")"

# 9 lines of this run, then 7 of the copy's cleanup run.
run_program 120 16 "$SOURCE_DIR" "$BUILT_EXE" zapfiles
check "the file was still held when the runs had ended" "yes" "$(kill -0 "$holder" 2>/dev/null && echo yes || echo no)"
release_holder
capture_state after
check "the held file survives" "yes" "$(exists "$(unix_path "$HELD")")"
check "no run-once value from a cleanup run" "absent" "$(state_of runonce.32)"
check_unchanged autostart.64 config.64 neighbour.folder neighbour.prefixfolder

compare_log <(
  first_run_lines "zapfiles" "$BUILT_EXE" "zapfiles"
  cleanup_run_lines "zapfiles" "Delete failed.  Error: Error: 32 Returned from SHFileOperation"
)
e2e_finish
