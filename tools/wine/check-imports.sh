#!/usr/bin/env bash
# Fails when a Windows program imports a DLL beside the system's own or a function that is not
# in tools/wine/windows7-imports.txt (those known to exist on Windows 7 SP1). Prints the
# program's imports on success.
#   check-imports.sh PROGRAM.exe
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
imports=$(bash "$here/list-imports.sh" "$1")
unknown=$(comm -23 <(echo "$imports") <(grep -v '^#' "$here/windows7-imports.txt" | sort -u))
if [ -n "$unknown" ]; then
  echo "$(basename "$1") imports what is not known to exist on Windows 7 SP1:" >&2
  echo "$unknown" >&2
  echo "check each function's minimum supported client; look newer ones up at run time" >&2
  exit 1
fi
for dll in $(echo "$imports" | cut -d'!' -f1 | sort -u); do
  case $dll in
    libstdc++*|libgcc*|libwinpthread*|zlib1.dll)
      echo "$(basename "$1") needs $dll: the runtime must be linked statically" >&2
      exit 1 ;;
  esac
done
echo "$(echo "$imports" | wc -l) functions from $(echo "$imports" | cut -d'!' -f1 | sort -u | tr '\n' ' ')"
