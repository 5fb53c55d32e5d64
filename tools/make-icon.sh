#!/usr/bin/env bash
# Draws the program's icon (src/platform/win32/velmorin_update.ico) with ImageMagick: a
# pharmacy cross over an arrow that points down, on the download dialog's light green. The
# .ico is committed; run this again only to change it.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none -fill 'rgb(192,255,192)' -stroke 'rgb(0,110,60)' -strokewidth 10 \
  -draw "roundrectangle 8,8 248,248 40,40" -stroke none -fill 'rgb(0,150,70)' \
  -draw "rectangle 98,30 158,190" -draw "rectangle 38,80 218,140" \
  -fill 'rgb(0,0,192)' -draw "polygon 88,170 168,170 128,230" -depth 8 "$work/256.png"
sizes=(16 24 32 48 64)
for s in "${sizes[@]}"; do convert "$work/256.png" -resize "${s}x${s}" -depth 8 "$work/$s.png"; done
# Windows takes the 256-pixel image as PNG with 8 bits a channel.
convert $(for s in "${sizes[@]}"; do echo "$work/$s.png"; done) "$work/256.png" src/platform/win32/velmorin_update.ico
