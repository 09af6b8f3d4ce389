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
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if ! installed wine32:i386; then
    echo "install-i686: adding the i386 architecture and installing wine32:i386"
    dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        wine32:i386 >/dev/null
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
apt-get "${apt_private[@]}" update -qq
(cd "$work/deb" && apt-get "${apt_private[@]}" download -qq qemu-user)
dpkg-deb --fsys-tarfile "$work"/deb/qemu-user_*.deb | tar -x -C "$work/root" ./usr/bin/qemu-i386
if ! recent_enough "$work/root/usr/bin/qemu-i386"; then
    echo "install-i686: the backports' qemu-i386 is $(qemu_version "$work/root/usr/bin/qemu-i386"); 8.1 or later is needed" >&2
    exit 1
fi
"${sudo_cmd[@]}" install -D -m 0755 "$work/root/usr/bin/qemu-i386" "$qemu"
echo "install-i686: $("$qemu" --version | head -1)"
