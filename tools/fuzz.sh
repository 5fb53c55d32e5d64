#!/usr/bin/env bash
# Fuzzes the program's inputs with libFuzzer: builds tests/fuzz with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer), runs each target for FUZZ_SECONDS (default 30) from its seed
# corpus, FUZZ_JOBS (default 2) at a time, and fails when any target finds a crash, a broken
# invariant, a leak, a hang or a memory blow-up. Crash inputs and logs are left in
# build-fuzz/findings.
#   FUZZ_SECONDS=600 tools/fuzz.sh              every target for ten minutes
#   FUZZ_TARGETS="val start_up" tools/fuzz.sh   only some targets
#   FUZZ_JOBS=1 tools/fuzz.sh                   one target at a time, for steady runs a second
#   tools/fuzz.sh build                         only build the targets
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh clang libclang-rt-14-dev
source tools/compile-cache.sh

build=build-fuzz
seconds=${FUZZ_SECONDS:-30}
jobs_at_once=${FUZZ_JOBS:-2}
targets=(${FUZZ_TARGETS:-val text_lines start_up import_product_file import_visado_list import_serialization_list
                          build_preference_prices notified_prices})
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORIN_FUZZ=ON >/dev/null
cmake --build "$build" --target velmorin_fuzz
[ "${1:-}" = build ] && exit 0

findings=$build/findings
rm -rf "$findings"
mkdir -p "$findings"
# libFuzzer reports through its own handlers; keep whatever the caller set for ctest out of it.
unset ASAN_OPTIONS UBSAN_OPTIONS

# One target: the seeds (read only) plus a working corpus in the build folder that grows from
# run to run. The exit status is kept in a file, since the jobs may run side by side.
fuzz_one() {
  local target=$1 corpus=$build/corpus/$1 status=0
  mkdir -p "$corpus" "$findings/$target"
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -len_control=0 \
    -print_final_stats=1 -artifact_prefix="$findings/$target/" "$corpus" "tests/fuzz/corpus/$target" \
    >"$findings/$target.log" 2>&1 || status=$?
  echo "$status" >"$findings/$target.status"
}

for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_at_once" ]; do wait -n || true; done
  fuzz_one "$target" &
done
wait

failed=0
for target in "${targets[@]}"; do
  status=$(cat "$findings/$target.status" 2>/dev/null || echo 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$findings/$target.log")
  per_second=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$findings/$target.log")
  if [ "$status" = 0 ]; then
    rmdir "$findings/$target" 2>/dev/null || true
    printf '%-28s ok   %8s runs in %ss, %s a second\n' "$target" "${runs:-?}" "$seconds" "${per_second:-?}"
  else
    failed=1
    printf '%-28s FAILED (exit %s): see %s\n' "$target" "$status" "$findings/$target.log"
    grep -m1 -E 'invariant broken|ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error' "$findings/$target.log" || true
    ls "$findings/$target" 2>/dev/null | sed 's/^/    input: /'
  fi
done
exit "$failed"
