#!/usr/bin/env bash
# What a user feels of the real program under Wine, each figure against a
# baseline measured in the same run (bench/program/bench_driver.cpp):
#   bench/run-program-bench.sh BUILD_DIR [IDLE_SECONDS] [LARGE_RECORDINGS]
# start-up against the program's own window without its logic and a minimal
# dialog program; idle cost over IDLE_SECONDS (default 10) without and with a
# card; card arrival over 30 inserts; the
# window's answers while a 10,000-recording card loads and while 512
# recordings export; private memory without a card, with the demo card and
# with 10,000 recordings against bare list views holding the same rows; and,
# given LARGE_RECORDINGS (e.g. 50000), the load and memory of that card too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
idle_seconds=${2:-10}
large=${3:-}
cardgen=${KRO_CARDGEN:-$build/native/bin/kro_cardgen}
for count in 10000 $large; do
    card="$build/bench/scale-card-$count"
    [ -f "$card/KROCARD.INI" ] || "$cardgen" --out "$card" --recordings "$count" --seed 1 >/dev/null
done
. "$root/bench/machine-load.sh"
exec "$root/scripts/wine-session.sh" "$build/bench/wine" -- \
    bash "$root/bench/program/session.sh" "$build" "$idle_seconds" "$large"
