# Shared by the end-to-end scenarios and the demonstration (sourced, not run): the Wine
# environment of the suite's prefix, the stand-in product's helper program, the runs and
# the log lines they must write, the "next logon" (a new Wine session), and registry and
# file-tree snapshots. Every check prints what it expected and what it got.

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${TESSIVANE_SOURCE_DIR:=$(cd "$E2E_DIR/../.." && pwd)}"
: "${TESSIVANE_BUILD_DIR:=$TESSIVANE_SOURCE_DIR/build/test}"
: "${WINEPREFIX:=$TESSIVANE_BUILD_DIR/wineprefix}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
# Headless: the prefix uses Wine's null display driver.
unset DISPLAY

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
# Wine's background processes must not hold CTest's output pipe open: their output goes here.
WINE_LOG="$WINEPREFIX.log"
PRODUCT_EXE="$TESSIVANE_BUILD_DIR/tests/stand_in_product.exe"
UNINSTALLER="$TESSIVANE_BUILD_DIR/VuzavoRURIvezarov.exe"
LOG_FILE="$WINEPREFIX/drive_c/ProgramData/Halvorne/Logs/KESPremoval.log"
SCRATCH="$WINEPREFIX-e2e"
BUILD_ON_C='C:\tessivane-build'
# Every log a scenario compares is also kept here, for the check of the administrators' guide.
LOG_LINES_COLLECTED="$WINEPREFIX/e2e-log-lines.txt"

E2E_FAILURES=0
# Stretches the bounds that only catch hangs, for a much slower machine (an emulated one).
: "${E2E_TIME_SCALE:=1}"

# Every scenario's opening: the suite's prefix, nothing left of earlier runs (now and when
# the script ends), and the paths the program will see (the temporary directory ends with
# its backslash). SOURCE_DIR and BUILT_EXE are a copy of the built program in a folder of its
# own on drive C:, as in a download folder: the build tree reaches the prefix through a link
# (tests/wine/prefix-setup.sh), and the program names itself by the path it is finally
# reached at, which would be the clone's own. TEMP_TEXT and COPY_TEXT are the temporary
# directory and the copy as the log names them; a scenario whose names the code page cannot
# spell sets them to their short forms.
e2e_start() {
  local missing=0 file paths
  for file in "$PRODUCT_EXE" "$UNINSTALLER"; do
    if [ ! -f "$file" ]; then echo "missing build output: $file"; missing=1; fi
  done
  if [ ! -d "$WINEPREFIX/drive_c/tessivane-build/" ]; then
    echo "no Wine prefix at $WINEPREFIX linked to the build (run the suite once, or tests/wine/prefix-setup.sh <prefix> <build dir>)"
    missing=1
  fi
  [ "$missing" -eq 0 ] || exit 1
  # A persistent server keeps one session, and the installed service, alive between commands;
  # starting one when it already runs changes nothing.
  "$WINESERVER" -p </dev/null >>"$WINE_LOG" 2>&1 || true
  mkdir -p "$SCRATCH"
  trap 'product cleanup >/dev/null' EXIT
  product cleanup
  paths=$(product paths)
  TEMP_DIR=$(grep '^temp=' <<<"$paths" | cut -d= -f2-)
  HOME_DIR=$(grep '^home=' <<<"$paths" | cut -d= -f2-)
  COPY="${TEMP_DIR}VuzavoRURIvezarov.exe"
  TEMP_TEXT=$TEMP_DIR
  COPY_TEXT=$COPY
  SOURCE_DIR='C:\E2eProgram'
  BUILT_EXE="$SOURCE_DIR\\VuzavoRURIvezarov.exe"
  mkdir -p "$(unix_path "$SOURCE_DIR")"
  cp "$UNINSTALLER" "$(unix_path "$BUILT_EXE")"
}

