#!/usr/bin/env bash
# Remakes the screenshots in docs/ from a built Windows tree:
#   docs/make-screenshots.sh build/win64
# main-window.png: the main window as it opens; main-window-about.png: the
# same with the About box (opened from the system menu) over it, which shows
# that Hangul renders in the dialogs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(cd "${1:-build/win64}" && pwd)
"$root/scripts/wine-session.sh" "$tree/wine" -- bash -c '
    set -e
    exe=$1 docs=$2 shot=$3
    /usr/lib/wine/wine64 "$exe" &
    program=$!
    timeout 60 xdotool search --sync --name "^KroFileList$" >/dev/null
    sleep 1
    "$shot" "$docs/main-window.png" "^KroFileList$"
    # System menu, last entry ("KroFileList 정보(&A)..."), Enter.
    xdotool key alt+space
    sleep 0.5
    xdotool key Up
    sleep 0.3
    xdotool key Return
    timeout 30 xdotool search --sync --name "KroFileList 정보" >/dev/null
    sleep 1
    "$shot" "$docs/main-window-about.png" "^KroFileList$"
    xdotool key Return
    sleep 0.5
    xdotool key Escape
    wait "$program"
' screenshots "$tree/bin/KroFileList.exe" "$root/docs" "$root/scripts/screenshot.sh"
