#!/usr/bin/env bash
# The program's resources across many card cycles in one process:
#   tests/e2e/growth.sh WIN_BIN_DIR DEMO_CARD OUT_DIR [CYCLES]
# Each cycle inserts the demo card, waits for the lists, opens a details
# popup every second cycle, exports two ticked recordings every fourth, and
# pulls the card. After a warm-up of a tenth of the cycles (at least 5) and
# at the end it reads the handle and thread counts from the system's process
# list and the working set through the driver, and the anonymous resident
# memory, data size and open descriptors of the Wine process from /proc.
# Growth per cycle above the limits below fails. Runs inside
# scripts/wine-session.sh; prints "growth: N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
take_common_arguments "$@"
cycles=${4:-200}
source "$here/invariants.sh"

# Limits per cycle after the warm-up: a leaked handle or thread per cycle, or
# 64 KiB of memory per cycle (the demo card's rows and texts are about 10 KiB),
# would exceed them.
max_handles_per_cycle=0.2
max_threads_growth=2
max_kib_per_cycle=64

"$here/card_oracle.sh" "$card_source" >"$out/expected.tsv"
install_program
slot="$out/slot"
rm -rf "$slot"; mkdir -p "$slot"
cp -r "$card_source" "$slot/card.out"
export KROSIM_CARD="$(winepath -w "$slot/card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR KROSIM_FAULTS
driver_start
start_program
dr wait-window 20000

# Reads the figures into the array named by $1.
declare -A warm=() final=()
reading() {
    local -n into=$1
    local key value
    dr resources
    while IFS=$'\t' read -r key value; do into[$key]=$value; done <<<"$DR_OUT"
    into[rss-anon-kib]=$(awk '/^RssAnon:/ { print $2 }' "/proc/$program_pid/status")
    into[data-kib]=$(awk '/^VmData:/ { print $2 }' "/proc/$program_pid/status")
    into[fds]=$(ls "/proc/$program_pid/fd" | wc -l)
}

warmup=$(( cycles / 10 > 5 ? cycles / 10 : 5 ))
popups=0 exports=0 problems=0
for cycle in $(seq "$cycles"); do
    mv "$slot/card.out" "$slot/card"
    wait_loaded "$out/expected.tsv" 20000 || { problems=$((problems + 1)); echo "cycle $cycle: the card did not load"; }
    if [ $((cycle % 2)) -eq 0 ]; then
        dr item-point 1001 $((cycle % 5)); read -r px py <<<"$DR_OUT"
        xdotool mousemove "$px" "$py" click 3
        dr menu-height 3000 && [ "$DR_STATUS" == 0 ] && popups=$((popups + 1))
        dr other-windows; grep -q '#32768' <<<"$DR_OUT" && { xdotool key Escape; sleep 0.2; }
    fi
    if [ $((cycle % 4)) -eq 0 ]; then
        dr check 1002 $((cycle % 7)) 1; dr check 1004 $((cycle % 9)) 1
        dr click $([ $((cycle % 8)) -eq 0 ] && echo 1007 || echo 1005)
        dr wait-box Saved 60000 && [ "$DR_STATUS" == 0 ] && exports=$((exports + 1))
        dr answer-box Saved no; sleep 0.3
    fi
    mv "$slot/card" "$slot/card.out"
    wait_emptied 5000 || { problems=$((problems + 1)); echo "cycle $cycle: the lists did not empty"; }
    [ "$cycle" -eq "$warmup" ] && reading warm
done
reading final
close_program 5 || problems=$((problems + 1))
driver_stop

echo "      after $warmup cycles and after $cycles ($popups popups, $exports exports):"
for key in listed-handles threads handles gdi user private working rss-anon-kib data-kib fds; do
    printf '      %-15s %12s %12s\n' "$key" "${warm[$key]:-}" "${final[$key]:-}"
done
counted=$((cycles - warmup))
check "every cycle loaded and emptied the lists, and the program ended" "$problems" 0
check "handles grow by at most $max_handles_per_cycle a cycle" \
    "$(awk -v a="${warm[listed-handles]}" -v b="${final[listed-handles]}" -v n=$counted -v m=$max_handles_per_cycle 'BEGIN { print (b - a <= n * m) ? "yes" : "no: " a " to " b }')" yes
check "threads grow by at most $max_threads_growth" \
    "$([ $((final[threads] - warm[threads])) -le $max_threads_growth ] && echo yes || echo "no: ${warm[threads]} to ${final[threads]}")" yes
check "anonymous memory grows by at most $max_kib_per_cycle KiB a cycle" \
    "$(awk -v a="${warm[rss-anon-kib]}" -v b="${final[rss-anon-kib]}" -v n=$counted -v m=$max_kib_per_cycle 'BEGIN { print (b - a <= n * m) ? "yes" : "no: " a " to " b " KiB" }')" yes
check "open descriptors grow by at most $max_handles_per_cycle a cycle" \
    "$(awk -v a="${warm[fds]}" -v b="${final[fds]}" -v n=$counted -v m=$max_handles_per_cycle 'BEGIN { print (b - a <= n * m) ? "yes" : "no: " a " to " b }')" yes
finish growth
