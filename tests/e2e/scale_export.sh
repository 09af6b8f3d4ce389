#!/usr/bin/env bash
# Exporting hundreds of ticked recordings at once, as a user with a full card
# would: a scale card of 1,500 recordings, "Check All/Un" on the Normal list
# (about 700 rows), "AVI Save", "Saved", and one AVI per ticked row.
#   tests/e2e/scale_export.sh WIN_BIN_DIR CARD_GENERATOR OUT_DIR
# Runs inside scripts/wine-session.sh; prints "scale: N passed, N failed".
set -uo pipefail
bin=$(cd "$1" && pwd)
cardgen=$2
out=$(mkdir -p "$3" && cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?run inside scripts/wine-session.sh}"
source "$here/common.sh"

card="$out/card"
[ -f "$card/KROCARD.INI" ] || "$cardgen" --out "$card" --recordings 1500 --seed 1 >/dev/null
"$here/card_oracle.sh" "$card" >"$out/expected.tsv"
normal_rows=$(awk -F '\t' '$1 == "rows" && $2 == 1002' "$out/expected.tsv" | wc -l)
want_summary=$(awk -F '\t' '$1 == "summary" && $2 == 1028 { print $3 }' "$out/expected.tsv")

install_program
export KROSIM_CARD="$(winepath -w "$card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR KROSIM_FAULTS
start_program

drive wait-window 15000 >/dev/null
got=""
for _ in $(seq 100); do got=$(drive text 1028); [ "$got" == "$want_summary" ] && break; sleep 0.2; done
check "the scale card is loaded" "$got" "$want_summary"
check "the Normal list holds $normal_rows rows" "$(drive rows 1002 | wc -l)" "$normal_rows"
check "more than 512 rows to export" "$([ "$normal_rows" -gt 512 ] && echo yes)" "yes"

drive click 1016
sleep 1
check "every Normal row is ticked" "$(drive rows 1002 | cut -f1 | sort -u)" "1"
drive click 1005
box=$(drive wait-box Saved 180000)
check "the export ends with the plain completion box" "$box" \
    "$(printf 'Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?')"
drive answer-box Saved no
sleep 1
check "one AVI per ticked row" "$(ls "$export_dir" | grep -c '\.avi$')" "$normal_rows"
check "no partial file left" "$(ls "$export_dir" | grep -vc '\.avi$')" "0"
drive close
for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
check "the program ends" "$(kill -0 "$program_pid" 2>/dev/null && echo running || echo ended)" "ended"
kill "$program_pid" 2>/dev/null; wait "$program_pid" 2>/dev/null

finish scale
