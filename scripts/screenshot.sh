#!/usr/bin/env bash
# Saves a PNG of the X display, or of the first window whose title matches:
#   scripts/screenshot.sh OUT.png [TITLE_REGEX]
# Run it where DISPLAY points at the display to capture, e.g. inside
# scripts/wine-session.sh. A window is cut out of the whole screen, so
# windows standing over it (an About box, a menu) are part of the picture.
set -euo pipefail
out=$1
title=${2:-}
mkdir -p "$(dirname "$out")"
if [ -z "$title" ]; then
    import -window root "$out"
    exit 0
fi
window=$(xdotool search --name "$title" | head -1)
if [ -z "$window" ]; then
    echo "screenshot: no window titled like '$title'" >&2
    exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
