#!/usr/bin/env bash
# The console twin under Wine with the simulator, as a script would use it:
#   tests/e2e/cli.sh WIN_BIN_DIR CARD_DIR OUT_DIR
# WIN_BIN_DIR holds KroFileListCLI.exe, KroFileList.exe, the simulator
# KROLib.dll and kro_e2e_driver.exe; CARD_DIR is the demo card. Runs inside
# scripts/wine-session.sh. Prints one line per check and
# "cli: N passed, N failed" at the end.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
take_common_arguments "$@"

install_program
slot="$out/slot"
rm -rf "$slot" && mkdir -p "$slot"
export KROSIM_CARD="$(winepath -w "$slot/card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR KROSIM_FAULTS
# The demo card with one photo under a Korean name, which must come out as
# UTF-8 and land under its own name.
korean=사고.JPG
cp -r "$card_source" "$slot/card"
cp "$slot/card/$(ls "$slot/card" | grep '\.JPG\.KRO$' | head -1)" "$slot/card/$korean.KRO"
"$here/card_oracle.sh" "$slot/card" >"$out/expected.tsv"
# The oracle's rows and summaries in the twin's words.
expected_list() {
    awk -F '\t' 'BEGIN { w[1001] = w[1023] = "event"; w[1002] = w[1024] = "normal"
                         w[1003] = w[1026] = "park"; w[1004] = w[1028] = "photo" }
        $1 == "rows" { print w[$2] "\t" $3 "\t" $4 "\t" $5 }
        $1 == "summary" { s = s "summary\t" w[$2] "\t" $3 "\n" }
        END { printf "%s", s }' "$out/expected.tsv"
}
names_of() { expected_list | awk -F '\t' -v list="$1" '$1 == list { print $2 }'; }
mjpeg_count() {  # files that ffprobe reads as Motion JPEG / JPEG and ffmpeg decodes
    local good=0 file
    for file in "$@"; do
        [ "$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$file" 2>/dev/null)" == mjpeg ] &&
            [ -z "$(ffmpeg -v error -i "$file" -f null - 2>&1)" ] && good=$((good + 1))
    done
    echo "$good"
}

echo "== usage"
run_cli --version
check "--version" "$cli_code $cli_out" "0 KroFileListCLI $(sed -nE 's/^project\(KroFileList VERSION ([0-9.]+).*/\1/p' "$here/../../CMakeLists.txt")"
run_cli --help
check "--help exits 0 and names the commands" "$cli_code $(grep -c '^  KroFileListCLI ' <<<"$cli_out")" "0 4"
run_cli export event --frobnicate
check "an unknown option is exit 3 with a hint" "$cli_code $cli_err" "3 Unknown option '--frobnicate' for export (see KroFileListCLI --help)"

echo "== list"
run_cli list
check "list exits 0" "$cli_code" "0"
check "list shows the window's rows and summary lines" "$cli_out" "$(expected_list)"
check "the Korean name prints as UTF-8" "$(grep -c "^photo	$korean	" <<<"$cli_out")" "1"
run_cli list --json --category event
check "list --json names each Event recording" "$(grep -o '"name":' <<<"$cli_out" | wc -l)" "$(names_of event | wc -l)"
check "list --json carries exact bytes" \
    "$(grep -o '"bytes":[0-9]*' <<<"$cli_out" | head -n -1 | cut -d: -f2 | awk '{ s += $1 } END { print s }')" \
    "$(grep -o '"bytes":[0-9]*' <<<"$cli_out" | tail -1 | cut -d: -f2)"

echo "== output that cannot be written"
# /dev/full fails every write with "no space left", which Wine reports to
# the program as a full disk.
(cd "$install_dir" && exec "$wine64" 'C:\KroFileList\KroFileListCLI.exe' list --json) \
    >/dev/full 2>"$cli_tmp.err" </dev/null
full_code=$?
full_err=$(tr -d '\r' <"$cli_tmp.err")
check "list --json onto a full disk: exit 1, with the reason as the one line on standard error" \
    "$full_code $(grep -c '^The output could not be written: .' <<<"$full_err") $(wc -l <<<"$full_err")" "1 1 1"

echo "== export every Event and Photo recording"
run_cli export event --all
check "export event --all exits 0" "$cli_code" "0"
check "one AVI per Event recording" "$(ls "$export_dir" | grep -c '\.avi$')" "$(names_of event | wc -l)"
check "the AVIs pass ffprobe and decode" "$(mjpeg_count "$export_dir"/*.avi)" "$(names_of event | wc -l)"
check "progress lines, one per recording (output not a console)" "$(grep -c '^\[[0-9]*/[0-9]*\] .* elapsed, ' <<<"$cli_out")" "$(names_of event | wc -l)"
run_cli export photo --all
check "export photo --all exits 0" "$cli_code" "0"
photos=()
while IFS= read -r name; do photos+=("$export_dir/$name"); done < <(names_of photo)
check "every picture decodes as JPEG" "$(mjpeg_count "${photos[@]}")" "$(names_of photo | wc -l)"
check "the Korean picture is there under its name" "$([ -f "$export_dir/$korean" ] && echo yes)" "yes"

