#!/usr/bin/env bash
# Runs KroFileList.exe under Wine on the demo card with the simulator library:
#   scripts/demo.sh BUILD_DIR
# With a display (DISPLAY set) the program opens there as an ordinary window
# and the card is inserted a moment after start, so the user sees it arrive;
# the demo ends when the user closes the window. Without a display the
# user's journey is played in a virtual display (tests/e2e/journey.sh) and the
# screenshots and exported files are listed. Everything happens inside a Wine
# prefix of the demo's own (BUILD_DIR/demo/wine), so no real C:\ZiduvOra\ is
# touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-build}" && cd "${1:-build}" && pwd)
bin="$build/win64/bin"
card="$build/native/demo-card"
for needed in "$bin/KroFileList.exe" "$bin/KROLib.dll" "$bin/kro_e2e_driver.exe" "$card/KROCARD.INI"; do
    if [ ! -e "$needed" ]; then
        echo "demo: $needed is missing (build it with: make native win64)" >&2
        exit 1
    fi
done
mkdir -p "$build/demo"

if [ -n "${DISPLAY:-}" ]; then
    exec "$root/scripts/wine-session.sh" --user-display "$build/demo/wine" -- bash -c '
        set -euo pipefail
        bin=$1 card=$2 slot=$3
        install_dir="$WINEPREFIX/drive_c/KroFileList"
        mkdir -p "$install_dir"
        cp "$bin/KroFileList.exe" "$bin/KroLibHost64.exe" "$bin/KROLib.dll" "$install_dir/"
        rm -rf "$slot" && mkdir -p "$slot"
        export KROSIM_CARD=$(winepath -w "$slot/card" 2>/dev/null | tr -d "\r")
        (cd "$install_dir" && exec /usr/lib/wine/wine64 "C:\\KroFileList\\KroFileList.exe") &
        program=$!
        sleep 4
        cp -r "$card" "$slot/card"
        echo "demo: the card is in ($slot/card); rename that folder to pull it. Close the window to end."
        wait "$program" || true
    ' demo "$bin" "$card" "$build/demo/slot"
fi

journey="$build/demo/journey"
"$root/scripts/wine-session.sh" "$build/demo/wine" -- "$root/tests/e2e/journey.sh" "$bin" "$card" "$journey"
echo "demo: screenshots in $journey/*.png"
echo "demo: exported files in $journey/exported/"
