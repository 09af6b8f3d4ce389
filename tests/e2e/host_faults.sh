# Crashes and hangs of the device library's host while the program runs,
# for the soak and the growth run. Source it after common.sh with `out` set
# and before the program starts: the simulator then reads further switches
# from a file on every call (arm, disarm) and records each crash and hang it
# makes, with its moment, in a log.
#
# The program pauses restarts after three host ends within a minute. The
# functions here keep the ends they caused (host_ended) and tell when a
# fresh host can be had again (wait_host_available), as the program counts.

faults_file="$out/faults.txt"
fault_log="$out/faults.log"  # written on Windows: its lines end in CR LF
: >"$faults_file"
: >"$fault_log"
export KROSIM_FAULTS_FILE="$(winepath -w "$faults_file" 2>/dev/null | tr -d '\r')"
export KROSIM_FAULT_LOG="$(winepath -w "$fault_log" 2>/dev/null | tr -d '\r')"
host_ends=()        # when the hosts this run ended went (milliseconds)
fault_seen=0        # fault log lines already taken

# arm SWITCHES: the simulator takes them from its next call on (written
# whole, then moved, so that no call reads half of them). disarm: none.
arm() {
    armed=$1
    printf '%s\n' "$1" >"$faults_file.new" && mv "$faults_file.new" "$faults_file"
}
disarm() { arm ""; }

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Waits for the simulator's next record (MS at most); the line in
# FAULT_LINE ("<ms>\t<export>\tcrash|hang") and the hosts alive as it is
# seen in FAULT_HOSTS: for a hang, the hung one (it is the only host until
# its deadline, which is seconds away). 1 when none came. The caller
# disarms a crash at once: the next call, on a fresh host, is a second later.
wait_fault_record() {  # wait_fault_record MS
    local deadline=$(( $(now_ms) + $1 )) lines
    FAULT_LINE="" FAULT_HOSTS=""
    while :; do
        lines=$(wc -l <"$fault_log")
        if [ "$lines" -gt "$fault_seen" ]; then
            fault_seen=$((fault_seen + 1))
            FAULT_LINE=$(sed -n "${fault_seen}p" "$fault_log" | tr -d '\r')
            # A hung call let go is no fault of its own.
            [ "${FAULT_LINE##*$'\t'}" == answered ] && continue
            FAULT_HOSTS=$(host_pids)
            return 0
        fi
        [ "$(now_ms)" -ge "$deadline" ] && return 1
        sleep 0.05
    done
}
# The Linux processes of this prefix's library hosts.
host_pids() {
    local pid
    for pid in $(pgrep -f 'KroLibHost(64|32)\.exe --pipe'); do
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
}
# Waits until the hung host goes (its deadline ends it; MS at most), then
# lets go of the hang. The hang is also given an end a little after the
# deadline (hang-until), so that the next call, on a fresh host a second
# after, answers even before the switch is cleared.
let_hang_go() {  # let_hang_go MS
    local gone=1 name
    name=$(cut -f2 <<<"$FAULT_LINE")
    [ -z "$FAULT_LINE" ] || arm "$armed,hang-until=$(( ${FAULT_LINE%%$'\t'*} + $(hang_deadline_ms "$name") + 900 ))"
    [ -n "$FAULT_HOSTS" ] && wait_gone "$1" $FAULT_HOSTS && gone=0
    disarm
    return $gone
}
# Waits until none of the given processes is left (MS at most).
wait_gone() {  # wait_gone MS PID...
    local deadline=$(( $(now_ms) + $1 )) pid alive; shift
    while :; do
        alive=no
        # A process that has ended but is not yet reaped counts as gone.
        for pid in "$@"; do
            [ -d "/proc/$pid" ] && [ "$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null)" != Z ] && alive=yes
        done
        [ $alive == no ] && return 0
        [ "$(now_ms)" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}
# Waits until at most one host of this prefix is alive (MS at most); the
# count in HOSTS_ALIVE.
wait_one_host() {  # wait_one_host MS
    local deadline=$(( $(now_ms) + $1 ))
    while :; do
        HOSTS_ALIVE=$(host_pids | wc -l)
        [ "$HOSTS_ALIVE" -le 1 ] && return 0
        [ "$(now_ms)" -ge "$deadline" ] && return 1
        sleep 0.2
    done
}

# A host end that counts toward the pause, at MS (now when not given).
host_ended() {
    host_ends+=("${1:-$(now_ms)}")
    mapfile -t host_ends < <(printf '%s\n' "${host_ends[@]}" | sort -n)
}
# A fresh program counts afresh.
forget_host_ends() { host_ends=(); }
# When the next host may start: 0 when now, else the moment the oldest of
# the last three ends is a minute old (with a second for the clocks).
host_available_at() {
    local n=${#host_ends[@]}
    if [ "$n" -lt 3 ]; then echo 0; return; fi
    local at=$(( host_ends[n - 3] + 61000 ))
    [ "$at" -gt "$(now_ms)" ] && echo "$at" || echo 0
}
restarts_paused() { [ "$(host_available_at)" -gt 0 ]; }
wait_host_available() {
    local at wait
    at=$(host_available_at)
    [ "$at" -gt 0 ] || return 0
    wait=$(( at - $(now_ms) ))
    [ "$wait" -le 0 ] || sleep "$(printf '%d.%03d' $((wait / 1000)) $((wait % 1000)))"
}

# How long a hung call of each export is given before its host is ended.
hang_deadline_ms() {
    case $1 in
    KRO_Check_Kro_Device) echo 5000 ;;
    KRO_Get_File_Index_Info) echo 2000 ;;
    KRO_Get_File_Cnt | KRO_Get_File_List_tt) echo 60000 ;;
    *) echo 0 ;;  # none: the user's stop ended it, just now
    esac
}
# Takes the records not taken yet: each crash ends its host at once, each
# hang at its deadline, unless the hung call answered after all (let go
# before the deadline cut it): then it ended nothing. Counts them by export
# in faults_by["crash EXPORT"] and faults_by["hang EXPORT"].
declare -A faults_by=() hang_end_of=()
fault_taken=0
take_fault_records() {
    local when name what end i
    while IFS=$'\t' read -r when name what; do
        fault_taken=$((fault_taken + 1))
        case $what in
        crash) host_ended "$when" ;;
        hang)
            end=$(hang_deadline_ms "$name")
            [ "$end" -gt 0 ] && end=$((when + end)) || end=$(now_ms)
            host_ended "$end"; hang_end_of[$name]=$end ;;
        answered)
            faults_by["hang $name"]=$(( ${faults_by["hang $name"]:-1} - 1 ))
            for i in "${!host_ends[@]}"; do
                [ "${host_ends[$i]}" == "${hang_end_of[$name]:-}" ] && { unset 'host_ends[i]'; break; }
            done
            host_ends=("${host_ends[@]}")
            continue ;;
        esac
        faults_by["$what $name"]=$(( ${faults_by["$what $name"]:-0} + 1 ))
    done < <(tail -n +$((fault_taken + 1)) "$fault_log" | tr -d '\r')
    [ "$fault_seen" -ge "$fault_taken" ] || fault_seen=$fault_taken
}
fault_records_since_taken() { echo $(( $(wc -l <"$fault_log") - fault_taken )); }
# Milliseconds until a fresh host can be had again; 0 when now.
pause_left_ms() {
    local at
    at=$(host_available_at)
    [ "$at" -gt 0 ] && echo $(( at - $(now_ms) )) || echo 0
}
