#!/usr/bin/env bash
# Runs each fuzz target of a built fuzz tree for a set time, starting from
# its committed seeds, and prints the executions per target.
#   scripts/run-fuzz.sh FUZZ_TREE SECONDS [TARGET...]
# New corpus entries go to FUZZ_TREE/corpus/<target> (the seeds in
# tests/fuzz/<target> are only read); a crashing input is written to
# FUZZ_TREE/findings/ and fails the run. An input of a few kilobytes that
# makes the code ask for more than 128 MB at once is a finding too.
set -uo pipefail
tree=$(cd "${1:?fuzz tree}" && pwd)
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
shift 2 || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || read -r -a targets <"$tree/fuzzers.txt"

mkdir -p "$tree/findings"
status=0
summary=()
for target in "${targets[@]}"; do
    corpus="$tree/corpus/$target"
    log="$tree/fuzz-$target.log"
    mkdir -p "$corpus"
    echo "== fuzz_$target: ${seconds} s"
    "$tree/bin/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -malloc_limit_mb=128 \
        -artifact_prefix="$tree/findings/$target-" "$corpus" "$root/tests/fuzz/$target" >"$log" 2>&1
    result=$?
    runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$log" | tail -1)
    rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+)/\1/p' "$log" | tail -1)
    if [ "$result" -ne 0 ]; then
        status=1
        grep -E 'ERROR|property broken|SUMMARY|Test unit written' "$log" | head -5
        summary+=("fuzz_$target: FINDING after ${runs:-?} executions (log: $log)")
    else
        summary+=("fuzz_$target: ${runs:-?} executions, ${rate:-?}/s, no finding")
    fi
done
printf '%s\n' "${summary[@]}"
exit $status
