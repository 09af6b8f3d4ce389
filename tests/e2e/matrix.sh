#!/usr/bin/env bash
# Every simulator fault switch against every step of the user's journey, one
# program run per switch with the steps in sequence:
#   tests/e2e/matrix.sh WIN_BIN_DIR DEMO_CARD OUT_DIR [SWITCH...]
# Steps: start-up, card insert and load, right-click details, Check All/Un
# (Event), AVI Save, JPG Save (Check All/Un on Photo first), card pulled,
# window closed. After each step the invariants of invariants.sh are checked;
# each cell's outcome (what the user sees) and its verdict go to
# OUT_DIR/matrix.tsv, and the table is printed in Markdown at the end. The
# default rows are every switch. Runs inside scripts/wine-session.sh.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
take_common_arguments "$@"
shift 3
source "$here/invariants.sh"

switches=("$@")
[ ${#switches[@]} -gt 0 ] || switches=(none slow=300 overcount negative-count unterminated hostile big-picture
    create-fails convert-fails flaky-card reentrancy affinity overrun hang=check hang=list hang=info hang=avi hang=picture
    crash=check crash=list crash=info crash=avi crash=picture)
columns=("start-up" "insert and load" "right-click" "Check All/Un" "AVI Save" "JPG Save" "card pulled" "window closed")

"$here/card_oracle.sh" "$card_source" >"$out/expected.tsv"
install_program
slot="$out/slot"
rm -rf "$slot"
mkdir -p "$slot"
cp -r "$card_source" "$slot/card.out"
export KROSIM_CARD="$(winepath -w "$slot/card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR KROSIM_REENTRANCY_LOG
reentrancy_log="$out/reentrancy.log"
driver_start
: >"$out/matrix.tsv"
saved_complete=$(printf 'Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?')

# box_gone CAPTION: waits up to 5 s for an answered box to close.
box_gone() {
    for _ in $(seq 50); do
        dr other-windows
        grep -qP "\t#32770\t$1\$" <<<"$DR_OUT" || return 0
        sleep 0.1
    done
}

# cell COLUMN OUTCOME: checks the invariants that hold after every step and
# records the cell.
cell() {
    local column=$1 outcome=$2 problems=() left
    if [ "$should_run" == yes ]; then
        kill -0 "$program_pid" 2>/dev/null || problems+=("the program ended")
        windows_left
        left=$WINDOWS_LEFT
        # The progress dialog (no caption) is expected while it holds a hung call.
        [[ "$outcome" != "progress dialog stays"* ]] || left=$(grep -v $'\t#32770\t$' <<<"$left")
        [ -z "$left" ] || problems+=("left open: $(tr '\n\t' '; ' <<<"$left")")
    fi
    left=$(written_outside "$out/drive.before")
    [ -z "$left" ] || problems+=("written outside the export folder")
    left=$(export_folder_problems "$slot/card" | head -3)
    [ -z "$left" ] || problems+=("export folder: $(tr '\n' ';' <<<"$left")")
    problems+=("${extra_problems[@]}")
    extra_problems=()
    local verdict=ok
    if [ ${#problems[@]} -gt 0 ]; then verdict="FAIL: ${problems[*]}"; failed=$((failed + 1)); else passed=$((passed + 1)); fi
    printf '%s\t%s\t%s\t%s\n' "$switch" "$column" "$outcome" "$verdict" >>"$out/matrix.tsv"
    echo "$switch | $column | $outcome | $verdict"
}
not_possible() { printf '%s\t%s\t%s\t%s\n' "$switch" "$1" "$2" "n/a" >>"$out/matrix.tsv"; echo "$switch | $1 | $2 | n/a"; }

rows_summary() {  # row counts of the four lists, "E/N/P/J", in ROWS
    local id counts=()
    for id in 1001 1002 1003 1004; do dr row-count "$id"; counts+=("$DR_OUT"); done
    local IFS=/; ROWS="${counts[*]}"
}

# Exports the ticked rows of a list with its button; the outcome in OUTCOME.
save_with() {  # save_with CHECK_ALL_BUTTON SAVE_BUTTON LIST
    local box
    dr rows "$3"; local listed=$DR_OUT names
    names=$(cut -f2 <<<"$listed")  # a name may be empty
    rm -rf "${export_dir:?}"/*
    [ "$1" == none ] || { dr click "$1"; sleep 0.5; }
    dr click "$2"
    dr wait-box Saved "$4"
    if [ "$DR_STATUS" != 0 ]; then
        dr wait-box Error 500
        if [ "$DR_STATUS" == 0 ]; then OUTCOME="box \"$DR_OUT\""; dr answer-box Error ok; sleep 0.5; return; fi
        dr progress-text
        OUTCOME="progress dialog stays: \"$DR_OUT\""
        return
    fi
    box=$DR_OUT
    dr answer-box Saved no
    sleep 0.5
    name_list=()
    [ -z "$listed" ] || mapfile -t name_list <<<"$names"
    local problems
    problems=$(completion_problems "$box" "$3" "${name_list[@]}")  # no driver calls
    [ -z "$problems" ] || extra_problems+=("box: $(tr '\n' ';' <<<"$problems")")
    if [ "$box" == "$saved_complete" ]; then
        OUTCOME="\"complete\"; $(ls "$export_dir" | wc -l) files"
    else
        OUTCOME="\"$(sed -n 2p <<<"$box")\"; $(ls "$export_dir" | wc -l) files"
    fi
}

for switch in "${switches[@]}"; do
    echo "== $switch"
    extra_problems=()
    export KROSIM_FAULTS=$switch
    [ "$switch" == none ] && export KROSIM_FAULTS=""
    [ "$switch" == reentrancy ] && export KROSIM_FAULTS=reentrancy,slow=30 &&
        export KROSIM_REENTRANCY_LOG="$(winepath -w "$reentrancy_log" 2>/dev/null | tr -d '\r')"
    rm -f "$reentrancy_log"
    [ -d "$slot/card" ] && mv "$slot/card" "$slot/card.out"
    drive_listing >"$out/drive.before"
    should_run=yes

    start_program
    dr wait-window 20000
    if [ "$DR_STATUS" != 0 ]; then
        outcome="no window"
    else
        # The library's host starts beside the window: a start-up box
        # comes moments after it.
        dr wait-box 11 3000
        if [ "$DR_STATUS" == 0 ]; then
            outcome="the window, then box \"$DR_OUT\" (caption 11)"
            dr answer-box 11 ok
            box_gone 11
        else
            outcome="window, no card"
        fi
    fi
    cell "start-up" "$outcome"

    mv "$slot/card.out" "$slot/card"
    if wait_loaded "$out/expected.tsv" 8000; then
        lists_problems "$out/expected.tsv" >"$out/problems"
        rows_summary
        [ -s "$out/problems" ] && outcome="lists $ROWS: $(head -1 "$out/problems")" || outcome="lists equal the card"
    else
        dr title; title=$DR_OUT
        rows_summary
        outcome="title \"$title\", lists $ROWS"
    fi
    # A load whose library crashes twice tells the user once.
    dr wait-box KroFileList 1000
    if [ "$DR_STATUS" == 0 ]; then
        outcome="$outcome; box \"$(head -1 <<<"$DR_OUT")\""
        dr answer-box KroFileList ok
        box_gone KroFileList
    fi
    cell "insert and load" "$outcome"

    dr row-count 1001
    if [ "${DR_OUT:-0}" -gt 0 ]; then
        dr item-point 1001 0; read -r px py <<<"$DR_OUT"
        xdotool mousemove "$px" "$py" click 3
        dr menu-height 3000
        if [ "$DR_STATUS" == 0 ]; then
            outcome="popup shown ($DR_OUT px high)"
            xdotool key Escape; sleep 0.3
        else
            dr answers 1000; outcome="no popup; window answers: $DR_OUT"
        fi
        cell "right-click" "$outcome"
    else
        not_possible "right-click" "no row to click (the Event list is empty)"
    fi

    dr click 1015; sleep 0.5
    dr rows 1001; ticked=$(cut -f1 <<<"$DR_OUT" | grep -c 1)
    cell "Check All/Un" "$ticked of $(sed '/^$/d' <<<"$DR_OUT" | wc -l) Event rows ticked"

    # A hung conversion keeps the progress dialog up until the library
    # answers; a minute later the dialog offers to stop the export, which
    # ends the library's host (e2e_hang follows that through).
    case $switch in hang=*) wait=8000 ;; *) wait=60000 ;; esac
    held="the progress dialog holds the window until the library answers; after a minute it offers to stop the export (e2e_hang)"
    if [ "$ticked" -gt 0 ]; then
        save_with none 1000 1001 "$wait"; cell "AVI Save" "$OUTCOME"
    else
        dr click 1000; dr wait-box Error 3000; outcome="box \"$DR_OUT\""; dr answer-box Error ok; sleep 0.5
        OUTCOME=$outcome
        cell "AVI Save" "$outcome (nothing ticked)"
    fi
    if [[ "$OUTCOME" == "progress dialog stays"* ]]; then
        for column in "JPG Save" "card pulled" "window closed"; do not_possible "$column" "$held"; done
        kill "$program_pid"; wait "$program_pid" 2>/dev/null
        continue
    fi

    dr click 1022; sleep 0.5
    dr row-count 1004
    if [ "${DR_OUT:-0}" -gt 0 ]; then
        save_with none 1007 1004 "$wait"; cell "JPG Save" "$OUTCOME"
    else
        dr click 1007; dr wait-box Error 3000; outcome="box \"$DR_OUT\""; dr answer-box Error ok; sleep 0.5
        OUTCOME=$outcome
        cell "JPG Save" "$outcome (no photo listed)"
    fi
    if [[ "$OUTCOME" == "progress dialog stays"* ]]; then
        for column in "card pulled" "window closed"; do not_possible "$column" "$held"; done
        kill "$program_pid"; wait "$program_pid" 2>/dev/null
        continue
    fi

    mv "$slot/card" "$slot/card.out"
    if wait_emptied 5000; then outcome="title plain, lists empty"; else dr title; t=$DR_OUT; rows_summary; outcome="title \"$t\", lists $ROWS"; fi
    cell "card pulled" "$outcome"

    if close_program 5; then outcome="ends within 5 s"; else outcome="still running 5 s after the close"; extra_problems+=("not ended"); fi
    should_run=no
    dr count-windows; [ "$DR_OUT" == 0 ] || extra_problems+=("a window is left")
    [ "$switch" != reentrancy ] || [ ! -s "$reentrancy_log" ] || extra_problems+=("calls met inside the library")
    cell "window closed" "$outcome"
done
driver_stop

echo
{
    printf '| switch |'; for c in "${columns[@]}"; do printf ' %s |' "$c"; done; echo
    printf '|---|'; for c in "${columns[@]}"; do printf -- '---|'; done; echo
    for switch in "${switches[@]}"; do
        printf '| `%s` |' "$switch"
        for c in "${columns[@]}"; do
            printf ' %s |' "$(awk -F '\t' -v s="$switch" -v c="$c" '$1 == s && $2 == c { v = ($4 == "ok" || $4 == "n/a") ? "" : " **" $4 "**"; print $3 v }' "$out/matrix.tsv" | tr '|' '/')"
        done
        echo
    done
} | tee "$out/matrix.md"
finish matrix
