#!/usr/bin/env bash
# Runs every level of tests over the built trees and prints one closing line.
#   scripts/run-tests.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)

total_passed=0
total_failed=0
overall=0

# Runs ctest in a tree and adds its counts to the totals.
run_ctest() {
    # run_ctest LABEL TREE [WRAPPER... --] [CTEST ARGS...]
    local label=$1 dir=$2; shift 2
    local wrapper=() extra=()
    if [[ " $* " == *" -- "* ]]; then
        while [ "$1" != "--" ]; do wrapper+=("$1"); shift; done
        shift
        wrapper+=(--)
        extra=("$@")
    else
        wrapper=("$@")
    fi
    echo "== $label =="
    local log started=$SECONDS
    log=$(mktemp)
    "${wrapper[@]}" ctest --test-dir "$dir" "${extra[@]}" --output-on-failure --timeout 300 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    local line
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    if [ -n "$line" ]; then
        local failed total
        failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
        total_passed=$((total_passed + total - failed))
        total_failed=$((total_failed + failed))
    elif [ "$status" -ne 0 ]; then
        total_failed=$((total_failed + 1))
    fi
    [ "$status" -eq 0 ] || overall=1
    rm -f "$log"
    echo "== $label: $((SECONDS - started)) s"
}

run_ctest "unit (ASan + UBSan)" "$build/native" env
run_ctest "threads (TSan)" "$build/native-tsan" env TSAN_OPTIONS=halt_on_error=1
run_ctest "fuzz seeds replayed (ASan + UBSan)" "$build/fuzz" env
# The 32-bit program and libraries: the tests and journeys that cross the
# device library boundary, in a session of their own that runs 32-bit code.
# It has its own prefix and display, and the x86_64 levels mostly wait on
# windows, so it runs beside them; its output follows theirs.
i686_log=$(mktemp)
(total_passed=0 total_failed=0 overall=0
 run_ctest "Windows i686 (Wine, qemu)" "$build/win32" "$root/scripts/wine-session.sh" --i686 "$build/win32/wine" -- -L library
 echo "$total_passed $total_failed $overall" >"$i686_log.counts") >"$i686_log" 2>&1 &
i686_pid=$!
run_ctest "Windows (Wine)" "$build/win64" "$root/scripts/wine-session.sh" "$build/win64/wine" -- -LE e2e
run_ctest "end to end (Wine)" "$build/win64" "$root/scripts/wine-session.sh" "$build/win64/wine" -- -L e2e
wait "$i686_pid"
cat "$i686_log"
# The background level counted in a shell of its own.
if read -r i686_passed i686_failed i686_overall <"$i686_log.counts" 2>/dev/null; then
    total_passed=$((total_passed + i686_passed))
    total_failed=$((total_failed + i686_failed))
    [ "$i686_overall" -eq 0 ] || overall=1
else
    total_failed=$((total_failed + 1))
    overall=1
fi
rm -f "$i686_log" "$i686_log.counts"

echo "tests: $total_passed passed, $total_failed failed"
exit $overall
