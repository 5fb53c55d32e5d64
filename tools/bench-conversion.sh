#!/usr/bin/env bash
# Conversion benchmark: builds a Release bench and times every conversion routine on a
# full-size data set against the record-by-record baseline and the raw I/O floor.
# Usage: tools/bench-conversion.sh [--changed=PERCENT] [--repeat=N] [--keep]
#                                  [--network-drive [--latency-ms=MS]]
#   --changed        share of list entries that differ from last month's run (default 10;
#                    on a network drive 100 and then 10, or each one given)
#   --repeat         runs per measurement; the median is shown (default 5)
#   --keep           leave the data set in its temporary folder
#   --network-drive  the files on a simulated share: MS a call (default 0.5), 100 MB/s
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
build=${BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORIN_BUILD_BENCH=ON \
  -DVELMORIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target velmorin-conversion-bench >/dev/null
"$build/bench/conversion/velmorin-conversion-bench" "$@"
