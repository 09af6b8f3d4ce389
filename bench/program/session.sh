#!/usr/bin/env bash
# The user-facing benchmarks, run inside scripts/wine-session.sh by
# bench/run-program-bench.sh:  session.sh BUILD_DIR IDLE_SECONDS [LARGE]
# The program is installed as a user has it (the simulator beside it); the
# card sits in a slot folder and is inserted by renaming card.out to card.
set -uo pipefail
build=$1
idle_seconds=$2
large=${3:-}
: "${WINEPREFIX:?run inside scripts/wine-session.sh}"
wine64=/usr/lib/wine/wine64
bin="$build/win64/bin"
install_dir="$WINEPREFIX/drive_c/KroFileList"
mkdir -p "$install_dir"
cp "$bin/KroFileList.exe" "$bin/KroLibHost64.exe" "$bin/KROLib.dll" "$bin/kro_bench_driver.exe" "$install_dir/"
slot="$build/bench/slot"
rm -rf "$slot"
mkdir -p "$slot"
slot_win=$(winepath -w "$slot" 2>/dev/null | tr -d '\r')
export KROSIM_CARD="$slot_win\\card"
unset KROSIM_EXPORT_DIR KROSIM_FAULTS

drive() { (cd "$install_dir" && "$wine64" 'C:\KroFileList\kro_bench_driver.exe' "$@" | tr -d '\r'); }
# A card in the slot, not yet inserted; hard links, so the slot's renames
# leave the generated card alone.
put_card() { rm -rf "$slot/card" "$slot/card.out"; cp -al "$1" "$slot/card.out"; }
insert() { mv "$slot/card.out" "$slot/card"; }
pull() { mv "$slot/card" "$slot/card.out"; }

# Resident private memory of a process in KiB, and its CPU time in ns and
# context switches summed over its threads.
private_kib() { awk '/^Private_(Clean|Dirty):/ { s += $2 } END { print s }' "/proc/$1/smaps_rollup"; }
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'; }
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(non)?voluntary_ctxt_switches:/ { s += $2 } END { print s }'
}
# This prefix's wineserver: its working folder is named after the prefix's
# device and inode.
server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
wineserver_pid() {
    local p
    for p in $(pgrep -x 'wineserver(64)?'); do
        case "$(readlink "/proc/$p/cwd")" in */"$server_dir") echo "$p"; return ;; esac
    done
}
# The device library's host the program started in this prefix (a Windows
# process is a Linux process of its own, whose command line is the Windows
# one); empty when none runs.
host_pid() {
    local p
    for p in $(pgrep -f '^C:.*KroLibHost(64|32)\.exe --pipe'); do
        tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return; }
    done
}
# idle LABEL PID [HOST_PID]: CPU share of the process (with the library's
# host it started, counted in and also shown apart) and of the wineserver
# over idle_seconds, and the wake-ups per second.
idle() {
    local server c0 s0 w0 c1 s1 w1 host=${3:-} h0=0 hw0=0 h1=0 hw1=0
    server=$(wineserver_pid)
    c0=$(cpu_ns "$2"); w0=$(switches "$2"); s0=$(cpu_ns "$server")
    [ -n "$host" ] && { h0=$(cpu_ns "$host"); hw0=$(switches "$host"); }
    sleep "$idle_seconds"
    c1=$(cpu_ns "$2"); w1=$(switches "$2"); s1=$(cpu_ns "$server")
    if [ -n "$host" ]; then
        [ -d "/proc/$host" ] || echo "the library host $host ended during the window; its share is left out"
        h1=$(cpu_ns "$host"); hw1=$(switches "$host")
        [ -d "/proc/$host" ] || { h1=$h0; hw1=$hw0; }
    fi
    IDLE_SHARE=$(awk -v c=$((c1 - c0 + h1 - h0)) -v t="$idle_seconds" 'BEGIN { printf "%.4f", c / t / 1e7 }')
    awk -v l="$1" -v c=$((c1 - c0 + h1 - h0)) -v s=$((s1 - s0)) -v w=$((w1 - w0 + hw1 - hw0)) \
        -v t="$idle_seconds" 'BEGIN {
        printf "%-34s: %.3f%% of a core, %.1f wake-ups/s; wineserver %.3f%%\n",
            l, c / t / 1e7, w / t, s / t / 1e7 }'
    [ -n "$host" ] && awk -v h=$((h1 - h0)) -v w=$((hw1 - hw0)) -v t="$idle_seconds" 'BEGIN {
        printf "%-34s: %.3f%% of a core, %.1f wake-ups/s\n", "  of which the library host", h / t / 1e7, w / t }'
    return 0
}
idle_ratio() {  # idle_ratio LABEL FLOOR_SHARE: the last idle share against the floor
    awk -v l="$1" -v p="$IDLE_SHARE" -v f="$2" 'BEGIN {
        printf "%-34s: %.2f (beyond the floor %.3f%% of a core, goal <= 0.05%%; the whole, goal <= 0.1%%)\n",
            l, (f > 0 ? p / f : 0), p - f }'
}

echo "== start-up: KroFileList against its own window without logic (whole and in parts) and a minimal dialog, same prefix"
drive startup 'C:\KroFileList\KroFileList.exe' 10
sleep 3
idle_server() {  # idle_server LABEL: the wineserver without the program
    local server
    server=$(wineserver_pid)
    if [ -n "$server" ]; then idle "$1" "$server"; else echo "$1: no wineserver running"; fi
}
idle_server "wineserver alone, no program"

