#!/usr/bin/env bash
# Installs, with apt-get, what the Windows stage needs on top of tools/install-deps.sh: the
# 32-bit mingw-w64 cross compiler (the program shipped runs on 32- and 64-bit Windows) and its
# zlib, Wine for 32- and 64-bit programs, osslsigncode, and the X tools for the windowed run.
# Idempotent: packages already present are not fetched again.
set -euo pipefail
cd "$(dirname "$0")/.."

# 32-bit Windows programs run under Debian's wine32, which comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  # No index for it yet: wine32:i386 is then missing, so tools/install-deps.sh refreshes them.
  $sudo_cmd dpkg --add-architecture i386
fi
bash tools/install-deps.sh \
  g++-mingw-w64-i686-posix libz-mingw-w64-dev googletest \
  wine wine32:i386 wine64 xvfb xauth imagemagick xdotool osslsigncode
