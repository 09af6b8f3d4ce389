#!/usr/bin/env bash
# Prepares the machine to run the 32-bit (i686) Windows program under test:
# 1. 32-bit Wine: the i386 architecture added to dpkg and wine32:i386
#    installed. While it is installed /usr/bin/wine starts the 32-bit loader;
#    the project calls /usr/lib/wine/wine64 directly, which hands 32-bit
#    programs to that loader itself.
# 2. Where the kernel cannot execute 32-bit code: a qemu-i386 of version 8.1 or
#    later (older ones ignore MAP_FIXED_NOREPLACE and 32-bit Wine cannot map
#    its shared user data), taken from the distribution's backports with a
#    private apt configuration, so the machine's sources stay as they are. It
#    is kept in the project's cache, not in /usr/bin, where it would clash
#    with a packaged qemu-user. scripts/i386-namespace.sh registers it.
# Idempotent: a step whose result is already there is skipped.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
qemu=$("$here/i386-namespace.sh" --qemu)
log_tag=install-i686
. "$here/apt-common.sh"

# Multi-Arch: same libraries must be of one version on both architectures.
# When an index of one architecture failed (or an amd64 version came from a
# suite the i386 side cannot read), the i386 side cannot follow the amd64 one.
# Prints "P:amd64=V P:i386=V" for each such library among wine32's
# dependencies, V being the newest version that the readable indexes offer for
# both, or "none: ..." for a library with no such version. Four queries in
# all: one per package would take minutes.
matching_pins() {
    local names same
    names=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances wine32:i386 2>/dev/null | sed -nE 's/^([^ <][^ ]*):i386$/\1/p' | sort -u)
    # shellcheck disable=SC2046 # one word per package
    same=$(apt-cache show $(sed 's/$/:i386/' <<<"$names") 2>/dev/null |
        awk '/^Package:/ { p = $2 } /^Multi-Arch: same/ { print p }' | sort -u)
    [ -n "$same" ] || return 0
    # shellcheck disable=SC2046
    awk -F' *[|] *' '
        FILENAME == "-" { installed[$1] = $2; next }
        { split($3, w, " "); name = $1; sub(/^ +/, "", name); sub(/:.*/, "", name)
          offered[name, w[3]] = offered[name, w[3]] " " $2 " " }
        END {
            for (p in installed) {
                v = installed[p]
                if (index(offered[p, "i386"], " " v " ")) continue
                n = split(offered[p, "amd64"], a, " "); best = ""
                for (i = 1; i <= n; i++)
                    if (index(offered[p, "i386"], " " a[i] " ") && (best == "" || newer(a[i], best))) best = a[i]
                if (best != "") print p ":amd64=" best " " p ":i386=" best
                else print "none: " p " is installed at " v " for amd64, and no version of it is offered for both amd64 and i386"
            }
        }
        function newer(x, y) { return system("dpkg --compare-versions \"" x "\" gt \"" y "\"") == 0 }
    ' - <(apt-cache madison $(sed 's/$/:i386/' <<<"$same") $(sed 's/$/:amd64/' <<<"$same") 2>/dev/null) \
        < <(dpkg-query -W -f='${Package} | ${Version} | ${db:Status-Abbrev}\n' $(sed 's/$/:amd64/' <<<"$same") 2>/dev/null |
            awk -F' [|] ' '$3 ~ /^ii/ { print $1 " | " $2 }')
}

if ! apt_installed wine32:i386; then
    echo "install-i686: adding the i386 architecture and installing wine32:i386"
    dpkg --print-foreign-architectures | grep -qx i386 || "${apt_sudo[@]}" dpkg --add-architecture i386
    apt_update
    if ! apt_try_install --no-install-recommends wine32:i386; then
        pins=$(matching_pins)
        [ -n "$pins" ] || apt_fail wine32:i386
        if grep -q '^none: ' <<<"$pins"; then
            apt_problem=$(sed -n 's/^none: //p' <<<"$pins")
            apt_fail "wine32:i386 (its libraries' versions cannot be matched)"
        fi
        # From the release's own suite, so that what depends on a matched
        # library exactly (its -dev package, say) can follow it; each matched
        # library named on both architectures.
        . /etc/os-release
        echo "install-i686: from ${VERSION_CODENAME}, with these libraries matched on both architectures"
        echo "install-i686: (the newest version both offer; apt-get upgrade lifts them once every index reads):"
        printf '%s\n' "$pins" | sed 's/^/    /'
        # shellcheck disable=SC2046 # one word per package
        apt_try_install -t "$VERSION_CODENAME" --no-install-recommends --allow-downgrades wine32:i386 \
            $(printf '%s\n' "$pins") || apt_fail wine32:i386
    fi
fi

if "$here/i386-namespace.sh" --native; then
    exit 0
fi

# Prints the emulator's version as MAJOR.MINOR, or nothing if it cannot run.
qemu_version() { "$1" --version 2>/dev/null | sed -nE '1s/.*version ([0-9]+\.[0-9]+).*/\1/p'; }
recent_enough() {
    local v
    v=$(qemu_version "$1")
    [ -n "$v" ] && [ "$(printf '%s\n8.1\n' "$v" | sort -V | head -1)" = "8.1" ]
}

if [ -x "$qemu" ] && recent_enough "$qemu"; then
    exit 0
fi

echo "install-i686: fetching qemu-i386 from the backports into $(dirname "$qemu")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. /etc/os-release
arch=$(dpkg --print-architecture)
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/parts" "$work/deb" "$work/root"
# The machine's own Debian mirror, as its apt sources name it.
mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '/^URIs:/ { print $2 }' | grep -v security | head -1)
[ -n "$mirror" ] || mirror=$(grep -hE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    grep -v security | awk '{ for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' | head -1)
[ -n "$mirror" ] || { echo "install-i686: no Debian mirror in the apt sources" >&2; exit 1; }
echo "deb [arch=$arch signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
    "$mirror ${VERSION_CODENAME}-backports main" >"$work/sources.list"
# Only this private list is read and written; the machine's apt state is left alone.
apt_private=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work/parts"
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o "APT::Sandbox::User=$(id -un)")
apt_update "${apt_private[@]}"
(cd "$work/deb" && apt-get "${apt_private[@]}" download -qq qemu-user)
dpkg-deb --fsys-tarfile "$work"/deb/qemu-user_*.deb | tar -x -C "$work/root" ./usr/bin/qemu-i386
if ! recent_enough "$work/root/usr/bin/qemu-i386"; then
    echo "install-i686: the backports' qemu-i386 is $(qemu_version "$work/root/usr/bin/qemu-i386"); 8.1 or later is needed" >&2
    exit 1
fi
"${apt_sudo[@]}" install -D -m 0755 "$work/root/usr/bin/qemu-i386" "$qemu"
echo "install-i686: $("$qemu" --version | head -1)"
