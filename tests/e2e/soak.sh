#!/usr/bin/env bash
# Card pulls, window closes, exports and crashes and hangs of the device
# library at random moments, with the real program under Wine, from a seed:
#   tests/e2e/soak.sh WIN_BIN_DIR DEMO_CARD CARD_GENERATOR OUT_DIR [SCALE] [SEED|random] [RECORDINGS]
# SCALE 1 makes at least 200 pulls (and as many inserts), 100 closes, 50
# exports, 20 crash steps (at least 20 crashes) and 7 hang steps (at least
# 5 hangs cut by their deadline); 0.1 a tenth of that (at least 2 crash
# steps and 1 hang step). RECORDINGS (default 10,000) is the size of
# the big card. The seed (random when not given) is printed
# first; the same seed replays the same steps. The cards are the demo card and
# a card of 10,000 recordings made by the generator. After every step: the
# process is alive (or, after a close, gone within 5 s), no box, progress
# dialog or menu is left open, nothing on the Wine drive outside the export
# folder changed, no temporary, empty or truncated file is in the export
# folder, the lists equal the card once it settled, and every export's
# completion box counts each ticked recording as exported or failed. Every
# failure names the seed and the step. Runs inside scripts/wine-session.sh.
set -uo pipefail
bin=$(cd "$1" && pwd)
demo_source=$(cd "$2" && pwd)
cardgen=$3
out=$(mkdir -p "$4" && cd "$4" && pwd)
scale=${5:-1}
seed=${6:-random}
[ "$seed" != random ] && [ -n "$seed" ] || seed=$(( $(date +%s%N) % 1000000 ))
recordings=${7:-10000}
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?run inside scripts/wine-session.sh}" "${DISPLAY:?}"
echo "soak: seed $seed, scale $scale, big card $recordings recordings (replay: make soak SOAK_SEED=$seed SOAK_SCALE=$scale SOAK_RECORDINGS=$recordings)"
source "$here/common.sh"
source "$here/invariants.sh"
RANDOM=$seed
started=$(date +%s)

pulls_wanted=$(awk -v s="$scale" 'BEGIN { print int(200 * s + 0.5) }')
closes_wanted=$(awk -v s="$scale" 'BEGIN { print int(100 * s + 0.5) }')
exports_wanted=$(awk -v s="$scale" 'BEGIN { print int(50 * s + 0.5) }')
crash_steps_wanted=$(awk -v s="$scale" 'BEGIN { n = int(20 * s + 0.5); print n < 2 ? 2 : n }')
hang_steps_wanted=$(awk -v s="$scale" 'BEGIN { n = int(7 * s + 0.5); print n < 1 ? 1 : n }')
crashes_wanted=$(awk -v s="$scale" 'BEGIN { n = int(20 * s + 0.5); print n < 2 ? 2 : n }')
hangs_wanted=$(awk -v s="$scale" 'BEGIN { n = int(5 * s + 0.5); print n < 1 ? 1 : n }')

# The cards, each with the oracle's reading, in a slot folder: the inserted
# card is slot/card, the others wait as slot/NAME.out.
big_source="$out/big-card-$recordings"
[ -f "$big_source/KROCARD.INI" ] || "$cardgen" --out "$big_source" --recordings "$recordings" --seed 1 >/dev/null
for name in demo big; do
    source_dir=$demo_source; [ $name == big ] && source_dir=$big_source
    "$here/card_oracle.sh" "$source_dir" >"$out/$name.tsv"
done
slot="$out/slot"
rm -rf "$slot"
mkdir -p "$slot"
cp -r "$demo_source" "$slot/demo.out"
cp -r "$big_source" "$slot/big.out"
card_listings() { card_listing "$slot/demo.out"; card_listing "$slot/big.out"; }

install_program
export KROSIM_CARD="$(winepath -w "$slot/card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR
# Two threads inside the library at once would be recorded here.
reentrancy_log="$out/reentrancy.log"
rm -f "$reentrancy_log"
export KROSIM_FAULTS=reentrancy,affinity
export KROSIM_REENTRANCY_LOG="$(winepath -w "$reentrancy_log" 2>/dev/null | tr -d '\r')"
source "$here/host_faults.sh"
driver_start

