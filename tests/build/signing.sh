#!/bin/sh
# Signing as the README describes it, with a throwaway self-signed certificate made here:
# scripts/sign.sh signs a copy of the shipped program, osslsigncode verifies the signature
# against that certificate (and finds none on the unsigned file), and the resource checks
# of the driver tests read the manifest, version record and icon from the signed copy
# under Wine. The shipped file itself must stay as built.
# Usage: signing.sh <source dir> <shipped exe> <driver_tests.exe>
set -u
source=$1 shipped=$2 driver_tests=$3
: "${WINEPREFIX:?WINEPREFIX must name the suite prefix}"
work="$WINEPREFIX/drive_c/tessivane-tests/signing"
signed="$work/VuzavoRURIvezarov.exe"
[ -f "$shipped" ] || { echo "FAIL: shipped executable not found: $shipped (run scripts/build.sh first)"; exit 1; }
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

before=$(sha256sum <"$shipped")
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tessivane throwaway test signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 ||
  { cat "$work/openssl.log"; echo "FAIL: could not make the test certificate"; exit 1; }

if bash "$source/scripts/sign.sh" --cert "$work/cert.pem" --key "$work/key.pem" --ca "$work/cert.pem" \
  --in "$shipped" --out "$signed" >"$work/sign.log" 2>&1; then
  echo "ok: scripts/sign.sh signed and verified $signed"
else
  cat "$work/sign.log"
  fail "scripts/sign.sh failed"
fi
osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log"; fail "osslsigncode verify does not accept the signed copy"; }
grep -q "Tessivane throwaway test signer" "$work/verify.log" ||
  fail "the verification does not name the signer: $(cat "$work/verify.log")"
osslsigncode verify -CAfile "$work/cert.pem" -in "$shipped" >/dev/null 2>&1 &&
  fail "osslsigncode verify accepts the unsigned shipped file: the check proves nothing"
[ "$before" = "$(sha256sum <"$shipped")" ] || fail "signing changed the shipped file itself"

TESSIVANE_SHIPPED_EXE='C:\tessivane-tests\signing\VuzavoRURIvezarov.exe' \
  sh "$(dirname "$0")/../wine/wine-run.sh" "$driver_tests" --gtest_filter='ShippedResources.*' ||
  fail "the resources cannot all be read from the signed copy"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "PASS: the signed copy verifies and keeps its manifest, version record and icon"
