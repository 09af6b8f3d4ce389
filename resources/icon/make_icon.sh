#!/usr/bin/env bash
# Draws the application icon (an SD card with a recording dot on a blue tile)
# and writes KroFileList.ico with 32x32, 48x48 and 128x128 images, 32-bit
# colour with alpha. Needs ImageMagick 6 (`convert`).
#   resources/icon/make_icon.sh            # rewrites resources/icon/KroFileList.ico
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One 256x256 master drawing, scaled down to each size.
convert -size 256x256 xc:none \
    -fill '#1f4e79' -draw 'roundrectangle 6,6 249,249 44,44' \
    -fill '#2e75b6' -draw 'roundrectangle 6,6 249,128 44,44' \
    -fill '#1f4e79' -draw 'rectangle 6,90 249,128' \
    -fill '#f4f4f4' -draw 'polygon 66,34 160,34 194,68 194,222 66,222' \
    -fill '#c9a227' -draw 'rectangle 84,46 96,84' -draw 'rectangle 106,46 118,84' \
    -draw 'rectangle 128,46 140,84' -draw 'rectangle 150,52 162,84' \
    -fill '#d32f2f' -draw 'circle 130,160 130,128' \
    -fill '#ffffff' -draw 'circle 130,160 130,150' \
    "PNG32:$work/master.png"

for size in 32 48 128; do
    convert "$work/master.png" -filter Lanczos -resize "${size}x${size}" "PNG32:$work/icon-$size.png"
done
convert "$work/icon-32.png" "$work/icon-48.png" "$work/icon-128.png" "$here/KroFileList.ico"
