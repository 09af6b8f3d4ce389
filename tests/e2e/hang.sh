#!/usr/bin/env bash
# A device library one of whose calls never returns, with the real program
# under Wine:
#   tests/e2e/hang.sh WIN_BIN_DIR CARD_DIR OUT_DIR
# For the presence check, the list calls, the details call and the AVI
# conversion in turn: the window keeps answering wherever the hung call is
# not on its thread, closing ends the process within a few seconds, and
# nothing is written outside the export folder. A hung conversion holds the
# progress dialog until the worker has been still for a minute; then the
# dialog offers to end the program. Runs inside scripts/wine-session.sh.
# Prints one line per check and "hang: N passed, N failed" at the end.
set -uo pipefail

bin=$(cd "$1" && pwd)
card_source=$(cd "$2" && pwd)
out=$(mkdir -p "$3" && cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?run inside scripts/wine-session.sh}" "${DISPLAY:?}"
source "$here/common.sh"

install_program
slot="$out/slot"
rm -rf "$slot" "$out"/*.png
mkdir -p "$slot"
cp -r "$card_source" "$slot/card"
export KROSIM_CARD="$(winepath -w "$slot/card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR KROSIM_REENTRANCY_LOG
marker="$out/started"

# Starts the program with the call hung and waits for its window.
start_hung() {  # start_hung CALL
    export KROSIM_FAULTS="hang=$1"
    touch "$marker"
    sleep 1  # file times are compared to the second
    start_program
    drive wait-window 15000 >/dev/null
}

# Files written since the program started, outside the export folder and
# Wine's own folders.
written_outside() {
    find "$WINEPREFIX/drive_c" -type f -newer "$marker" ! -path "*/drive_c/ZiduvOra/*" \
        ! -path "*/drive_c/windows/*" ! -path "*/drive_c/users/*" ! -path "*/drive_c/ProgramData/*" | head -3
}

# The common ending: closing ends the process promptly and leaves nothing.
ends_cleanly() {  # ends_cleanly CALL SECONDS
    check "$1: the process ends within $2 s of the close" "$(close_within "$2")" "yes"
    check "$1: no window left" "$(drive count-windows)" "0"
    check "$1: nothing written outside the export folder" "$(written_outside)" ""
}

echo "== the presence check never returns"
start_hung check
sleep 3
check "check: no card is shown" "$(drive title)" "KroFileList"
check "check: the window answers" "$(drive answers 1000)" "1"
ends_cleanly check 8

echo "== the list calls never return"
start_hung list
case "$(wait_until 5000 "KroFileList []" title)" in "KroFileList ["*) check "list: the card is named" ok ok ;; *) check "list: the card is named" no ok ;; esac
check "list: the window answers" "$(drive answers 1000)" "1"
check "list: the lists stay empty" "$(drive rows 1001 | wc -l)" "0"
ends_cleanly list 8

echo "== the details call never returns"
start_hung info
rows=""
for _ in $(seq 40); do rows=$(drive rows 1001 | wc -l); [ "$rows" -gt 0 ] && break; sleep 0.2; done
check "info: the lists fill" "$([ "$rows" -gt 0 ] && echo yes)" "yes"
read -r px py <<<"$(drive item-point 1001 0)"
xdotool mousemove "$px" "$py" click 3
check "info: no popup is shown" "$(drive menu-height 1500 2>/dev/null)" ""
check "info: the window answers" "$(drive answers 1000)" "1"
ends_cleanly info 8

echo "== the AVI conversion never returns"
start_hung avi
for _ in $(seq 40); do [ "$(drive rows 1001 | wc -l)" -gt 0 ] && break; sleep 0.2; done
drive check 1001 0 1
drive click 1000
check "avi: the progress dialog shows" "$(wait_until 5000 "Requesting action." progress-text)" "Requesting action."
drive close-progress
sleep 1
check "avi: close is ignored while the worker may still move" "$(drive progress-text)" "Requesting action."
check "avi: the main window answers" "$(drive answers 1000)" "1"
stalled=$(wait_until 90000 "The device library is not answering. Close this window to end KroFileList." progress-text)
check "avi: after a minute the dialog says the library is not answering" "$stalled" \
    "The device library is not answering. Close this window to end KroFileList."
drive close-progress
question=$(drive wait-box KroFileList 5000)
check "avi: closing asks whether to end the program" "$(grep -c "End KroFileList now?" <<<"$question")" "1"
drive answer-box KroFileList yes
gone=no
for _ in $(seq 80); do kill -0 "$program_pid" 2>/dev/null || { gone=yes; break; }; sleep 0.1; done
[ "$gone" == yes ] || kill "$program_pid" 2>/dev/null
wait "$program_pid" 2>/dev/null
check "avi: Yes ends the program within 8 s" "$gone" "yes"
check "avi: no window left" "$(drive count-windows)" "0"
check "avi: nothing written outside the export folder" "$(written_outside)" ""
unset KROSIM_FAULTS

finish hang
