# Shared by the end-to-end scripts: the checks' tally and the driver.
# Source it first; take_common_arguments then sets `bin` and the rest.

wine64=/usr/lib/wine/wine64
passed=0
failed=0

# check DESCRIPTION ACTUAL EXPECTED: one line per check, counted.
check() {
    if [ "$2" == "$3" ]; then
        passed=$((passed + 1)); echo "ok    $1"
    else
        failed=$((failed + 1)); echo "FAIL  $1"; echo "      expected: $3"; echo "      actual:   $2"
    fi
}

# The three arguments every script here starts with: the Windows programs'
# folder (bin), the card to copy (card_source) and the folder for what the
# run leaves (out, made when missing). The script must run inside
# scripts/wine-session.sh.
take_common_arguments() {
    bin=$(cd "$1" && pwd)
    card_source=$(cd "$2" && pwd)
    out=$(mkdir -p "$3" && cd "$3" && pwd)
    : "${WINEPREFIX:?run inside scripts/wine-session.sh}" "${DISPLAY:?}"
}

# The driver (see driver.cpp) answers through a loop that a script starts
# with driver_start: one Wine start for the whole script, where a start per
# command costs a fifth of a second, and a second under qemu. Its pipes are
# plain descriptors, so the commands work inside $(...) too. Without the loop
# each command starts the driver anew.
driver_start() {
    local pipes
    pipes=$(mktemp -d)
    mkfifo "$pipes/in" "$pipes/out"
    "$wine64" "$bin/kro_e2e_driver.exe" serve <"$pipes/in" >"$pipes/out" 2>/dev/null &
    driver_pid=$!
    exec {driver_to}>"$pipes/in" {driver_from}<"$pipes/out"
    rm -rf "$pipes"
    trap driver_stop EXIT
}

driver_stop() {
    [ -n "${driver_pid:-}" ] || return 0
    exec {driver_to}>&- {driver_from}<&-
    kill "$driver_pid" 2>/dev/null
    wait "$driver_pid" 2>/dev/null
    driver_pid=""
}

# Closes the loop's pipes in a process about to start a program that may
# outlive the command, so that it never holds them.
without_driver_pipes() {
    [ -z "${driver_pid:-}" ] || exec {driver_to}>&- {driver_from}<&-
}

# dr COMMAND ARGS...: runs one driver command; its output (carriage returns
# dropped, without the last newline) in DR_OUT, its status in DR_STATUS;
# false when no driver answered. Runs in the calling shell, so it can be
# used between draws of $RANDOM without disturbing them. A loop that does not
# answer is ended, and the command starts a driver of its own; in the
# script's own shell a new loop is started for the commands after it.
dr() {
    if [ -n "${driver_pid:-}" ]; then
        served "$@" && return 0
        echo "   the driver's loop did not answer '$*'; it is started again" >&2
        kill "$driver_pid" 2>/dev/null
        if [ "$BASH_SUBSHELL" -eq 0 ]; then driver_stop; driver_start; else driver_pid=""; fi
    fi
    # A driver that did not get to run its command (Wine, or qemu under the
    # i686 level, failed to start it: no "driver:" line and a failed status)
    # is started again, and that is said on standard error; its output is
    # never mistaken for an empty answer.
    local attempt tmp
    tmp=$(mktemp)
    for attempt in 1 2 3; do
        "$wine64" "$bin/kro_e2e_driver.exe" "$@" >"$tmp.out" 2>"$tmp.err"
        DR_STATUS=$?
        if [ "$DR_STATUS" -eq 0 ] || grep -q '^driver: ' "$tmp.err"; then break; fi
        echo "   the driver did not run '$*' (attempt $attempt, status $DR_STATUS): $(head -c 200 "$tmp.err")" >&2
        sleep 0.5
    done
    DR_OUT=$(tr -d '\r' <"$tmp.out"; echo .)
    DR_OUT=${DR_OUT%.}
    DR_OUT=${DR_OUT%$'\n'}
    rm -f "$tmp" "$tmp.out" "$tmp.err"
}

