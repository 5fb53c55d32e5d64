#!/usr/bin/env bash
# Runs every test: installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the whole CTest suite, fuzzes each input briefly, then
# cross-builds the Windows program and runs its tests and a whole run under Wine. The builds
# come first, one after another; then the Windows whole run and fault runs and the whole runs
# against Debian's nginx and squid, which mostly wait, go on beside the Linux suite, and the fuzzers beside the Windows unit tests. Ends with the
# wall and CPU seconds of each stage; each stage run aside keeps its output in
# build-test/stages/NAME.log, shown when the stage ends.
#   SKIP_WINE=1 tools/test.sh     the Linux stages only
#   tools/test.sh quick           the quick loop: the Linux suite only (no fuzzers, no Windows stage)
#   FUZZ_SECONDS=60 tools/test.sh each fuzzer longer than its default 10 s here
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
[ "${1:-}" = quick ] && quick=1
wine=1
if [ "$quick" = 1 ] || [ "${SKIP_WINE:-0}" = 1 ]; then wine=0; fi
build=build-test
stages=$build/stages
mkdir -p "$stages"
rm -f "$stages"/*.result "$stages"/*.times "$stages"/*.log
started=$(date +%s.%N)
order=()
declare -A pid_of=()

seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }'; }
# The user and system CPU seconds of the children this shell has waited for, from the output
# of times (a pipe or $(...) would run it in a new shell, which has no children yet).
cpu_seconds() {
  awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, t, "m"); s += t[1] * 60 + t[2] } printf "%.0f", s }' "$1"
}
# Runs one stage and leaves its name, wall and CPU seconds and exit status in a result file.
run_stage() {
  local name=$1 begun status=0
  shift
  begun=$(date +%s.%N)
  "$@" || status=$?
  times >"$stages/$name.times"
  printf '%s\t%s\t%s\t%s\n' "$name" "$(seconds_since "$begun")" "$(cpu_seconds "$stages/$name.times")" "$status" \
    >"$stages/$name.result"
  return "$status"
}
# A stage in the foreground: a failure stops the command (the stages after it need it).
stage() {
  order+=("$1")
  echo "== $1"
  (run_stage "$@")
}
# A stage beside the others, its output kept until stage_wait shows it.
stage_aside() {
  order+=("$1")
  echo "== $1 (beside the next stages; output in $stages/$1.log)"
  (run_stage "$@") >"$stages/$1.log" 2>&1 &
  pid_of[$1]=$!
}
stage_wait() {
  local status=0
  wait "${pid_of[$1]}" || status=$?
  unset "pid_of[$1]"
  echo "== $1 (output of the stage run aside)"
  cat "$stages/$1.log"
  return "$status"
}
summary() {
  local name line
  echo
  echo "== Stages (wall and CPU seconds; CPU is user + system of every process of the stage)"
  for name in "${order[@]}"; do
    line=$(cat "$stages/$name.result" 2>/dev/null || printf '%s\t-\t-\tnot finished' "$name")
    awk -F'\t' '{ printf "%-30s %6s s wall %6s s CPU  %s\n", $1, $2, $3, ($4 == "0" ? "ok" : $4 == "not finished" ? $4 : "FAILED (exit " $4 ")") }' <<<"$line"
  done
  echo "total: $(seconds_since "$started") s"
}
finish() {
  local name
  for name in "${!pid_of[@]}"; do kill "${pid_of[$name]}" 2>/dev/null || true; done
  summary
}
trap finish EXIT

# Every package of the stages that run side by side is installed here, before them: two apt
# runs at once would fight over dpkg's lock.
bash tools/install-deps.sh clang-format
[ "$quick" = 1 ] || bash tools/test-real-servers.sh --packages
source tools/compile-cache.sh

# Every source file as .clang-format lays it out (clang-format -i FILE mends one).
format_check() { find src tests bench tools -name '*.cc' -o -name '*.h' | sort | xargs clang-format --dry-run --Werror; }
stage format format_check

linux_build() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORIN_SANITIZE=ON -DVELMORIN_WERROR=ON >/dev/null
  cmake --build "$build"
}
stage linux-build linux_build
[ "$wine" = 0 ] || stage windows-build env HOST_BUILD=$build bash tools/test-wine.sh build
[ "$quick" = 1 ] || stage fuzz-build bash tools/fuzz.sh build

failed=0
# These mostly wait (the runs' own timed waits and download deadlines): beside the Linux suite.
[ "$wine" = 0 ] || stage_aside windows-runs env HOST_BUILD=$build bash tools/test-wine.sh runs
# Whole runs of both builds against Debian's nginx behind squid; they too mostly wait.
if [ "$quick" = 0 ]; then
  stage_aside real-servers bash tools/test-real-servers.sh "$build" "$([ "$wine" = 0 ] || echo wine)"
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The whole runs mostly wait (the run's own timed waits, the download timeouts): four tests
# a core keeps both cores busy.
stage linux-tests ctest --test-dir "$build" --output-on-failure -j "$(($(nproc) * 4))" || failed=1
if [ "$quick" = 0 ]; then
  if [ "$wine" = 1 ]; then
    # One fuzzer at a time beside the Windows unit tests, which wait on their loopback server.
    stage_aside fuzzers env FUZZ_JOBS=1 FUZZ_SECONDS="${FUZZ_SECONDS:-10}" bash tools/fuzz.sh
    stage windows-unit-tests env HOST_BUILD=$build bash tools/test-wine.sh units || failed=1
    stage_wait fuzzers || failed=1
  else
    stage fuzzers env FUZZ_SECONDS="${FUZZ_SECONDS:-10}" bash tools/fuzz.sh || failed=1
  fi
fi
for name in windows-runs real-servers; do
  [ -z "${pid_of[$name]:-}" ] || stage_wait "$name" || failed=1
done
exit "$failed"
