#!/usr/bin/env bash
# "zapfiles" given to a run outside the temporary directory is passed on, so the copy
# takes the next-logon cleanup at once. Here another process holds a file in the home
# directory open without sharing, as a still-running program of the product would: the
# deletion fails, the failure is logged with the shell's number, the held file survives,
# and no removal step runs (no run-once value, the registry pieces stay).
#
# Then links planted as a standard user could plant them (Unix symbolic links, which Wine
# follows as Windows follows junctions) meet the copy's cleanup run, started again by hand:
# a folder link and a file link inside the home directory, the home directory itself a
# link, and a path too deep to search each stop the deletion with a line that names them,
# and nothing outside is deleted. The "Logs" folder a link, and the log file a link or a
# hard link, get no line written through them.
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
HALVORNE="$WINEPREFIX/drive_c/ProgramData/Halvorne"
trap 'release_holder; find "$HALVORNE" -type l -delete 2>/dev/null; product cleanup >/dev/null' EXIT
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

HOME_UNIX=$(unix_path "$HOME_DIR") OUTSIDE='C:\E2eDownloads\outside'
mkdir -p "$(unix_path "$OUTSIDE")/inner" && echo keep | tee "$(unix_path "$OUTSIDE")/keep.txt" >"$(unix_path "$OUTSIDE")/inner/keep.txt"
outside_files() { find "$(unix_path "$OUTSIDE")" -type f -printf '%P:%s\n' | sort | tr '\n' ' '; }
OUTSIDE_BEFORE=$(outside_files)
planted_cleanup() { # planted_cleanup <link> <target> <log lines after the run> <expected outcome>
  ln -s "$(unix_path "$2")" "$(unix_path "$1")"
  run_program 60 "$3" "$TEMP_DIR" "$COPY" silent zapfiles
  rm "$(unix_path "$1")"
  check "nothing outside the home directory deleted" "$OUTSIDE_BEFORE" "$(outside_files)"
  EXPECTED_CLEANUPS+=("$4")
}
EXPECTED_CLEANUPS=()
LINK_STAYS="could not be removed without following it; nothing was deleted."
planted_cleanup "$HOME_DIR\\data\\linked" "$OUTSIDE" 23 "$HOME_DIR\\data\\linked is a link that $LINK_STAYS"
planted_cleanup "$HOME_DIR\\notes.txt" "$OUTSIDE\\keep.txt" 30 "$HOME_DIR\\notes.txt is a link that $LINK_STAYS"
mv "$HOME_UNIX" "$HOME_UNIX.real"
planted_cleanup "$HOME_DIR" "$OUTSIDE" 37 "$HOME_DIR is a link or a file, not a folder; nothing was deleted."
mv "$HOME_UNIX.real" "$HOME_UNIX"
DEEP="$HOME_DIR\\$(printf 'd%.0s' {1..120})"
mkdir -p "$(unix_path "$DEEP")/$(printf 'e%.0s' {1..120})"
run_program 60 44 "$TEMP_DIR" "$COPY" silent zapfiles
EXPECTED_CLEANUPS+=("$DEEP could not be searched for links; nothing was deleted.")

compare_log <(
  first_run_lines "zapfiles" "$BUILT_EXE" "zapfiles"
  cleanup_run_lines "zapfiles" "Delete failed.  Error: Error: 32 Returned from SHFileOperation"
  for outcome in "${EXPECTED_CLEANUPS[@]}"; do cleanup_run_lines "silent zapfiles" "Delete failed.  Error: $outcome"; done
)

# The log's folder a link, then the log a link and a hard link to a file outside: each run
# writes nothing (Wine names the mitigation policy the run asks for on its error output).
LOG_UNIX=$(unix_path "$HOME_DIR")/../Logs
mv "$LOG_UNIX" "$LOG_UNIX.real" && ln -s "$(unix_path "$OUTSIDE")" "$LOG_UNIX"
WINEDEBUG=-all,fixme+process timeout 60 "$WINE" "$COPY" silent zapfiles </dev/null 2>"$SCRATCH/run.err"
rm "$LOG_UNIX" && mv "$LOG_UNIX.real" "$LOG_UNIX"
check_match "the run refuses junctions that users made, where Windows can" "SetProcessMitigationPolicy \\(16," "$(cat "$SCRATCH/run.err")"
for plant in "ln -s" "ln"; do
  mv "$LOG_UNIX/KESPremoval.log" "$LOG_UNIX/real.log" && $plant "$(unix_path "$OUTSIDE")/keep.txt" "$LOG_UNIX/KESPremoval.log"
  timeout 60 "$WINE" "$COPY" silent zapfiles </dev/null >>"$WINE_LOG" 2>&1
  mv "$LOG_UNIX/real.log" "$LOG_UNIX/KESPremoval.log"
done
check "no line written through the links to files outside" "$OUTSIDE_BEFORE" "$(outside_files)"
check "no line written to the log either" "44" "$(log_line_count)"
e2e_finish
