#!/usr/bin/env bash
# Lists the functions a Windows program imports, one "dll!function" a line (dll in lower case),
# sorted, read from its import tables with mingw's objdump.
#   list-imports.sh PROGRAM.exe
set -euo pipefail
objdump=$(command -v i686-w64-mingw32-objdump || command -v x86_64-w64-mingw32-objdump)
"$objdump" -p "$1" | awk '
  /DLL Name:/ { dll = tolower($3); next }
  /^$/ { next }
  /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_][A-Za-z0-9_@]*$/ && dll != "" { print dll "!" $3 }
  /The Export Tables|PE File Base Relocations/ { dll = "" }
' | sort -u
