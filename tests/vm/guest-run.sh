#!/bin/bash
# Inside the emulated machine: the suite's prefix setup and the whole-removal scenario, with
# the shipped 32-bit program as the program under test and the 64-bit stand-in product
# (wine64 runs it; Wine starts the program as a WOW64 process). Prints each phase's time.
set -uo pipefail
IO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
export TESSIVANE_SOURCE_DIR=$IO/repo TESSIVANE_BUILD_DIR=$IO/build WINEPREFIX=/root/prefix HOME=/root
export PATH=/usr/sbin:/usr/bin:/sbin:/bin USER=root
echo "== guest: $(uname -m) kernel $(uname -r), $(nproc) cpus; wine $(/usr/lib/wine/wine64 --version 2>&1)"
rc=0
# The machine field of the PE header: 014c is a 32-bit x86 program.
pe=$(od -An -tu4 -j60 -N4 "$TESSIVANE_BUILD_DIR/VuzavoRURIvezarov.exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$TESSIVANE_BUILD_DIR/VuzavoRURIvezarov.exe" | tr -d ' ')
[ "$machine" = 014c ] && echo "ok:   the program under test is a 32-bit x86 executable" ||
  { echo "FAIL: the program under test has machine type $machine, not 014c"; rc=1; }
# A prefix is ready when Wine runs a 32-bit program in it as a WOW64 process: on a loaded
# machine its making can leave the 32-bit side without its libraries (such a program then
# ends with 0xC0000135 after waiting in vain), which is no fault of the program under test.
runs_32bit() {
  local answer
  # Started by a 64-bit program, as the scenario starts the program under test.
  answer=$(timeout 300 /usr/lib/wine/wine64 cmd /c 'C:\windows\syswow64\cmd.exe' /c echo tessivane-32-bit-ok 2>&1 | tr -d '\r')
  if ! grep -qx tessivane-32-bit-ok <<<"$answer"; then
    echo "the prefix's 32-bit cmd.exe answered: $(tail -n 3 <<<"$answer" | tr '\n' ' ')"
    return 1
  fi
}
make_prefix() {
  sh "$TESSIVANE_SOURCE_DIR/tests/wine/prefix-setup.sh" "$WINEPREFIX" "$TESSIVANE_BUILD_DIR" && runs_32bit
}
started=$SECONDS
echo "== guest: a 64-bit Wine prefix"
if ! make_prefix; then
  echo "time: prefix creation, first attempt: $((SECONDS - started)) s; it runs no 32-bit program, made again"
  tail -n 10 "$WINEPREFIX.log"
  started=$SECONDS
  if ! make_prefix; then
    echo "time: prefix creation, second attempt: $((SECONDS - started)) s"
    echo "PREFIX: the guest's Wine prefix could not be made to run a 32-bit program, twice; the shipped program was not run"
    tail -n 30 "$WINEPREFIX.log"
    exit 3
  fi
fi
echo "time: prefix creation: $((SECONDS - started)) s"
echo "ok:   the prefix runs a 32-bit program as a WOW64 process"
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && echo "ok:   the prefix has a 32-bit system folder (syswow64)" ||
  { echo "FAIL: no syswow64 in the prefix"; rc=1; }

started=$SECONDS
echo "== guest: the whole removal with the shipped 32-bit program, started from a download folder"
# The scenario's product lives in the 64-bit view, with its autostart value in both views;
# the program asks for no view when it writes the run-once value, so seeing the 32-bit
# view's key written (and the value withdrawn there) is the redirection a 32-bit process meets.
# Wine makes the prefix's Downloads a link to the Unix home folder, where Windows has a real
# folder; the program names a folder reached through a link by where the link leads.
downloads="$WINEPREFIX/drive_c/users/root/Downloads"
if [ -L "$downloads" ]; then rm "$downloads" && mkdir "$downloads"; fi
E2E_PROGRAM_DIR='C:\users\root\Downloads' E2E_TIME_SCALE=${E2E_TIME_SCALE:-5} \
  bash "$TESSIVANE_SOURCE_DIR/tests/e2e/full-removal.sh" || rc=1
echo "time: the scenario: $((SECONDS - started)) s"
/usr/lib/wine/wineserver64 -k 2>/dev/null
exit "$rc"
