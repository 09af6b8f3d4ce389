#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: packages already present are skipped, and apt-get runs only when
# something is missing. Recommended packages come too: wine64 alone lacks the
# wineserver and winepath commands of the `wine` package (named here as well).
# Then scripts/install-i686.sh readies the machine for the 32-bit program's
# tests (32-bit Wine, and qemu-i386 where the kernel needs it).
set -euo pipefail

packages=(
    cmake ninja-build make g++ pkg-config
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    googletest
    wine wine64 xvfb x11-utils xdotool imagemagick fonts-nanum locales zip unzip
    libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3
    ffmpeg libjpeg62-turbo-dev
    clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

"$(dirname "$0")/install-i686.sh"
