#!/usr/bin/env bash
# Signs velmorin-update.exe (Authenticode, SHA-256) with the maker's code-signing certificate,
# using Debian's osslsigncode. The exe is replaced by its signed copy only once signing worked.
#   tools/sign.sh EXE CERT KEY
# CERT: the certificate and its chain (PEM or DER); KEY: its private key (PEM or DER).
# SIGN_PASSWORD_FILE: a file holding the key's password. SIGN_TIMESTAMP_URL: an RFC 3161 time
# stamp server (a release must have one, so that the signature outlives the certificate).
set -euo pipefail
exe=${1:?usage: tools/sign.sh EXE CERT KEY}
cert=${2:?usage: tools/sign.sh EXE CERT KEY}
key=${3:?usage: tools/sign.sh EXE CERT KEY}
command -v osslsigncode >/dev/null || { echo "sign.sh: osslsigncode is missing (apt-get install osslsigncode)" >&2; exit 1; }

options=(-certs "$cert" -key "$key" -h sha256 -n "Condiciones de dispensación" -i "https://www.velmorin.es")
[ -z "${SIGN_PASSWORD_FILE:-}" ] || options+=(-readpass "$SIGN_PASSWORD_FILE")
[ -z "${SIGN_TIMESTAMP_URL:-}" ] || options+=(-ts "$SIGN_TIMESTAMP_URL")
signed=$(mktemp "$(dirname "$exe")/.signed-XXXXXX.exe")
trap 'rm -f "$signed"' EXIT
rm -f "$signed"
osslsigncode sign "${options[@]}" -in "$exe" -out "$signed" >/dev/null
mv "$signed" "$exe"
echo "signed $exe"
