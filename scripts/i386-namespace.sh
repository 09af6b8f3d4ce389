#!/usr/bin/env bash
# Runs a command where 32-bit x86 Linux programs (such as 32-bit Wine) execute:
#   scripts/i386-namespace.sh COMMAND...
#   scripts/i386-namespace.sh --native    exit 0 when the kernel runs them itself
#   scripts/i386-namespace.sh --qemu      print the emulator's path
# When the kernel runs 32-bit code, COMMAND simply runs. Otherwise COMMAND runs
# in a private user and mount namespace whose own binfmt_misc (Linux >= 6.7
# gives each user namespace one) hands i386 programs to the qemu-i386 that
# scripts/install-i686.sh keeps in the project's cache. Nothing on the machine
# changes and no other process sees the handler.
set -euo pipefail

cache=${KRO_I686_CACHE:-/var/cache/krofilelist}
qemu="$cache/qemu-i386"

# True when an i386 ELF runs without our help: the kernel executes it, and no
# machine-wide binfmt handler (perhaps an emulator too old for Wine) takes it.
runs_natively() {
    local loader
    for loader in /lib/ld-linux.so.2 /usr/lib/i386-linux-gnu/ld-linux.so.2; do
        [ -e "$loader" ] && break
    done
    [ -e "$loader" ] || return 1
    if [ -d /proc/sys/fs/binfmt_misc ] &&
        grep -lqs '^magic 7f454c4601010100000000000000000002000300' /proc/sys/fs/binfmt_misc/* 2>/dev/null; then
        return 1
    fi
    "$loader" --version >/dev/null 2>&1
}

case "${1:-}" in
--native) runs_natively; exit ;;
--qemu) echo "$qemu"; exit ;;
"") echo "usage: $0 COMMAND..." >&2; exit 2 ;;
esac

# Already inside (a nested call): nothing more to set up.
if [ -n "${KRO_I386_NAMESPACE:-}" ] || runs_natively; then
    exec "$@"
fi

if [ ! -x "$qemu" ]; then
    echo "i386-namespace: no emulator at $qemu; run scripts/install-i686.sh" >&2
    exit 1
fi

# The usual qemu-i386 entry: ELF class 32, little-endian, machine 3 (i386),
# executables and shared objects. Flag F opens the emulator now, so it is
# found whatever the namespace later mounts or changes.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
export KRO_I386_NAMESPACE=1 KRO_I386_QEMU="$qemu" KRO_I386_ENTRY=":kro-i386:M::$magic:$mask:$qemu:F"

exec unshare --user --map-root-user --mount --fork bash -c '
    set -e
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    printf "%s" "$KRO_I386_ENTRY" >/proc/sys/fs/binfmt_misc/register
    exec "$@"' i386-namespace "$@"
