#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: packages already present are skipped, and apt-get runs only when
# something is missing. A package index that fails to download is a warning,
# and no package is ever removed (scripts/apt-common.sh). Recommended packages come too: wine64 alone lacks the
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
    wixl msitools procps
    clang-14 libclang-rt-14-dev
)

here=$(cd "$(dirname "$0")" && pwd)
log_tag=install-deps
. "$here/apt-common.sh"

missing=()
for p in "${packages[@]}"; do
    apt_installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    apt_update
    apt_try_install "${missing[@]}" || apt_fail "${missing[*]}"
fi

"$here/install-i686.sh"
