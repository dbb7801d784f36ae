#!/usr/bin/env bash
# "zapfiles" given to a run outside the temporary directory is passed on, so the copy
# takes the next-logon cleanup at once. Here another process holds a file in the home
# directory open without sharing, as a still-running program of the product would: the
# deletion fails and names the held file, which survives, while everything else in the tree
# goes, a file at a path of 257 characters and a folder named in letters outside the
# system's code page among it; no removal step runs (no run-once value, the registry pieces
# stay). The held file and the folders that hold it are handed to the next restart, files
# first, deepest first, and the next session start (Wine runs the restart's deletions then)
# deletes them and nothing else.
#
# Then links planted as a standard user could plant them (Unix symbolic links, which Wine
# follows as Windows follows junctions) meet the copy, started again by hand: a folder link
# and a file link inside the home directory stay, the first named and the other counted,
# nothing is handed to the restart through them, and the removal run that met them keeps
# its run-once value, since nothing else will delete them; the home directory itself a link
# stops the cleanup run's deletion; nothing outside is deleted. A tree 500 folders deep is
# deleted whole. A service that never finishes stopping keeps its program in use through
# the removal run: the program is handed to the next restart and gone after it. The "Logs"
# folder a link, and the log file a link or a hard link, get no line written through them.
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
HOME_UNIX=$(unix_path "$HOME_DIR")
# The deep tree is removed here too: a failed run could leave it too deep for the helper.
trap 'release_holder; find "$HALVORNE" -type l -delete 2>/dev/null; rm -rf "$HOME_UNIX"; product cleanup >/dev/null' EXIT
HELD="$HOME_DIR\\data\\service.log"
product install 64 || exit 1
LONG_FILE="$HOME_DIR\\data\\$(printf 'n%.0s' $(seq $((257 - ${#HOME_DIR} - 6))))"
FOREIGN="$HOME_UNIX/Łukasz Пользователь"
echo long >"$(unix_path "$LONG_FILE")" && mkdir -p "$FOREIGN/кэш" && echo cache >"$FOREIGN/кэш/данные.bin"
check "a file path of 257 characters in the tree" "257" "${#LONG_FILE}"
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
check "the file at a path of 257 characters deleted" "no" "$(exists "$(unix_path "$LONG_FILE")")"
check "the folder named outside the code page deleted" "no" "$(exists "$FOREIGN")"
check "nothing else left in the home directory" "data data/service.log" "$(cd "$HOME_UNIX" && find . -mindepth 1 -printf '%P ' | xargs)"
check "no run-once value from a cleanup run" "absent" "$(state_of runonce.32)"
check "handed to the next restart: the held file, then its folders, deepest first" \
  "$HELD | $HOME_DIR\data | $HOME_DIR" "$(state_of restart)"
check_unchanged autostart.64 config.64 neighbour.folder neighbour.prefixfolder
next_logon 16
capture_state after-restart
check "the next session start deleted the home directory" "absent" "$(state_of home)"
check "and has nothing left to delete" "none" "$(state_of restart)"
check_unchanged autostart.64 config.64 neighbour.folder neighbour.prefixfolder
mkdir -p "$HOME_UNIX/data"

