# Shared by the end-to-end scripts: the checks' tally and the driver.
# Source it after setting `bin` (the folder holding kro_e2e_driver.exe).

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

# Runs one driver command against the running program (see driver.cpp).
drive() { "$wine64" "$bin/kro_e2e_driver.exe" "$@" 2>/dev/null | tr -d '\r'; }

# Installs the program with the simulator beside it, as a user would have it.
install_program() {
    install_dir="$WINEPREFIX/drive_c/KroFileList"
    export_dir="$WINEPREFIX/drive_c/ZiduvOra"
    rm -rf "$install_dir" "$export_dir"
    mkdir -p "$install_dir"
    cp "$bin/KroFileList.exe" "$bin/KROLib.dll" "$install_dir/"
}

# Starts the installed program in the background; its pid in program_pid.
start_program() {
    (cd "$install_dir" && exec "$wine64" 'C:\KroFileList\KroFileList.exe' >/dev/null 2>&1) &
    program_pid=$!
}

# Prints the closing tally and fails when any check failed.
finish() {
    echo "$1: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
