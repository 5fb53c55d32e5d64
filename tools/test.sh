#!/usr/bin/env bash
# Runs every test: installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole CTest suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

build=build-test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORIN_SANITIZE=ON -DVELMORIN_WERROR=ON >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
bash tools/fuzz.sh