# The idle floor: a minimal dialog program that wakes as the design makes the
# program wake (a 500 ms window timer, a thread every second) and does
# nothing else; what the program costs beyond it is its own.
echo "== idle floor over $idle_seconds s: a minimal dialog with the design's timers"
(cd "$install_dir" && exec "$wine64" 'C:\KroFileList\kro_bench_driver.exe' dialog-timers >/dev/null 2>&1) &
floor_pid=$!
sleep 3
idle "minimal dialog, 500 ms + 1 s timers" "$floor_pid"
idle_floor=$IDLE_SHARE
kill "$floor_pid" 2>/dev/null
wait "$floor_pid" 2>/dev/null

(cd "$install_dir" && exec "$wine64" 'C:\KroFileList\KroFileList.exe' >/dev/null 2>&1) &
program_pid=$!
drive wait-empty 30000 || exit 1
sleep 2
memory_none=$(private_kib "$program_pid")
library_host=$(host_pid)
[ -n "$library_host" ] || echo "no library host runs beside the program"
host_memory_none=$([ -n "$library_host" ] && private_kib "$library_host")

echo "== idle cost over $idle_seconds s (CPU time from the kernel), the library host counted in"
idle "program, no card" "$program_pid" "$library_host"
idle_ratio "ratio program/floor, no card" "$idle_floor"

echo "== card arrival: the demo card inserted 30 times at random poll phases"
put_card "$build/bench/demo-card"
drive arrival "$slot_win" 30 || exit 1
insert
drive wait-loaded 30000 || exit 1
sleep 2
memory_demo=$(private_kib "$program_pid")
library_host=$(host_pid)
host_memory_demo=$([ -n "$library_host" ] && private_kib "$library_host")
demo_rows=$(find "$build/bench/demo-card" -name '*.KRO' | wc -l)
idle "program, demo card loaded" "$program_pid" "$library_host"
idle_ratio "ratio program/floor, card loaded" "$idle_floor"

# A card of `count` recordings: the window's answers while it loads, then
# its memory.
scale_card() {
    local count=$1
    pull
    drive wait-empty 30000 || exit 1
    put_card "$build/bench/scale-card-$count"
    echo "== a window that keeps answering: $count recordings loading"
    drive stall-load "$slot_win" || exit 1
    sleep 2
    eval "memory_$count=\$(private_kib \"\$program_pid\")"
    library_host=$(host_pid)
    eval "host_memory_$count=\$([ -n \"\$library_host\" ] && private_kib \"\$library_host\")"
}
scale_card 10000
echo "== a window that keeps answering: 512 recordings exported as AVI"
drive stall-export 512 || exit 1
[ -n "$large" ] && scale_card "$large"

drive close
wait "$program_pid" 2>/dev/null
echo "== idle cost of the Wine session without the program"
sleep 3
idle_server "wineserver alone, no program"

echo "== memory: resident private KiB of the program and its library host, against bare list views"
report_memory() {  # report_memory LABEL ROWS PROGRAM_KIB HOST_KIB
    printf '%-34s: %8d KiB, the library host %d KiB' "$1" "$3" "${4:-0}"
    if [ "$2" -gt 0 ]; then
        awk -v r="$2" -v k=$(($3 - memory_none)) -v h=$((${4:-0} - ${host_memory_none:-0})) 'BEGIN {
            printf "; %.0f bytes per row beyond no card, %.0f with the host", k * 1024 / r, (k + h) * 1024 / r }'
    fi
    echo
}
report_memory "no card" 0 "$memory_none" "$host_memory_none"
report_memory "demo card ($demo_rows recordings)" "$demo_rows" "$memory_demo" "$host_memory_demo"
# The bare program's memory, measured the same way: before and after its
# rows, in the states it announces.
bare_lists() {  # bare_lists: prints "ROWS BEFORE_KIB AFTER_KIB"
    local signal="$build/bench/bare.signal" log="$build/bench/bare.log" pid before after
    rm -f "$signal" "$log"
    (cd "$install_dir" && exec "$wine64" 'C:\KroFileList\kro_bench_driver.exe' bare-lists \
        "$(winepath -w "$signal" 2>/dev/null | tr -d '\r')" >"$log" 2>/dev/null) &
    pid=$!
    for _ in $(seq 3000); do grep -q before "$log" 2>/dev/null && break; sleep 0.1; done
    sleep 1
    before=$(private_kib "$pid")
    touch "$signal"
    for _ in $(seq 3000); do grep -q after "$log" 2>/dev/null && break; sleep 0.1; done
    sleep 1
    after=$(private_kib "$pid")
    rm -f "$signal"
    wait "$pid"
    echo "$(awk '/^rows/ { print $2 }' "$log" | tr -d '\r') $before $after"
}
for count in 10000 $large; do
    report_memory "$count recordings" "$count" "$(eval echo "\$memory_$count")" "$(eval echo "\$host_memory_$count")"
    pull 2>/dev/null
    put_card "$build/bench/scale-card-$count"
    insert
    read -r rows before after <<<"$(bare_lists)"
    # The bare program holds the library itself: the program is set against
    # it with its host counted in (and alone, for the split).
    awk -v p=$(( $(eval echo "\$memory_$count") - memory_none )) -v rows="$rows" -v before="$before" \
        -v h=$(( $(eval echo "\${host_memory_$count:-0}") - ${host_memory_none:-0} )) \
        -v after="$after" 'BEGIN {
        printf "%-34s: %8d KiB before its rows, %d KiB after\n", "bare lists, " rows " rows", before, after
        printf "%-34s: program and host %.0f (program %.0f), bare lists %.0f bytes per row; ratio %.2f (goal <= 1.2), program alone %.2f\n",
            "bytes per row, " rows " rows", (p + h) * 1024 / rows, p * 1024 / rows, (after - before) * 1024 / rows,
            (p + h) / (after - before), p / (after - before) }'
done