# One command through the loop: each command's output is followed by "\x04"
# and its status, on a line of its own unless the output did not end in one.
served() {
    local IFS=$'\t' line
    # A loop that has ended takes no command; the write fails in a subshell
    # of its own rather than the caller's (SIGPIPE).
    (printf '%s\n' "$*" >&"$driver_to") 2>/dev/null || return 1
    DR_OUT=""
    # Longer than any command through the loop waits (two minutes at most), so
    # a loop that hangs fails its command well before the test's own limit.
    while IFS= read -r -t 200 -u "$driver_from" line; do
        line=${line%$'\r'}
        if [[ "$line" == *$'\x04 '* ]]; then
            DR_OUT+=${line%%$'\x04 '*}
            DR_STATUS=${line##*$'\x04 '}
            DR_OUT=${DR_OUT%$'\n'}
            return 0
        fi
        DR_OUT+="$line"$'\n'
    done
    return 1
}

# Runs one driver command against the running program and prints its output.
drive() {
    dr "$@"
    [ -z "$DR_OUT" ] || printf '%s\n' "$DR_OUT"
}

# Posts the close to the main window. It is tried again only when it did not
# post (the driver could not start, or found no window), and that is said.
post_close() {
    local attempt
    for attempt in 1 2 3; do
        dr close && [ "$DR_STATUS" == 0 ] && return 0
        echo "   the driver did not post the close (attempt $attempt, status ${DR_STATUS:-none})"
        sleep 0.5
    done
    return 1
}

# Polls a driver command until it prints the wanted text (or the time is up).
wait_until() {  # wait_until MILLISECONDS WANTED COMMAND...
    local deadline=$(( $(date +%s%N) / 1000000 + $1 )) wanted=$2 value=""; shift 2
    while :; do
        value=$(drive "$@")
        [ "$value" == "$wanted" ] && break
        [ $(( $(date +%s%N) / 1000000 )) -ge "$deadline" ] && break
        sleep 0.2
    done
    printf '%s' "$value"
}

# Waits until list ID holds at least COUNT rows or MILLISECONDS have passed;
# prints how many it holds.
wait_rows() {  # wait_rows MILLISECONDS ID COUNT
    local deadline=$(( $(date +%s%N) / 1000000 + $1 )) rows
    while :; do
        rows=$(drive row-count "$2")
        [ "${rows:-0}" -ge "$3" ] || [ $(( $(date +%s%N) / 1000000 )) -ge "$deadline" ] && break
        sleep 0.2
    done
    echo "${rows:-0}"
}

# Closes the main window; prints yes when the process has ended within
# SECONDS, else no (and then ends it).
close_within() {  # close_within SECONDS
    local gone=no start_ns
    start_ns=$(date +%s%N)
    post_close >&2
    for _ in $(seq $(( $1 * 10 ))); do kill -0 "$program_pid" 2>/dev/null || { gone=yes; break; }; sleep 0.1; done
    # How long the close took, for the log (to the tenth of a second this
    # loop looks): never compared.
    echo "the close took $(( ($(date +%s%N) - start_ns) / 1000000 )) ms" >&2
    [ "$gone" == yes ] || kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
    echo "$gone"
}

# Installs the program with the device library beside it (the simulator, or
# the file `library` names), as a user would have it.
install_program() {
    install_dir="$WINEPREFIX/drive_c/KroFileList"
    export_dir="$WINEPREFIX/drive_c/ZiduvOra"
    rm -rf "$install_dir" "$export_dir"
    mkdir -p "$install_dir"
    cp "$bin/KroFileList.exe" "$install_dir/"
    if [ -f "$bin/KroFileListCLI.exe" ]; then cp "$bin/KroFileListCLI.exe" "$install_dir/"; fi
    # The device library's hosts, beside the programs that start them.
    for host in "$bin"/KroLibHost64.exe "$bin"/KroLibHost32.exe ${extra_hosts:-}; do
        if [ -f "$host" ]; then cp "$host" "$install_dir/"; fi
    done
    cp "${library:-$bin/KROLib.dll}" "$install_dir/KROLib.dll"
}

# Starts the installed program in the background; its pid in program_pid.
# What it and Wine print goes to program_log (when set), for a failure's
# reader.
start_program() {
    (cd "$install_dir" && without_driver_pipes && exec "$wine64" 'C:\KroFileList\KroFileList.exe' >>"${program_log:-/dev/null}" 2>&1) &
    program_pid=$!
}

# Waits until the program's main window shows or its process has ended:
# prints "window", else what ended it (its exit status) or "nothing" when
# MILLISECONDS went by.
wait_window_or_end() {  # wait_window_or_end MILLISECONDS
    local deadline=$(( $(date +%s%N) / 1000000 + $1 ))
    while [ $(( $(date +%s%N) / 1000000 )) -lt "$deadline" ]; do
        if [ "$(drive main-visible 2>/dev/null)" == 1 ]; then echo window; return; fi
        if ! kill -0 "$program_pid" 2>/dev/null; then
            wait "$program_pid" 2>/dev/null
            echo "ended with status $?"
            return
        fi
        sleep 0.2
    done
    echo nothing
}

# Runs the installed console twin like a user's script would, from its
# folder: its standard output in cli_out, standard error in cli_err, exit
# code in cli_code. (Run by wine64 without a console, its output reaches the
# Unix side as plain bytes.)
run_cli() {
    (cd "$install_dir" && exec "$wine64" 'C:\KroFileList\KroFileListCLI.exe' "$@") \
        >"$cli_tmp.out" 2>"$cli_tmp.err" </dev/null
    cli_code=$?
    cli_out=$(tr -d '\r' <"$cli_tmp.out")
    cli_err=$(tr -d '\r' <"$cli_tmp.err")
}
cli_tmp=$(mktemp -u)

# Prints the closing tally and fails when any check failed.
finish() {
    echo "$1: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
