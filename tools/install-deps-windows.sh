#!/usr/bin/env bash
# Installs, with apt-get, what the Windows stage needs on top of tools/install-deps.sh: the
# mingw-w64 cross compiler and its zlib, Wine, and the X tools for the windowed run.
# Idempotent: packages already present are not fetched again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

packages=(
  g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest
  wine64 xvfb xauth imagemagick xdotool
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
