# Sourced by the benchmark scripts: prints how busy the machine's cores are
# with other work, over 2 s before a run, so that its figures can be told
# "quiet" or "loaded".
busy() { awk '/^cpu / { print $2 + $3 + $4 + $7 + $8, $5 + $6 }' /proc/stat; }
read -r busy0 idle0 <<<"$(busy)"
sleep 2
read -r busy1 idle1 <<<"$(busy)"
awk -v b=$((busy1 - busy0)) -v i=$((idle1 - idle0)) -v n="$(nproc)" 'BEGIN {
    printf "machine before the run        : %.0f%% of %d cores busy with other work\n", 100 * b / (b + i), n }'