# Makes <dir> the user's temporary directory, for this scenario's runs and for the next logon
# alike (the user's environment in the registry), and puts the usual one back when the
# scenario ends, removing the users' folders the scenario made. <final dir> (made when
# missing) is where <dir> finally leads when it is reached through a link. The program names a folder that the code
# page cannot spell by its short form, so TEMP_TEXT and COPY_TEXT are the short forms here.
use_temp_directory() { # use_temp_directory <dir> [<final dir>] [<users' folder made>...]
  local name
  "$WINE" reg export 'HKCU\Environment' 'C:\e2e-environment.reg' /y </dev/null >>"$WINE_LOG" 2>&1
  mv "$(unix_path 'C:\e2e-environment.reg')" "$SCRATCH/environment.reg"
  MADE_FOLDERS=("${@:3}")
  trap 'restore_temp_directory; product cleanup >/dev/null' EXIT
  for name in TEMP TMP; do
    "$WINE" reg add 'HKCU\Environment' /v "$name" /d "${1%\\}" /f </dev/null >>"$WINE_LOG" 2>&1
  done
  mkdir -p "$(unix_path "${2-$1}")"
  TEMP_DIR=$1
  COPY="${2-$1}VuzavoRURIvezarov.exe"
  TEMP_TEXT="$(product short "${2-$1}" | sed 's/\\$//')\\"
  COPY_TEXT="${TEMP_TEXT}VuzavoRURIvezarov.exe"
}

restore_temp_directory() {
  local folder
  cp "$SCRATCH/environment.reg" "$(unix_path 'C:\e2e-environment.reg')"
  "$WINE" reg import 'C:\e2e-environment.reg' </dev/null >>"$WINE_LOG" 2>&1
  rm -f "$(unix_path 'C:\e2e-environment.reg')"
  for folder in "${MADE_FOLDERS[@]}"; do rm -rf "$(unix_path "$folder")"; done
}

e2e_finish() {
  if [ "$E2E_FAILURES" -eq 0 ]; then
    echo "PASSED"
    exit 0
  fi
  echo "FAILED: $E2E_FAILURES check(s)"
  exit 1
}

