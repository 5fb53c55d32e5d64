#!/usr/bin/env bash
# One whole update run of velmorin-update.exe under Wine and Xvfb against the loopback test
# server, beside the Linux program on an identical copy of the sample pharmacy; then the
# record files of the two runs must be byte for byte the same. The update server codes every
# file with gzip although neither build asks for it, as some servers do: both must decode.
#   whole-run.sh CROSS_BUILD HOST_BUILD
# CROSS_BUILD holds velmorin-update.exe, tools/wine/arj.exe and the test helper; HOST_BUILD
# the Linux velmorin-update, velmorin-test-server and velmorin-sample-pharmacy. WINEPREFIX
# names a prepared prefix. Screenshots and logs go to CROSS_BUILD/whole-run.
#
# Drive F: of the prefix is the pharmacy's data drive; C:\i.bat is copied into the prefix's
# drive C. "arj" is tools/wine/arj_shim.cc placed in C:\windows: it runs Debian's arj. The
# sample's tools are shell scripts, so the Wine copy gets a small Windows program in their
# place (it writes started.txt in its current folder: F:\ for quimbaleta.exe).
set -euo pipefail

cross=$(realpath "$1")
host=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../test-server.sh"
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEDEBUG=${WINEDEBUG:--all}
region="Castilla y León"
work=$cross/whole-run
dpi=96

windows_path() { echo "Z:$1" | tr '/' '\\'; }
fail() {
  echo "whole-run: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work"
"$host/tools/sample_pharmacy/velmorin-sample-pharmacy" make "$work/linux/drives" "$work/sites" "$region"
cp -a "$work/linux" "$work/wine"
helper=$cross/tests/platform/win32/velmorin-test-helper.exe
# Quimbaleta.exe signed with a throwaway certificate: the report names its signer.
signed_tool=$cross/tests/platform/win32/signed/signed.exe
cp "$signed_tool" "$work/sites/update/datosprefmenor/Quimbaleta.exe"
cp "$helper" "$work/wine/drives/F/velmorin/bdnet/soft/ovt-qe58.exe"

# The database archive comes slowly, so that the dialog can be seen at work.
archive_size=$(stat -c %s "$work/sites/update/bdi/bases/euro/dolvek.arj")
printf '%s\n' "update /bdi/bases/euro/dolvek.arj coding gzip rate $((archive_size / 4 + 1))" \
  "update /* coding gzip" >"$work/faults"

server_pid=
run_pid=
cleanup() {
  if [ -n "$run_pid" ]; then kill "$run_pid" 2>/dev/null || true; fi
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -f "$WINEPREFIX/dosdevices/f:" "$WINEPREFIX/drive_c/i.bat"
}
trap cleanup EXIT
start_run_sites "$host/tools/test_server/velmorin-test-server" "$work" "$work/sites" \
  --log "$work/requests.log" --faults "$work/faults"
export VELMORIN_UPDATE_ADDRESS="127.0.0.1:$(site_port "$work" update)"

# The Linux run, at the same time on its own copy.
(VELMORIN_DRIVES=$work/linux/drives VELMORIN_UI_LOG=$work/linux-ui.log VELMORIN_REPORT=$work/linux-report.log \
  "$host/velmorin-update" \
  </dev/null >"$work/linux.out" 2>&1; echo $? >"$work/linux.exit") &
run_pid=$!

ln -sfn "$work/wine/drives/F" "$WINEPREFIX/dosdevices/f:"
cp "$work/wine/drives/C/i.bat" "$WINEPREFIX/drive_c/i.bat"
cp "$cross/tools/wine/arj.exe" "$WINEPREFIX/drive_c/windows/arj.exe"
# A fresh wineserver inside the X session, so that Wine's desktop process has the display.
wineserver -k 2>/dev/null || true
export VELMORIN_UI_LOG
VELMORIN_UI_LOG=$(windows_path "$work/wine-ui.log")
export VELMORIN_UNATTENDED=1
# The exe's run report goes to its default place, the user's local application data.
report=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Velmorin/velmorin-update.log
rm -f "$report" "$report.old"
start=$(date +%s)
xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/whole-run-x.sh" "$cross/velmorin-update.exe" "$work" "$dpi" ||
  fail "the windowed run failed (see $work)"
wineserver -k 2>/dev/null || true
echo "Wine run: $(($(date +%s) - start)) s, exit code $(cat "$work/wine.exit")"
wait "$run_pid"
run_pid=

[ "$(cat "$work/wine.exit")" = 0 ] || fail "velmorin-update.exe ended with exit code $(cat "$work/wine.exit")"
[ "$(cat "$work/linux.exit")" = 0 ] || fail "the Linux run ended with exit code $(cat "$work/linux.exit")"
different=0
for file in quorra/basey quorra/basea bases/coste bases/LabGT quorra/baseext preferencia/precios \
  preferencia/espec quorra/BaseP bdnet/origen; do
  if ! cmp -s "$work/linux/drives/F/velmorin/$file" "$work/wine/drives/F/velmorin/$file"; then
    echo "whole-run: $file differs between the Windows and the Linux run" >&2
    different=1
  fi
done
[ "$different" = 0 ] || exit 1
[ -f "$work/wine/drives/F/velmorin/bases/dolvek.txt" ] || fail "arj did not extract dolvek.arj"
[ -f "$work/wine/drives/F/started.txt" ] || fail "quimbaleta.exe did not run"
# Wine's cmd.exe refuses the installer line's "copy ovt-qe58.exe F:\velmorin\bdnet\*.*"
# ("Invalid name"), so under Wine the installer is never copied nor started: the run must
# still end normally 10 s after starting the line, as when an installer fails on Windows.
grep -qP '^start\thidden\tcmd /c cd F:\\velmorin\\bdnet\\soft\\ & copy ovt-qe58.exe ' "$work/wine-ui.log" ||
  fail "the installer line was not started"
# Both builds report the same events in the same order (but for the programs started: the Linux
# build's stand-in for cmd skips what it cannot run); the exe's report is one Notepad reads.
[ -f "$report" ] || fail "no run report at $report"
[ "$(head -c 3 "$report" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "the run report has no UTF-8 mark"
tail -n 1 "$report" | grep -q $'fin: código de salida 0\r$' ||
  fail "the run report does not end with the exit code in a CR LF line"
events() { sed 's/^\xEF\xBB\xBF//' "$1" | cut -c22- | cut -d: -f1 | grep -v '^programa'; }
cmp -s <(events "$report") <(events "$work/linux-report.log") ||
  fail "the run reports of the two builds differ: $(diff <(events "$report") <(events "$work/linux-report.log") | head -5)"
# Each download's size and digest; the programs' signers.
grep -q "Quimbaleta.exe: OK; .*; firmado por Velmorin test signing; archivo: $(stat -c %s "$signed_tool") bytes, \
SHA-256 $(sha256sum "$signed_tool" | cut -d' ' -f1)"$'\r$' "$report" || fail "the report lacks Quimbaleta.exe's signer, size or digest"
grep -q 'firma: F:\\velmorin\\reparar\\quimbaleta.exe: firmado por Velmorin test signing' "$report" ||
  fail "the report does not name the signer of the program started"
[ "$(grep -c 'archivo: [0-9]* bytes, SHA-256 [0-9a-f]\{64\}' "$report")" -ge 14 ] ||
  fail "the report lacks a size and digest for some download"
echo "Windows and Linux runs left the same record files and reported the same $(events "$report" | wc -l) events; screenshots in $work"
