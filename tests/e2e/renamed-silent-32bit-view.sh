#!/usr/bin/env bash
# A renamed download ("VuzavoRURIvezarov (1).exe", as a browser names a second download),
# started silently with the word written as a switch in capitals, against a product whose
# autostart value and configuration key live in the 32-bit registry view. A different
# program waits in the temporary directory under the usual name "VuzavoRURIvezarov.exe":
# it must never be started; another, read-only, has the copy's own name and must be
# replaced. The copy of the renamed file must do the removal (a running service included,
# which keeps it busy for the whole stop schedule) without any window,
# register itself (quoted: its name holds a blank and parentheses) for the next logon, and
# that start must delete the home directory. A library that Wine's shell loads by name,
# shcore.dll, is planted in the download folder and in the temporary directory, as a web page
# or another user could: none of the three elevated runs may load it.
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/renamed-silent-32bit-view.sh
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_start
DOWNLOADS='C:\E2eDownloads'
RENAMED="$DOWNLOADS\\VuzavoRURIvezarov (1).exe"
mkdir -p "$(unix_path "$DOWNLOADS")"
cp "$UNINSTALLER" "$(unix_path "$RENAMED")"
cp "$PRODUCT_EXE" "$(unix_path "${TEMP_DIR}VuzavoRURIvezarov.exe")"
cp "$PRODUCT_EXE" "$(unix_path "${TEMP_DIR}VuzavoRURIvezarov (1).exe")"
"$WINE" attrib +r "${TEMP_DIR}VuzavoRURIvezarov (1).exe" </dev/null >>"$WINE_LOG" 2>&1
PLANTED=("$(unix_path "$DOWNLOADS")/shcore.dll" "$(unix_path "$TEMP_DIR")shcore.dll")
for library in "${PLANTED[@]}"; do cp "$TESSIVANE_BUILD_DIR/tests/planted_library.dll" "$library"; done
COPY="${TEMP_DIR}VuzavoRURIvezarov (1).exe"
COPY_TEXT=$COPY

product install 32 service || exit 1
capture_state before
check "configuration key in the 32-bit view before the run" "keys=8 values=5" "$(state_of config.32)"
check "configuration key in the 64-bit view before the run" "absent" "$(state_of config.64)"
check "service before the run" "running" "$(state_of service)"
# A service that is already stopped: the stop step says so at once, and it is deleted all the same.
"$WINE" sc stop KESPWindowsService </dev/null >>"$WINE_LOG" 2>&1
deadline=$((SECONDS + 60))
until [ "$(product state | grep -m1 '^service=')" == "service=stopped" ] || [ "$SECONDS" -ge "$deadline" ]; do sleep 0.2; done
check "service stopped before the run" "stopped" "$(product state | grep -m1 '^service=' | cut -d= -f2-)"

run_program 120 27 "$DOWNLOADS" "$RENAMED" /SILENT
check_match "no status window in a silent run" ' windows=0 ' "$RUN_RESULT"
capture_state removed
check "run-once value names the renamed copy, quoted" "\"$COPY\" silent zapfiles" "$(state_of runonce.32)"
check "service" "absent" "$(state_of service)"
check "autostart value (32-bit view)" "absent" "$(state_of autostart.32)"
check "configuration key (32-bit view)" "absent" "$(state_of config.32)"
check "the program waiting under the usual name was not started" "no" "$(state_of planted.ran)"
check_unchanged neighbour.run.64 neighbour.run.32 neighbour.key.32 neighbour.prefixkey.32 home

next_logon 34
capture_state after
check "home directory" "absent" "$(state_of home)"
check "run-once value after the next logon" "absent" "$(state_of runonce.32)"
check "the program waiting under the usual name was not started" "no" "$(state_of planted.ran)"
for library in "${PLANTED[@]}"; do
  check "the library planted as $library was not loaded" "no" "$(exists "$library.loaded")"
done

compare_log <(
  first_run_lines "/SILENT" "$RENAMED" "silent "
  removal_run_lines "silent " "Stop failed.  Error: Unable to stop KESPWindowsService.  Error #1062"
  cleanup_run_lines "silent zapfiles" "Delete success"
)
e2e_finish
