#!/usr/bin/env bash
# Makes the Windows packages: one zip per architecture, and an installer
# for 64-bit Windows:
#   scripts/dist.sh BUILD_DIR
# Each zip holds KroFileList/ with the program, its console twin
# (KroFileListCLI.exe), the device library's hosts, README and licence, and
# KroFileList/demo/ with a copy of the program and its host beside the
# simulator KROLib.dll, the demo card and a script that runs that copy on it
# (the program loads a library only from its own folder or the system's). The installer (KroFileList-VERSION-x86_64.msi,
# made by wixl from dist/KroFileList.wxs) installs the x86_64 program, the
# twin and both hosts per machine into Program Files; no simulator.
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -nE 's/^project\(KroFileList VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
mkdir -p "$build/dist"

for arch in x86_64:win64 i686:win32; do
    name=${arch%%:*}
    tree=$build/${arch##*:}
    stage=$(mktemp -d)
    mkdir -p "$stage/KroFileList/demo"
    cp "$tree/bin/KroFileList.exe" "$tree/bin/KroFileListCLI.exe" "$stage/KroFileList/"
    # The library's hosts: the x86_64 package carries both, so that it
    # serves a 32-bit library as well as a 64-bit one; the i686 package,
    # for 32-bit Windows, the 32-bit one.
    cp "$build/win32/bin/KroLibHost32.exe" "$stage/KroFileList/"
    if [ "$name" == x86_64 ]; then cp "$tree/bin/KroLibHost64.exe" "$stage/KroFileList/"; fi
    cp "$root/README.md" "$stage/KroFileList/README.md"
    cp "$root/LICENSE" "$stage/KroFileList/LICENSE.txt"
    host=KroLibHost64.exe
    if [ "$name" == i686 ]; then host=KroLibHost32.exe; fi
    cp "$tree/bin/KroFileList.exe" "$tree/bin/$host" "$tree/bin/KROLib.dll" "$stage/KroFileList/demo/"
    cp -r "$build/native/demo-card" "$stage/KroFileList/demo/card"
    cp "$root/dist/run-demo.cmd" "$root/dist/DEMO.txt" "$stage/KroFileList/demo/"
    zip_file="$build/dist/KroFileList-$version-$name.zip"
    rm -f "$zip_file"
    (cd "$stage" && zip -qr -X "$zip_file" KroFileList)
    rm -rf "$stage"
    echo "dist: $zip_file"
done

stage=$(mktemp -d)
cp "$build/win64/bin/KroFileList.exe" "$build/win64/bin/KroFileListCLI.exe" "$build/win64/bin/KroLibHost64.exe" \
    "$build/win32/bin/KroLibHost32.exe" "$root/README.md" "$stage/"
cp "$root/LICENSE" "$stage/LICENSE.txt"
msi_file="$build/dist/KroFileList-$version-x86_64.msi"
rm -f "$msi_file"
# wixl finds the files named in the source in the folder it runs in; GLib's
# warnings about attributes it does not know are not ours.
(cd "$stage" && wixl -a x64 -D Version="$version" -o "$msi_file" "$root/dist/KroFileList.wxs" 2>&1 | grep -v -e '^$' -e GLib- >&2 || true)
rm -rf "$stage"
[ -f "$msi_file" ] || { echo "dist: wixl made no installer" >&2; exit 1; }
echo "dist: $msi_file"
