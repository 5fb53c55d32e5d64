#!/usr/bin/env bash
# Whole runs of velmorin-update.exe under Wine, one for each class of fault that only the real
# program shows whole: the update server stalling in the middle of SNOMED.txt (a deadline of the
# download control), a cut archive and a connection closed unanswered (tried again and passed),
# a run killed in the middle of a download and the next run after it, a run whose
# Quimbaleta.exe had a byte changed after it was signed, and a web filter's page in place of
# the visa list. Each fault of a single download is shown in every variant by the download
# contract suite over WinINet (tests/platform/win32). Each faulty run must
# end with the failure box and exit code 1 within the deadline, the old file intact and no
# temporary file left; the next run after the killed one removes the file the killed one left.
# Prints, for each fault, the seconds from the request to the failure.
#   fault-runs.sh CROSS_BUILD HOST_BUILD [LANE]
# LANE runs one share of the runs, so that lanes in prefixes of their own go side by side:
# "deadline" (the deadline and retry faults), "killed" (the killed run and the next), or
# "programs" (the changed program, the web filter's page) or "writer" (the second writer's
# run); by default all of them, one after another.
# WINEPREFIX names a prepared prefix of its own (its drive C: and F: are taken over).
set -euo pipefail

cross=$(realpath "$1")
host=$(realpath "$2")
lane=${3:-all}
case $lane in deadline | killed | programs | all) ;;
  writer) exec bash "$(dirname "$0")/back-office-writer-run.sh" "$cross" "$host" ;;
  *) echo "fault-runs: no lane $lane" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../test-server.sh"
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEDEBUG=${WINEDEBUG:--all}
work=$cross/fault-runs/$lane
snomed=datosprefmenor/SNOMED.txt
old="older SNOMED.txt"

fail() {
  echo "fault-runs: $*" >&2
  exit 1
}
windows_path() { echo "Z:$1" | tr '/' '\\'; }
seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

rm -rf "$work"
mkdir -p "$work"
# One sample pharmacy for every lane, made by the first and copied by the others (it takes
# seconds of CPU each time, the more in a sanitizer build); made again after the maker changes.
sample=$cross/fault-runs/sample
maker=$host/tools/sample_pharmacy/velmorin-sample-pharmacy
(
  flock 9
  [ "$sample" -nt "$maker" ] || rm -rf "$sample"
  if [ ! -d "$sample" ]; then
    rm -rf "$sample.new"
    "$maker" make "$sample.new/pristine" "$sample.new/sites" "Extremadura" >/dev/null
    mv "$sample.new" "$sample"
  fi
) 9>"$cross/fault-runs/sample.lock"
cp -a "$sample/pristine" "$sample/sites" "$work/"
printf '%s\r\n' "$old" >"$work/pristine/F/velmorin/quorra/SNOMED.txt"
: >"$work/faults"
# The runs through a passing fault go on to the programs a run starts: the test helper (a
# Windows program) in their place.
cp "$cross/tests/platform/win32/velmorin-test-helper.exe" "$work/sites/update/datosprefmenor/Quimbaleta.exe"
cp "$cross/tests/platform/win32/velmorin-test-helper.exe" "$work/pristine/F/velmorin/bdnet/soft/ovt-qe58.exe"

server_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -f "$WINEPREFIX/dosdevices/f:" "$WINEPREFIX/drive_c/i.bat"
}
trap cleanup EXIT
start_run_sites "$host/tools/test_server/velmorin-test-server" "$work" "$work/sites" \
  --log "$work/requests.log" --faults "$work/faults"
export VELMORIN_CONNECT_TIMEOUT=2 VELMORIN_STALL_TIMEOUT=1 VELMORIN_UNATTENDED=1
cp "$work/pristine/C/i.bat" "$WINEPREFIX/drive_c/i.bat"

