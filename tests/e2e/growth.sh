#!/usr/bin/env bash
# The program's resources across many card cycles, or many ends of its
# library host, in one process:
#   tests/e2e/growth.sh WIN_BIN_DIR DEMO_CARD OUT_DIR [CYCLES] [cards|hosts] [SEED]
# cards (the default): each cycle inserts the demo card, waits for the
# lists, opens a details popup every second cycle, exports two ticked
# recordings every fourth, and pulls the card.
# hosts: the demo card stays in, and each cycle ends the library's host once
# (host_end below), until the host has ended CYCLES times. Handles and
# descriptors are then counted per host end, threads must not grow at all,
# and no host may be left alive beside the current one.
# After a warm-up of a tenth of the cycles (at least 5 card cycles, 1 host
# end) and at the end it reads the handle and thread counts from the
# system's process list and the working set through the driver, and the
# anonymous resident memory, data size and open descriptors of the Wine
# process from /proc. Growth per cycle above the limits below fails. Runs
# inside scripts/wine-session.sh; prints "growth: N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
take_common_arguments "$@"
cycles=${4:-200}
mode=${5:-cards}
seed=${6:-random}
[ "$seed" != random ] && [ -n "$seed" ] || seed=$(( $(date +%s%N) % 1000000 ))
source "$here/invariants.sh"

# Limits per cycle after the warm-up: a leaked handle or thread per cycle, or
# 64 KiB of memory per cycle (the demo card's rows and texts are about 10 KiB),
# would exceed them.
max_handles_per_cycle=0.2
max_threads_growth=2
max_kib_per_cycle=64
[ "$mode" == hosts ] && max_threads_growth=0

"$here/card_oracle.sh" "$card_source" >"$out/expected.tsv"
install_program
slot="$out/slot"
rm -rf "$slot"; mkdir -p "$slot"
cp -r "$card_source" "$slot/card.out"
export KROSIM_CARD="$(winepath -w "$slot/card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR KROSIM_FAULTS
[ "$mode" == hosts ] && source "$here/host_faults.sh"
started=$(date +%s)
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

# The ways a host ends, one a cycle in turn; in runs of 20 ends or more,
# one in ten is the user's stop of an export whose conversion hangs (after
# the minute's stall the progress dialog asks for), taken as soon as a host
# can be had. Crashes and hangs count toward the restart pause; the user's
# stops do not (GROWTH_STOPS_PAUSE=yes counts them, for a program where
# they do).
host_end_kinds=(crash-check crash-avi hang-info crash-info hang-check crash-picture)
stops_done=0
stops_pause=${GROWTH_STOPS_PAUSE:-no}
expected_photo_line=$(awk -F '\t' '$1 == "summary" && $2 == 1028 { print $3 }' "$out/expected.tsv")
# The host ends so far: each crash and hang the simulator recorded (a crash
# of the call after the one asked for, on a fresh host, is one more end) and
# the user's stops.
# A stop's hung conversion may see its switch cleared before its host's
# process has gone (the stop only starts the end): stops are counted here.
host_ends_so_far() {
    tr -d '\r' <"$fault_log" | awk -F '\t' -v stops="$stops_done" '
        $2 == "KRO_Make_Avi_File" && ($3 == "hang" || $3 == "answered") { next }
        $3 == "crash" || $3 == "hang" { n++ } $3 == "answered" { n-- } END { print n + stops }'
}
host_end_tally() {
    local what
    for what in "${!faults_by[@]}"; do printf '%s %s, ' "$what" "${faults_by[$what]}"; done
    echo "user's stops $stops_done"
}
cycle_problem() { problems=$((problems + 1)); echo "cycle $cycle ($kind): $1"; }

