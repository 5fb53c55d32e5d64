#!/usr/bin/env bash
# Installs, with apt-get, what the Windows stage needs on top of tools/install-deps.sh: the
# mingw-w64 cross compiler and its zlib, Wine, and the X tools for the windowed run.
# Idempotent: packages already present are not fetched again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh \
  g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest \
  wine wine64 xvfb xauth imagemagick xdotool