card=""          # the inserted card (demo or big), empty when none
running=no
step=0 what=""
pulls=0 inserts=0 closes=0 exports=0 export_pulls=0 violations=0 unreadable_boxes=0
# A right click while the library is busy shows no popup (by design): counted
# and reported, not taken as a violation.
no_popup=0
declare -A moments=()

violation() {
    violations=$((violations + 1))
    echo "FAIL  seed $seed step $step ($what): $1"
}
random_below() { R=$((RANDOM % $1)); }   # in the calling shell: keeps the sequence
pause_random() { random_below "$1"; sleep "$(printf '0.%03d' "$R")"; }   # below 1000 ms

# The program asks for the card about once a second and acts on the answer
# at its next 500 ms tick: a card pulled and put back (or swapped) between
# two of its questions is one it never saw go. Every card therefore stays
# out longer than a question and a tick, and the lists must have emptied,
# before the next insert: 2 s, a question and a tick with room for a question
# that waited for the library's lock. (Empty lists alone do not show the pull was seen:
# a card pulled between the question and the tick that starts its load
# leaves them empty too, and that load then runs across the pull.)
kCardOutMs=2000
pulled_at=0
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
insert() {  # insert demo|big
    local wait=$(( pulled_at + kCardOutMs - $(now_ms) ))
    [ "$wait" -le 0 ] || sleep "$(printf '%d.%03d' $((wait / 1000)) $((wait % 1000)))"
    if [ $running == yes ]; then wait_emptied $((5000 + $(pause_left_ms))) || violation "the lists did not empty without a card"; fi
    mv "$slot/$1.out" "$slot/card"; card=$1; inserts=$((inserts + 1))
}
pull() {
    mv "$slot/card" "$slot/$card.out"; card=""; pulls=$((pulls + 1)); pulled_at=$(now_ms)
}
insert_random() { random_below 3; [ "$R" -eq 0 ] && insert demo || insert big; }

start() {
    start_program; running=yes; forget_host_ends
    dr wait-window 20000 || true
    [ "$DR_STATUS" == 0 ] || violation "the main window did not open"
}

# The checks after every step. With the card in, waits for it to settle and
# compares the lists with it (fully for the demo card, counts and summaries
# plus the first and last rows for the big one).
settle_and_check() {
    local left
    if [ $running == yes ]; then
        kill -0 "$program_pid" 2>/dev/null || { violation "the program has ended"; running=no; }
    fi
    if [ $running == yes ]; then
        if [ -n "$card" ]; then
            wait_loaded "$out/$card.tsv" $((30000 + $(pause_left_ms))) || violation "the $card card did not load"
            if [ "$card" == demo ]; then
                lists_problems "$out/demo.tsv" >"$out/problems"
            else
                big_lists_problems >"$out/problems"
            fi
            while read -r p; do violation "$p"; done <"$out/problems"
        else
            wait_emptied $((5000 + $(pause_left_ms))) || violation "the lists did not empty without a card"
        fi
        windows_left
        [ -z "$WINDOWS_LEFT" ] || violation "windows left open: $(tr '\n\t' '; ' <<<"$WINDOWS_LEFT")"
    fi
    left=$(written_outside "$out/drive.before")
    [ -z "$left" ] || violation "written outside the export folder: $(tr '\n' ';' <<<"$left")"
    # Pictures are compared with the card right after their export.
    left=$(export_folder_problems /nonexistent | head -3)
    [ -z "$left" ] || violation "export folder: $(tr '\n' ';' <<<"$left")"
}

# The big card's lists: each list's row count, its first and last row, one
# row at random, and the summaries (reading 10,000 rows across processes
# takes a minute under Wine; the demo card's lists are compared whole).
big_lists_problems() {
    local i list count want
    local -a lists=(1001 1002 1003 1004) summaries=(1023 1024 1026 1028)
    for i in 0 1 2 3; do
        list=${lists[$i]}
        want=$(awk -F '\t' -v l="$list" '$1 == "rows" && $2 == l { print $3 "\t" $4 "\t" $5 }' "$out/big.tsv" | sed 's/\t$//')
        count=$(wc -l <<<"$want")
        dr row-count "$list"
        [ "$DR_OUT" == "$count" ] || echo "list $list holds $DR_OUT rows, the big card $count"
        random_below "$count"
        for row in 0 "$R" $((count - 1)); do
            dr rows "$list" "$row" 1
            [ "$(cut -f2- <<<"$DR_OUT")" == "$(sed -n "$((row + 1))p" <<<"$want")" ] ||
                echo "list $list row $row reads '$(cut -f2- <<<"$DR_OUT")'"
        done
        dr text "${summaries[$i]}"
        [ "$DR_OUT" == "$(awk -F '\t' -v s="${summaries[$i]}" '$1 == "summary" && $2 == s { print $3 }' "$out/big.tsv")" ] ||
            echo "summary ${summaries[$i]} reads '$DR_OUT'"
    done
}