# Right-clicks row ROW of the Event list until the library is called (a
# right click that finds the library busy asks nothing); 1 when it never was.
click_details() {  # click_details ROW
    local attempt px py
    for attempt in 1 2 3 4 5; do
        dr item-point 1001 "$1"; read -r px py <<<"$DR_OUT"
        xdotool mousemove "$px" "$py" click 3
        wait_fault_record 3000 && return 0
        dr other-windows; grep -q '#32768' <<<"$DR_OUT" && { xdotool key Escape; sleep 0.2; }
    done
    return 1
}
# Exports row ROW of LIST by its Save button (ticked for it, unticked after)
# and checks that the box names it with REASON; the conversion faults as armed.
export_one() {  # export_one LIST BUTTON ROW REASON [stop]
    local name box
    dr rows "$1" "$3" 1; name=$(cut -f2 <<<"$DR_OUT")
    dr check "$1" "$3" 1
    dr click "$2"
    wait_fault_record 20000 || { cycle_problem "the conversion was not called"; }
    if [ "${5:-}" == stop ]; then
        # The stall: a minute without progress, then the way out.
        local stalled=no
        for _ in $(seq 450); do
            dr progress-text
            [ "$DR_OUT" == "The device library is not answering. Close this window to stop the export." ] && { stalled=yes; break; }
            sleep 0.2
        done
        [ $stalled == yes ] || cycle_problem "the progress dialog did not offer the stop"
        dr close-progress
        dr wait-box KroFileList 5000; dr answer-box KroFileList yes
        wait_gone 10000 $FAULT_HOSTS || cycle_problem "the stopped host did not go"
    fi
    disarm
    dr wait-box Saved 30000; box=$DR_OUT
    [ "$DR_STATUS" == 0 ] || cycle_problem "no completion box"
    grep -qxF "$name $4" <<<"$box" || cycle_problem "the box does not name $name $4: $(tr '\n' ' ' <<<"$box" | head -c 200)"
    dr answer-box Saved no; sleep 0.3
    dr check "$1" "$3" 0
}

host_end() {  # host_end KIND
    wait_host_available
    case $1 in
    crash-check)
        arm "random=$seed,crash-rate=check:1000"
        wait_fault_record 20000 || cycle_problem "no presence check came"
        disarm ;;
    hang-check)
        arm "random=$seed,hang-rate=check:1000"
        wait_fault_record 20000 || cycle_problem "no presence check came"
        let_hang_go 20000 || cycle_problem "the hung host was not ended" ;;
    crash-info | hang-info)
        arm "random=$seed,${1%-info}-rate=info:1000"
        click_details $((cycle % 5)) || cycle_problem "no right click reached the library"
        if [ "${1%-info}" == crash ]; then disarm; else let_hang_go 10000 || cycle_problem "the hung host was not ended"; fi
        sleep 0.3; dr other-windows; grep -q '#32768' <<<"$DR_OUT" && cycle_problem "a popup showed"
        ;;
    crash-avi) arm "random=$seed,crash-rate=avi:1000"; export_one 1001 1000 $((cycle % 10)) "(the device library crashed)" ;;
    crash-picture) arm "random=$seed,crash-rate=picture:1000"; export_one 1004 1007 $((cycle % 9)) "(the device library crashed)" ;;
    stop) arm "hang=avi"; export_one 1001 1000 $((cycle % 10)) "(the device library stopped answering)" stop ;;
    esac
    grep -q "	${1%%-*}" <<<"	${FAULT_LINE##*	}" || [ $1 == stop ] || cycle_problem "the library did not ${1%%-*}: ${FAULT_LINE:-nothing recorded}"
    if [ $1 == stop ]; then
        stops_done=$((stops_done + 1))
        # The stop's end: counted by the restart pause, or not.
        if [ "$stops_pause" == no ]; then fault_taken=$(wc -l <"$fault_log"); fault_seen=$fault_taken; fi
    fi
    take_fault_records
    wait_one_host 5000 || cycle_problem "$HOSTS_ALIVE library hosts are alive"
    # The poller keeps the card it saw: the lists stay.
    dr text 1028
    [ "$DR_OUT" == "$expected_photo_line" ] || cycle_problem "the Photo summary reads '$DR_OUT'"
}

