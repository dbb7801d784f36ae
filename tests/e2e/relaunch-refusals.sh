#!/usr/bin/env bash
# The first run starts nothing unless it has just made the copy it would start:
#  1. when the copy into the temporary directory fails, whatever file the launch would
#     name is not started;
#  2. when there is no temporary directory (its path is longer than any path the program
#     takes), nothing is copied into the current directory and nothing is started, so a
#     program started from its own folder cannot start itself again and again;
#  3. when the temporary directory's path leaves no room for the copy's name, nothing is
#     copied, and the cut path (which the shell would complete to another program's name)
#     is not started;
#  4. when the program's own path is too long for it, the path is left out, not cut to
#     the name of some other file, and nothing is copied or started;
# Each run logs the copy's outcome, the "Run" line and a launch failure saying why nothing
# was started; no further run follows. A usual name someone else keeps does not stop the
# removal: the copy is made under a fresh name beside it, and that copy does the removal.
#  5. a file already at the copy's place that another process holds, as whoever planted it
#     could, is neither deleted nor written;
#  6. a link planted at the copy's place is left as it is;
#  7. the copy's name is still taken after the file there was deleted (whoever holds that
#     file keeps its name while it is open).
# Then the copy's own refusal:
#  8. when the temporary directory lies so deep that the next logon's command would have
#     more than the 260 characters Windows runs, even with the copy's short path, the
#     command is not written (a cut one would start another file), and the removal goes on.
# And where the first run runs from, and how long it lasts:
#  9. a start from the drive's root, C:\, which holds the temporary directory, copies and
#     relaunches like any other, and the copy does the removal;
# 10. a silent start from a download folder ends only once the copy's removal has ended (the
#     log holds every line of both runs when it ends); a start without "silent" ends at once.
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/relaunch-refusals.sh
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_start
NOT_STARTED="Error Message: No copy was made in the temporary directory; nothing was started."

# Runs the program with another temporary directory; its 9 lines must be the only ones once
# every program it could have started has ended (run_program counts them then).
refused_run() { # refused_run <workdir> <program> <temp directory>
  run_program 60 9 "$1" "$2" --temp "$3"
}

# The log of such a run: the copy's outcome, then a launch of <launched> that failed.
refusal_lines() { # refusal_lines <program> <temp directory> <copy outcome> <launched> <why>
  start_lines "" "$1" "$2"
  printf '%s\n' "Copy $1 to $2" "    Copy from: $1 to: $2 $3" "Run $4 " \
    "    $4 launch failed.  Error: Unable to run the program: $4 $5"
}

echo "== 1. the copy fails: the temporary directory's path leads through a file"
OWN_DIR='C:\E2eDownloads'
BLOCKED_TEMP="$OWN_DIR\\not-a-folder.txt\\"
mkdir -p "$(unix_path "$OWN_DIR")"
echo "a file where the temporary directory should be" >"$(unix_path "$OWN_DIR")/not-a-folder.txt"
refused_run "$SOURCE_DIR" "$BUILT_EXE" "$BLOCKED_TEMP"
capture_state blocked
check "run-once value" "absent" "$(state_of runonce.32)"
compare_log <(refusal_lines "$BUILT_EXE" "$BLOCKED_TEMP" \
  "failed.  Error: The temporary directory could not be opened: Invalid name. Nothing was copied." \
  "${BLOCKED_TEMP}VuzavoRURIvezarov.exe" "$NOT_STARTED")

echo "== 2. no temporary directory: the program runs from its own folder, the current directory"
product cleanup >/dev/null
OWN="$OWN_DIR\\VuzavoRURIvezarov.exe"
mkdir -p "$(unix_path "$OWN_DIR")"
cp "$UNINSTALLER" "$(unix_path "$OWN")"
refused_run "$OWN_DIR" "$OWN" "C:\\$(printf 'T%.0s' {1..280})\\"
check "files in the program's folder (nothing copied there)" "VuzavoRURIvezarov.exe" "$(ls "$(unix_path "$OWN_DIR")" | tr '\n' ' ' | sed 's/ $//')"
compare_log <(refusal_lines "$OWN" "" "failed.  Error: The temporary directory could not be found; nothing was copied." \
  "VuzavoRURIvezarov.exe" "$NOT_STARTED")