# Runs the exe on a fresh copy of the pharmacy; with a second argument, kills it that many
# seconds after the SNOMED.txt download has begun. Sets seconds (from that download's start
# to the end) and the run's folder.
run() {
  local name=$1 kill_after=${2:-}
  drives=$work/${name// /-}
  rm -rf "$drives"
  cp -a "$work/pristine" "$drives"
  [ -z "${keep:-}" ] || cp -a "$keep/." "$drives/"
  ln -sfn "$drives/F" "$WINEPREFIX/dosdevices/f:"
  local log=$drives/ui.log
  export VELMORIN_UI_LOG
  VELMORIN_UI_LOG=$(windows_path "$log")
  wine "$cross/velmorin-update.exe" </dev/null >"$drives/wine.out" 2>&1 &
  local pid=$! begun=
  while kill -0 "$pid" 2>/dev/null; do
    if [ -z "$begun" ] && grep -q "Descarga 'SNOMED.txt'" "$log" 2>/dev/null; then begun=$(date +%s.%N); fi
    if [ -n "$begun" ] && [ -n "$kill_after" ] &&
      awk -v a="$begun" -v b="$(date +%s.%N)" -v k="$kill_after" 'BEGIN { exit !(b - a > k) }'; then
      wineserver -k
    fi
    sleep 0.05
  done
  wait "$pid" && exit_code=0 || exit_code=$?
  seconds=$([ -n "$begun" ] && seconds_since "$begun" || echo "?")
}

temporary_files() { find "$drives" -name '*.part-*' | wc -l; }

# A faulty run: the box, exit 1, the old file, nothing left behind, and the time taken.
check_fault() {
  local name=$1 rule=$2 bound=$3
  echo "update /$snomed $rule" >"$work/faults"
  run "$name"
  grep -qP '^msgbox\tcritical\tError de actualizacion\tNo puede descargar \\nF:\\velmorin\\quorra\\SNOMED.txt' \
    "$drives/ui.log" || fail "$name: no failure box (see $drives)"
  [ "$exit_code" = 1 ] || fail "$name: exit code $exit_code"
  [ "$(cat "$drives/F/velmorin/quorra/SNOMED.txt")" = "$old"$'\r' ] || fail "$name: SNOMED.txt changed"
  [ "$(temporary_files)" = 0 ] || fail "$name: a temporary file was left"
  awk -v s="$seconds" -v b="$bound" 'BEGIN { exit !(s < b) }' || fail "$name: $seconds s, bound $bound s"
  printf '  %-44s %5s s to the failure box (bound %s s)\n' "$name" "$seconds" "$bound"
}

# Wine spends about 2 s on each dialog that closes: the bounds allow for one. A transient fault
# is tried three times, 1 s and 4 s apart.
deadline_lane() {
  echo "fault runs of velmorin-update.exe (first body byte within 3 s, stall window 1 s):"
  check_fault "stall mid-body" "stall-after 2 30" 20
  echo "runs through a passing fault (status and bytes of each request):"
  check_passing "archive cut" "bdi/bases/euro/dolvek.arj" "close-after 20 times 1"
  check_passing "closed unanswered" "$snomed" "silence 0 times 1"
}

# A fault that passes: a later attempt gets the file and the run ends normally. Prints the
# statuses of the file's requests and its body bytes.
check_passing() {
  local name=$1 path=$2 rule=$3
  echo "update /$path $rule" >"$work/faults"
  : >"$work/requests.log"
  run "$name"
  # Every download done, the run goes on to start the programs (here it stops there: the
  # downloaded helper is not started from F: as it is in the whole run).
  grep -qP '^start\tfocused\tF:\\velmorin\\reparar\\quimbaleta.exe' "$drives/ui.log" ||
    fail "$name: the run did not reach its programs (see $drives)"
  ! grep -q '^msgbox' "$drives/ui.log" || fail "$name: a message box"
  [ "$(temporary_files)" = 0 ] || fail "$name: a temporary file was left"
  printf '  %-44s %5s s; %s\n' "$name" "$seconds" "$(grep -F "/$path" "$work/requests.log" | cut -f4,5 | paste -sd' ')"
}

# Killed while SNOMED.txt comes slowly: its temporary file stays; the next run removes it.
killed_lane() {
  head -c 200000 /dev/urandom >"$work/sites/update/$snomed"
  echo "update /$snomed rate 20000" >"$work/faults"
  run "killed" 1.5
  [ "$(temporary_files)" = 1 ] || fail "the killed run left $(temporary_files) temporary files, not 1"
  keep=$work/killed
  echo "update /datosprefmenor/VISADO75.txt status 404" >"$work/faults"
  run "after the killed one"
  keep=
  [ "$exit_code" = 1 ] || fail "the run after the killed one: exit code $exit_code"
  cmp -s "$drives/F/velmorin/quorra/SNOMED.txt" "$work/sites/update/$snomed" || fail "SNOMED.txt was not stored"
  [ "$(temporary_files)" = 0 ] || fail "the run after the killed one left the killed run's temporary file"
  echo "  a killed run's temporary file is removed by the next run"
  : >"$work/faults"
}

case $lane in
  deadline) deadline_lane; exit 0 ;;
  killed) killed_lane; exit 0 ;;
  all) deadline_lane; killed_lane ;;
