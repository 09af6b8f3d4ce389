#!/usr/bin/env bash
# Makes the Windows packages, one zip per architecture:
#   scripts/dist.sh BUILD_DIR
# Each zip holds KroFileList/ with the program, its console twin
# (KroFileListCLI.exe), README and licence, and KroFileList/demo/ with the
# simulator KROLib.dll, the demo card and a script that runs the program on
# it.
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
    cp "$root/README.md" "$stage/KroFileList/README.md"
    cp "$root/LICENSE" "$stage/KroFileList/LICENSE.txt"
    cp "$tree/bin/KROLib.dll" "$stage/KroFileList/demo/"
    cp -r "$build/native/demo-card" "$stage/KroFileList/demo/card"
    cp "$root/dist/run-demo.cmd" "$root/dist/DEMO.txt" "$stage/KroFileList/demo/"
    zip_file="$build/dist/KroFileList-$version-$name.zip"
    rm -f "$zip_file"
    (cd "$stage" && zip -qr -X "$zip_file" KroFileList)
    rm -rf "$stage"
    echo "dist: $zip_file"
done
