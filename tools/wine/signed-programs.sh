#!/usr/bin/env bash
# Test programs for the signature checks, made from one unsigned Windows program with throwaway
# certificates (their keys are deleted once used):
#   signed.exe    signed by "Velmorin test signing" (signer.cer: the certificate, for a store)
#   changed.exe   signed.exe with one byte of its code changed after signing
#   unsigned.exe  the program as it is
#   other.exe     signed by "Otro firmante"
#   signed-programs.sh PROGRAM.exe OUTDIR
set -euo pipefail
program=${1:?usage: signed-programs.sh PROGRAM.exe OUTDIR}
out=${2:?usage: signed-programs.sh PROGRAM.exe OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# sign NAME SUBJECT: NAME.exe signed by a new self-signed code-signing certificate. RSA: Wine 8
# does not verify an ECDSA certificate's signature (TRUST_E_CERT_SIGNATURE).
sign() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$2" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
  rm -f "$out/$1.exe"
  osslsigncode sign -certs "$work/$1.pem" -key "$work/$1.key" -h sha256 -in "$program" -out "$out/$1.exe" >/dev/null
}
sign other "Otro firmante"
sign signed "Velmorin test signing"
openssl x509 -in "$work/signed.pem" -outform DER -out "$out/signer.cer"
cp "$program" "$out/unsigned.exe"

# One byte in the middle of the code section.
cp "$out/signed.exe" "$out/changed.exe"
read -r size offset < <(x86_64-w64-mingw32-objdump -h "$program" | awk '$2 == ".text" { print $3, $6 }')
at=$((0x$offset + 0x$size / 2))
byte=$(od -An -tu1 -j "$at" -N1 "$out/changed.exe" | tr -d ' ')
printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$out/changed.exe" bs=1 seek="$at" conv=notrunc status=none
