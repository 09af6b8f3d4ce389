# The checks that hold after every step of the soak and of the fault matrix.
# Source it after common.sh, with install_program done and `slot` the folder
# that holds the inserted card as `card`.

# Every file of the Wine drive but the export folder, with size and time;
# folders by name only (drive_c's own time changes with the export folder).
drive_listing() {
    find "$WINEPREFIX/drive_c" -path "$export_dir" -prune -o -type d -printf '%P/\n' -o -printf '%P\t%s\t%T@\n' |
        LC_ALL=C sort
}

# A card folder's files with size and time; the card must stay as it was.
card_listing() {
    find "$1" -printf '%P\t%s\t%T@\n' | LC_ALL=C sort
}

# Prints what differs on the Wine drive from the listing in FILE.
written_outside() {
    diff <(cat "$1") <(drive_listing) | grep '^[<>]' | head -5
}

# Windows left open besides the main window (boxes, progress, menus), in
# WINDOWS_LEFT.
windows_left() {
    dr other-windows
    WINDOWS_LEFT=$DR_OUT
}

# The picture inside a photo's container file: the first front frame.
card_picture() {  # card_picture CONTAINER_FILE
    local length
    length=$(od -An -tu4 -j48 -N4 "$1" | tr -d ' ')
    tail -c +53 "$1" | head -c "$length"
}

# Prints a line for each bad file in the export folder: a temporary file, an
# empty file, an AVI whose RIFF size is not its length less 8, a picture that
# is not byte for byte the card's. CARD is the card the files came from.
export_folder_problems() {  # export_folder_problems CARD
    local card=$1 file base size riff source
    [ -d "$export_dir" ] || return 0
    for file in "$export_dir"/* "$export_dir"/.*; do
        [ -f "$file" ] || continue
        base=$(basename "$file")
        size=$(stat -c %s "$file")
        case "$base" in
        *.part | *.tmp | *.TMP) echo "temporary file $base" ;;
        *.avi)
            riff=$(od -An -tu4 -j4 -N4 "$file" | tr -d ' ')
            [ "$size" -gt 8 ] && [ "${riff:-0}" -eq $((size - 8)) ] || echo "truncated AVI $base ($size bytes)"
            ;;
        *.JPG | *.jpg)
            source=$(ls "$card/$base".[Kk][Rr][Oo] 2>/dev/null | head -1)
            if [ "$size" -eq 0 ]; then echo "empty picture $base"
            elif [ -n "$source" ] && ! cmp -s "$file" <(card_picture "$source"); then echo "picture $base differs from the card"
            fi
            ;;
        *) [ "$size" -gt 0 ] || echo "empty file $base" ;;
        esac
    done
}

# The file an exported recording leaves in the export folder.
export_file_name() {  # export_file_name LIST NAME
    if [ "$1" == 1004 ]; then printf '%s' "$2"; else printf '%s.avi' "$2"; fi
}

# Checks a completion box against the export folder (emptied before the
# export): it counts every ticked recording, names no more than failed, each
# named failure left no file, and every recording not counted failed has its
# file. Prints one line per problem.
completion_problems() {  # completion_problems BOX LIST NAME...
    local box=$1 list=$2 failed total named_count present=0 name
    shift 2
    local wanted=$#
    if [ "$box" == "$(printf 'Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?')" ]; then
        failed=0; total=$wanted
    else
        failed=$(sed -nE 's/^([0-9]+) of ([0-9]+) recordings? could not be exported:$/\1/p' <<<"$box")
        total=$(sed -nE 's/^([0-9]+) of ([0-9]+) recordings? could not be exported:$/\2/p' <<<"$box")
        # An export stopped early names those it did not reach (all of
        # them when it stopped before the first).
        local unreached
        unreached=$(sed -nE 's/^([0-9]+) recordings? (was|were) not exported, as the export stopped before (it|them):$/\1/p' <<<"$box")
        [ -n "$failed" ] || [ -z "$unreached" ] || { failed=0; total=$unreached; }
        [ -n "$failed" ] || { echo "unexpected box: $box"; return; }
        failed=$((failed + ${unreached:-0}))
    fi
    [ "$total" == "$wanted" ] || echo "the box counts $total recordings, $wanted were ticked"
    local named
    named=$(sed -nE '/could not be exported:$|as the export stopped before (it|them):$/,/^The folder is/p' <<<"$box" | sed '1d;$d' |
        grep -v '^and [0-9]* more$' | grep -v 'as the export stopped before' | sed -E 's/ \(the device library [a-z ]+\)$//')
    for name in "$@"; do
        if [ -f "$export_dir/$(export_file_name "$list" "$name")" ]; then  # "..": a folder, not a file
            present=$((present + 1))
            grep -Fxq -- "$name" <<<"$named" && echo "$name is named failed but was written"
        fi
    done
    [ $((present + failed)) -eq "$total" ] || echo "$present written and $failed failed of $total"
}

# The lists and summaries against the card oracle's output in FILE; prints
# what differs.
lists_problems() {  # lists_problems ORACLE_FILE
    local i list summary
    local -a lists=(1001 1002 1003 1004) summaries=(1023 1024 1026 1028)
    for i in 0 1 2 3; do
        list=${lists[$i]} summary=${summaries[$i]}
        dr rows "$list"
        if [ "$(cut -f2- <<<"$DR_OUT" | sed '/^$/d')" != "$(awk -F '\t' -v l="$list" '$1 == "rows" && $2 == l { print $3 "\t" $4 "\t" $5 }' "$1" | sed 's/\t$//')" ]; then
            echo "list $list differs from the card ($(sed '/^$/d' <<<"$DR_OUT" | wc -l) rows)"
        fi
        dr text "$summary"
        [ "$DR_OUT" == "$(awk -F '\t' -v s="$summary" '$1 == "summary" && $2 == s { print $3 }' "$1")" ] ||
            echo "summary $summary reads '$DR_OUT'"
    done
}

# Waits until the Photo summary shows what the oracle expects (the load's
# last line), at most MS milliseconds; returns 1 if it never did.
wait_loaded() {  # wait_loaded ORACLE_FILE MS
    local want deadline=$(( $(date +%s%N) / 1000000 + $2 ))
    want=$(awk -F '\t' '$1 == "summary" && $2 == 1028 { print $3 }' "$1")
    while :; do
        dr text 1028
        [ "$DR_OUT" == "$want" ] && return 0
        [ $(( $(date +%s%N) / 1000000 )) -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

# Waits until the title is plain and every list is empty (the card is seen
# gone), at most MS milliseconds.
wait_emptied() {  # wait_emptied MS
    local deadline=$(( $(date +%s%N) / 1000000 + $1 )) id empty
    while :; do
        dr title
        if [ "$DR_OUT" == KroFileList ]; then
            empty=yes
            for id in 1001 1002 1003 1004; do
                dr rows "$id"; [ -z "$DR_OUT" ] || empty=no
            done
            [ "$empty" == yes ] && return 0
        fi
        [ $(( $(date +%s%N) / 1000000 )) -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

# Ends the program by its close box; 0 when the process ended within SECONDS.
close_program() {  # close_program SECONDS
    local i
    dr close
    for i in $(seq $(( $1 * 20 ))); do
        kill -0 "$program_pid" 2>/dev/null || { wait "$program_pid" 2>/dev/null; return 0; }
        sleep 0.05
    done
    kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
    return 1
}
