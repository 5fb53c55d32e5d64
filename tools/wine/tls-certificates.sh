#!/usr/bin/env bash
# Gives the Wine prefix named by WINEPREFIX two server certificates for https://localhost, in
# $WINEPREFIX/velmorin-tls: trusted.pem (key trusted.key) from a test CA that the prefix
# trusts, and untrusted.pem (untrusted.key) from a test CA that it does not. They are made
# once per prefix and made again a day before they expire (a week); the CA keys are deleted
# as soon as the certificates are signed, so nothing else can come from a CA the prefix trusts.
#   tls-certificates.sh TRUST_CA.exe    (velmorin-trust-ca from the cross build)
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
trust_ca=${1:?usage: tls-certificates.sh TRUST_CA.exe}
dir=$WINEPREFIX/velmorin-tls

# Tests may start together.
exec 9>"$WINEPREFIX/.velmorin-tls.lock"
flock 9
# The mark is made with the certificates: younger than 6 days, they have a day left.
if [ -n "$(find "$dir/trusted" -mmin -8640 2>/dev/null)" ]; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$dir"
mkdir -p "$dir"
# The name is localhost, not 127.0.0.1: Wine's WinINet does not match an IP address
# subjectAltName (error 12038), and localhost reaches the server on 127.0.0.1.
cat >"$work/server.ext" <<'EXT'
subjectAltName = DNS:localhost
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
EXT
# issue NAME CA_NAME: NAME.pem and NAME.key, signed by a new CA (NAME-ca.pem).
issue() {
  local key=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
  openssl req -x509 "${key[@]}" -days 8 -subj "/CN=$2" \
    -addext "basicConstraints = critical, CA:TRUE" -addext "keyUsage = critical, keyCertSign" \
    -keyout "$work/$1-ca.key" -out "$dir/$1-ca.pem" &&
    openssl req "${key[@]}" -subj /CN=localhost -keyout "$dir/$1.key" -out "$work/$1.csr" &&
    openssl x509 -req -in "$work/$1.csr" -CA "$dir/$1-ca.pem" -CAkey "$work/$1-ca.key" \
      -set_serial "0x$(openssl rand -hex 8)" -days 7 -extfile "$work/server.ext" -out "$dir/$1.pem"
}
if ! { issue trusted "Velmorin test CA" && issue untrusted "Velmorin untrusted test CA"; } >"$work/log" 2>&1; then
  echo "tls-certificates.sh: openssl could not make the certificates" >&2
  cat "$work/log" >&2
  exit 1
fi
# Not with the lock: Wine's background processes would hold it.
bash "$(dirname "$0")/wine-exec.sh" "$trust_ca" "Z:${dir//\//\\}\\trusted-ca.pem" 9>&-
touch "$dir/trusted"