echo "== --new"
rm -rf "$export_dir"
run_cli export photo --all --new
check "first --new run exports everything" "$cli_code $(grep -c '^Exported' <<<"$cli_out")" "0 1"
check "first --new run exported every photo" "$(tail -1 <<<"$cli_out")" \
    "Exported $(names_of photo | wc -l) of $(names_of photo | wc -l) recordings of the photo list into C:\\ZiduvOra\\."
touch "$out/marker"; sleep 1
run_cli export photo --all --new
check "second --new run exports nothing" "$cli_code $(tail -1 <<<"$cli_out")" \
    "0 Exported 0 of 0 recordings of the photo list into C:\\ZiduvOra\\; $(names_of photo | wc -l) were exported before."
check "no file written the second time" "$(find "$export_dir" -newer "$out/marker" | wc -l)" "0"
printf 'garbage' >>"$export_dir/KroFileListCLI.record"
run_cli export photo --all --new
check "a damaged record is not trusted: everything again" "$cli_code $(tail -1 <<<"$cli_out")" \
    "0 Exported $(names_of photo | wc -l) of $(names_of photo | wc -l) recordings of the photo list into C:\\ZiduvOra\\."
check "the damage is reported" "$(grep -c 'is damaged and is not trusted' <<<"$cli_err")" "1"
run_cli export photo --all --new
check "the rebuilt record holds again" "$(tail -1 <<<"$cli_out" | cut -d' ' -f1-4)" "Exported 0 of 0"

echo "== failures are named"
export KROSIM_FAULTS=convert-fails
run_cli export event --all
check "convert-fails: exit 1" "$cli_code" "1"
check "convert-fails: every Event recording named" "$(grep '^Not exported: ' <<<"$cli_err" | cut -d' ' -f3- | sort)" "$(names_of event | sort)"
export KROSIM_FAULTS=hostile
rm -rf "$export_dir"
run_cli export photo --all
# The first five photos carry the switch's path tricks; the rest keep their names.
check "hostile names: exit 1" "$cli_code" "1"
check "hostile names: each refused by name" "$(grep '^Not exported: ' <<<"$cli_err" | LC_ALL=C sort)" \
    "$(printf 'Not exported: %s\n' '(no name)' '..\..\EVIL.JPG' '/tmp/evil.JPG' 'C:\EVIL.JPG' 'COM1.JPG' | LC_ALL=C sort)"
check "hostile names: the others are exported" "$(ls "$export_dir" | grep -c 'JPG$')" "$(( $(names_of photo | wc -l) - 5 ))"
check "nothing written outside the export folder" \
    "$(find "$WINEPREFIX/drive_c" /tmp -maxdepth 3 -iname 'evil*' 2>/dev/null | wc -l)" "0"
unset KROSIM_FAULTS

echo "== no library, no card, the window program running"
mv "$install_dir/KROLib.dll" "$out/KROLib.dll.away"
run_cli list --wait 1
check "no library: exit 2, saying so" "$cli_code $(grep -c 'KROLib.dll could not be loaded' <<<"$cli_err")" "2 1"
mv "$out/KROLib.dll.away" "$install_dir/KROLib.dll"
mv "$slot/card" "$slot/card.out"
run_cli list --wait 1
check "no card: exit 2" "$cli_code $cli_err" "2 No card found within 1 second."
start_program
drive wait-window 15000 >/dev/null
run_cli list
check "window program running: exit 4" "$cli_code $(grep -c 'KroFileList.exe is running' <<<"$cli_err")" "4 1"
check "the window program is left alone" "$(close_within 5)" "yes"

echo "== watch"
# Two small cards from the demo card's recordings: A, then B.
make_card() {  # make_card DIR PATTERN
    rm -rf "$1"; mkdir -p "$1"; cp "$card_source/KROCARD.INI" "$1/"
    ls "$card_source" | grep -E "$2" | while read -r f; do cp "$card_source/$f" "$1/"; done
}
make_card "$slot/A" '^240105_07[0-9]*E\.KRO$|^0105_0739'
make_card "$slot/B" '^240105_08[0-9]*E\.KRO$|^0105_0744'
rm -rf "$slot/card" "$slot/card.out" "$export_dir"
(cd "$install_dir" && exec "$wine64" 'C:\KroFileList\KroFileListCLI.exe' watch event photo --new) \
    >"$out/watch.out" 2>"$out/watch.err" </dev/null &