OUTSIDE='C:\E2eDownloads\outside'
mkdir -p "$(unix_path "$OUTSIDE")/inner" && echo keep | tee "$(unix_path "$OUTSIDE")/keep.txt" >"$(unix_path "$OUTSIDE")/inner/keep.txt"
outside_files() { find "$(unix_path "$OUTSIDE")" -type f -printf '%P:%s\n' | sort | tr '\n' ' '; }
OUTSIDE_BEFORE=$(outside_files)
cleanup_again() { # cleanup_again <log lines after the run> <expected result line>
  run_program 60 "$1" "$TEMP_DIR" "$COPY" silent zapfiles
  check "nothing outside the home directory deleted" "$OUTSIDE_BEFORE" "$(outside_files)"
  EXPECTED_RUNS+=("$(cleanup_run_lines "silent zapfiles" "$2")")
}
EXPECTED_RUNS=()
MISSING="Unable to stop KESPWindowsService (OpenService Error).  Error #1060"
LINK_STAYS="is a link that could not be removed without following it; it was left, with the folders above it."
# The folder link's name is one the code page cannot spell: the line shows it marked as such.
ln -s "$(unix_path "$OUTSIDE")" "$HOME_UNIX/data/кэш" && ln -s "$(unix_path "$OUTSIDE")/keep.txt" "$HOME_UNIX/notes.txt"
LINK_TEXT="$HOME_DIR\\data\\??? [as the code page renders it, not its real name]"
run_program 60 36 "$TEMP_DIR" "$COPY"
check "nothing outside the home directory deleted" "$OUTSIDE_BEFORE" "$(outside_files)"
EXPECTED_RUNS+=("$(removal_run_lines "" "Stop failed.  Error: $MISSING" \
  "Removal failed.  Error: Unable to remove KESPWindowsService.  Stop step: $MISSING" "registry item removed" \
  "Delete failed.  Error: $LINK_TEXT $LINK_STAYS 1 more could not be deleted either. Not handed to the next restart: \
$LINK_TEXT (a link, or reached elsewhere than where it is listed). Handed to the next restart: 0." "")")
capture_state links
check "nothing handed to the next restart through the links" "none" "$(state_of restart)"
check "the run-once value kept for what nothing else deletes" "\"$COPY\" silent zapfiles" "$(state_of runonce.32)"
check "both links left" "data/кэш notes.txt" "$(cd "$HOME_UNIX" && find . -mindepth 1 -type l -printf '%P ' | xargs)"
rm "$HOME_UNIX/data/кэш" "$HOME_UNIX/notes.txt"
mv "$HOME_UNIX" "$HOME_UNIX.real" && ln -s "$(unix_path "$OUTSIDE")" "$HOME_UNIX"
cleanup_again 43 "Delete failed.  Error: $HOME_DIR is a link or a file, not a folder; nothing was deleted."
rm "$HOME_UNIX" && mv "$HOME_UNIX.real" "$HOME_UNIX"
mkdir -p "$HOME_UNIX/$(printf 'd/%.0s' {1..500})" && echo bottom >"$HOME_UNIX/$(printf 'd/%.0s' {1..500})bottom.txt"
cleanup_again 50 "Delete success"
check "the tree 500 folders deep deleted" "absent" "$(product state | grep -m1 '^home=' | cut -d= -f2-)"

product install 64 stuck >/dev/null || exit 1
PROGRAM="$HOME_DIR\\KESPWindowsService.exe"
run_program 120 72 "$TEMP_DIR" "$COPY"
capture_state stuck
check "the service's program, still running, handed to the next restart with its folder" \
  "$PROGRAM | $HOME_DIR" "$(state_of restart)"
check "nothing else left in the home directory" "KESPWindowsService.exe" "$(cd "$HOME_UNIX" && find . -mindepth 1 -printf '%P ' | xargs)"
check "run-once value withdrawn: what stays is the restart's" "absent" "$(state_of runonce.32)"
next_logon 72
check "the next session start deleted the home directory" "absent" "$(product state | grep -m1 '^home=' | cut -d= -f2-)"

compare_log <(
  first_run_lines "zapfiles" "$BUILT_EXE" "zapfiles"
  cleanup_run_lines "zapfiles" "Delete failed.  Error: $HELD could not be deleted: Sharing violation. Handed to the next restart: 3."
  printf '%s\n' "${EXPECTED_RUNS[@]}"
  removal_run_lines "" "Stop failed.  Error: Unable to stop KESPWindowsService: it was still stopping when the wait ended (state 3)." \
    "Service removed" "registry item removed" \
    "Delete failed.  Error: $PROGRAM could not be deleted: Access denied. Handed to the next restart: 2."
)

# The log's folder a link, then the log a link and a hard link to a file outside: each run
# writes nothing (Wine names the mitigation policy the run asks for on its error output).
LOG_UNIX=$HALVORNE/Logs
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
check "no line written to the log either" "72" "$(log_line_count)"
e2e_finish
