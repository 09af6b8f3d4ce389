#!/usr/bin/env bash
# Runs KroFileList.exe under Wine:
#   scripts/demo.sh BUILD_DIR
# With a display (DISPLAY set) the window opens there, and the demo ends when
# the user closes it. Without one the program runs in a virtual display: a
# few seconds after its window appears a screenshot is saved under
# BUILD_DIR/demo/ and its path printed, then the program is closed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-build}" && cd "${1:-build}" && pwd)
exe="$build/win64/bin/KroFileList.exe"
if [ ! -f "$exe" ]; then
    echo "demo: $exe is missing (build it with: make win64)" >&2
    exit 1
fi
mkdir -p "$build/demo"

if [ -n "${DISPLAY:-}" ]; then
    exec "$root/scripts/wine-session.sh" --user-display "$build/demo/wine" -- /usr/lib/wine/wine64 "$exe"
fi

shot="$build/demo/KroFileList.png"
rm -f "$shot"
"$root/scripts/wine-session.sh" "$build/demo/wine" -- bash -c '
    exe=$1 shot=$2 root=$3
    /usr/lib/wine/wine64 "$exe" &
    program=$!
    if timeout 60 xdotool search --sync --name "^KroFileList" >/dev/null; then
        sleep 3
        "$root/scripts/screenshot.sh" "$shot" "^KroFileList" || true
        # The window has the keyboard focus: Esc closes it as a user would.
        xdotool key Escape
    fi
    for _ in $(seq 1 100); do
        kill -0 "$program" 2>/dev/null || break
        sleep 0.1
    done
' demo "$exe" "$shot" "$root"

if [ -f "$shot" ]; then
    echo "demo: screenshot saved to $shot"
else
    echo "demo: no screenshot was taken (the window did not appear)" >&2
fi
