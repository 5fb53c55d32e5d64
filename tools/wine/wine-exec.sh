#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest (the cross build's emulator). Wine starts its
# own background processes on demand (services, device manager), which inherit the output
# of whoever started them: if that were CTest's pipe, CTest would wait for them until its
# timeout. So the program writes to a file, copied out once it has ended.
#   wine-exec.sh PROGRAM.exe [arguments]
set -uo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
wine "$@" </dev/null >"$out" 2>&1
status=$?
cat "$out"
exit $status
