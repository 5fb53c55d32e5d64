#!/usr/bin/env bash
# Runs every test: installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the whole CTest suite, fuzzes each input briefly, then
# cross-builds the Windows program and runs its tests and a whole run under Wine.
#   SKIP_WINE=1 tools/test.sh     the Linux stages only
#   tools/test.sh quick           the quick loop: the Linux suite only (no fuzzers, no Windows stage)
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
[ "${1:-}" = quick ] && quick=1

bash tools/install-deps.sh clang-format

# Every source file as .clang-format lays it out (clang-format -i FILE mends one).
find src tests bench tools -name '*.cc' -o -name '*.h' | sort | xargs clang-format --dry-run --Werror

build=build-test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORIN_SANITIZE=ON -DVELMORIN_WERROR=ON >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The whole runs mostly wait (the run's own timed waits, the download timeouts): four tests
# a core keeps both cores busy.
ctest --test-dir "$build" --output-on-failure -j "$(( $(nproc) * 4 ))"
[ "$quick" = 1 ] && exit 0
bash tools/fuzz.sh
[ "${SKIP_WINE:-0}" = 1 ] || HOST_BUILD=$build bash tools/test-wine.sh
# Whole runs against Debian's nginx and squid.
bash tools/test-real-servers.sh "$build" "$([ "${SKIP_WINE:-0}" = 1 ] || echo wine)"
