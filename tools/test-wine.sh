#!/usr/bin/env bash
# The Windows stage: cross-builds velmorin-update.exe and the unit tests with mingw-w64 and
# runs the tests under Wine, then a whole run and, beside it, the fault runs. Prints a summary
# with the time of each step.
#   tools/test-wine.sh            everything
#   tools/test-wine.sh build      only the builds, the prefix, the import check and the signing
#   tools/test-wine.sh units      only the unit tests under Wine (after a build)
#   tools/test-wine.sh runs       only the whole run and the fault runs (after a build)
# tools/test.sh runs the phases apart: the runs mostly wait, so they go beside the Linux tests.
#   BUILD=folder tools/test-wine.sh   another build folder (default build-win)
#   HOST_BUILD=folder tools/test-wine.sh   take the Linux tools from a native build that already
#                                          has them (tools/test.sh passes its own)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source tools/compile-cache.sh
build=${BUILD:-build-win}
jobs=$(nproc)
phase=${1:-all}
case $phase in build | units | runs | all) ;; *) echo "test-wine.sh: no phase $phase" >&2; exit 2 ;; esac
host=${HOST_BUILD:-$build/host}

declare -a summary=()
step_start=0
begin() {
  step_start=$(date +%s.%N)
  echo "== $1"
}
done_step() {
  local seconds
  seconds=$(awk -v a="$step_start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
  summary+=("$(printf '%-44s %6ss  %s' "$1" "$seconds" "$2")")
}
print_summary() {
  echo
  echo "== Windows stage summary ($phase)"
  printf '%s\n' "${summary[@]}"
}
# Under set -e a failing command in a trap becomes the script's exit status: every step
# here must not fail (wineserver -k fails when no server is left).
# Only this phase's prefixes: another phase may be at work in the others.
used_prefixes=()
finish() {
  print_summary
  local prefix
  for prefix in "${used_prefixes[@]}"; do WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; done
}
trap finish EXIT

packages_phase() {
  begin "packages"
  bash tools/install-deps-windows.sh
  done_step "packages (tools/install-deps-windows.sh)" "ok"

  # The loopback test server, the sample pharmacy and the Linux program of the comparison
  # run are Linux programs: a native build beside the cross build.
  begin "native tools"
  if [ -z "${HOST_BUILD:-}" ]; then
    cmake -S . -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORIN_BUILD_TESTS=OFF >/dev/null
  fi
  cmake --build "$host" -j "$jobs" --target velmorin-test-server velmorin-sample-pharmacy velmorin-update >/dev/null
  done_step "native test server, sample pharmacy, Linux program" "from $host"
}

[ "$phase" = units ] || [ "$phase" = runs ] || packages_phase
server=$(realpath "$host/tools/test_server/velmorin-test-server")

# Some machines' kernels run no 32-bit program (no IA-32 emulation): Wine's 32-bit loader
# cannot start there. The 32-bit exe is then still built, checked and signed, and the tests and
# runs use the 64-bit build of the same sources under wine64.
run_build=$build
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  run_build=$build-x64
  bash tools/install-deps.sh g++-mingw-w64-x86-64-posix >/dev/null
  shim=$root/$run_build/wine64-shim
  mkdir -p "$shim"
  for name in wine wine-stable; do printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/$name"; done
  chmod +x "$shim/wine" "$shim/wine-stable"
  export PATH=$shim:$PATH WINELOADER=/usr/lib/wine/wine64
fi

# One prefix inside the build folder, created once.
export WINEPREFIX=$root/$run_build/wine-prefix WINEDEBUG=-all
[ "$phase" = runs ] || used_prefixes+=("$WINEPREFIX")

build_phase() {
  begin "cross build"
  cross_build() {
    cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/$2" -DCMAKE_BUILD_TYPE=Release \
      -DVELMORIN_WERROR=ON -DVELMORIN_SANITIZE=ON -DVELMORIN_HOST_TEST_SERVER="$server" >/dev/null
    cmake --build "$1" -j "$jobs" "${@:3}"
  }
  if [ "$run_build" = "$build" ]; then
    cross_build "$build" mingw-w64-i686.cmake
  else
    cross_build "$build" mingw-w64-i686.cmake --target velmorin-update
    cross_build "$run_build" mingw-w64.cmake
  fi
  exe=$build/velmorin-update.exe
  done_step "cross build (exe and tests)" "$(du -h "$exe" | cut -f1) $(basename "$exe")"
  if [ "$run_build" != "$build" ]; then
    summary+=("$(printf '%-44s %7s  %s' "32-bit programs do not run on this machine" "-" \
      "tests and runs below use the 64-bit build ($run_build)")")
  fi

  begin "wine prefix"
  created=$(bash tools/wine/prepare-prefix.sh)
  done_step "Wine prefix" "$created"

  # The exe needs no DLL beside it, and nothing that Windows 7 SP1 lacks.
  begin "imports"
  imports=$(bash tools/wine/check-imports.sh "$exe")
  done_step "exe imports exist on Windows 7 SP1" "$imports"

  # Signed as a release is, with a certificate made for the test; the runs below use it.
  begin "signing"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj "/CN=Velmorin test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$build/sign-key.pem" -out "$build/sign-cert.pem" 2>/dev/null
  bash tools/sign.sh "$exe" "$build/sign-cert.pem" "$build/sign-key.pem" >/dev/null
  if [ "$run_build" != "$build" ]; then
    bash tools/sign.sh "$run_build/velmorin-update.exe" "$build/sign-cert.pem" "$build/sign-key.pem" >/dev/null
  fi
  osslsigncode verify -CAfile "$build/sign-cert.pem" -in "$exe" >"$build/sign-verify.txt" 2>&1 ||
    { cat "$build/sign-verify.txt" >&2; exit 1; }
  done_step "signed and verified (osslsigncode)" "$(grep -c 'Signature verification: ok' "$build/sign-verify.txt") signature"
}

units_phase() {
  begin "unit tests under Wine"
  status=ok
  # One display for all the tests (the user-interface test needs one), and Wine's background
  # processes started first, with this script's output, so that they hold no test's pipe.
  # Wine learns drive F:'s type (a network drive, see prepare-prefix.sh) only if F: exists when
  # it starts: a placeholder until run-test.sh maps each test's scratch drive.
  mkdir -p "$WINEPREFIX/dosdevices" "$root/$run_build/f-placeholder"
  ln -sfn "$root/$run_build/f-placeholder" "$WINEPREFIX/dosdevices/f:"
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    wineserver -p
    wineboot </dev/null >/dev/null 2>&1
    if ctest --test-dir "$0" --output-on-failure -j 2; then wineserver -k; exit 0; fi
    # A test program under Wine has been seen to hang once in many runs, never here on a second
    # try: the watch in each test program names it above; its failures run once more, and the
    # summary says so.
    echo "== unit tests under Wine: running the failed ones again"
    ctest --test-dir "$0" --output-on-failure --rerun-failed
    status=$?
    wineserver -k
    [ $status -eq 0 ] && exit 10
    exit $status' "$run_build" || status=$?
  case $status in
    ok) ;;
    10) status="ok on a second try (the first failure is in the log above)" ;;
    *) status=FAILED ;;
  esac
  done_step "unit tests under Wine (ctest)" "$status"
  [ "$status" != FAILED ]
}

