#!/usr/bin/env bash
# A whole run of velmorin-update.exe under Wine while a second Windows program, standing for the
# back-office program, keeps writing its own fields of the records the run changes (records
# 101 to 103: bytes between and beside the fields the run writes), through handles that share
# reading and writing. Beside it the Linux program runs on an identical copy, alone. After
# both: none of the writer's writes was lost, and each record file of the Windows copy is the
# Linux copy's with the writer's last stamps in its fields.
#   back-office-writer-run.sh CROSS_BUILD HOST_BUILD
# WINEPREFIX names a prepared prefix of its own (its drive C: and F: are taken over); an X
# display is needed, as for the fault runs.
set -euo pipefail

cross=$(realpath "$1")
host=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../test-server.sh"
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEDEBUG=${WINEDEBUG:--all}
work=$cross/back-office-writer-run

fail() {
  echo "back-office-writer-run: $*" >&2
  exit 1
}
windows_path() { echo "Z:$1" | tr '/' '\\'; }

# file slot offset width: the writer's fields, in records 101 to 103.
targets=("quorra/basey 128 75 14" "quorra/basey 128 118 4" "quorra/basea 62 6 30" "quorra/basea 62 44 1"
  "bases/LabGT 17 16 1")
first=101
last=103

rm -rf "$work"
mkdir -p "$work"
"$host/tools/sample_pharmacy/velmorin-sample-pharmacy" make "$work/linux" "$work/sites" "Extremadura" >/dev/null
helper=$cross/tests/platform/win32/velmorin-test-helper.exe
cp "$helper" "$work/sites/update/datosprefmenor/Quimbaleta.exe"
cp -a "$work/linux" "$work/wine"
cp "$helper" "$work/wine/F/velmorin/bdnet/soft/ovt-qe58.exe"

server_pid=
linux_pid=
writer_pid=
cleanup() {
  touch "$work/stop"
  for pid in "$writer_pid" "$linux_pid" "$server_pid"; do
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  done
  wineserver -k 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/f:" "$WINEPREFIX/drive_c/i.bat"
}
trap cleanup EXIT
start_run_sites "$host/tools/test_server/velmorin-test-server" "$work" "$work/sites" --log "$work/requests.log"
export VELMORIN_UNATTENDED=1
# A caller's settings for its own runs (shorter deadlines, a report) do not apply here.
unset VELMORIN_CONNECT_TIMEOUT VELMORIN_STALL_TIMEOUT VELMORIN_REPORT

(VELMORIN_DRIVES=$work/linux VELMORIN_UI_LOG=$work/linux-ui.log VELMORIN_REPORT=$work/linux-report.log \
  "$host/velmorin-update" </dev/null >"$work/linux.out" 2>&1; echo $? >"$work/linux.exit") &
linux_pid=$!

ln -sfn "$work/wine/F" "$WINEPREFIX/dosdevices/f:"
cp "$work/wine/C/i.bat" "$WINEPREFIX/drive_c/i.bat"
cp "$cross/tools/wine/arj.exe" "$WINEPREFIX/drive_c/windows/arj.exe"

args=()
for t in "${targets[@]}"; do
  read -r file slot offset width <<<"$t"
  args+=("F:\\velmorin\\${file//\//\\},$slot,$offset,$width,$first,$last")
done
wine "$cross/tools/wine/velmorin-back-office-writer.exe" "$(windows_path "$work/stop")" \
  "$(windows_path "$work/writer.report")" "${args[@]}" </dev/null >"$work/writer.out" 2>&1 &
writer_pid=$!
# The update starts once the writer is writing: its first stamp is in the first field.
read -r file slot offset width <<<"${targets[0]}"
for _ in $(seq 200); do
  [[ $(dd if="$work/wine/F/velmorin/$file" bs=1 skip=$(((first - 1) * slot + offset)) count="$width" 2>/dev/null) =~ ^[0-9]+$ ]] &&
    break
  kill -0 "$writer_pid" 2>/dev/null || fail "the writer ended at once: $(cat "$work/writer.out")"
  sleep 0.05
done

start=$(date +%s)
VELMORIN_UI_LOG=$(windows_path "$work/wine-ui.log") wine "$cross/velmorin-update.exe" </dev/null >"$work/wine.out" 2>&1 &&
  exit_code=0 || exit_code=$?
seconds=$(($(date +%s) - start))
touch "$work/stop"
wait "$writer_pid" || fail "the writer failed: $(cat "$work/writer.out")"
writer_pid=
wait "$linux_pid"
linux_pid=
[ "$exit_code" = 0 ] || fail "velmorin-update.exe ended with exit code $exit_code (see $work)"
[ "$(cat "$work/linux.exit")" = 0 ] || fail "the Linux run ended with exit code $(cat "$work/linux.exit")"

read -r _ rounds _ lost _ refused <"$work/writer.report"
[ "$rounds" -ge 100 ] || fail "the writer wrote only $rounds rounds during the run"
# The Linux copy with the writer's last stamps is what the Windows copy must be.
for t in "${targets[@]}"; do
  read -r file slot offset width <<<"$t"
  stamp=$(printf "%0${width}d" "$rounds")
  stamp=${stamp: -$width}
  for ((n = first; n <= last; n++)); do
    printf '%s' "$stamp" | dd of="$work/linux/F/velmorin/$file" bs=1 seek=$(((n - 1) * slot + offset)) conv=notrunc 2>/dev/null
  done
done
for file in quorra/basey quorra/basea bases/coste bases/LabGT quorra/baseext preferencia/precios \
  preferencia/espec quorra/BaseP; do
  cmp -s "$work/linux/F/velmorin/$file" "$work/wine/F/velmorin/$file" ||
    fail "$file: not the Linux run's with the writer's last writes: $(cmp "$work/linux/F/velmorin/$file" \
      "$work/wine/F/velmorin/$file" | head -1)"
done
[ "$lost" = 0 ] || fail "$lost of the writer's writes were lost during the run"
echo "  a second writer during the exe's run ($seconds s): $rounds rounds, $(((rounds - 1) * ${#targets[@]} * \
(last - first + 1))) writes checked, $lost lost, $refused opens refused for sharing; the record files as the Linux run's"
