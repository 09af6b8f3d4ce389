#!/usr/bin/env bash
# A device library one of whose calls never returns, with the real program
# under Wine:
#   tests/e2e/hang.sh WIN_BIN_DIR CARD_DIR OUT_DIR
# For the presence check, the list calls, the details call and the AVI
# conversion in turn: the window keeps answering wherever the hung call is
# not on its thread, closing ends the process within a few seconds, and
# nothing is written outside the export folder. A hung conversion holds the
# progress dialog until the worker has been still for a minute; then the
# dialog offers to stop the export, which ends the library's host and leaves
# the program running. Crashes in the presence check, the list calls, the
# details call and every conversion, each in its own start, show what the
# user meets. Runs inside scripts/wine-session.sh.
# Prints one line per check and "hang: N passed, N failed" at the end.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
take_common_arguments "$@"

install_program
driver_start
slot="$out/slot"
rm -rf "$slot" "$out"/*.png
mkdir -p "$slot"
cp -r "$card_source" "$slot/card"
export KROSIM_CARD="$(winepath -w "$slot/card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR KROSIM_REENTRANCY_LOG
marker="$out/started"

# Starts the program with the fault switches (or the call hung, and any
# further switches) and waits for its window.
start_with() {  # start_with SWITCHES
    export KROSIM_FAULTS="$1"
    touch "$marker"
    sleep 1  # file times are compared to the second
    start_program
    drive wait-window 15000 >/dev/null
}
start_hung() {  # start_hung CALL [SWITCH]
    start_with "hang=$1${2:+,$2}"
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

echo "== the details call does not return for a while"
# The library hangs in the details call until a moment 12 s from now, in
# every host alike. A click meanwhile shows nothing; the same click once the
# library answers again shows the popup, which proves it reached the row.
hang_until=$(( $(date +%s%3N) + 12000 ))
start_hung info "hang-until=$hang_until"
check "info: the lists fill" "$([ "$(wait_rows 16000 1001 1)" -gt 0 ] && echo yes)" "yes"
read -r px py <<<"$(drive item-point 1001 0)"
xdotool mousemove "$px" "$py" click 3
check "info: no popup is shown while the library hangs" "$(drive menu-height 3000 2>/dev/null)" ""
check "info: the window answers" "$(drive answers 1000)" "1"
while [ "$(date +%s%3N)" -lt $((hang_until + 500)) ]; do sleep 0.2; done
popup=no
for _ in $(seq 3); do
    xdotool mousemove "$px" "$py" click 3
    [ -n "$(drive menu-height 3000 2>/dev/null)" ] && { popup=yes; break; }
done
check "info: the same click shows the popup once the library answers again" "$popup" "yes"
[ "$popup" == yes ] && xdotool key Escape
ends_cleanly info 8

echo "== the AVI conversion never returns"
start_hung avi
wait_rows 16000 1001 1 >/dev/null
hung_name=$(drive rows 1001 0 1 | cut -f2)
drive check 1001 0 1
drive click 1000
check "avi: the progress dialog shows" "$(wait_until 5000 "Requesting action." progress-text)" "Requesting action."
drive close-progress
sleep 1
check "avi: close is ignored while the worker may still move" "$(drive progress-text)" "Requesting action."
check "avi: the main window answers" "$(drive answers 1000)" "1"
stalled=$(wait_until 90000 "The device library is not answering. Close this window to stop the export." progress-text)
check "avi: after a minute the dialog says the library is not answering" "$stalled" \
    "The device library is not answering. Close this window to stop the export."
drive close-progress
question=$(drive wait-box KroFileList 5000)
check "avi: closing asks whether to stop the export" "$(grep -c "Stop the export?" <<<"$question")" "1"
drive answer-box KroFileList yes
# The library's host is ended, the export stops and says what it did not
# export, and the program goes on.
saved=$(drive wait-box Saved 15000)
check "avi: the stopped export names the recording it could not export" \
    "$(grep -cF "$hung_name" <<<"$saved")" "1"
drive answer-box Saved no
check "avi: the program stays and answers" "$(drive answers 1000)" "1"
ends_cleanly avi 8
echo "== the library crashes in the presence check"
# Every check crashes its host; the poll keeps the value it had, so no card
# is ever seen, no error box appears and the window goes on answering.
start_with crash=check
sleep 4
check "crash check: no card is shown" "$(drive title)" "KroFileList"
check "crash check: no box or debugger window appears" "$(drive other-windows | grep -vc '^$')" "0"
check "crash check: the window answers" "$(drive answers 1000)" "1"
ends_cleanly "crash check" 8

echo "== the library crashes in the list calls"
start_with crash=list
unreadable=$(drive wait-box KroFileList 15000)
check "crash list: the user is told the card could not be read" \
    "$(grep -c "could not read this card" <<<"$unreadable")" "1"
drive answer-box KroFileList ok
check "crash list: the lists stay empty" "$(drive rows 1001 | wc -l)" "0"
check "crash list: the window answers" "$(drive answers 1000)" "1"
ends_cleanly "crash list" 8

echo "== the library crashes in the details call"
start_with crash=info
wait_rows 16000 1001 1 >/dev/null
read -r px py <<<"$(drive item-point 1001 0)"
xdotool mousemove "$px" "$py" click 3
check "crash info: no popup of zeros is shown" "$(drive menu-height 3000 2>/dev/null)" ""
check "crash info: the window answers" "$(drive answers 1000)" "1"
ends_cleanly "crash info" 8

echo "== the library crashes in every conversion"
# Each ticked recording crashes its host: the first three are named with
# the reason, the export stops there and names the fourth as not reached.
start_with crash=avi
wait_rows 16000 1001 4 >/dev/null
fourth=$(drive rows 1001 3 1 | cut -f2)
for row in 0 1 2 3; do drive check 1001 "$row" 1; done
drive click 1000
saved=$(drive wait-box Saved 30000)
check "crash avi: three recordings are named as crashing the library" \
    "$(grep -c '(the device library crashed)$' <<<"$saved")" "3"
check "crash avi: the fourth is named as not reached" \
    "$(grep -A1 'as the export stopped before' <<<"$saved" | tail -1 | tr -d '\r')" "$fourth"
# Beside the box only the progress dialog (no caption) that owns it.
check "crash avi: no other box or debugger window" \
    "$(drive other-windows | grep -vP '\t#32770\t(Saved)?$' | grep -vc '^$')" "0"
drive answer-box Saved no
check "crash avi: the program stays and answers" "$(drive answers 1000)" "1"
ends_cleanly "crash avi" 8
unset KROSIM_FAULTS

finish hang