echo "== 3. the temporary directory's path leaves no room for the copy's name"
product cleanup >/dev/null
LONG_DIR="C:\\$(printf 'L%.0s' {1..245})\\"
CUT="${LONG_DIR}VuzavoRURI"
mkdir -p "$(unix_path "$LONG_DIR")"
# What the cut path would find, were it started.
cp "$PRODUCT_EXE" "$(unix_path "$CUT.exe")"
refused_run "$SOURCE_DIR" "$BUILT_EXE" "$LONG_DIR"
check "the program at the cut path was not started" "no" "$(exists "$(unix_path "${LONG_DIR}e2e_planted_ran.txt")")"
check "nothing was copied there" "VuzavoRURI.exe" "$(ls "$(unix_path "$LONG_DIR")" | tr '\n' ' ' | sed 's/ $//')"
rm -rf "$(unix_path "$LONG_DIR")"
compare_log <(refusal_lines "$BUILT_EXE" "$LONG_DIR" \
  "failed.  Error: The copy's path would have 260 or more characters; nothing was copied." "$CUT" "$NOT_STARTED")

echo "== 4. the program's own path does not fit in 260 characters"
product cleanup >/dev/null
DEEP_DIR="C:\\$(printf 'D%.0s' {1..120})\\$(printf 'E%.0s' {1..120})"
mkdir -p "$(unix_path "$DEEP_DIR")"
cp "$UNINSTALLER" "$(unix_path "$DEEP_DIR")/"
# Wine's loader starts a program at such a path, where CreateProcess refuses it.
timeout 60 "$WINE" "$DEEP_DIR\\VuzavoRURIvezarov.exe" </dev/null >>"$WINE_LOG" 2>&1
check "exit code of the run" "0" "$?"
capture_state deep
check "copies in the temporary directory" "0" "$(state_of tempcopies)"
check "run-once value" "absent" "$(state_of runonce.32)"
rm -rf "$(unix_path "$DEEP_DIR")"
compare_log <(refusal_lines "" "$TEMP_DIR" \
  "failed.  Error: This program's own path is not known (it has 260 or more characters); nothing was copied." \
  "$TEMP_DIR" "$NOT_STARTED")

# The copy the first run started, as the log names it, becomes COPY_TEXT: a fresh name.
MISSING="Unable to stop KESPWindowsService (OpenService Error).  Error #1060"
find_fresh_copy() {
  COPY_TEXT=$(sed -n 's/^\[[^]]*\] Run \(.*\) \r\{0,1\}$/\1/p' "$LOG_FILE" | head -n 1)
  check_match "the copy's fresh name, beside the usual one" "^${TEMP_DIR//\\/\\\\}VuzavoRURIvezarov-[0-9a-f]{16}\.exe$" "$COPY_TEXT"
}
# The log of a first run whose copy got a fresh name for <note>, and of that copy's removal
# of an absent product.
fresh_copy_lines() { # fresh_copy_lines <note>
  start_lines "" "$BUILT_EXE"
  printf '%s\n' "Copy $BUILT_EXE to $TEMP_TEXT" "    $1" "    Copy from: $BUILT_EXE to: $TEMP_TEXT success." \
    "Run $COPY_TEXT " "    $COPY_TEXT Launched OK"
  absent_product_removal_lines ""
}
# The removal run of an absent product: nothing to stop, remove or delete, so the run-once
# value it registered is withdrawn again.
absent_product_removal_lines() { # absent_product_removal_lines <command line>
  removal_run_lines "$1" "Stop failed.  Error: $MISSING" \
    "Removal failed.  Error: Unable to remove KESPWindowsService.  Stop step: $MISSING" "removal failed." \
    "Delete failed.  Error: $HOME_DIR could not be deleted: File not found."
}
# The log's "Add" line names the copy that did the removal; the value is gone by the end.
check_registered_then_withdrawn() {
  capture_state registered
  check_match "the run-once value written in the program's default view" ' runonce-written=32$' "$RUN_RESULT"
  check "run-once value, withdrawn by the removal run" "absent" "$(state_of runonce.32)"
  COPY_TEXT=$COPY
}