esac

# The rest of this file is the "programs" lane.
# A Quimbaleta.exe changed after signing (tools/wine/signed-programs.sh): refused as a failed
# download, so the box ends the run, the old copy stays and nothing is started.
old_tool="older Quimbaleta.exe"
printf '%s' "$old_tool" >"$work/pristine/F/velmorin/reparar/Quimbaleta.exe"
cp "$cross/tests/platform/win32/signed/changed.exe" "$work/sites/update/datosprefmenor/Quimbaleta.exe"
: >"$work/faults"
export VELMORIN_REPORT
VELMORIN_REPORT=$(windows_path "$work/changed-report.log")
run "changed Quimbaleta.exe"
unset VELMORIN_REPORT
grep -qP '^msgbox\tcritical\tError de actualizacion\tNo puede descargar \\nF:\\velmorin\\reparar\\Quimbaleta.exe' \
  "$drives/ui.log" || fail "changed Quimbaleta.exe: no failure box (see $drives)"
[ "$exit_code" = 1 ] || fail "changed Quimbaleta.exe: exit code $exit_code"
[ "$(cat "$drives/F/velmorin/reparar/Quimbaleta.exe")" = "$old_tool" ] || fail "changed Quimbaleta.exe replaced the old copy"
! grep -q $'^start\t' "$drives/ui.log" || fail "changed Quimbaleta.exe: a program was started"
grep -q "Se rechaza el programa descargado 'Quimbaleta.exe' (firma no válida: la firma no corresponde al contenido \
del archivo (código 0x80096010))" "$work/changed-report.log" ||
  fail "changed Quimbaleta.exe: the report does not say why (see $work/changed-report.log)"
echo "  a Quimbaleta.exe changed after signing is refused: the box, exit code 1, the old copy kept"

# A web filter's page for the visa list: the box, the old list and every record file as they were.
printf 'anterior\r\n' >"$work/pristine/F/velmorin/VISADO75.txt"
echo "update /datosprefmenor/VISADO75.txt block-page" >"$work/faults"
run "web filter's page"
grep -qP '^msgbox\tcritical\tError de actualizacion\tNo puede descargar \\nF:\\velmorin\\VISADO75.txt' \
  "$drives/ui.log" || fail "web filter's page: no failure box (see $drives)"
[ "$exit_code" = 1 ] || fail "web filter's page: exit code $exit_code"
for file in VISADO75.txt quorra/basey quorra/basea quorra/baseext quorra/BaseP bases/coste bases/LabGT \
  preferencia/precios; do
  cmp -s "$drives/F/velmorin/$file" "$work/pristine/F/velmorin/$file" || fail "web filter's page: $file changed"
done
echo "  a web filter's page for VISADO75.txt: the failure box, the list and the record files unchanged"

if [ "$lane" = all ]; then bash "$here/back-office-writer-run.sh" "$cross" "$host"; fi
