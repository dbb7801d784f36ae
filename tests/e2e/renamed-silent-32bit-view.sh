#!/usr/bin/env bash
# A renamed download ("VuzavoRURIvezarov (1).exe", as a browser names a second download),
# started silently with the word written as a switch in capitals, against a product whose
# autostart value and configuration key live in the 32-bit registry view, by a user whose
# temporary directory, C:\users\Łukasz\Temp, the code page (1252) spells only by the
# look-alike C:\users\Lukasz\Temp: and that look-alike exists, another user's folder with
# programs of the copy's names in it. Nothing may be copied into it, started from it or
# registered from it. In the real temporary directory a different program waits under the
# usual name "VuzavoRURIvezarov.exe": it must never be started; another, read-only, has the
# copy's own name and must be replaced. The copy of the renamed file must do the removal (a
# running service included, which keeps it busy for the whole stop schedule) without any
# window, register itself (quoted: its name holds a blank and parentheses) for the next
# logon by the short form of its folder, delete the home directory and withdraw the value.
# A library that Wine's shell loads by name, shcore.dll, is planted in the download folder
# and in the temporary directory, as a web page or another user could: neither elevated
# run may load it.
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/renamed-silent-32bit-view.sh
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_start
use_temp_directory 'C:\users\Łukasz\Temp\' 'C:\users\Łukasz\Temp\' 'C:\users\Łukasz' 'C:\users\Lukasz'
LOOK_ALIKE='C:\users\Lukasz\Temp\'
DOWNLOADS='C:\E2eDownloads'
RENAMED="$DOWNLOADS\\VuzavoRURIvezarov (1).exe"
mkdir -p "$(unix_path "$DOWNLOADS")" "$(unix_path "$LOOK_ALIKE")"
cp "$UNINSTALLER" "$(unix_path "$RENAMED")"
for folder in "$TEMP_DIR" "$LOOK_ALIKE"; do
  cp "$PRODUCT_EXE" "$(unix_path "${folder}VuzavoRURIvezarov.exe")"
  cp "$PRODUCT_EXE" "$(unix_path "${folder}VuzavoRURIvezarov (1).exe")"
done
"$WINE" attrib +r "${TEMP_DIR}VuzavoRURIvezarov (1).exe" </dev/null >>"$WINE_LOG" 2>&1
PLANTED=("$(unix_path "$DOWNLOADS")/shcore.dll" "$(unix_path "$TEMP_DIR")shcore.dll")
for library in "${PLANTED[@]}"; do cp "$TESSIVANE_BUILD_DIR/tests/planted_library.dll" "$library"; done
COPY="${TEMP_DIR}VuzavoRURIvezarov (1).exe"
COPY_TEXT="${TEMP_TEXT}VuzavoRURIvezarov (1).exe"
check "the temporary directory as the log names it: its short form" "C:\\users\\" "${TEMP_TEXT:0:9}"
check "and no look-alike" "no" "$([[ "$TEMP_TEXT" == *Lukasz* || "$TEMP_TEXT" == *'?'* ]] && echo yes || echo no)"
look_alike_files() { ls -A "$(unix_path "$LOOK_ALIKE")" | tr '\n' '|'; }
LOOK_ALIKE_BEFORE=$(look_alike_files)

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

run_program 120 31 "$DOWNLOADS" "$RENAMED" /SILENT
check_match "no status window in a silent run" ' windows=0 ' "$RUN_RESULT"
capture_state removed
check "run-once value withdrawn once the home directory went" "absent" "$(state_of runonce.32)"
check "service" "absent" "$(state_of service)"
check "autostart value (32-bit view)" "absent" "$(state_of autostart.32)"
check "configuration key (32-bit view)" "absent" "$(state_of config.32)"
check "the program waiting under the usual name was not started" "no" "$(state_of planted.ran)"
check "the look-alike folder: nothing copied into it, nothing in it started" "$LOOK_ALIKE_BEFORE" "$(look_alike_files)"
check "home directory" "absent" "$(state_of home)"
check_unchanged neighbour.run.64 neighbour.run.32 neighbour.key.32 neighbour.prefixkey.32

next_logon 31
capture_state after
check "home directory" "absent" "$(state_of home)"
check "run-once value after the next logon" "absent" "$(state_of runonce.32)"
check "the program waiting under the usual name was not started" "no" "$(state_of planted.ran)"
check "the look-alike folder after the next logon" "$LOOK_ALIKE_BEFORE" "$(look_alike_files)"
for library in "${PLANTED[@]}"; do
  check "the library planted as $library was not loaded" "no" "$(exists "$library.loaded")"
done

compare_log <(
  first_run_lines "/SILENT" "$RENAMED" "silent "
  removal_run_lines "silent " "Stop failed.  Error: Unable to stop KESPWindowsService.  Error #1062"
)
e2e_finish
