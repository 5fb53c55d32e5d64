#!/usr/bin/env bash
# Creates the Wine prefix named by WINEPREFIX once, set up for unattended tests: a program
# that crashes ends at once with a failing exit code instead of waiting in Wine's debugger, and
# drive F: (the data drive of the tests and whole runs) is a network drive, as in most pharmacies.
# Prints "created" or "reused".
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEDEBUG=${WINEDEBUG:--all}

marker=$WINEPREFIX/.velmorin-prepared-2
if [ -f "$marker" ]; then
  echo reused
  exit 0
fi
for tool in wine wineboot winepath wineserver; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: install Debian's wine package" >&2; exit 1; }
done
# On a busy machine a first wineboot has been seen to fail, leaving a prefix without its system
# DLLs: the half-made prefix goes and wineboot runs once more.
if ! wineboot --init >/dev/null 2>&1; then
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || { echo "wineboot could not make the prefix $WINEPREFIX" >&2; exit 1; }
fi
settings=$(mktemp --suffix=.reg)
trap 'rm -f "$settings"' EXIT
cat >"$settings" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=""
"Auto"="0"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Wine\Drives]
"f:"="network"
REG
wine regedit /S "$(winepath -w "$settings" 2>/dev/null)" >/dev/null 2>&1
wineserver -w
touch "$marker"
echo created
