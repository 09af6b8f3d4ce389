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

# Runs one driver command against the running program (see driver.cpp). A
# driver that did not get to run its command (Wine, or qemu under the i686
# level, failed to start it: no "driver:" line and a failed status) is
# started again, and that is said on standard error; its output is never
# mistaken for an empty answer.
drive() {
    local attempt status tmp
    tmp=$(mktemp)
    for attempt in 1 2 3; do
        "$wine64" "$bin/kro_e2e_driver.exe" "$@" >"$tmp.out" 2>"$tmp.err"
        status=$?
        if [ "$status" -eq 0 ] || grep -q '^driver: ' "$tmp.err"; then break; fi
        echo "   the driver did not run '$*' (attempt $attempt, status $status): $(head -c 200 "$tmp.err")" >&2
        sleep 0.5
    done
    tr -d '\r' <"$tmp.out"
    rm -f "$tmp" "$tmp.out" "$tmp.err"
}

# Posts the close to the main window. The driver is started again only when
# it did not post (it could not start, or found no window), and says so.
post_close() {
    local attempt error
    for attempt in 1 2 3; do
        error=$("$wine64" "$bin/kro_e2e_driver.exe" close 2>&1 >/dev/null) && return 0
        echo "   the driver did not post the close (attempt $attempt): ${error:-exit status only}"
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
    (cd "$install_dir" && exec "$wine64" 'C:\KroFileList\KroFileList.exe' >>"${program_log:-/dev/null}" 2>&1) &
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
