#!/usr/bin/env bash
# Runs one cross-built test program under Wine with what the Windows-layer tests need:
# a fresh scratch folder mapped as drive F: in the Wine prefix, the loopback test server (a
# native build of velmorin-test-server) with an empty site, faults file and log, the same
# site over https with a certificate the prefix trusts and with one it does not
# (tls-certificates.sh), a UI log, message boxes that do not wait, with --x a display (Xvfb,
# unless DISPLAY is set), and with --dpi N the screen at N dots per inch for this program (96
# again afterwards).
#   run-test.sh [--x] [--dpi N] PROGRAM.exe [gtest arguments]
# Needs WINEPREFIX, VELMORIN_TEST_SERVER_BIN and VELMORIN_TRUST_CA_BIN (CTest sets them).
set -euo pipefail

display=no
dpi=
while [ $# -gt 0 ]; do
  case $1 in
    --x) display=yes; shift ;;
    --dpi) dpi=$2; shift 2 ;;
    *) break ;;
  esac
done
exe=$1
shift
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
server=${VELMORIN_TEST_SERVER_BIN:-}
if [ -z "$server" ] || [ ! -x "$server" ]; then
  echo "run-test.sh: VELMORIN_TEST_SERVER_BIN ('$server') is not a native velmorin-test-server" >&2
  exit 1
fi
trust_ca=${VELMORIN_TRUST_CA_BIN:-}
if [ -z "$trust_ca" ] || [ ! -f "$trust_ca" ]; then
  echo "run-test.sh: VELMORIN_TRUST_CA_BIN ('$trust_ca') is not the cross-built velmorin-trust-ca.exe" >&2
  exit 1
fi
export WINEDEBUG=${WINEDEBUG:--all}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/velmorin-wine-XXXXXX")
server_pid=
untrusted_pid=
cleanup() {
  for pid in $server_pid $untrusted_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -f "$WINEPREFIX/dosdevices/f:"
  rm -rf "$scratch"
  if [ -n "$dpi" ]; then set_dpi 96 || true; fi
}
# Wine takes the screen's DPI from this value when a program starts. The registry lives in
# the Wine server, so the next program sees it at once (no waiting for the server: the stage
# keeps it running).
set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
trap cleanup EXIT
if [ -n "$dpi" ]; then
  set_dpi "$dpi"
  export VELMORIN_TEST_DPI=$dpi
fi

mkdir -p "$scratch/F" "$scratch/site" "$WINEPREFIX/dosdevices"
ln -sfn "$scratch/F" "$WINEPREFIX/dosdevices/f:"
: >"$scratch/faults"
: >"$scratch/requests.log"

bash "$(dirname "$0")/tls-certificates.sh" "$trust_ca"
tls=$WINEPREFIX/velmorin-tls
source "$(dirname "$0")/../test-server.sh"
# The server takes one certificate for all its https sites: the untrusted one needs a process
# of its own.
start_test_server "$server" "$scratch/ready-untrusted" "$scratch/server-untrusted.out" \
  --tls-site untrusted=0:"$scratch/site" --cert "$tls/untrusted.pem" --key "$tls/untrusted.key" \
  --log "$scratch/requests.log" --faults "$scratch/faults"
untrusted_pid=$server_pid
start_test_server "$server" "$scratch/ready" "$scratch/server.out" \
  --site web=0:"$scratch/site" --tls-site tls=0:"$scratch/site" --cert "$tls/trusted.pem" --key "$tls/trusted.key" \
  --log "$scratch/requests.log" --faults "$scratch/faults"
port=$(awk '$1 == "web" { print $2 }' "$scratch/ready")
tls_port=$(awk '$1 == "tls" { print $2 }' "$scratch/ready")
untrusted_port=$(awk '$1 == "untrusted" { print $2 }' "$scratch/ready-untrusted")

export VELMORIN_TEST_URL="http://127.0.0.1:$port"
# The certificates name localhost (see tls-certificates.sh).
export VELMORIN_TEST_HTTPS_URL="https://localhost:$tls_port"
export VELMORIN_TEST_UNTRUSTED_HTTPS_URL="https://localhost:$untrusted_port"
# Port 1 (tcpmux) has nobody listening on a build machine: refused connections.
export VELMORIN_TEST_DEAD_URL="http://127.0.0.1:1"
export VELMORIN_TEST_SITE="$scratch/site"
export VELMORIN_TEST_FAULTS="$scratch/faults"
export VELMORIN_TEST_REQUEST_LOG="$scratch/requests.log"
export VELMORIN_UI_LOG="Z:${scratch//\//\\}\\ui.log"
export VELMORIN_UNATTENDED=1
run=(bash "$(dirname "$0")/wine-exec.sh" "$exe" "$@")
if [ "$display" = yes ] && [ -z "${DISPLAY:-}" ]; then
  run=(xvfb-run -a -s "-screen 0 1024x768x24" "${run[@]}")
fi
"${run[@]}"
