#!/usr/bin/env bash
# Signs the shipped program with your own code-signing certificate (Authenticode, with
# osslsigncode from Debian) and verifies the signature it made. Optional: the build never
# signs. The shipped file stays as built, so its checksum still matches a rebuild; the
# signed copy is written beside it unless --out names another place.
#
#   scripts/sign.sh --pkcs12 my-cert.pfx [--pass-file pass.txt] [options]
#   scripts/sign.sh --cert my-cert.pem --key my-key.pem [options]
# options:
#   --ca <file>          the certificate(s) to verify the chain against (default: the
#                        system's trusted roots)
#   --timestamp <url>    a time-stamping service, so the signature outlives the certificate
#   --in <exe>           the program to sign (default: build/shipped/VuzavoRURIvezarov.exe)
#   --out <exe>          the signed copy (default: build/shipped/signed/VuzavoRURIvezarov.exe)
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }

in=build/shipped/VuzavoRURIvezarov.exe
out=build/shipped/signed/VuzavoRURIvezarov.exe
credentials=() verify=() timestamp=()
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case "$1" in
    --pkcs12) credentials+=(-pkcs12 "$2") ;;
    --pass-file) credentials+=(-readpass "$2") ;;
    --cert) credentials+=(-certs "$2") ;;
    --key) credentials+=(-key "$2") ;;
    --ca) verify+=(-CAfile "$2") ;;
    --timestamp) timestamp+=(-ts "$2") ;;
    --in) in=$2 ;;
    --out) out=$2 ;;
    *) usage ;;
  esac
  shift 2
done
[ "${#credentials[@]}" -gt 0 ] || usage
command -v osslsigncode >/dev/null || { echo "osslsigncode is missing: apt-get install osslsigncode"; exit 1; }
[ -f "$in" ] || { echo "no program to sign at $in (run scripts/build.sh first)"; exit 1; }

mkdir -p "$(dirname "$out")"
rm -f "$out"
osslsigncode sign "${credentials[@]}" "${timestamp[@]}" -h sha256 \
  -n "Tessivane removal tool" -in "$in" -out "$out" >/dev/null
osslsigncode verify "${verify[@]}" -in "$out"
echo "Signed: $out, $(stat -c %s "$out") bytes, SHA-256 $(sha256sum "$out" | cut -d' ' -f1)"
