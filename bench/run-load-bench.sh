#!/usr/bin/env bash
# Runs the list-loading benchmark under Wine on a 10,000-recording card:
#   bench/run-load-bench.sh BUILD_DIR [RECORDINGS]
# The card comes from the native card generator; the program's code runs in
# the Windows tree's load_bench.exe with the simulator beside it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
recordings=${2:-10000}
card="$build/bench/scale-card-$recordings"
if [ ! -f "$card/KROCARD.INI" ]; then
    "${KRO_CARDGEN:-$build/native/bin/kro_cardgen}" --out "$card" --recordings "$recordings" --seed 1 >/dev/null
fi
. "$root/bench/machine-load.sh"
"$root/scripts/wine-session.sh" "$build/bench/wine" -- bash -c '
    export KROSIM_CARD=$(winepath -w "$1" 2>/dev/null | tr -d "\r")
    /usr/lib/wine/wine64 "$2/load_bench.exe" | tr -d "\r"
' bench "$card" "$build/win64/bin"
