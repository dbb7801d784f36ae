#!/usr/bin/env bash
# The administrators' guide lists every line the program can write. This keeps the two
# from drifting apart: every line the end-to-end scenarios made the program write must
# match a row of the guide's two tables, and every row must be met by some line, but for
# the few that Wine cannot bring about (listed below, each with its reason).
#   tests/docs/guide-log-lines.sh <guide> <file of collected log lines>
set -uo pipefail
guide=$1
collected=$2
failures=0

# Rows no scenario can produce under Wine, as they stand in the guide.
unreached=(
  # Wine neither enforces registry nor service ACLs, so these refusals never happen there.
  "    registry item add failed."
  "    Stop failed.  Error: Unable to stop KESPWindowsService (OpenService Error).  Error: Access is denied (5)."
  "    Stop failed.  Error: Unable to access the services database."
  "    Removal failed.  Error: Unable to remove KESPWindowsService: it stopped, but the service manager would not open it for deletion or mark it for deletion.  Error #<number>"
  # The copy is created new and only the program has it open, so holding it for its start
  # meets no other writer.
  "    <copy> launch failed.  Error: Unable to run the program: <copy> Error Message: The copy could not be opened against other writers: <system message> Nothing was started."
  # The running program's file is always readable, and a prefix's disk does not fill up.
  "    Copy from: <program> to: <temporary directory> failed.  Error: This program could not be copied: <system message> Nothing was copied."
  # Only another writer of the program's own file at its start, or a swap of that file
  # between the start and the program's first step (which the program tests show through a
  # stand-in for Windows' name of the running image), gives these; Wine does not follow a
  # rename of the running image.
  "    Copy from: <program> to: <temporary directory> failed.  Error: This program's own file could not be held against changes and checked: <system message> Nothing was copied."
  "    Copy from: <program> to: <temporary directory> failed.  Error: The file at this program's path is not the program that runs (it was replaced after the start); nothing was copied."
  # A fresh name nobody can guess is always free, and a prefix's disk does not fill up.
  "    Copy from: <program> to: <temporary directory> failed.  Error: The copy could not be created at <copy>: <system message> Nothing was copied."
  # Only a copy that runs for ten minutes gives it.
  "    <copy> was still running after 600 seconds; this run ends without waiting for it any longer."
  # Only a swap between the run's start and the copy (a folder made a link, or moved) gives it.
  "    Copy from: <program> to: <temporary directory> failed.  Error: The temporary directory is a link or a file, or no longer where it was found; nothing was copied."
  # Wine's service manager stops a service whose dependents run and lists no dependents, the
  # stand-in product's process ends with its service, and Wine answers a second deletion of a
  # service with FALSE and no error rather than 1072 (measured): the service tests give these
  # through the import swap.
  "    Stop failed.  Error: Unable to stop KESPWindowsService: services that depend on it are running (<services>), and this program stops none of them.  Error #1051"
  "    Stop failed.  Error: Unable to stop KESPWindowsService: it reported stopped, but its process was still running when the wait ended."
  "    Service already marked for deletion: it goes once it has stopped and nothing holds it, at the next restart at the latest"
  # The all-users application-data folder is always found in a prefix, at a short path.
  "    Delete failed.  Error: The home path is not known (no all-users application-data folder, or a path that does not fit); nothing was deleted."
)

if [ ! -s "$collected" ]; then
  echo "FAIL: no log lines were collected in $collected: did the end-to-end scenarios run?"
  exit 1
fi

# The first code span of each table row, result lines with their four blanks.
rows=$(awk '
  /^### / { indent = ($0 ~ /^### Result lines/) ? "    " : ""; inside = ($0 ~ /^### (Action|Result) lines/); next }
  /^#/ { inside = 0 }
  inside && /^\| `/ { line = $0; sub(/^\| `/, "", line); sub(/`.*$/, "", line); print indent line }
' "$guide")
row_count=$(grep -c '' <<<"$rows")
echo "rows in the guide's tables: $row_count"
[ "$row_count" -ge 20 ] || { echo "FAIL: the guide's tables were not found in $guide"; exit 1; }

# A row as an anchored pattern: its text literally, each <...> standing for any text.
pattern_of() { printf '%s' "$1" | sed -e 's/[][\.*^$+?(){}|/]/\\&/g' -e 's/<[^>]*>/.*/g'; }

patterns=$(mktemp)
trap 'rm -f "$patterns"' EXIT
while IFS= read -r row; do pattern_of "$row"; echo; done <<<"$rows" >"$patterns"

undocumented=$(sort -u "$collected" | grep -v -x -E -f "$patterns")
if [ -n "$undocumented" ]; then
  echo "FAIL: lines the program wrote that the guide does not list:"
  sed 's/^/      /' <<<"$undocumented"
  failures=$((failures + 1))
fi

while IFS= read -r row; do
  if grep -q -x -E -- "$(pattern_of "$row")" "$collected"; then continue; fi
  known=0
  for line in "${unreached[@]}"; do [ "$line" == "$row" ] && known=1; done
  if [ "$known" -eq 0 ]; then
    echo "FAIL: a row of the guide that no scenario's log holds: [$row]"
    failures=$((failures + 1))
  fi
done <<<"$rows"

echo "lines checked: $(sort -u "$collected" | grep -c '')"
if [ "$failures" -eq 0 ]; then echo "PASSED"; else echo "FAILED: $failures check(s)"; fi
[ "$failures" -eq 0 ]
