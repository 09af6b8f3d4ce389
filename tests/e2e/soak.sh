#!/usr/bin/env bash
# Card pulls, window closes and exports at random moments, with the real
# program under Wine, from a seed:
#   tests/e2e/soak.sh WIN_BIN_DIR DEMO_CARD CARD_GENERATOR OUT_DIR [SCALE] [SEED|random] [RECORDINGS]
# SCALE 1 makes at least 200 pulls (and as many inserts), 100 closes and 50
# exports; 0.1 a tenth of that. RECORDINGS (default 10,000) is the size of
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
driver_start

card=""          # the inserted card (demo or big), empty when none
running=no
step=0 what=""
pulls=0 inserts=0 closes=0 exports=0 export_pulls=0 violations=0
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
    if [ $running == yes ]; then wait_emptied 5000 || violation "the lists did not empty without a card"; fi
    mv "$slot/$1.out" "$slot/card"; card=$1; inserts=$((inserts + 1))
}
pull() {
    mv "$slot/card" "$slot/$card.out"; card=""; pulls=$((pulls + 1)); pulled_at=$(now_ms)
}
insert_random() { random_below 3; [ "$R" -eq 0 ] && insert demo || insert big; }

start() {
    start_program; running=yes
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
            wait_loaded "$out/$card.tsv" 30000 || violation "the $card card did not load"
            if [ "$card" == demo ]; then
                lists_problems "$out/demo.tsv" >"$out/problems"
            else
                big_lists_problems >"$out/problems"
            fi
            while read -r p; do violation "$p"; done <"$out/problems"
        else
            wait_emptied 5000 || violation "the lists did not empty without a card"
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
open_popup() {
    local list rows px py
    random_below 4; list=$((1001 + R))
    dr row-count "$list"; rows=$DR_OUT
    [ "${rows:-0}" -gt 0 ] || return 1
    random_below "$((rows < 5 ? rows : 5))"
    dr item-point "$list" "$R"; read -r px py <<<"$DR_OUT"
    [ -n "${py:-}" ] || return 1
    xdotool mousemove "$px" "$py" click 3
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

# Ticks a random subset (1 to 8 rows) of a random non-empty list, exports it
# and, when asked, pulls the card after a random moment. Checks the box.
export_subset() {  # export_subset pull|nopull
    local list rows count i box names=() ticked=()
    for _ in 1 2 3 4; do
        random_below 4; list=$((1001 + R))
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
    dr click "$button"
    if [ "$1" == pull ]; then
        pause_random 1000; random_below 3; sleep "$R"
        pull; export_pulls=$((export_pulls + 1))
    fi
    dr wait-box Saved 120000
    if [ "$DR_STATUS" != 0 ]; then violation "no completion box"; return; fi
    box=$DR_OUT
    dr answer-box Saved no
    sleep 0.3
    local wanted=()
    for i in "${chosen[@]}"; do wanted+=("${names[$i]}"); done
    completion_problems "$box" "$list" "${wanted[@]}" >"$out/problems"
    [ "$1" == pull ] || [ "$box" == "$(printf 'Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?')" ] ||
        echo "failures without a pull: $(head -3 <<<"$box" | tr '\n' ' ')" >>"$out/problems"
    while read -r p; do violation "$p"; done <"$out/problems"
    local bad
    local source_dir="$slot/$source_card.out"
    [ "$card" == "$source_card" ] && source_dir="$slot/card"
    bad=$(export_folder_problems "$source_dir")
    [ -z "$bad" ] || violation "export folder: $(head -3 <<<"$bad" | tr '\n' ';')"
    exports=$((exports + 1))
}

# The plan: every kind of step as often as wanted, shuffled by the seed.
plan=()
for _ in $(seq "$closes_wanted"); do plan+=(close); done
for _ in $(seq "$exports_wanted"); do plan+=(export); done
for _ in $(seq $((pulls_wanted - exports_wanted / 3))); do plan+=(pull); done
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
    esac
    moments[$what]=$(( ${moments[$what]:-0} + 1 ))
    settle_and_check
    echo "step $step: $what, $(( $(date +%s) - started )) s, card ${card:-none}, $violations violations" >>"$out/steps.log"
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
check "at least $pulls_wanted pulls" "$([ "$pulls" -ge "$pulls_wanted" ] && echo yes)" yes
check "at least $closes_wanted closes" "$([ "$closes" -ge "$closes_wanted" ] && echo yes)" yes
check "at least $exports_wanted exports" "$([ "$exports" -ge "$exports_wanted" ] && echo yes)" yes
check "no invariant was violated (seed $seed)" "$violations" 0
echo "soak: seed $seed, $(( $(date +%s) - started )) s"
finish soak