# Right-clicks a random row of a random non-empty list; 0 when a popup shows.
# With "quick" it does not wait for one (and returns 1).
open_popup() {  # open_popup [quick]
    local list rows px py
    random_below 4; list=$((1001 + R))
    dr row-count "$list"; rows=$DR_OUT
    [ "${rows:-0}" -gt 0 ] || return 1
    random_below "$((rows < 5 ? rows : 5))"
    dr item-point "$list" "$R"; read -r px py <<<"$DR_OUT"
    [ -n "${py:-}" ] || return 1
    xdotool mousemove "$px" "$py" click 3
    [ "${1:-}" != quick ] || return 1
    dr menu-height 3000
    [ "$DR_STATUS" == 0 ]
}
# Escape only while a menu is open: on the main window it would close it.
close_popup() {
    local i
    for i in 1 2; do
        dr other-windows
        grep -q '#32768' <<<"$DR_OUT" || return 0
        xdotool key Escape; sleep 0.3
    done
}

# Ticks a random subset (1 to 8 rows) of a random non-empty list (of
# force_list when set), exports it and, when asked, pulls the card after a
# random moment. Checks the box. BEFORE runs just before Save is pressed
# (it arms a fault), AFTER just after.
force_list=""
export_subset() {  # export_subset pull|nopull [BEFORE [AFTER]]
    local list rows count i box names=() ticked=()
    for _ in 1 2 3 4; do
        random_below 4; list=$((1001 + R)); [ -z "$force_list" ] || list=$force_list
        dr rows "$list" 0 400; rows=$(sed '/^$/d' <<<"$DR_OUT" | wc -l)
        [ "$rows" -gt 0 ] && break
    done
    [ "$rows" -gt 0 ] || return 0
    local all=$DR_OUT
    random_below 8; count=$((R + 1)); [ "$count" -le "$rows" ] || count=$rows
    # Rows still ticked from an earlier export are cleared first.
    while IFS=$'\t' read -r tick name _; do
        ticked+=("$tick"); names+=("$name")
    done <<<"$all"
    for i in "${!ticked[@]}"; do [ "${ticked[$i]}" == 1 ] && dr check "$list" "$i" 0; done
    local chosen=()
    declare -A taken=()
    while [ ${#chosen[@]} -lt "$count" ]; do
        random_below "$rows"
        [ -n "${taken[$R]:-}" ] && continue
        taken[$R]=1; chosen+=("$R"); dr check "$list" "$R" 1
    done
    rm -rf "${export_dir:?}"/*
    local button
    case $list in 1001) button=1000 ;; 1002) button=1005 ;; 1003) button=1006 ;; 1004) button=1007 ;; esac
    local source_card=$card
    [ -z "${2:-}" ] || "$2" "$list"
    take_fault_records
    local paused_left
    paused_left=$(pause_left_ms)
    dr click "$button"
    [ -z "${3:-}" ] || "$3"
    if [ "$1" == pull ]; then
        pause_random 1000; random_below 3; sleep "$R"
        pull; export_pulls=$((export_pulls + 1))
    fi
    dr wait-box Saved 120000
    disarm
    if [ "$DR_STATUS" != 0 ]; then violation "no completion box"; return; fi
    box=$DR_OUT
    dr answer-box Saved no
    sleep 0.3
    local wanted=()
    for i in "${chosen[@]}"; do wanted+=("${names[$i]}"); done
    completion_problems "$box" "$list" "${wanted[@]}" >"$out/problems"
    if [ "$1" == nopull ]; then
        if [ -n "${2:-}" ] || [ "$paused_left" -gt 0 ]; then
            # A fault or the restart pause: every failure says why.
            unexplained_failures "$box" | sed 's/^/named without the library as the reason: /' >>"$out/problems"
            # With restarts paused for a while yet, nothing reaches the library.
            if [ -z "${2:-}" ] && [ "$paused_left" -gt 3000 ] &&
                ! grep -qE "^$count recordings? (was|were) not exported, as the export stopped before (it|them):$" <<<"$box"; then
                echo "restarts paused ($paused_left ms left), yet the export did not stop before its first recording: $(head -2 <<<"$box" | tr '\n' ' ')" >>"$out/problems"
            fi
        elif [ "$box" != "$(printf 'Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?')" ]; then
            echo "failures without a pull: $(head -3 <<<"$box" | tr '\n' ' ')" >>"$out/problems"
        fi
    fi
    while read -r p; do violation "$p"; done <"$out/problems"
    local bad
    local source_dir="$slot/$source_card.out"
    [ "$card" == "$source_card" ] && source_dir="$slot/card"
    bad=$(export_folder_problems "$source_dir")
    [ -z "$bad" ] || violation "export folder: $(head -3 <<<"$bad" | tr '\n' ';')"
    exports=$((exports + 1))
}

# The recordings a box names as not exported without a reason from the
# library (those an export stopped before are named apart, and are fine).
unexplained_failures() {  # unexplained_failures BOX
    sed -nE '/could not be exported:$/,/^(The folder is|[0-9]+ recordings? (was|were) not exported)/p' <<<"$1" |
        sed '1d;$d' | grep -v '^and [0-9]* more$' | grep -v ' (the device library [a-z ]*)$'
}

# Crash and hang steps. Each arms the fault, does what a user does beside
# it, lets go of the fault once it has cost its host, and leaves the card in
# and loaded, or out: the checks after the step then hold as after any
# other. The seed of the library's draws follows the soak's.
arm_fault() { arm "random=$((seed * 1000 + step)),$1"; }
# A rate per mille in RATE (in this shell: $RANDOM's sequence must stay the seed's).
draw_rate() { random_below 3; case $R in 0) RATE=300 ;; 1) RATE=600 ;; *) RATE=1000 ;; esac; }
arm_conversion_crash() {
    draw_rate
    arm_fault "crash-rate=$([ "$1" == 1004 ] && echo picture || echo avi):$RATE"
}
# A presence check hung until its deadline ends the host, while Save is
# pressed: the export waits for the call's turn and then goes on.
arm_check_hang() {
    arm_fault "hang-rate=check:1000"
    wait_fault_record 5000 || violation "no presence check hung"
}
hang_cut() { let_hang_go 20000 || violation "the hung library host was not ended by its deadline"; }

# Waits until the load has shown the card or the box that it could not be
# read (dismissed, with the lists left empty); 1 when neither came.
load_or_box() {  # load_or_box MS
    local deadline=$(( $(now_ms) + $1 )) id
    while [ "$(now_ms)" -lt "$deadline" ]; do
        wait_loaded "$out/$card.tsv" 500 && return 0
        dr wait-box KroFileList 500
        if [ "$DR_STATUS" == 0 ]; then
            grep -q "could not read this card" <<<"$DR_OUT" || violation "unexpected box: $(tr '\n' ' ' <<<"$DR_OUT")"
            unreadable_boxes=$((unreadable_boxes + 1))
            dr answer-box KroFileList ok
            for id in 1001 1002 1003 1004; do
                dr rows "$id"; [ -z "$DR_OUT" ] || { violation "list $id holds rows of a load that failed"; break; }
            done
            return 0
        fi
    done
    return 1
}

crash_step() {
    random_below 6
    case $R in
    0) what="crash: loads, beside a pull"
       wait_loaded "$out/$card.tsv" $((30000 + $(pause_left_ms))); pull
       random_below 2; rate=$([ "$R" == 0 ] && echo 300 || echo 1000)
       arm_fault "crash-rate=list:$rate"; insert_random
       load_or_box $((90000 + $(pause_left_ms))) || violation "the card neither loaded nor was named unreadable"
       disarm
       # A card the library could not read is read again once it is put back.
       wait_loaded "$out/$card.tsv" 100 || { pull; }
       ;;
    1) what="crash: presence checks, beside a pull"
       wait_loaded "$out/$card.tsv" $((30000 + $(pause_left_ms)))
       draw_rate; arm_fault "crash-rate=check:$RATE"; pull; random_below 3; sleep $((R + 2))
       # At least one: the checks go on once a second.
       [ "$(fault_records_since_taken)" -gt 0 ] || wait_fault_record $((10000 + $(pause_left_ms))) ||
           violation "no presence check came"
       disarm ;;
    2) what="crash: details, with the popup"
       wait_loaded "$out/$card.tsv" $((30000 + $(pause_left_ms)))
       wait_host_available
       arm_fault "crash-rate=info:1000"
       ! open_popup || violation "a popup showed while the library crashed"
       disarm; close_popup ;;
    3) what="crash: presence checks, beside a close"
       draw_rate; arm_fault "crash-rate=check:$RATE"
       wait_fault_record $((10000 + $(pause_left_ms))) || violation "no presence check came"
       pause_random 1000
       close_program 5 || violation "the process did not end within 5 s of the close"
       disarm; running=no; closes=$((closes + 1)) ;;
    4|5) what="crash: conversions, in an export$([ $R == 5 ] && echo " with a pull")"
       wait_loaded "$out/$card.tsv" $((30000 + $(pause_left_ms)))
       wait_host_available
       random_below 2; force_list=$([ "$R" == 0 ] && echo 1004 || echo "")
       export_subset "$([ "$what" == "${what% with a pull}" ] && echo nopull || echo pull)" arm_conversion_crash
       force_list="" ;;
    esac
    disarm
}

hang_step() {
    random_below 7
    case $R in
    0|1) what="hang: presence check, while Save is pressed"
       wait_loaded "$out/$card.tsv" $((30000 + $(pause_left_ms)))
       wait_host_available
       export_subset nopull arm_check_hang hang_cut ;;
    2|3) what="hang: details, with the popup"
       wait_loaded "$out/$card.tsv" $((30000 + $(pause_left_ms)))
       wait_host_available
       arm_fault "hang-rate=info:1000"
       # A right click that finds the library busy asks nothing: again.
       for _ in 1 2 3; do
           open_popup quick
           wait_fault_record 3000 && break
           close_popup
       done
       hang_cut
       dr menu-height 500; [ "$DR_STATUS" != 0 ] || violation "a popup showed while the library hung"
       close_popup ;;
    4) what="hang: a load, beside a pull"
       # The first try of the load hangs until its deadline ends the host;
       # the library answers again a few seconds later, so the second try
       # reads the card even if it starts before the switch is cleared.
       wait_loaded "$out/$card.tsv" $((30000 + $(pause_left_ms))); pull
       wait_host_available
       sleep 2; wait_emptied 5000 || violation "the lists did not empty without a card"
       arm "hang=list,hang-until=$(( $(now_ms) + 65000 ))"; insert demo
       wait_fault_record 20000 || violation "no list call hung"
       let_hang_go 70000 || violation "the hung library host was not ended by its deadline" ;;
    5|6) what="hang: presence check, beside a close"
       wait_host_available
       arm_fault "hang-rate=check:1000"
       wait_fault_record 5000 || violation "no presence check hung"
       pause_random 1000
       close_program 5 || violation "the process did not end within 5 s of the close"
       disarm; running=no; closes=$((closes + 1)) ;;
    esac
    disarm
}

# The plan: every kind of step as often as wanted, shuffled by the seed.
plan=()
for _ in $(seq "$closes_wanted"); do plan+=(close); done
for _ in $(seq "$exports_wanted"); do plan+=(export); done
for _ in $(seq $((pulls_wanted - exports_wanted / 3))); do plan+=(pull); done
for _ in $(seq "$crash_steps_wanted"); do plan+=(crash); done
for _ in $(seq "$hang_steps_wanted"); do plan+=(hang); done
for i in "${!plan[@]}"; do
    random_below $((i + 1)); t=${plan[$i]}; plan[$i]=${plan[$R]}; plan[$R]=$t
done

rm -f "$out/steps.log"
drive_listing >"$out/drive.before"
card_listings >"$out/cards.before"
insert demo
start
what=start; settle_and_check

for kind in "${plan[@]}"; do
    step=$((step + 1))
    [ $running == yes ] || { start; }
    [ -n "$card" ] || insert_random
    random_below 4; variant=$R
    case $kind in
    pull)
        case $variant in
        0) what="pull when idle"; wait_loaded "$out/$card.tsv" 30000; pause_random 1000; pull ;;
        1) what="pull mid-load of the big card"; pull; wait_emptied 5000; insert big
           pause_random 1000; random_below 2; sleep "$R"; pull ;;
        2) what="pull with the popup open"; wait_loaded "$out/$card.tsv" 30000
           open_popup || no_popup=$((no_popup + 1)); pause_random 1000; pull; sleep 1.2; close_popup ;;
        3) what="pull mid-export"; wait_loaded "$out/$card.tsv" 30000; export_subset pull ;;
        esac
        settle_and_check
        pause_random 1000; insert_random
        ;;
    close)
        case $variant in
        0) what="close right after the start"
           close_program 5 || violation "the process did not end within 5 s of the close"
           closes=$((closes + 1)); start; pause_random 1000 ;;
        1) what="close mid-load"; pull; sleep 0.6; settle_and_check; insert big; pause_random 1000; random_below 2; sleep "$R" ;;
        2) what="close mid-popup"; wait_loaded "$out/$card.tsv" 30000; open_popup || no_popup=$((no_popup + 1)) ;;
        3) what="close right after a pull"; wait_loaded "$out/$card.tsv" 30000; pull; pause_random 600 ;;
        esac
        close_program 5 || violation "the process did not end within 5 s of the close"
        running=no; closes=$((closes + 1))
        dr count-windows; [ "$DR_OUT" == 0 ] || violation "a main window is left"
        windows_left; [ -z "$WINDOWS_LEFT" ] || violation "windows left open: $(tr '\n\t' '; ' <<<"$WINDOWS_LEFT")"
        settle_and_check
        ;;
    export)
        wait_loaded "$out/$card.tsv" 30000
        random_below 3
        if [ "$R" -eq 0 ]; then what="export with a pull"; export_subset pull; else what="export"; export_subset nopull; fi
        ;;
    crash) crash_step ;;
    hang) hang_step ;;
    esac
    take_fault_records
    moments[$what]=$(( ${moments[$what]:-0} + 1 ))
    settle_and_check
    echo "step $step: $what, $(( $(date +%s) - started )) s, card ${card:-none}, $violations violations, $fault_taken library faults, restarts paused $(pause_left_ms) ms more" >>"$out/steps.log"
    [ $((step % 25)) -eq 0 ] && echo "      step $step of ${#plan[@]}: $violations violations so far ($(( $(date +%s) - started )) s)"
done

step=end; what="the end"
[ -n "$card" ] || insert_random
[ $running == yes ] || start
settle_and_check
close_program 5 || violation "the process did not end within 5 s of the close"
driver_stop
[ -n "$card" ] && mv "$slot/card" "$slot/$card.out"
check "the cards are unchanged" "$(diff <(cat "$out/cards.before") <(card_listings) | head -3)" ""
check "no call entered the library while another was inside, and every call came from the thread that made the instance" "$(head -3 "$reentrancy_log" 2>/dev/null)" ""
for what in "${!moments[@]}"; do printf '      %-34s %d\n' "$what" "${moments[$what]}"; done | sort
echo "      pulls $pulls (of them mid-export $export_pulls), inserts $inserts, closes $closes, exports $exports"
echo "      right clicks that showed no popup (library busy): $no_popup"
echo "      boxes \"could not read this card\": $unreadable_boxes"
for what in "${!faults_by[@]}"; do printf '      %-34s %d\n' "$what" "${faults_by[$what]}"; done | sort
crashes=0 hangs=0
for what in "${!faults_by[@]}"; do
    case $what in crash*) crashes=$((crashes + faults_by[$what])) ;; hang*) hangs=$((hangs + faults_by[$what])) ;; esac
done
echo "      library crashes $crashes, hangs $hangs"
check "at least $pulls_wanted pulls" "$([ "$pulls" -ge "$pulls_wanted" ] && echo yes)" yes
check "at least $closes_wanted closes" "$([ "$closes" -ge "$closes_wanted" ] && echo yes)" yes
check "at least $exports_wanted exports" "$([ "$exports" -ge "$exports_wanted" ] && echo yes)" yes
check "at least $crashes_wanted crashes of the library" "$([ "$crashes" -ge "$crashes_wanted" ] && echo yes)" yes
check "at least $hangs_wanted hangs of the library cut by their deadline" "$([ "$hangs" -ge "$hangs_wanted" ] && echo yes)" yes
check "no invariant was violated (seed $seed)" "$violations" 0
echo "soak: seed $seed, $(( $(date +%s) - started )) s"
finish soak
