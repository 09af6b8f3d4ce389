#!/usr/bin/env bash
# Runs a command inside a throwaway Wine session:
#   scripts/wine-session.sh [--user-display] [--i686] STATE_DIR -- COMMAND...
# - a Wine prefix copied fresh from a template kept in STATE_DIR (the template
#   is made once: wineboot, Hangul font substitution, unmanaged windows); two
#   sessions at once over one STATE_DIR need distinct KRO_WINE_PREFIX_NAMEs;
# - the ANSI code page 949 (Korean), through a locale compiled into STATE_DIR;
# - a private Xvfb display, unless --user-display is given and DISPLAY is set;
# - afterwards wineserver is shut down and only what was started is stopped.
# With --i686 the session also runs 32-bit programs: everything runs through
# scripts/i386-namespace.sh, and the template is booted there, since a prefix
# booted where 32-bit code cannot run never gets its 32-bit system files.
# Give such a session its own STATE_DIR.
set -euo pipefail

arguments=("$@")
use_user_display=0
i686=0
while :; do
    case "${1:-}" in
    --user-display) use_user_display=1; shift ;;
    --i686) i686=1; shift ;;
    *) break ;;
    esac
done
if [ "$i686" -eq 1 ] && [ -z "${KRO_I686_SESSION:-}" ]; then
    export KRO_I686_SESSION=1
    exec "$(dirname "$0")/i386-namespace.sh" "$0" "${arguments[@]}"
fi
state_dir=$(mkdir -p "$1" && cd "$1" && pwd); shift
[ "${1:-}" = "--" ] && shift

wine64=/usr/lib/wine/wine64
template="$state_dir/template"
prefix="$state_dir/${KRO_WINE_PREFIX_NAME:-prefix}"

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Wine's helper commands through the 64-bit loader (see wine-tools/).
export PATH="$(cd "$(dirname "$0")" && pwd)/wine-tools:$PATH"

# Sessions that share STATE_DIR (each with its own KRO_WINE_PREFIX_NAME)
# make its locale and template once, one after the other.
exec 9>"$state_dir/.template-lock"
flock 9

# Code page 949 needs a compiled ko_KR locale; without it GetACP() stays 1252.
if [ ! -d "$state_dir/locale/ko_KR.UTF-8" ]; then
    mkdir -p "$state_dir/locale"
    localedef -i ko_KR -f UTF-8 "$state_dir/locale/ko_KR.UTF-8" 2>/dev/null || true
fi
export LOCPATH="$state_dir/locale"
export LANG=ko_KR.UTF-8
unset LC_ALL

xvfb_pid=""
cleanup() {
    if [ -d "$prefix" ]; then
        WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
        WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

if [ "$use_user_display" -eq 0 ] || [ -z "${DISPLAY:-}" ]; then
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
    xvfb_pid=$!
    read -r display_number <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$display_number"
fi

# A 32-bit session needs the 32-bit system files the boot puts in syswow64.
template_ready() {
    [ -f "$template/.ready-2" ] &&
        { [ "$i686" -eq 0 ] || [ -f "$template/drive_c/windows/syswow64/kernel32.dll" ]; }
}
if ! template_ready; then
    rm -rf "$template"
    WINEPREFIX="$template" "$wine64" wineboot -i >/dev/null 2>&1 || true
    reg() { WINEPREFIX="$template" "$wine64" reg add "$@" /f >/dev/null 2>&1; }
    # Wine's dialog font has no Hangul: map the dialog fonts to NanumGothic.
    subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
    reg "$subst" /v "MS Shell Dlg" /d NanumGothic
    reg "$subst" /v "MS Shell Dlg 2" /d NanumGothic
    # No Arial either (the lists' font): a proportional face, as on Windows.
    reg "$subst" /v "Arial" /d NanumGothic
    # Without a window manager, unmanaged windows avoid a 2 s delay at exit.
    reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
    WINEPREFIX="$template" wineserver -k 2>/dev/null || true
    WINEPREFIX="$template" wineserver -w 2>/dev/null || true
    touch "$template/.ready-2"
fi
flock -u 9
exec 9>&-

rm -rf "$prefix"
cp -a "$template" "$prefix"
export WINEPREFIX="$prefix"

# A server that stays for the whole session, its services already up.
# Otherwise the first program of the command starts them, they keep that
# program's output open, and whoever reads it (CTest) waits for the server
# to linger out its 3 s after each program, then boots it again for the next.
wineserver -p >/dev/null 2>&1 </dev/null
"$wine64" wineboot >/dev/null 2>&1 </dev/null || true

set +e
"$@"
status=$?
set -e
exit $status
