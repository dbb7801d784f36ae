#!/usr/bin/env bash
# A machine without the product: every step of every run still logs its outcome (the
# stop step the service manager's "does not exist", the removal step what the stop step
# found, the missing autostart value a failure, the missing configuration key a success,
# the home directory's deletion that there was none, after which the run-once value is
# withdrawn), the first run ends with exit code 0, and nothing is left behind but the log
# and the copy.
#
# The user here is "Łukasz Дмитрий", and the download folder "C:\Łódź Загрузки": names the
# code page (1252) can spell only as "L" and "?". Both folders were moved with links (junctions,
# on Windows): C:\Łódź Загрузки leads to the profile's "Загрузки", and the temporary directory
# C:\users\Łukasz Дмитрий\Temp to ...\AppData\Local\Temp. Both runs still happen: the
# program names each folder by its short form, works in the folders the links lead to, and
# the copy it starts there finds itself in that same folder.
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/without-product.sh
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_start
USER_FOLDER='C:\users\Łukasz Дмитрий'
DOWNLOADS='C:\Łódź Загрузки'
mkdir -p "$(unix_path "$USER_FOLDER\\AppData\\Local\\Temp")" "$(unix_path "$USER_FOLDER\\Загрузки")"
ln -s AppData/Local/Temp "$(unix_path "$USER_FOLDER")/Temp"
ln -s "$(unix_path "$USER_FOLDER\\Загрузки")" "$(unix_path "$DOWNLOADS")"
use_temp_directory "$USER_FOLDER\\Temp\\" "$USER_FOLDER\\AppData\\Local\\Temp\\" "$USER_FOLDER" "$DOWNLOADS"
cp "$UNINSTALLER" "$(unix_path "$DOWNLOADS")/"
SOURCE_TEXT=$(product short "$USER_FOLDER\\Загрузки")
capture_state before
check "service before the run" "absent" "$(state_of service)"
check "home directory before the run" "absent" "$(state_of home)"

run_program 120 31 "$DOWNLOADS" "$DOWNLOADS\\VuzavoRURIvezarov.exe"
capture_state removed
check "run-once value withdrawn: there is no home directory to wait for" "absent" "$(state_of runonce.32)"
check "the copy, in the folder the link leads to" "yes" "$(exists "$(unix_path "$COPY")")"

next_logon 31
capture_state after
check "run-once value after the next logon" "absent" "$(state_of runonce.32)"
check "home directory" "absent" "$(state_of home)"

missing="Unable to stop KESPWindowsService (OpenService Error).  Error #1060"
compare_log <(
  first_run_lines "" "$SOURCE_TEXT\\VuzavoRURIvezarov.exe" ""
  removal_run_lines "" "Stop failed.  Error: $missing" \
    "Removal failed.  Error: Unable to remove KESPWindowsService.  Stop step: $missing" "removal failed." \
    "Delete failed.  Error: $HOME_DIR could not be deleted: File not found."
)
e2e_finish
