#!/usr/bin/env bash
# The whole removal as a user meets it, in the suite's Wine prefix: the stand-in product is
# installed, the program is started from the build folder with no words, and the copy it
# starts in the temporary directory removes the service, the registry pieces and the home
# directory, and withdraws its run-once value: the next logon (a new Wine session) has
# nothing left to run. The whole log is compared
# with the lines every run must write, and snapshots of the registry and of drive C taken
# before the first run and after the next logon may differ only by the removed pieces, the
# log, the copy, and what Wine itself rewrites when a session starts.
#
# By hand, after the suite has built build/test and made its prefix:
#   tests/e2e/full-removal.sh
# E2E_SNAPSHOTS=0 leaves the snapshots out (the demonstration does); E2E_PROGRAM_DIR names
# another folder on drive C: (a download folder, say) to copy the program into and start
# it from.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
echo "== leftovers of earlier runs"
e2e_start
if [ -n "${E2E_PROGRAM_DIR:-}" ]; then
  SOURCE_DIR=$E2E_PROGRAM_DIR
  mkdir -p "$(unix_path "$SOURCE_DIR")"
  cp "$UNINSTALLER" "$(unix_path "$SOURCE_DIR")/"
fi
NEIGHBOURS=(neighbour.run.64 neighbour.run.32 neighbour.key.64 neighbour.prefixkey.64 neighbour.folder neighbour.prefixfolder)

echo "== 1. the stand-in product: running service, configuration key in the 64-bit view, autostart value in both views"
product install 64 service || exit 1
# A 32-bit tray program beside the 64-bit service leaves its autostart value in the other view.
"$WINE" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v KESPNotifications /d tray /f /reg:32 \
  </dev/null >>"$WINE_LOG" 2>&1
capture_state before
sed 's/^/      /' "$STATE_FILE"
check "service before the run" "running" "$(state_of service)"
check "configuration key before the run" "keys=8 values=5" "$(state_of config.64)"
check "autostart value in the 32-bit view before the run" "tray" "$(state_of autostart.32)"
[ "${E2E_SNAPSHOTS:-1}" = 0 ] || snapshot before

echo "== 2. the program, started from $SOURCE_DIR with no words"
# 9 lines of this run, then 22 of the copy's removal run.
run_program 120 31 "$SOURCE_DIR" "$SOURCE_DIR\\VuzavoRURIvezarov.exe"
check_match "the status window was shown" ' windows=[1-9]' "$RUN_RESULT"
# Written in the 32-bit view (by redirection, for the shipped 32-bit program) and withdrawn
# there again: the other view's key is never touched.
check_match "the run-once value written and withdrawn in the program's default view only" ' runonce-written=32$' "$RUN_RESULT"

echo "== 3. after the removal run"
capture_state after-removal
check "no run-once value left in the program's default view" "absent" "$(state_of runonce.32)"
check "nor in the other view" "absent" "$(state_of runonce.64)"
check "service" "absent" "$(state_of service)"
check "autostart value in the 64-bit view" "absent" "$(state_of autostart.64)"
check "autostart value in the 32-bit view" "absent" "$(state_of autostart.32)"
check "configuration key" "absent" "$(state_of config.64)"
check "home directory" "absent" "$(state_of home)"
check "nothing handed to the next restart" "none" "$(state_of restart)"
check_unchanged "${NEIGHBOURS[@]}"

echo "== 4. the next logon runs nothing of the program's"
next_logon 31
capture_state after-logon
check "home directory" "absent" "$(state_of home)"
check "run-once value" "absent" "$(state_of runonce.32)"
check "the copy stays in the temporary directory" "1" "$(state_of tempcopies)"
check_unchanged "${NEIGHBOURS[@]}"

echo "== 5. the whole log"
compare_log <(
  first_run_lines "" "$SOURCE_DIR\\VuzavoRURIvezarov.exe" ""
  removal_run_lines ""
)
print_log
echo "== the product's pieces: before the first run, after the removal run, after the next logon"
print_table before after-removal after-logon

if [ "${E2E_SNAPSHOTS:-1}" != 0 ]; then
  echo "== 6. nothing else changed"
  snapshot after
  cat >"$SCRATCH/allowed.registry" <<'EOF'
- ^\[hkey_local_machine\\software\\(wow6432node\\)?halvorne\\kesp_service[]\\]    # the configuration key tree, removed
- ^\[hkey_local_machine\\software\\(wow6432node\\)?microsoft\\windows\\currentversion\\run\]	"kespnotifications"=    # the autostart value, removed from both views
- ^\[hkey_local_machine\\system\\(currentcontrolset|controlset[0-9]+)\\services\\kespwindowsservice[]\\]    # the service's registration, removed
* ^\[hkey_local_machine\\system\\(currentcontrolset|controlset[0-9]+)\\control\\video\\\{    # Wine registers its display device anew, under a new id, when a session starts
* ^\[hkey_local_machine\\system\\(currentcontrolset|controlset[0-9]+)\\control\\(class|video)\\[^]]*\]	"driverdatedata"=    # and stamps the display driver's date
* ^\[hkey_local_machine\\system\\(currentcontrolset|controlset[0-9]+)\\control\\servicecurrent\]	@=    # the service manager's count of started services, begun anew with each session
EOF
  cat >"$SCRATCH/allowed.files" <<'EOF'
- ^d - \./programdata/halvorne/kespwindowsservice$    # the home directory, removed
- ^[fd] [-0-9]+ \./programdata/halvorne/kespwindowsservice/    # its contents, removed
+ ^d - \./programdata/halvorne/logs$    # the log's folder
+ ^f [0-9]+ \./programdata/halvorne/logs/kespremoval\.log$    # the log
+ ^f [0-9]+ \./users/[^/]+/temp/vuzavorurivezarov\.exe$    # the copy in the temporary directory
EOF
  for kind in registry files; do
    unexpected=$(snapshot_differences before after $kind "$SCRATCH/allowed.$kind")
    if [ -z "$unexpected" ]; then
      echo "ok:   $kind: no change beyond the allowed ones"
    else
      fail "$kind: unexpected changes (- before only, + after only):"
      head -n 40 <<<"$unexpected" | sed 's/^/      /'
    fi
  done
  # The allowances must not hide the removal itself: the removed pieces are among the changes.
  removed=$(LC_ALL=C comm -23 "$SCRATCH/before.registry" "$SCRATCH/after.registry" | grep -ci 'kesp_service\]$')
  check "registry keys named KESP_SERVICE that the snapshots saw go" "1" "$removed"
fi

e2e_finish