# The Unix form of a path on drive C of the prefix.
unix_path() { local path=${1#[Cc]:}; path=${path//\\//}; printf '%s' "$WINEPREFIX/drive_c$path"; }

exists() { if [ -e "$1" ]; then echo yes; else echo no; fi; }

# The stand-in product's helper: install, state, cleanup, run, hold, paths.
product() { "$WINE" "$BUILD_ON_C\\tests\\stand_in_product.exe" "$@" </dev/null 2>>"$WINE_LOG" | tr -d '\r'; }

# One line of the helper's state, e.g. state_of service.
state_of() { grep -m1 "^$1=" "$STATE_FILE" | cut -d= -f2-; }
capture_state() { STATE_FILE="$SCRATCH/state.$1"; product state >"$STATE_FILE"; }

fail() {
  echo "FAIL: $*"
  E2E_FAILURES=$((E2E_FAILURES + 1))
}

check() { # check <what> <expected> <got>
  if [ "$2" == "$3" ]; then echo "ok:   $1: $3"; else fail "$1: expected [$2], got [$3]"; fi
}

check_match() { # check_match <what> <extended regex> <got>
  if [[ "$3" =~ $2 ]]; then echo "ok:   $1: $3"; else fail "$1: expected to match [$2], got [$3]"; fi
}

# The pieces as they are now against the state captured before the first run.
check_unchanged() { # check_unchanged <piece>...
  local piece
  for piece in "$@"; do
    check "$piece, unchanged" "$(STATE_FILE=$SCRATCH/state.before state_of "$piece")" "$(state_of "$piece")"
  done
}

# Starts the program and waits (bounded) until it has exited and the log holds <lines>
# lines, those of every run it led to; RUN_RESULT keeps what the helper saw (exit code,
# status windows, log lines).
run_program() { # run_program <timeout-s> <lines> <workdir> <program> [--temp <dir>] [words...]
  RUN_RESULT=$(product run "$(($1 * E2E_TIME_SCALE))" "${@:2}")
  echo "      $RUN_RESULT"
  check_match "the run ends with exit code 0 and the log reaches $2 lines" "^exit=0 .*loglines=$2 " "$RUN_RESULT"
}

log_line_count() { if [ -f "$LOG_FILE" ]; then grep -c '' "$LOG_FILE"; else echo 0; fi; }

# The next logon: the Wine session ends (every Wine process of the prefix with it) and a
# new one starts, which runs the machine's RunOnce commands and deletes each value it runs.
# Then waits (bounded) for the log to reach <lines> lines.
next_logon() { # next_logon <lines>
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
  "$WINESERVER" -p </dev/null >>"$WINE_LOG" 2>&1
  "$WINE" cmd /c exit </dev/null >>"$WINE_LOG" 2>&1
  local deadline=$((SECONDS + 60 * E2E_TIME_SCALE))
  while [ "$(log_line_count)" -lt "$1" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
  check "log lines after the next logon" "$1" "$(log_line_count)"
}

# ---- the lines every run must write (the expected log is these, in order) ----

start_lines() { # start_lines <command line> <program path> [temp directory]
  printf '%s\n' "================= KESP Uninstaller Start =================" "Command line: $1" \
    "My path: $2" "Source directory: ${2%\\*}" "Temp directory: ${3-$TEMP_TEXT}"
}

# A first run outside the temporary directory: it copies itself there and starts $COPY.
first_run_lines() { # first_run_lines <command line> <program path> <words passed on>
  start_lines "$1" "$2"
  cat <<LINES
Copy $2 to $TEMP_TEXT
    Copy from: $2 to: $TEMP_TEXT success.
Run $COPY_TEXT $3
    $COPY_TEXT Launched OK
LINES
}

# The copy's removal run; the outcomes default to those of an installed product. The
# run-once value is withdrawn at the end unless the withdrawal's result is given as "".
removal_run_lines() { # removal_run_lines <command line> [stop] [service removal] [autostart removal] [home deletion] [withdrawal]
  start_lines "$1" "$COPY_TEXT"
  cat <<LINES
Add "$COPY_TEXT" silent zapfiles to the RunOnce key
    registry item added
Remove service
Home path: $HOME_DIR
Stop the KESPWindowsService service
    ${2-Service stopped}
Remove the KESPWindowsService service
    ${3-Service removed}
Remove notification app from the registry
Remove the notification app from the registry
    ${4-registry item removed}
Remove the service registry path
    registry item removed
Delete home path: $HOME_DIR
    ${5-Delete success}
LINES
  [ -z "${6-registry item removed}" ] || printf '%s\n' "Remove KESPCleanup from the RunOnce key" "    ${6-registry item removed}"
}

cleanup_run_lines() { # cleanup_run_lines <command line> <outcome>
  start_lines "$1" "$COPY_TEXT"
  printf '%s\n' "Delete home path: $HOME_DIR" "    $2"
}

# Compares the whole log, line by line and timestamps aside, with the expected lines, e.g.
# compare_log <(start_lines ...). Not at the end of a pipe: the failure would be counted in
# a subshell. A line whose prefix is not "[year-month-day hh:mm:ss] " is shown whole,
# marked, so that the comparison fails.
compare_log() { # compare_log <file of expected lines>
  cat "$1" >"$SCRATCH/log.expected"
  sed -e 's/\r$//' "$LOG_FILE" 2>/dev/null |
    sed -E -e 's/^\[[0-9]{4}-([1-9]|1[0-2])-([1-9]|[12][0-9]|3[01]) [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\] //;t' \
      -e 's/^/BAD PREFIX: /' >"$SCRATCH/log.actual"
  cat "$SCRATCH/log.actual" >>"$LOG_LINES_COLLECTED"
  if diff -u "$SCRATCH/log.expected" "$SCRATCH/log.actual" >"$SCRATCH/log.diff"; then
    echo "ok:   the log holds exactly the $(grep -c '' "$SCRATCH/log.expected") expected lines"
  else
    fail "the log differs from the expected lines (- expected, + got):"
    head -n 60 "$SCRATCH/log.diff" | sed 's/^/      /'
  fi
  if [ -n "$(sed -n '/\r$/!p' "$LOG_FILE" 2>/dev/null | head -c1)" ]; then
    fail "some log lines do not end with CR LF"
  fi
}

# ---- snapshots ----

# Snapshot of the machine hive and the user's hive (one line per key and per value, under
# its key) and of the file tree of drive C (type, size of files, path).
snapshot() { # snapshot <name>
  local hive
  for hive in HKLM HKCU; do
    # Exported on drive C: (a short path) and moved out before the file tree is listed.
    "$WINE" reg export "$hive" 'C:\e2e-snapshot.reg' /y </dev/null >>"$WINE_LOG" 2>&1
    mv "$(unix_path 'C:\e2e-snapshot.reg')" "$SCRATCH/$1.$hive.reg"
    iconv -f UTF-16 -t UTF-8 "$SCRATCH/$1.$hive.reg" | tr -d '\r' |
      awk '/^\[/ { key = $0; print key; next } NF { print key "\t" $0 }'
  done | LC_ALL=C sort >"$SCRATCH/$1.registry"
  (cd "$WINEPREFIX/drive_c" && find . \( -type f -printf 'f %s %p\n' \) -o \( ! -type f -printf '%y - %p\n' \)) |
    LC_ALL=C sort >"$SCRATCH/$1.files"
}

# Lines in which two snapshots differ ("- " only before, "+ " only after), less the
# allowances: each allowance is "<+|-|*> <extended regex on the lowercased line>  # name".
snapshot_differences() { # snapshot_differences <before> <after> <kind> <allowance-file>
  LC_ALL=C comm -3 "$SCRATCH/$1.$3" "$SCRATCH/$2.$3" |
    sed -e 's/^\t/+ /' -e 's/^\([^+]\)/- \1/' |
    awk -v allowances="$4" '
      BEGIN {
        while ((getline rule < allowances) > 0) {
          if (rule ~ /^[ \t]*(#|$)/) continue
          n++; sign[n] = substr(rule, 1, 1); pattern[n] = substr(rule, 3)
          sub(/[ \t]+#.*$/, "", pattern[n])
        }
      }
      {
        line = tolower(substr($0, 3)); s = substr($0, 1, 1); allowed = 0
        for (i = 1; i <= n; i++)
          if ((sign[i] == s || sign[i] == "*") && line ~ pattern[i]) { allowed = 1; break }
        if (!allowed) print
      }'
}

# ---- for a person reading along ----

print_log() {
  echo "---- $LOG_FILE"
  [ -f "$LOG_FILE" ] && sed 's/\r$//' "$LOG_FILE"
  echo "----"
}

# A short table of the product's pieces across the captured states, e.g.
# print_table before removed after.
print_table() {
  local rows=(
    "service KESPWindowsService|service"
    "autostart value Run\\KESPNotifications|autostart.64"
    "configuration key KESP_SERVICE|config.64"
    "home directory|home"
    "run-once value KESPCleanup|runonce.32"
  )
  local row label piece name value line
  line=$(printf '%-38s' "")
  for name in "$@"; do line+=$(printf ' %-18s' "$name"); done
  echo "${line%"${line##*[! ]}"}"
  for row in "${rows[@]}"; do
    label=${row%|*}
    piece=${row#*|}
    line=$(printf '%-38s' "$label")
    for name in "$@"; do
      value=$(STATE_FILE="$SCRATCH/state.$name" state_of "$piece")
      case "$piece:$value" in
        autostart*:absent | runonce*:absent) ;;
        autostart* | runonce*) value=present ;;
      esac
      line+=$(printf ' %-18s' "$value")
    done
    echo "${line%"${line##*[! ]}"}"
  done
}
