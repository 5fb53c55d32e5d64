#!/usr/bin/env bash
# The demo: a whole update run of velmorin-update against the bundled loopback server and a
# full-size sample pharmacy, shown in the terminal, then a report of what changed.
# Usage: tools/demo.sh [REGION]   (default "Castilla y León"; any text of a ccaa file)
set -euo pipefail
cd "$(dirname "$0")/.."
region=${1:-"Castilla y León"}

bash tools/install-deps.sh
build=build-demo
echo "== Compilando (la salida solo se muestra si falla)"
mkdir -p "$build"
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORIN_BUILD_TESTS=OFF &&
  cmake --build "$build" --target velmorin-update velmorin-test-server velmorin-sample-pharmacy; } >"$build/build.log" 2>&1; then
  cat "$build/build.log" >&2
  exit 1
fi

work=$build/demo
rm -rf "$work"
mkdir -p "$work"
echo "== Farmacia de ejemplo (región: $region) en $work"
"$build/tools/sample_pharmacy/velmorin-sample-pharmacy" make "$work/drives" "$work/sites" "$region"
cp -a "$work/drives/F/velmorin" "$work/before"

server_pid=""
cleanup() { if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi; }
trap cleanup EXIT
source tools/test-server.sh
start_run_sites "$build/tools/test_server/velmorin-test-server" "$work" "$work/sites" --log "$work/requests.log"

export VELMORIN_DRIVES="$PWD/$work/drives"
export VELMORIN_UPDATE_ADDRESS="127.0.0.1:$(site_port "$work" update)"
export VELMORIN_UI_LOG="$PWD/$work/ui.log"
export VELMORIN_REPORT="$PWD/$work/informe.log"
rm -f "$VELMORIN_REPORT" "$VELMORIN_REPORT.old"
echo "== Servidor de prueba: actualizaciones $VELMORIN_UPDATE_SERVER, consejo $VELMORIN_COUNCIL_SITE, cooperativa $VELMORIN_COOP_SITE"
echo "== Actualización (unos 25 segundos: dos esperas de 5 s y la del instalador de 10 s)"
set +e
"$build/velmorin-update"
code=$?
set -e

echo
echo "== Código de salida: $code"
echo "== Ficheros descargados (en orden):"
awk -F'\t' '{ printf "   %-8s %s %s  %s bytes\n", $1, $3, $4, $5 }' "$work/requests.log"
echo "== Programas iniciados:"
grep -P '^start\t' "$work/ui.log" | cut -f2- | sed 's/^/   /' || true
echo "== Registros cambiados por fichero:"
"$build/tools/sample_pharmacy/velmorin-sample-pharmacy" compare "$work/before" "$work/drives/F/velmorin" | sed 's/^/   /'
for mark in reparar/quimbaleta.log bdnet/instalado.txt; do
  [ -f "$work/drives/F/velmorin/$mark" ] && echo "== $(cat "$work/drives/F/velmorin/$mark")"
done
echo "== Informe de la ejecución, para el técnico: $VELMORIN_REPORT (últimas líneas)"
tail -n 12 "$VELMORIN_REPORT" | tr -d '\r' | sed 's/^\xEF\xBB\xBF//; s/^/   /'
exit "$code"
