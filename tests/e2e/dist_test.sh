#!/usr/bin/env bash
# The x86_64 package as a user gets it: unpacked into a fresh Wine prefix,
# the demo started from its folder, the program showing the demo card.
#   tests/e2e/dist_test.sh ZIP WIN_BIN_DIR CARD_DIR OUT_DIR
# Runs inside scripts/wine-session.sh; prints "dist: N passed, N failed".
set -uo pipefail
zip_file=$1
bin=$(cd "$2" && pwd)
card=$(cd "$3" && pwd)
out=$(mkdir -p "$4" && cd "$4" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?run inside scripts/wine-session.sh}"
source "$here/common.sh"

# A prefix of its own, copied from the session's template.
template="$(dirname "$WINEPREFIX")/template"
export WINEPREFIX="$out/dist-prefix"
rm -rf "$WINEPREFIX"
cp -a "$template" "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null; wineserver -w 2>/dev/null' EXIT

unzip -q "$zip_file" -d "$WINEPREFIX/drive_c/"
app="$WINEPREFIX/drive_c/KroFileList"
check "the program is in the package" "$([ -f "$app/KroFileList.exe" ] && echo yes)" "yes"
check "the console twin is beside it" "$([ -f "$app/KroFileListCLI.exe" ] && echo yes)" "yes"
check "both library hosts are beside them" \
    "$([ -f "$app/KroLibHost64.exe" ] && [ -f "$app/KroLibHost32.exe" ] && echo yes)" "yes"
check "the console twin runs" "$("$wine64" "$app/KroFileListCLI.exe" --version 2>/dev/null | tr -d '\r' | cut -d' ' -f1)" "KroFileListCLI"
i686_zip=${zip_file/x86_64/i686}
check "the i686 package carries both programs and the 32-bit host" \
    "$(unzip -Z1 "$i686_zip" 2>/dev/null | grep -cxE 'KroFileList/(KroFileList|KroFileListCLI|KroLibHost32)\.exe')" "3"
check "no device library beside the program" "$([ -e "$app/KROLib.dll" ] && echo present || echo absent)" "absent"
check "the simulator is in demo/" "$([ -f "$app/demo/KROLib.dll" ] && echo yes)" "yes"
check "README and licence" "$([ -f "$app/README.md" ] && [ -f "$app/LICENSE.txt" ] && echo yes)" "yes"

"$wine64" cmd /c 'C:\KroFileList\demo\run-demo.cmd' >/dev/null 2>&1
check "the demo opens the main window" "$(drive wait-window 15000)" "KroFileList"
"$here/card_oracle.sh" "$card" >"$out/dist-expected.tsv"
want=$(awk -F '\t' '$1 == "summary" && $2 == 1028 { print $3 }' "$out/dist-expected.tsv")
got=""
for _ in $(seq 50); do got=$(drive text 1028); [ "$got" == "$want" ] && break; sleep 0.2; done
check "the demo card is loaded" "$got" "$want"
check "the Event list holds the card's rows" "$(drive rows 1001 | wc -l)" \
    "$(awk -F '\t' '$1 == "rows" && $2 == 1001' "$out/dist-expected.tsv" | wc -l)"
import -window root "$out/dist-demo.png" 2>/dev/null || true
drive close
for _ in $(seq 30); do [ "$(drive count-windows)" == "0" ] && break; sleep 0.1; done
check "the program ends" "$(drive count-windows)" "0"

finish dist
