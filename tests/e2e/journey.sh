#!/usr/bin/env bash
# The user's journey with the real program under Wine, checked step by step:
#   tests/e2e/journey.sh WIN_BIN_DIR CARD_DIR OUT_DIR [LIBRARY]
# WIN_BIN_DIR holds KroFileList.exe, the simulator KROLib.dll and
# kro_e2e_driver.exe; LIBRARY is another device library to install instead of
# that KROLib.dll; CARD_DIR is a simulator card (the demo card); OUT_DIR
# receives the screenshots and a copy of the exported files. Runs inside
# scripts/wine-session.sh (WINEPREFIX and DISPLAY set). Prints one line per
# check and "journey: N passed, N failed" at the end.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
take_common_arguments "$@"
program_log="$out/program.log"
: >"$program_log"
library=${4:-$bin/KROLib.dll}
shot() { import -window root "$out/$1.png" 2>/dev/null || true; }

# The program installed as a user would have it: the exe with the device
# library beside it, the card in a slot folder the test can empty and fill.
install_program
driver_start
slot="$out/slot"
rm -rf "$slot" "$out"/*.png "$out/exported"
mkdir -p "$slot"
cp -r "$card_source" "$slot/card.out"
export KROSIM_CARD="$(winepath -w "$slot/card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR KROSIM_FAULTS
# Until the window closes, the library records any call that enters while
# another is inside; each call lasts 50 ms, so that calls of the poller, the
# loads, the popup and the export would meet if the program let them.
reentrancy_log="$out/reentrancy.log"
rm -f "$reentrancy_log"
export KROSIM_FAULTS=reentrancy,affinity,slow=50
export KROSIM_REENTRANCY_LOG="$(winepath -w "$reentrancy_log" 2>/dev/null | tr -d '\r')"
insert_card() { mv "$slot/card.out" "$slot/card"; }
pull_card() { mv "$slot/card" "$slot/card.out"; }

"$here/card_oracle.sh" "$card_source" >"$out/expected.tsv"
expected_rows() { awk -F '\t' -v list="$1" '$1 == "rows" && $2 == list { print $3 "\t" $4 "\t" $5 }' "$out/expected.tsv" | sed 's/\t$//'; }
expected_summary() { awk -F '\t' -v id="$1" '$1 == "summary" && $2 == id { print $3 }' "$out/expected.tsv"; }
rows_of() { drive rows "$1" | cut -f2-; }

lists=(1001 1002 1003 1004)
summaries=(1023 1024 1026 1028)
zero_video="file: 0000, size: 0.00G, time 00:00"
zero_photo="file: 0000, size: 0.00G"
journey_start=$(date +%s)

echo "== 1. start without a card"
start_program
# The prefix's first 32-bit program loads its system libraries under qemu.
check "main window opens" "$(drive wait-window 30000)" "KroFileList"
shot 01-no-card
for id in "${lists[@]}"; do check "list $id is empty" "$(drive rows "$id" | wc -l)" "0"; done
check "Event summary zero text" "$(drive text 1023)" "$zero_video"
check "Photo summary zero text" "$(drive text 1028)" "$zero_photo"
for id in 1000 1005 1006; do check "button $id reads AVI Save" "$(drive text $id)" "AVI Save"; done
check "button 1007 reads JPG Save" "$(drive text 1007)" "JPG Save"
for id in 1008 1018 1019 1020 1021; do check "button $id is hidden" "$(drive visible $id)" "0"; done

echo "== 2. insert the card"
insert_card
title=$(wait_until 2500 "KroFileList []" title)
case "$title" in "KroFileList ["*"]") check "title carries the drive brackets" ok ok ;; *) check "title carries the drive brackets" "$title" "KroFileList [...]" ;; esac
expected_event_count=$(expected_rows 1001 | wc -l)
wait_until 5000 "$(expected_summary 1028)" text 1028 >/dev/null
for i in 0 1 2 3; do
    check "list ${lists[$i]} holds the card's recordings" "$(rows_of "${lists[$i]}")" "$(expected_rows "${lists[$i]}")"
    check "summary ${summaries[$i]}" "$(drive text "${summaries[$i]}")" "$(expected_summary "${summaries[$i]}")"
done
shot 02-card-in

echo "== 3. right-click an Event row"
# Under Wine another process's menu cannot be read, so the popup is measured:
# its height is a border plus one line height per item, and the Event popup
# (11 items) and the Photo popup (3 items) must fit that with sane values.
popup_height() {  # popup_height LIST ROW: right-click the row, measure, close
    local px py height
    read -r px py <<<"$(drive item-point "$1" "$2")"
    xdotool mousemove "$px" "$py" click 3
    height=$(drive menu-height 3000)
    [ "$1" == 1001 ] && shot 03-info-popup
    drive menu-lines 0 >"$out/menu-$1.txt"
    xdotool key Escape
    sleep 0.3
    echo "$height"
}
event_height=$(popup_height 1001 0)
if [ -s "$out/menu-1001.txt" ]; then
    check "popup holds 11 lines" "$(grep -c . "$out/menu-1001.txt")" "11"
fi
photo_height=$(popup_height 1004 0)
line=$(( (event_height - photo_height) / 8 ))
border=$(( photo_height - 3 * line ))
check "Event popup is 11 lines to the Photo popup's 3 (line ${line}px, border ${border}px)" \
    "$([ "$line" -ge 10 ] && [ "$line" -le 32 ] && [ "$border" -ge 0 ] && [ "$border" -le 16 ] &&
        [ $(( (event_height - photo_height) % 8 )) -eq 0 ] && echo yes)" "yes"

echo "== 4. Check All/Un on Event, then AVI Save"
drive click 1015
sleep 0.5
check "every Event row is ticked" "$(drive rows 1001 | cut -f1 | sort -u)" "1"
drive click 1000
box=$(drive wait-box Saved 60000)
shot 04-saved
check "completion box" "$box" "$(printf 'Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?')"
drive answer-box Saved no
sleep 1
check "AVI files for every Event row" "$(ls "$export_dir" | grep -c '\.avi$')" "$expected_event_count"
bad=0
for avi in "$export_dir"/*.avi; do
    ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$avi" | grep -q mjpeg || bad=$((bad + 1))
    [ -z "$(ffmpeg -v error -i "$avi" -f null - 2>&1)" ] || bad=$((bad + 1))
done
check "AVI files pass ffprobe and decode" "$bad" "0"
check "ticks stay after the export" "$(drive rows 1001 | cut -f1 | sort -u)" "1"

echo "== 5. tick two photos, JPG Save"
drive check 1004 0 1
drive check 1004 2 1
drive click 1007
drive wait-box Saved 30000 >/dev/null
drive answer-box Saved no
sleep 1
for row in 1 3; do
    name=$(expected_rows 1004 | sed -n "${row}p" | cut -f1)
    check "picture $name exists" "$([ -f "$export_dir/$name" ] && echo yes)" "yes"
    check "picture $name decodes as JPEG" "$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$export_dir/$name" 2>/dev/null)" "mjpeg"
done
mkdir -p "$out/exported" && cp -r "$export_dir"/. "$out/exported/"

echo "== 6. a second copy"
timeout 20 "$wine64" 'C:\KroFileList\KroFileList.exe' >/dev/null 2>&1
check "the second copy exits" "$?" "0"
check "one main window remains" "$(drive count-windows)" "1"
check "the first copy is in front" "$(drive foreground)" "1"

echo "== 7. pull the card, put it back"
pull_card
check "title plain after the card went" "$(wait_until 3000 KroFileList title)" "KroFileList"
for id in "${lists[@]}"; do check "list $id emptied" "$(drive rows "$id" | wc -l)" "0"; done
check "Event summary back to zero" "$(drive text 1023)" "$zero_video"
check "Photo summary back to zero" "$(drive text 1028)" "$zero_photo"
shot 07-card-out
insert_card
wait_until 5000 "$(expected_summary 1028)" text 1028 >/dev/null
for id in "${lists[@]}"; do
    wait_until 3000 "$(expected_rows "$id" | wc -l)" row-count "$id" >/dev/null
    check "list $id loaded once again" "$(rows_of "$id")" "$(expected_rows "$id")"
done
for id in 1023 1024 1026 1028; do check "summary $id back" "$(drive text "$id")" "$(expected_summary "$id")"; done

echo "== 8. close the window"
post_close
gone=no
for _ in $(seq 30); do kill -0 "$program_pid" 2>/dev/null || { gone=yes; break; }; sleep 0.1; done
check "the process ends within 3 s" "$gone" "yes"
if [ "$gone" = no ]; then
    echo "   main windows: $(drive count-windows)"
    echo "   still open; its windows (class, visible, enabled, title):"
    drive windows | sed 's/^/     /'
    echo "   answers within 1 s: $(drive answers 1000)"
    post_close
    second=$(date +%s)
    for _ in $(seq 300); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
    echo "   a second close: $(kill -0 "$program_pid" 2>/dev/null && echo "still open" || echo gone) after $(( $(date +%s) - second )) s"
fi
wait "$program_pid" 2>/dev/null
check "no window left" "$(drive count-windows)" "0"
journey_seconds=$(( $(date +%s) - journey_start ))
check "no call entered the library while another was inside, and every call came from the thread that made the instance" "$(cat "$reentrancy_log" 2>/dev/null)" ""
unset KROSIM_FAULTS KROSIM_REENTRANCY_LOG

echo "== without the device library beside the program; one lies in its current folder and on PATH"
# Folders the user may write, searched by a bare name: never loaded.
planted="$WINEPREFIX/drive_c/planted"
mkdir -p "$planted"
mv "$install_dir/KROLib.dll" "$planted/KROLib.dll"
(cd "$planted" && without_driver_pipes && WINEPATH='C:\planted' exec "$wine64" 'C:\KroFileList\KroFileList.exe' >>"${program_log:-/dev/null}" 2>&1) &
program_pid=$!
check "KROLib failed box comes" "$(drive wait-box 11 15000)" "KROLib failed..."
drive answer-box 11 ok
check "then the window opens" "$(drive wait-window 10000)" "KroFileList"
for id in "${lists[@]}"; do check "list $id is empty" "$(drive rows "$id" | wc -l)" "0"; done
shot 09-no-library
drive close
wait "$program_pid" 2>/dev/null
rm -r "$planted"
cp "$library" "$install_dir/KROLib.dll"

echo "== closing during a slow load"
export KROSIM_FAULTS=slow=1500
start_program
drive wait-window 15000 >/dev/null
case "$(wait_until 6000 "KroFileList []" title)" in "KroFileList ["*) check "card seen with the slow library" ok ok ;; *) check "card seen with the slow library" no ok ;; esac
sleep 1
post_close
gone=no
for _ in $(seq 80); do kill -0 "$program_pid" 2>/dev/null || { gone=yes; break; }; sleep 0.1; done
check "the process ends promptly during a slow load" "$gone" "yes"
kill "$program_pid" 2>/dev/null; wait "$program_pid" 2>/dev/null
unset KROSIM_FAULTS

echo "== closing with the popup open"
start_program
check "the window shows" "$(wait_window_or_end 20000)" "window"
wait_until 5000 "$(expected_summary 1028)" text 1028 >/dev/null
read -r px py <<<"$(drive item-point 1001 0)"
xdotool mousemove "$px" "$py" click 3
check "the popup shows" "$([ -n "$(drive menu-height 3000)" ] && echo yes)" "yes"
check "the process ends within 5 s of the close, the popup with it" "$(close_within 5)" "yes"

echo "journey wall time: ${journey_seconds}s; screenshots in $out"
finish journey
