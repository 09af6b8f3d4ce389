#!/usr/bin/env bash
# The x86_64 packages as a user gets them. The zip: unpacked into a fresh
# Wine prefix, the demo started from its folder, the program showing the
# demo card. The installer beside it: installed quietly into Program Files,
# the simulator put beside the installed program as a user puts the maker's
# library, the card listed and exported, a newer installer replacing it, and
# the removal taking what it installed and leaving the user's KROLib.dll.
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
for bits in 64 32; do
    check "KroLibHost$bits.exe says what it is" \
        "$(strings -el "$app/KroLibHost$bits.exe" | grep -cx "KroFileList $bits-bit device library host")" "1"
done
check "the console twin runs" "$("$wine64" "$app/KroFileListCLI.exe" --version 2>/dev/null | tr -d '\r' | cut -d' ' -f1)" "KroFileListCLI"
i686_zip=${zip_file/x86_64/i686}
check "the i686 package carries both programs and the 32-bit host" \
    "$(unzip -Z1 "$i686_zip" 2>/dev/null | grep -cxE 'KroFileList/(KroFileList|KroFileListCLI|KroLibHost32)\.exe')" "3"
check "no device library beside the program" "$([ -e "$app/KROLib.dll" ] && echo present || echo absent)" "absent"
check "the simulator is in demo/" "$([ -f "$app/demo/KROLib.dll" ] && echo yes)" "yes"
check "README and licence" "$([ -f "$app/README.md" ] && [ -f "$app/LICENSE.txt" ] && echo yes)" "yes"

"$wine64" cmd /c 'C:\KroFileList\demo\run-demo.cmd' >/dev/null 2>&1
# The title may already name the card ("KroFileList [...]").
check "the demo opens the main window" "$(drive wait-window 15000 | cut -d' ' -f1)" "KroFileList"
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
wineserver -w 2>/dev/null

echo "== the installer"
msi_file=${zip_file%.zip}.msi
export WINEPREFIX="$out/msi-prefix"
rm -rf "$WINEPREFIX"
cp -a "$template" "$WINEPREFIX"
cp "$msi_file" "$WINEPREFIX/drive_c/KroFileList.msi"
"$wine64" msiexec /i 'C:\KroFileList.msi' /qn >/dev/null 2>&1
check "msiexec /i /qn installs" "$?" "0"
installed="$WINEPREFIX/drive_c/Program Files/KroFileList"
check "the programs and both hosts are in Program Files" \
    "$(cd "$installed" 2>/dev/null && ls KroFileList.exe KroFileListCLI.exe KroLibHost64.exe KroLibHost32.exe 2>/dev/null | wc -l)" "4"
check "no device library and no simulator are installed" \
    "$(find "$installed" -iname KROLib.dll -o -iname demo | wc -l)" "0"
check "a Start menu entry" \
    "$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/KroFileList.lnk' | wc -l)" "1"
uninstall_entries() {
    "$wine64" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
        tr -d '\r' | grep -cE 'DisplayName +REG_SZ +KroFileList$'
}
check "an uninstall entry" "$(uninstall_entries)" "1"

# The user's library beside the installed program, and the card.
cp "$bin/KROLib.dll" "$installed/KROLib.dll"
rm -rf "$out/msi-card" && cp -r "$card" "$out/msi-card"
export KROSIM_CARD="$(winepath -w "$out/msi-card" 2>/dev/null | tr -d '\r')"
twin='C:\Program Files\KroFileList\KroFileListCLI.exe'
listed=$("$wine64" "$twin" list 2>/dev/null | tr -d '\r' | grep -cE $'^(event|normal|park|photo)\t')
check "the installed twin lists the card" "$listed" "$(awk -F '\t' '$1 == "rows"' "$out/dist-expected.tsv" | wc -l)"
"$wine64" "$twin" export photo --all >/dev/null 2>&1
check "and exports its photos" "$?" "0"
check "the photos are in the export folder" "$(ls "$WINEPREFIX/drive_c/ZiduvOra" 2>/dev/null | grep -ci '\.jpg$')" \
    "$(awk -F '\t' '$1 == "rows" && $2 == 1004' "$out/dist-expected.tsv" | wc -l)"
unset KROSIM_CARD

# A newer package of the same files replaces this one.
newer=$(mktemp -d)
(cd "$newer" && msiextract "$msi_file" >/dev/null 2>&1 && cd KroFileList &&
    wixl -a x64 -D Version=99.0.0.0 -o "$WINEPREFIX/drive_c/newer.msi" "$here/../../dist/KroFileList.wxs" >/dev/null 2>&1)
rm -rf "$newer"
"$wine64" msiexec /i 'C:\newer.msi' /qn >/dev/null 2>&1
check "a newer installer installs over it" "$?" "0"
check "and replaces it: one uninstall entry" "$(uninstall_entries)" "1"
check "of the newer version" "$("$wine64" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -cE 'DisplayVersion +REG_SZ +99\.0\.0')" "1"

"$wine64" msiexec /x 'C:\newer.msi' /qn >/dev/null 2>&1
check "msiexec /x removes it" "$?" "0"
check "what it installed is gone" "$(ls "$installed" 2>/dev/null | grep -vx KROLib.dll | wc -l)" "0"
check "the user's KROLib.dll stays" "$([ -f "$installed/KROLib.dll" ] && echo yes)" "yes"
check "no uninstall entry is left" "$(uninstall_entries)" "0"

finish dist