# Ends the host once a cycle until it has ended as often as asked; reads
# the figures after the warm-up.
host_end_cycles() {
    problems=0
    mv "$slot/card.out" "$slot/card"
    wait_loaded "$out/expected.tsv" 20000 || { problems=$((problems + 1)); echo "the card did not load"; }
    # What is made once, on first use (the popup, the progress dialog, the
    # picture buffer), before anything is counted.
    dr item-point 1001 0; read -r px py <<<"$DR_OUT"
    xdotool mousemove "$px" "$py" click 3
    dr menu-height 3000; dr other-windows; grep -q '#32768' <<<"$DR_OUT" && { xdotool key Escape; sleep 0.2; }
    for button in 1000 1007; do
        dr check $([ $button == 1000 ] && echo 1001 || echo 1004) 0 1; dr click $button
        dr wait-box Saved 60000; dr answer-box Saved no; sleep 0.3
        dr check $([ $button == 1000 ] && echo 1001 || echo 1004) 0 0
    done
    local turn=0 warm_read=no
    cycle=0
    while [ "$(host_ends_so_far)" -lt "$cycles" ]; do
        cycle=$((cycle + 1))
        if [ "$cycles" -ge 20 ] && [ $((stops_done * 10)) -lt "$(host_ends_so_far)" ] && ! restarts_paused; then
            kind=stop
        else
            kind=${host_end_kinds[$((turn % ${#host_end_kinds[@]}))]}; turn=$((turn + 1))
        fi
        host_end "$kind"
        [ $((cycle % 25)) -eq 0 ] && echo "      $(host_end_cycles_line)"
        if [ $warm_read == no ] && [ "$(host_ends_so_far)" -ge "$warmup" ]; then
            warm_read=yes; warm_ends=$(host_ends_so_far)
            wait_host_available; sleep 2; reading warm
        fi
        [ "$cycle" -lt $((cycles * 2)) ] || { problems=$((problems + 1)); echo "the host did not end as asked"; break; }
    done
    final_ends=$(host_ends_so_far)
    wait_host_available; sleep 2
    wait_one_host 5000
    hosts_at_end=$HOSTS_ALIVE
}
host_end_cycles_line() { echo "$(host_ends_so_far) host ends, $problems problems, $(( $(date +%s) - started )) s ($(host_end_tally))"; }

if [ "$mode" == hosts ]; then
    warmup=$(( cycles / 10 > 1 ? cycles / 10 : 1 ))
    host_end_cycles
else
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
fi
reading final
close_program 5 || problems=$((problems + 1))
driver_stop

if [ "$mode" == hosts ]; then
    echo "      seed $seed; after $warm_ends host ends and after $final_ends, in $(( $(date +%s) - started )) s ($(host_end_tally)):"
else
    echo "      after $warmup cycles and after $cycles ($popups popups, $exports exports):"
fi
for key in listed-handles threads handles gdi user private working rss-anon-kib data-kib fds; do
    printf '      %-15s %12s %12s\n' "$key" "${warm[$key]:-}" "${final[$key]:-}"
done
counted=$((cycles - warmup))
[ "$mode" == hosts ] && counted=$((final_ends - warm_ends))
check "every cycle $([ "$mode" == hosts ] && echo "ended the host as asked, the card stayed listed" || echo "loaded and emptied the lists"), and the program ended" "$problems" 0
[ "$mode" != hosts ] || check "no library host is alive beside the current one (at the end: $hosts_at_end)" \
    "$([ "$hosts_at_end" -le 1 ] && echo yes)" yes
check "handles grow by at most $max_handles_per_cycle a cycle" \
    "$(awk -v a="${warm[listed-handles]}" -v b="${final[listed-handles]}" -v n=$counted -v m=$max_handles_per_cycle 'BEGIN { print (b - a <= n * m) ? "yes" : "no: " a " to " b }')" yes
check "threads grow by at most $max_threads_growth" \
    "$([ $((final[threads] - warm[threads])) -le $max_threads_growth ] && echo yes || echo "no: ${warm[threads]} to ${final[threads]}")" yes
check "anonymous memory grows by at most $max_kib_per_cycle KiB a cycle" \
    "$(awk -v a="${warm[rss-anon-kib]}" -v b="${final[rss-anon-kib]}" -v n=$counted -v m=$max_kib_per_cycle 'BEGIN { print (b - a <= n * m) ? "yes" : "no: " a " to " b " KiB" }')" yes
check "open descriptors grow by at most $max_handles_per_cycle a cycle" \
    "$(awk -v a="${warm[fds]}" -v b="${final[fds]}" -v n=$counted -v m=$max_handles_per_cycle 'BEGIN { print (b - a <= n * m) ? "yes" : "no: " a " to " b }')" yes
finish growth
