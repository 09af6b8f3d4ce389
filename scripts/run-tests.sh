#!/usr/bin/env bash
# Builds the five trees and runs every level of tests; prints one closing line.
#   scripts/run-tests.sh BUILD_DIR
# The levels under Wine mostly wait on windows, so each runs in a Wine session
# of its own as soon as the trees it needs are built, beside the other builds
# and the native levels; their output follows once all have ended. The
# native levels' cases are processes of their own that mostly wait too, so
# CTest runs several at once.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "${1:-build}"
build=$(cd "${1:-build}" && pwd)
session="$root/scripts/wine-session.sh"
native_jobs=$(($(nproc) * 2))
# The end-to-end level in two halves of about the same length, one after the
# Win32 level in its session, the other in a session of its own; the
# packages' test waits for the packages.
e2e_first='^e2e_(soak_short|scale_export|full_disk)$'
e2e_packages='^e2e_dist$'

total_passed=0
total_failed=0
overall=0
started_all=$SECONDS

# Runs ctest in a tree and adds its counts to the totals.
run_ctest() {
    # run_ctest LABEL TREE [WRAPPER...] [:: CTEST ARGS...]
    local label=$1 dir=$2; shift 2
    local wrapper=() extra=()
    while [ $# -gt 0 ] && [ "$1" != "::" ]; do wrapper+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    extra=("$@")
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

# Levels in the background: each lane runs its levels in turn into a log of
# its own and leaves its counts beside it.
lanes=()
lane_logs=$(mktemp -d)
start_lane() {
    # start_lane NAME COMMAND...: COMMAND runs run_ctest one or more times.
    local name=$1; shift
    (total_passed=0 total_failed=0 overall=0
     "$@"
     echo "$total_passed $total_failed $overall" >"$lane_logs/$name.counts") >"$lane_logs/$name.log" 2>&1 &
    lanes+=("$name")
}

# A tree that fails to build ends the run here, once the lanes already
# started have ended.
build_trees() {
    local started=$SECONDS
    echo "== building: $*"
    if ! make --no-print-directory -C "$root" BUILD="$build" "$@"; then
        echo "== building $* failed"
        wait
        exit 1
    fi
    echo "== built $* in $((SECONDS - started)) s"
}

windows_lane() {
    run_ctest "Windows (Wine)" "$build/win64" "$session" "$build/win64/wine" -- :: -LE e2e
    run_ctest "end to end (Wine), first half" "$build/win64" "$session" "$build/win64/wine" -- :: \
        -L e2e -R "$e2e_first"
}
e2e_lane() {
    KRO_WINE_PREFIX_NAME=prefix-e2e \
        run_ctest "end to end (Wine), second half" "$build/win64" "$session" "$build/win64/wine" -- :: \
        -L e2e -E "$e2e_first|$e2e_packages"
}
# The 32-bit program and libraries: the tests and journeys that cross the
# device library boundary, in two sessions that run 32-bit code.
i686_first='^e2e_journey(_x64_program_i686_library)?$'
i686_lane() {
    KRO_WINE_PREFIX_NAME=prefix-journeys \
        run_ctest "Windows i686 (Wine, qemu), journeys" "$build/win32" "$session" --i686 "$build/win32/wine" -- :: \
        -L library -R "$i686_first"
}
i686_rest_lane() {
    run_ctest "Windows i686 (Wine, qemu)" "$build/win32" "$session" --i686 "$build/win32/wine" -- :: \
        -L library -E "$i686_first"
}

unit_lane() {
    run_ctest "unit (ASan + UBSan)" "$build/native" :: -j "$native_jobs"
}
packages_lane() {
    KRO_WINE_PREFIX_NAME=prefix-packages \
        run_ctest "end to end (Wine), the packages" "$build/win64" "$session" "$build/win64/wine" -- :: \
        -R "$e2e_packages"
}

build_trees native win64
start_lane unit unit_lane
start_lane windows windows_lane
start_lane e2e e2e_lane
# The sanitizer trees build beside the 32-bit tree and the packages, so that
# the thread tests, which mostly wait, run beside the 32-bit levels rather
# than alone at the end.
(build_trees native-tsan fuzz-tree) >"$lane_logs/sanitizer-trees.log" 2>&1 &
sanitizer_trees=$!
build_trees win32 dist
start_lane i686 i686_lane
start_lane i686-rest i686_rest_lane
start_lane packages packages_lane
sanitizer_status=0
wait "$sanitizer_trees" || sanitizer_status=$?
cat "$lane_logs/sanitizer-trees.log"
if [ "$sanitizer_status" -ne 0 ]; then
    wait
    exit 1
fi
run_ctest "threads (TSan)" "$build/native-tsan" env TSAN_OPTIONS=halt_on_error=1 :: -j "$(nproc)"
run_ctest "fuzz seeds replayed (ASan + UBSan)" "$build/fuzz"

wait
for name in "${lanes[@]}"; do
    cat "$lane_logs/$name.log"
    if read -r lane_passed lane_failed lane_overall <"$lane_logs/$name.counts" 2>/dev/null; then
        total_passed=$((total_passed + lane_passed))
        total_failed=$((total_failed + lane_failed))
        [ "$lane_overall" -eq 0 ] || overall=1
    else
        total_failed=$((total_failed + 1))
        overall=1
    fi
done
rm -rf "$lane_logs"

echo "== all levels, builds included: $((SECONDS - started_all)) s"
echo "tests: $total_passed passed, $total_failed failed"
exit $overall
