#!/usr/bin/env bash
# Picture export onto a full disk, as a user meets it: C:\ZiduvOra\ on a
# tmpfs that holds about half of the demo card's photos, "Check All/Un" on
# the Photo list, "JPG Save". The completion box names the pictures that did
# not fit; every other picture is whole, an earlier picture of a failed name
# is unchanged, and no temporary file is left.
#   tests/e2e/full_disk.sh WIN_BIN_DIR CARD_DIR OUT_DIR
# Runs inside scripts/wine-session.sh. Mounting needs root: the script goes
# on in a mount namespace of its own, with its own Wine prefix and
# wineserver, so the mount is seen by Wine and by nothing else. Without root
# or a namespace it exits 77 (skipped) and says why.
set -uo pipefail
bin=$(cd "$1" && pwd)
card=$(cd "$2" && pwd)
out=$(mkdir -p "$3" && cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?run inside scripts/wine-session.sh}"

if [ -z "${KRO_FULL_DISK_NAMESPACE:-}" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "full disk: skipped: mounting a small tmpfs needs root"
        exit 77
    fi
    if ! unshare --mount --propagation private true 2>/dev/null; then
        echo "full disk: skipped: no mount namespace can be made here"
        exit 77
    fi
    KRO_FULL_DISK_NAMESPACE=1 exec unshare --mount --propagation private bash "$0" "$@"
fi

source "$here/common.sh"
template="$(dirname "$WINEPREFIX")/template"
export WINEPREFIX="$out/prefix"
rm -rf "$WINEPREFIX"
cp -a "$template" "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null; wineserver -w 2>/dev/null' EXIT

# The photos in list order, and each one's picture: the first front frame of
# its container (a 48-byte header, a 32-bit length, the JPEG bytes).
"$here/card_oracle.sh" "$card" >"$out/expected.tsv"
mapfile -t photos < <(awk -F '\t' '$1 == "rows" && $2 == 1004 { print $3 }' "$out/expected.tsv")
mkdir -p "$out/pictures"
total=0
largest=0
for name in "${photos[@]}"; do
    file=$(ls "$card/$name".[Kk][Rr][Oo] | head -1)
    length=$(od -An -tu4 -j48 -N4 "$file" | tr -d ' ')
    tail -c +53 "$file" | head -c "$length" >"$out/pictures/$name"
    total=$((total + length))
    [ "$length" -gt "$largest" ] && largest=$length
done
pages=$(((total / 2 + 4095) / 4096))
[ $((pages * 4096)) -ge $((largest + 8192)) ] || pages=$(((largest + 8192 + 4095) / 4096))
check "the card has photos that do not all fit ${pages} pages" \
    "$([ ${#photos[@]} -ge 3 ] && [ $((pages * 4096)) -lt "$total" ] && echo yes)" "yes"

install_program
mkdir -p "$export_dir"
mount -t tmpfs -o "size=$((pages * 4))k" tmpfs "$export_dir" || { echo "full disk: cannot mount a tmpfs"; exit 1; }
# The last photo is the likeliest to find the disk full: it has an earlier
# picture that must survive a failed replacement.
last=${photos[${#photos[@]} - 1]}
printf 'the earlier picture' >"$export_dir/$last"

export KROSIM_CARD="$("$wine64" winepath -w "$card" 2>/dev/null | tr -d '\r')"
unset KROSIM_EXPORT_DIR KROSIM_FAULTS
start_program
drive wait-window 15000 >/dev/null
want=$(awk -F '\t' '$1 == "summary" && $2 == 1028 { print $3 }' "$out/expected.tsv")
got=""
for _ in $(seq 100); do got=$(drive text 1028); [ "$got" == "$want" ] && break; sleep 0.2; done
check "the demo card is loaded" "$got" "$want"

drive click 1022
sleep 1
check "every photo is ticked" "$(drive rows 1004 | cut -f1 | sort -u)" "1"
drive click 1007
box=$(drive wait-box Saved 60000)
drive answer-box Saved no
sleep 1
echo "$box" | sed 's/^/      box: /'

# The box: "k of n recordings could not be exported:", then the names.
failed_count=$(sed -nE 's/^([0-9]+) of ([0-9]+) recordings? could not be exported:$/\1/p' <<<"$box")
of_count=$(sed -nE 's/^([0-9]+) of ([0-9]+) recordings? could not be exported:$/\2/p' <<<"$box")
check "the box counts every photo" "$of_count" "${#photos[@]}"
check "some photos did not fit" "$([ "${failed_count:-0}" -ge 1 ] && echo yes)" "yes"
mapfile -t failed_names < <(sed -n '/could not be exported:$/,/^The folder is/p' <<<"$box" | sed '1d;$d')
written=0
bad=()
for name in "${photos[@]}"; do
    if printf '%s\n' "${failed_names[@]}" | grep -Fxq -- "$name"; then
        if [ "$name" == "$last" ]; then
            [ "$(cat "$export_dir/$name")" == "the earlier picture" ] || bad+=("$name: earlier picture changed")
        elif [ -e "$export_dir/$name" ]; then
            bad+=("$name: failed but present")
        fi
    else
        cmp -s "$export_dir/$name" "$out/pictures/$name" || bad+=("$name: not whole")
        written=$((written + 1))
    fi
done
check "some photos were written" "$([ "$written" -ge 1 ] && echo yes)" "yes"
check "every photo is whole or named in the box, and so counted" "${bad[*]:-}" ""
check "written and failed add up" "$((written + ${failed_count:-0}))" "${#photos[@]}"
extra=$(ls -A "$export_dir" | grep -Fvx -f <(printf '%s\n' "${photos[@]}"))
check "no temporary or other file left" "$extra" ""

drive close
for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
check "the program ends" "$(kill -0 "$program_pid" 2>/dev/null && echo running || echo ended)" "ended"
kill "$program_pid" 2>/dev/null; wait "$program_pid" 2>/dev/null

finish "full disk"