watch_pid=$!
wait_for_line() {  # wait_for_line SECONDS COUNT TEXT: the watch output holds TEXT COUNT times
    for _ in $(seq $(( $1 * 10 ))); do
        [ "$(grep -c "$3" "$out/watch.out")" -ge "$2" ] && { echo yes; return; }
        sleep 0.1
    done
    echo no
}
check "watch waits for a card" "$(wait_for_line 15 1 '^Waiting for cards')" "yes"
mv "$slot/A" "$slot/card"
check "card A is seen and exported" "$(wait_for_line 20 1 '^Waiting for the card to be removed')" "yes"
check "card A's recordings are there" "$(ls "$export_dir" | grep -cE '\.avi$|\.JPG$')" "$(ls "$slot/card" | grep -c KRO$)"
mv "$slot/card" "$slot/A"
check "its removal is seen" "$(wait_for_line 10 1 '^Card removed')" "yes"
mv "$slot/B" "$slot/card"
check "card B is seen and exported" "$(wait_for_line 20 2 '^Waiting for the card to be removed')" "yes"
check "card B's recordings joined A's" "$(ls "$export_dir" | grep -cE '\.avi$|\.JPG$')" \
    "$(( $(ls "$slot/A" | grep -c KRO$) + $(ls "$slot/card" | grep -c KRO$) ))"
# The window program started beside watch gets the card; watch goes on once
# it has ended, without exporting card B again.
exported_before=$(grep -c '^Exported' "$out/watch.out")
start_program
check "watch gives way to the window program" "$(wait_for_line 10 1 '^KroFileList.exe is running: watch pauses')" "yes"
drive wait-window 15000 >/dev/null
check "the window program closes as usual" "$(close_within 10)" "yes"
check "watch resumes once it has ended" "$(wait_for_line 10 1 '^KroFileList.exe has ended: watch resumes')" "yes"
sleep 2
check "card B is not exported again" "$(grep -c '^Exported' "$out/watch.out")" "$exported_before"
# Ctrl+C: Wine turns SIGINT into the console control event the program's
# handler receives (CTRL_C_EVENT).
start_ns=$(date +%s%N)
kill -INT "$watch_pid"
ended=no
for _ in $(seq 30); do kill -0 "$watch_pid" 2>/dev/null || { ended=yes; break; }; sleep 0.05; done
stop_ms=$(( ($(date +%s%N) - start_ns) / 1000000 ))
[ "$ended" == yes ] || kill "$watch_pid" 2>/dev/null
wait "$watch_pid"; watch_code=$?
check "Ctrl+C ends watch within a second (${stop_ms} ms)" "$ended $([ "$stop_ms" -le 1000 ] && echo fast)" "yes fast"
check "watch ends cleanly: exit 0, last line" "$watch_code $(tail -1 "$out/watch.out" | tr -d '\r')" "0 Stopped."
check "watch reported no problem" "$(tr -d '\r' <"$out/watch.err")" ""

echo "== Ctrl+C while the library does not answer"
(cd "$install_dir" && KROSIM_FAULTS=hang=list exec "$wine64" 'C:\KroFileList\KroFileListCLI.exe' list) \
    >"$out/hung.out" 2>"$out/hung.err" </dev/null &
hung_pid=$!
sleep 3  # the card found, the list call hung in the library's host
start_ns=$(date +%s%N)
kill -INT "$hung_pid"
ended=no
for _ in $(seq 100); do kill -0 "$hung_pid" 2>/dev/null || { ended=yes; break; }; sleep 0.1; done
stop_ms=$(( ($(date +%s%N) - start_ns) / 1000000 ))
[ "$ended" == yes ] || kill -9 "$hung_pid" 2>/dev/null
wait "$hung_pid"; hung_code=$?
check "Ctrl+C during a hung call ends the twin within a few seconds (${stop_ms} ms)" "$ended" "yes"
check "it ends as stopped, without the host's diagnostics" "$hung_code $(tr -d '\r' <"$out/hung.err")" "2 Stopped."
hosts_left() {  # library hosts of this session's prefix
    local count=0 pid
    for pid in $(pgrep -f KroLibHost64); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && count=$((count + 1))
    done
    echo "$count"
}
for _ in $(seq 50); do [ "$(hosts_left)" == 0 ] && break; sleep 0.1; done
check "no library host is left" "$(hosts_left)" "0"

rm -f "$cli_tmp.out" "$cli_tmp.err"
finish cli