runs_phase() {
  # The whole run and each lane of fault runs take over drives C: and F: of a prefix of their
  # own, so that they go on side by side: they mostly wait.
  begin "whole run and fault runs under Wine and Xvfb"
  local lane lanes=(deadline killed programs writer) pids=() run_status=ok faults_status=ok
  for lane in whole "${lanes[@]}"; do
    rm -rf "$WINEPREFIX-$lane"
    cp -a "$WINEPREFIX" "$WINEPREFIX-$lane"
    used_prefixes+=("$WINEPREFIX-$lane")
  done
  for lane in "${lanes[@]}"; do
    (WINEPREFIX=$WINEPREFIX-$lane xvfb-run -a -s "-screen 0 1024x768x24" \
      bash tools/wine/fault-runs.sh "$run_build" "$host" "$lane" >"$run_build/fault-runs-$lane.log" 2>&1) &
    pids+=($!)
    # xvfb-run -a takes the first display without a lock file: one start at a time.
    sleep 2
  done
  WINEPREFIX=$WINEPREFIX-whole bash tools/wine/whole-run.sh "$run_build" "$host" || run_status=FAILED
  for i in "${!lanes[@]}"; do
    wait "${pids[$i]}" || faults_status="FAILED (${lanes[$i]})"
    cat "$run_build/fault-runs-${lanes[$i]}.log"
  done
  done_step "whole run under Wine and Xvfb" "$run_status (screenshots in $run_build/whole-run)"
  done_step "fault runs under Wine (${#lanes[@]} lanes beside it)" \
    "$faults_status (logs in $run_build/fault-runs-*.log)"
  [ "$run_status" = ok ] && [ "$faults_status" = ok ]
}

case $phase in
  build) build_phase ;;
  units) units_phase ;;
  runs) runs_phase ;;
  all) build_phase; units_phase; runs_phase ;;
esac
