#!/bin/sh
# The shipped program must run after being copied alone to a bare Windows machine: a 32-bit
# GUI executable whose imports name only DLLs that every Windows has. An allow-list, so that
# the check stays right as the program comes to use more of those DLLs, and fails the moment
# a compiler runtime DLL (libgcc, libstdc++, winpthread) or anything else creeps in.
# shell32 and ole32 must not be among the ordinary imports at all: those are loaded before the
# program's first line, while the loader still searches the program's own folder (a download
# folder) for what they load in turn. They are delay-loaded instead; GNU ld leaves the delay-
# import directory empty, so their names are looked for in the file itself. ntdll is in every
# process before any program's code, loaded by the system itself from the system folder; the
# file work by handle opens names relative to a held folder through it.
set -u
exe=${1:-}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
allowed='kernel32.dll user32.dll advapi32.dll msvcrt.dll ntdll.dll'
delay_loaded='shell32.dll ole32.dll'

if [ -z "$exe" ] || [ ! -f "$exe" ]; then
  echo "FAIL: shipped executable not found: '$exe' (build it with the shipped preset first)"
  exit 1
fi

headers=$("$objdump" -p "$exe") || { echo "FAIL: $objdump -p could not read $exe"; exit 1; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

format=$(printf '%s\n' "$headers" | sed -n 's/.*file format //p' | head -n 1)
[ "$format" = "pei-i386" ] || fail "file format is '$format', expected pei-i386"

magic=$(printf '%s\n' "$headers" | awk '$1 == "Magic" { print $2, $3 }')
[ "$magic" = "010b (PE32)" ] || fail "optional header magic is '$magic', expected 010b (PE32)"

subsystem=$(printf '%s\n' "$headers" | awk '$1 == "Subsystem" { $1 = ""; sub(/^ +/, ""); print }')
case "$subsystem" in
  "00000002	(Windows GUI)"|"00000002 (Windows GUI)") ;;
  *) fail "subsystem is '$subsystem', expected 00000002 (Windows GUI)" ;;
esac

dlls=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: *//p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports: $(echo $dlls)"
[ -n "$dlls" ] || fail "no imported DLL found in the import table"
for dll in $dlls; do
  case " $allowed " in
    *" $dll "*) ;;
    *) fail "imports $dll, which is not among: $allowed" ;;
  esac
done
printf '%s\n' "$dlls" | grep -qx 'kernel32.dll' || fail "kernel32.dll missing from the imports"
for dll in $delay_loaded; do
  grep -aqi "$dll" "$exe" || fail "$dll is not named in the file: the delay-loaded calls are gone or lost their library"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $exe"
  exit 1
fi
echo "PASS: $exe is a PE32 i386 GUI executable importing only allowed DLLs, $delay_loaded delay-loaded"