# Runs the program while another process holds a file at the copy's place, sharing it as
# hold's words say; the holder lets go at release_held_copy.
run_while_copy_held() { # run_while_copy_held [deletable]
  product hold "$COPY" 300 "$@" >/dev/null &
  local deadline=$((SECONDS + 60))
  while [ ! -f "$(unix_path "${TEMP_DIR}e2e_hold_ready")" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
  run_program 60 32 "$SOURCE_DIR" "$BUILT_EXE"
}
release_held_copy() { : >"$(unix_path "${TEMP_DIR}e2e_hold_release")"; wait; }

echo "== 5. a file at the copy's place that another process holds"
product cleanup >/dev/null
trap 'release_held_copy; product cleanup >/dev/null' EXIT
run_while_copy_held
release_held_copy
check "the held file, not overwritten" "0" "$(stat -c %s "$(unix_path "$COPY")")"
find_fresh_copy
compare_log <(fresh_copy_lines \
  "The file already at $COPY could not be deleted: Sharing violation. The copy is made under a fresh name.")
check_registered_then_withdrawn

echo "== 6. a link at the copy's place, planted to take the elevated deletion elsewhere"
product cleanup >/dev/null
OUTSIDE="$SCRATCH/outside-target.exe"
echo "not ours" >"$OUTSIDE"
ln -s "$OUTSIDE" "$(unix_path "$COPY")"
run_program 60 32 "$SOURCE_DIR" "$BUILT_EXE"
check "the link's target, neither deleted nor overwritten" "not ours" "$(cat "$OUTSIDE" 2>&1)"
rm -f "$(unix_path "$COPY")"
find_fresh_copy
compare_log <(fresh_copy_lines "The file already at $COPY is a link, left as it is so that what it points to is \
not deleted. The copy is made under a fresh name.")
check_registered_then_withdrawn

echo "== 7. the copy's name still taken at the creation: the file there is held by one who lets it be deleted"
product cleanup >/dev/null
run_while_copy_held deletable
check "the held file, not written" "0" "$(stat -c %s "$(unix_path "$COPY")")"
release_held_copy
check "the deleted file's name, free once the holder let go" "no" "$(exists "$(unix_path "$COPY")")"
find_fresh_copy
compare_log <(fresh_copy_lines \
  "The copy could not be created at $COPY: File exists. The copy is made under a fresh name.")
check_registered_then_withdrawn

echo "== 8. a temporary directory so deep that the next logon's command does not fit"
product cleanup >/dev/null
# Names of eight letters have no short form of their own: only the copy's name shortens.
DEEP_DIR="C:\\$(printf 'aaaaaaaa\\%.0s' {1..26})"
mkdir -p "$(unix_path "$DEEP_DIR")"
run_program 120 29 "$SOURCE_DIR" "$BUILT_EXE" --temp "$DEEP_DIR"
capture_state deep
check "run-once value" "absent" "$(state_of runonce.32)"
TEMP_TEXT=$DEEP_DIR
COPY_TEXT="${DEEP_DIR}VuzavoRURIvezarov.exe"
SHORT_COPY=$(product short "$COPY_TEXT")
rm -rf "$(unix_path 'C:\aaaaaaaa')"
missing="Unable to stop KESPWindowsService (OpenService Error).  Error #1060"
expected=$(
  first_run_lines "" "$BUILT_EXE" ""
  removal_run_lines "" "Stop failed.  Error: $missing" \
    "Removal failed.  Error: Unable to remove KESPWindowsService.  Stop step: $missing" "removal failed." \
    "Delete failed.  Error: $HOME_DIR could not be deleted: File not found." ""
)
added="Add \"$COPY_TEXT\" silent zapfiles to the RunOnce key"$'\n'"    registry item added"
refused="Add \"$SHORT_COPY\" silent zapfiles to the RunOnce key"$'\n'"    registry item add failed.  Error: The \
command has more than the 260 characters that Windows runs from RunOnce, even with the short form of the copy's \
path; it was not written."
compare_log <(printf '%s\n' "${expected/"$added"/"$refused"}")

echo "== 9. a start from the drive's root, which holds the temporary directory"
product cleanup >/dev/null
TEMP_TEXT=$TEMP_DIR
COPY_TEXT=$COPY
ROOT_EXE='C:\VuzavoRURIvezarov.exe'
cp "$UNINSTALLER" "$(unix_path "$ROOT_EXE")"
trap 'rm -f "$(unix_path "$ROOT_EXE")"; product cleanup >/dev/null' EXIT
run_program 60 31 'C:\' "$ROOT_EXE"
check_registered_then_withdrawn
compare_log <(first_run_lines "" "$ROOT_EXE" "" && absent_product_removal_lines "")

echo "== 10. a silent start ends once the removal has; a start without \"silent\" ends at once"
for words in silent ""; do
  product cleanup >/dev/null
  product install 64 service >/dev/null || fail "the stand-in product was not installed"
  run_program 120 31 "$SOURCE_DIR" "$BUILT_EXE" $words
  capture_state "waited-$words"
  check "service" "absent" "$(state_of service)"
  check "configuration key" "absent" "$(state_of config.64)"
  if [ -n "$words" ]; then
    check_match "the log when the silent start ended: every line of both runs" " atexit=31 " "$RUN_RESULT"
    compare_log <(first_run_lines "silent" "$BUILT_EXE" "silent " && removal_run_lines "silent ")
  else
    check_match "the log when the start ended: only the first run's own lines" " atexit=(9|[12][0-9]|30) " "$RUN_RESULT"
  fi
done
e2e_finish
