#!/usr/bin/env bash
# Prints what the program should show for a simulator card folder, worked out
# from the recording files' headers independently of the program's code:
#   rows LIST<TAB>NAME<TAB>SIZE<TAB>DURATION     one line per row, in list order
#   summary LIST<TAB>TEXT                        one line per summary static
# The simulator lists each category's recordings in byte order of their
# names, with unknown type letters in the Normal call; the program files an
# entry by its letter, or by the entry before it when the letter is unknown.
set -euo pipefail
card=$1

# Each recording's name and the 48 bytes of its header, in one process (a
# card of 10,000 recordings would take minutes file by file). A name is at
# most 15 bytes.
perl -e '
    opendir(my $dir, $ARGV[0]) or die "cannot read $ARGV[0]\n";
    for my $base (sort readdir($dir)) {
        next unless $base =~ /^(.*)\.kro$/is;
        my $name = $1;
        next if length($name) > 15;
        open(my $file, "<:raw", "$ARGV[0]/$base") or next;
        my $header = "";
        read($file, $header, 48);
        $header .= "\0" x (48 - length($header));
        print $name, "\t", join(" ", unpack("C48", $header)), "\n";
    }' "$card" | LC_ALL=C awk -F '\t' '
function u32(b, o) { return b[o] + 256 * (b[o+1] + 256 * (b[o+2] + 256 * b[o+3])) }
function s32(b, o,   v) { v = u32(b, o); return v >= 2147483648 ? v - 4294967296 : v }
function call_of(letter) {
    if (letter == "e" || letter == "E") return 0
    if (letter == "M" || letter == "P") return 2
    if (letter == "j" || letter == "J") return 3
    return 1
}
{
    n = split($2, parts, " "); k = 0
    for (i = 1; i <= n; i++) if (parts[i] != "") b[k++] = parts[i] + 0
    letter = sprintf("%c", b[4])
    duration = s32(b, 8)
    front = u32(b, 40) ? u32(b, 40) : u32(b, 32)
    rear = u32(b, 44) ? u32(b, 44) : u32(b, 36)
    size = 48 + front + rear
    if (size > 4294967295) size = 4294967295
    printf "%d\t%s\t%s\t%d\t%d\n", call_of(letter), $1, letter, size, duration
}' | LC_ALL=C sort -t $'\t' -k1,1n -k2,2 | LC_ALL=C awk -F '\t' '
BEGIN { list[0] = 1001; list[1] = 1002; list[2] = 1003; list[3] = 1004
        summary[0] = 1023; summary[1] = 1024; summary[2] = 1026; summary[3] = 1028; current = 0 }
function size_text(s) {
    if (s > 1048576) return int(s / 1048576) "M"
    if (s > 1024) return int(s / 1024) "K"
    return s "B"
}
{
    letter = $3
    if (letter == "e" || letter == "E") current = 0
    else if (letter == "I") current = 1
    else if (letter == "M" || letter == "P") current = 2
    else if (letter == "j" || letter == "J") current = 3
    duration = (current == 3) ? "" : sprintf("%02dSec", $5)
    printf "rows\t%d\t%s\t%s\t%s\n", list[current], $2, size_text($4), duration
    count[current]++; bytes[current] += $4; seconds[current] += $5
}
END {
    for (c = 0; c < 4; c++) {
        t = bytes[c] + 0; s = seconds[c] + 0; h = 0; m = 0
        if (s != 0) { minutes = int((s + 15) / 60); h = int(minutes / 60); m = minutes % 60 }
        if (c < 3) {
            if (t > 1073741824) line = sprintf("file: %04d, size: %0.2fG, time %02d:%02d", count[c], t / 1073741824, h, m)
            else if (t > 1048576) line = sprintf("file: %04d, size: %0.2fM, time %02d:%02d", count[c], t / 1048576, h, m)
            else if (t > 1024) line = sprintf("file: %04d, size: %0.2fK, time %02d:%02d", count[c], t / 1024, h, m)
            else line = sprintf("file: %04d, size: %dB, %02d:%02d", count[c], t, h, m)
        } else {
            if (t > 1073741824) line = sprintf("file: %04d, size: %0.2fG", count[c], t / 1073741824)
            else if (t > 1048576) line = sprintf("file: %04d, size: %0.2fM", count[c], t / 1048576)
            else line = sprintf("file: %04d, size: %dB", count[c], t)
        }
        printf "summary\t%d\t%s\n", summary[c], line
    }
}'
