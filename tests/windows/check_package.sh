#!/usr/bin/env bash
# Checks the Windows zip that scripts/build-windows packs: it holds
# fw_update.exe and README.txt (every line ended by CRLF) and nothing else,
# and the packed (stripped) program prints the same help as the one in the
# build.
set -euo pipefail
build=$1
wine_run=$2
zip=$(ls "$build"/fw_update-*-win64.zip 2>/dev/null | head -n 1 || true)
if [ -z "$zip" ]; then
    echo "no fw_update-<version>-win64.zip in $build: scripts/build-windows (or cpack in $build) makes it"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

contents=$(cd "$work" && cmake -E tar tf "$zip" | sort | tr '\n' ' ')
if [ "$contents" != "README.txt fw_update.exe " ]; then
    echo "unexpected contents of $(basename "$zip"): $contents"
    exit 1
fi
(cd "$work" && cmake -E tar xf "$zip")
if grep -q $'[^\r]$' "$work/README.txt" || grep -q '^$' "$work/README.txt" || [ ! -s "$work/README.txt" ]; then
    echo "README.txt has lines not ended by CRLF"
    exit 1
fi
"$wine_run" "$work/fw_update.exe" -h >"$work/packed.txt"
"$wine_run" "$build/fw_update.exe" -h >"$work/built.txt"
if ! cmp -s "$work/packed.txt" "$work/built.txt" || [ ! -s "$work/built.txt" ]; then
    echo "the packed fw_update.exe prints another help than the built one"
    exit 1
fi
echo "$(basename "$zip"): $contents"
