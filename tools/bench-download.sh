#!/usr/bin/env bash
# Download benchmark: serves a 200 MB file from the loopback test server and fetches it
# several times each with `curl -o` and with our control, alternating, in one run.
# Usage: tools/bench-download.sh [RUNS] [WORK_FOLDER]
# The work folder holds the served file and the downloads; it defaults to a folder under
# /dev/shm when there is one, so that the disk does not decide the result.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
base=${2:-$( [ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}" )}
build=${BUILD:-build-bench}
size_mb=${SIZE_MB:-200}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORIN_BUILD_BENCH=ON \
  -DVELMORIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target download_bench velmorin-test-server >/dev/null

work=$(mktemp -d "$base/velmorin-bench.XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/site"
head -c $((size_mb * 1024 * 1024)) /dev/urandom >"$work/site/big.bin"

source tools/test-server.sh
start_test_server "$build/tools/test_server/velmorin-test-server" "$work/ready" "$work/server.out" \
  --site bench=0:"$work/site" --log "$work/requests.log"
port=$(awk '$1 == "bench" { print $2 }' "$work/ready")

echo "work folder: $work ($(df -T "$work" | awk 'NR == 2 { print $2 }'))"
"$build/bench/download/download_bench" "http://127.0.0.1:$port/big.bin" "$work" "$runs"
