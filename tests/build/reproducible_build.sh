#!/bin/sh
# Anyone can rebuild the shipped program and get the very bytes we ship: a second clean
# build of the same sources, into another folder, must have the same SHA-256 as the
# shipped executable, and the checksum file that scripts/build.sh wrote beside it must
# name that same SHA-256.
# Usage: reproducible_build.sh <source dir> <shipped exe> <folder for the second build>
set -u
source=$1 shipped=$2 second=$3
name=$(basename "$shipped")
[ -f "$shipped" ] || { echo "FAIL: shipped executable not found: $shipped (run scripts/build.sh first)"; exit 1; }

rm -rf "$second"
if ! { cmake -S "$source" --preset shipped -B "$second" && cmake --build "$second" -j 2; } >"$second.log" 2>&1; then
  tail -n 30 "$second.log"
  echo "FAIL: the second build of the shipped program did not complete (log: $second.log)"
  exit 1
fi

failures=0
first_sum=$(sha256sum <"$shipped" | cut -d' ' -f1)
second_sum=$(sha256sum <"$second/$name" | cut -d' ' -f1)
echo "shipped:      $first_sum  $shipped"
echo "second build: $second_sum  $second/$name"
if [ "$first_sum" != "$second_sum" ]; then
  echo "FAIL: the two builds differ; first differing bytes (offset, shipped, second):"
  cmp -l "$shipped" "$second/$name" | head -n 10
  failures=$((failures + 1))
fi

listed=$(cut -d' ' -f1 "$shipped.sha256" 2>/dev/null)
if [ "$listed" = "$first_sum" ] && (cd "$(dirname "$shipped")" && sha256sum -c --quiet "$name.sha256"); then
  echo "ok: $shipped.sha256 names the shipped executable's SHA-256"
else
  echo "FAIL: $shipped.sha256 is missing or does not match the shipped executable (run scripts/build.sh)"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || exit 1
rm -rf "$second" "$second.log"
echo "PASS: two clean builds give the same bytes"
