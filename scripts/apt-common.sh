# Sourced by the install scripts: apt-get as a set-up script of ours uses it.
# - An index that fails to download is a warning, not the end: `apt-get
#   update` is tried a few times, and then whatever the good indexes offer is
#   used. What failed is remembered, to be named if an install cannot be done.
# - No install ever removes a package: every install is simulated first with
#   --no-remove, and one whose plan removes anything is refused.
# Callers set `log_tag` (the script's name, for messages) before sourcing.

apt_sudo=()
[ "$(id -u)" -eq 0 ] || apt_sudo=(sudo)
apt_failed_indexes=""

apt_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# apt_update [APT-GET OPTIONS...]: up to three tries, 10 s apart (a mirror in
# the middle of a sync mends itself); then goes on with a warning.
apt_update() {
    local try out
    for try in 1 2 3; do
        if out=$("${apt_sudo[@]}" apt-get "$@" update -qq 2>&1); then
            apt_failed_indexes=""
            return 0
        fi
        apt_failed_indexes=$(printf '%s\n' "$out" | sed -nE 's/^[EW]: Failed to fetch ([^ ]+) +(.*)/  \1: \2/p')
        [ -n "$apt_failed_indexes" ] || apt_failed_indexes=$(printf '%s\n' "$out" | sed 's/^/  /')
        [ "$try" -lt 3 ] && { echo "$log_tag: apt-get update failed (try $try of 3); again in 10 s" >&2; sleep 10; }
    done
    echo "$log_tag: warning: these package indexes could not be read; going on with the others:" >&2
    printf '%s\n' "$apt_failed_indexes" >&2
    return 0
}

# apt_try_install [APT-GET OPTIONS...] PACKAGE...: installs when apt finds a
# plan that removes nothing; otherwise returns 1 with apt's reasons in
# $apt_problem and leaves the machine as it was.
apt_problem=""
apt_try_install() {
    local plan
    if ! plan=$(apt-get install -s -y --no-remove "$@" 2>&1); then
        apt_problem=$(printf '%s\n' "$plan" | grep -E '^ |^E:' | head -40)
        return 1
    fi
    if printf '%s\n' "$plan" | grep -q '^Remv '; then
        apt_problem=$(printf '%s\n' "$plan" | grep '^Remv ')
        return 1
    fi
    DEBIAN_FRONTEND=noninteractive "${apt_sudo[@]}" apt-get install -y -qq --no-remove "$@" >/dev/null
}

# apt_fail WHAT: one clear message (what could not be installed, apt's
# reasons, the indexes that failed) and exit.
apt_fail() {
    {
        echo "$log_tag: could not install $1 without removing packages."
        echo "$log_tag: apt says:"
        printf '%s\n' "$apt_problem" | sed 's/^/    /'
        if [ -n "$apt_failed_indexes" ]; then
            echo "$log_tag: these package indexes failed to download, which is the likely cause:"
            printf '%s\n' "$apt_failed_indexes"
            echo "$log_tag: wait for the mirror to finish syncing (or pick another in /etc/apt/sources.list*), then run make again."
        else
            echo "$log_tag: bring the machine's packages up to date (apt-get upgrade), then run make again."
        fi
    } >&2
    exit 1
}
