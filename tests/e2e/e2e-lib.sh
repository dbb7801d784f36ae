# Shared by the end-to-end scenarios and the demonstration (sourced, not run): the Wine
# environment of the suite's prefix, the stand-in product's helper program, reading the
# uninstaller's log, the "next logon" (a new Wine session), and registry and file-tree
# snapshots. Every check prints what it expected and what it got.

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

E2E_FAILURES=0

e2e_require() {
  local missing=0 file
  for file in "$PRODUCT_EXE" "$UNINSTALLER"; do
    if [ ! -f "$file" ]; then echo "missing build output: $file"; missing=1; fi
  done
  if [ ! -d "$WINEPREFIX/drive_c" ]; then
    echo "no Wine prefix at $WINEPREFIX (run the suite once, or tests/wine/prefix-setup.sh)"
    missing=1
  fi
  [ "$missing" -eq 0 ] || exit 1
  # A persistent server keeps one session, and the installed service, alive between commands;
  # starting one when it already runs changes nothing.
  "$WINESERVER" -p </dev/null >>"$WINE_LOG" 2>&1 || true
  mkdir -p "$SCRATCH"
}

# The Windows (drive Z:) form of a Unix path.
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# The stand-in product's helper: install, state, cleanup, run, hold, paths.
product() { "$WINE" "$PRODUCT_EXE" "$@" </dev/null 2>>"$WINE_LOG" | tr -d '\r'; }

# One line of the helper's state, e.g. state_of service.
state_of() { grep -m1 "^$1=" "$STATE_FILE" | cut -d= -f2-; }
capture_state() { STATE_FILE="$SCRATCH/state.$1"; product state >"$STATE_FILE"; }

check() { # check <what> <expected> <got>
  if [ "$2" == "$3" ]; then
    echo "ok:   $1: $3"
  else
    echo "FAIL: $1: expected [$2], got [$3]"
    E2E_FAILURES=$((E2E_FAILURES + 1))
  fi
}

check_match() { # check_match <what> <extended regex> <got>
  if [[ "$3" =~ $2 ]]; then
    echo "ok:   $1: $3"
  else
    echo "FAIL: $1: expected to match [$2], got [$3]"
    E2E_FAILURES=$((E2E_FAILURES + 1))
  fi
}

# The paths the program will see (the temporary directory ends with its backslash).
read_paths() {
  local paths
  paths=$(product paths)
  TEMP_DIR=$(grep '^temp=' <<<"$paths" | cut -d= -f2-)
  HOME_DIR=$(grep '^home=' <<<"$paths" | cut -d= -f2-)
}

log_line_count() { if [ -f "$LOG_FILE" ]; then grep -c '' "$LOG_FILE"; else echo 0; fi; }

# The log's messages without their timestamps; a line whose prefix is not
# "[year-month-day hh:mm:ss] " is shown whole, marked, so that the comparison fails.
log_messages() {
  [ -f "$LOG_FILE" ] || return 0
  sed -e 's/\r$//' "$LOG_FILE" |
    sed -E -e 's/^\[[0-9]{4}-([1-9]|1[0-2])-([1-9]|[12][0-9]|3[01]) [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\] //;t' -e 's/^/BAD PREFIX: /'
}

# Waits (bounded) until the log holds at least <lines> lines; answers the count it saw.
wait_for_log_lines() { # wait_for_log_lines <lines> <timeout-s>
  local deadline=$((SECONDS + $2))
  while [ "$(log_line_count)" -lt "$1" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
  log_line_count
}

# Compares the whole log, line by line and timestamps aside, with the expected file.
compare_log() { # compare_log <expected-file>
  local actual="$SCRATCH/log.actual"
  log_messages >"$actual"
  if diff -u "$1" "$actual" >"$SCRATCH/log.diff"; then
    echo "ok:   the log holds exactly the $(grep -c '' "$1") expected lines"
  else
    echo "FAIL: the log differs from the expected lines (- expected, + got):"
    head -n 60 "$SCRATCH/log.diff" | sed 's/^/      /'
    E2E_FAILURES=$((E2E_FAILURES + 1))
  fi
  if [ -n "$(sed -n '/\r$/!p' "$LOG_FILE" 2>/dev/null | head -c1)" ]; then
    echo "FAIL: some log lines do not end with CR LF"
    E2E_FAILURES=$((E2E_FAILURES + 1))
  fi
}

print_log() {
  echo "---- $LOG_FILE"
  [ -f "$LOG_FILE" ] && sed 's/\r$//' "$LOG_FILE"
  echo "----"
}

# The next logon: the Wine session ends (every Wine process of the prefix with it) and a
# new one starts, which runs the machine's RunOnce commands and deletes each value it runs.
next_logon() {
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
  "$WINESERVER" -p </dev/null >>"$WINE_LOG" 2>&1
  "$WINE" cmd /c exit </dev/null >>"$WINE_LOG" 2>&1
}

# Snapshot of the machine hive and the user's hive (one line per key and per value, under
# its key) and of the file tree of drive C (type, size of files, path).
snapshot() { # snapshot <name>
  local hive
  for hive in HKLM HKCU; do
    "$WINE" reg export "$hive" "$(windows_path "$SCRATCH/$1.$hive.reg")" /y </dev/null >>"$WINE_LOG" 2>&1
    iconv -f UTF-16 -t UTF-8 "$SCRATCH/$1.$hive.reg" | tr -d '\r' |
      awk '/^\[/ { key = $0; print key; next } NF { print key "\t" $0 }'
  done | LC_ALL=C sort >"$SCRATCH/$1.registry"
  (cd "$WINEPREFIX/drive_c" && find . \( -type f -printf 'f %s %p\n' \) -o \( ! -type f -printf '%y - %p\n' \)) |
    LC_ALL=C sort >"$SCRATCH/$1.files"
}

# Lines in which two snapshots differ ("- " only before, "+ " only after), less the
# allowances: each allowance is "<+|-|±> <extended regex on the lowercased line>  # name".
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

# The start lines of one run: e.g. start_lines "silent zapfiles" "<exe path>".
start_lines() { # start_lines <command line> <program path>
  local directory=${2%\\*}
  printf '%s\n' "================= KESP Uninstaller Start =================" "Command line: $1" \
    "My path: $2" "Source directory: $directory" "Temp directory: ${3-$TEMP_DIR}"
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
