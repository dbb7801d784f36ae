#!/usr/bin/env bash
# Benchmarks, not tests: on a throwaway Wine prefix, times the program side by side with
# what a user would run instead, and prints the medians of a few rounds and their ratios.
#  1. The removal run against the stand-in product (a running service that stops at once,
#     the autostart value, the configuration key and a home directory of 1,000 files beside
#     the service's program), against the same removal scripted as sc stop + sc delete +
#     two reg delete lines + rd /s /q of the home directory in one cmd.
#  2. The next logon's cleanup of a home directory of 1,000 files in nested folders, some
#     of them read-only or hidden, against cmd /c rd /s /q.
# Usage: scripts/bench.sh [rounds]   (after scripts/build.sh; 3 rounds by default)
set -uo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
bench="$PWD/build/bench"
export TESSIVANE_BUILD_DIR="$PWD/build/test" WINEPREFIX="$bench/wineprefix"
finish() { [ -n "${BENCH_KEEP:-}" ] && return; sh tests/wine/prefix-teardown.sh "$WINEPREFIX" >/dev/null 2>&1; rm -rf "$bench"; }
trap finish EXIT
rm -rf "$bench"
mkdir -p "$bench"
sh tests/wine/prefix-setup.sh "$WINEPREFIX" "$TESSIVANE_BUILD_DIR" >/dev/null
source tests/e2e/e2e-lib.sh
e2e_start >/dev/null
trap 'product cleanup >/dev/null; finish' EXIT
# The stand-in's cleanup removes copies in the temporary directory too: each run gets a new one.
place_copy() { cp "$UNINSTALLER" "$(unix_path "$COPY")"; }

seconds_of() { # seconds_of <command>...: runs it, prints the seconds it took
  local start end
  start=$(date +%s.%N)
  "$@" </dev/null >>"$WINE_LOG" 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] }'; }

sc_reg_removal() {
  "$WINE" cmd /c "sc stop KESPWindowsService & sc delete KESPWindowsService & \
reg delete HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run /v KESPNotifications /f & \
reg delete HKLM\\SOFTWARE\\Halvorne\\KESP_SERVICE /f & rd /s /q $HOME_DIR"
}

# 1,000 files: 10 folders of 10 subfolders of 10 files, every fifth file read-only and
# every seventh hidden, added to what the home directory holds.
make_home_tree() {
  local home top sub file
  home=$(unix_path "$HOME_DIR")
  for top in $(seq 10); do for sub in $(seq 10); do
    mkdir -p "$home/part$top/set$sub"
    for file in $(seq 10); do echo "data $top $sub $file" >"$home/part$top/set$sub/file$file.dat"; done
  done; done
  "$WINE" cmd /c "attrib +r $HOME_DIR\\file5.dat /s & attrib +r $HOME_DIR\\file10.dat /s & attrib +h $HOME_DIR\\file7.dat /s" \
    </dev/null >>"$WINE_LOG" 2>&1
  [ "$(find "$home/part"* -type f | wc -l)" -eq 1000 ] || { echo "the home tree was not made"; exit 1; }
}

removal=() scripted=() cleanup=() rd=()
for round in $(seq "$rounds"); do
  product install 64 service >/dev/null || exit 1
  make_home_tree
  place_copy
  removal+=("$(seconds_of "$WINE" "$COPY")")
  [ "$(product state | grep -m1 '^service=')" == "service=absent" ] || { echo "the removal run left the service"; exit 1; }
  [ -e "$(unix_path "$HOME_DIR")" ] && { echo "the removal run left the home directory:"; tail -n 3 "$LOG_FILE"; exit 1; }
  product cleanup >/dev/null
  product install 64 service >/dev/null || exit 1
  make_home_tree
  scripted+=("$(seconds_of sc_reg_removal)")
  # rd runs right after "sc stop", which does not wait: the service's program may still be held.
  left=$(find "$(unix_path "$HOME_DIR")" -type f 2>/dev/null | wc -l)
  product cleanup >/dev/null

  rm -rf "$(unix_path "$HOME_DIR")"
  make_home_tree
  place_copy
  cleanup+=("$(seconds_of "$WINE" "$COPY" silent zapfiles)")
  [ -e "$(unix_path "$HOME_DIR")" ] && { echo "the cleanup run left the home directory:"; tail -n 3 "$LOG_FILE"; exit 1; }
  rm -rf "$(unix_path "$HOME_DIR")"
  make_home_tree
  rd+=("$(seconds_of "$WINE" cmd /c rd /s /q "$HOME_DIR")")
  echo "round $round: removal ${removal[-1]} s, sc/reg/rd ${scripted[-1]} s (left $left files), cleanup ${cleanup[-1]} s, rd ${rd[-1]} s"
done

m_removal=$(median "${removal[@]}") m_scripted=$(median "${scripted[@]}")
m_cleanup=$(median "${cleanup[@]}") m_rd=$(median "${rd[@]}")
echo "medians of $rounds rounds:"
printf '  removal run    %7.3f s   sc+reg+rd script %6.3f s   ratio %.2f\n' "$m_removal" "$m_scripted" "$(echo "$m_removal / $m_scripted" | bc -l)"
printf '  cleanup run    %7.3f s   rd /s /q        %7.3f s   ratio %.2f\n' "$m_cleanup" "$m_rd" "$(echo "$m_cleanup / $m_rd" | bc -l)"
