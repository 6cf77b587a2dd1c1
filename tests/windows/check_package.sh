#!/usr/bin/env bash
# Checks the Windows zip that scripts/build-windows packs: it holds q5tool.exe,
# fw_update.exe, README.txt (every line ended by CRLF) and, when the build was
# given the manual (MANUAL, Q5_MANUAL_PDF), that manual as
# "q5 Controller PC App.pdf", and nothing else; the packed (stripped) programs
# print the same help and version as the ones in the build.
# Usage: tests/windows/check_package.sh BUILD WINE_RUN [MANUAL]
set -euo pipefail
build=$1
wine_run=$2
manual=${3:-}
zip=$(ls "$build"/q5tool-*-win64.zip 2>/dev/null | head -n 1 || true)
if [ -z "$zip" ]; then
    echo "no q5tool-<version>-win64.zip in $build: scripts/build-windows (or cpack in $build) makes it"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

expected="README.txt|fw_update.exe|q5tool.exe|"
[ -z "$manual" ] || expected="README.txt|fw_update.exe|q5 Controller PC App.pdf|q5tool.exe|"
contents=$(cd "$work" && cmake -E tar tf "$zip" | LC_ALL=C sort | tr '\n' '|')
if [ "$contents" != "$expected" ]; then
    echo "unexpected contents of $(basename "$zip"): $contents"
    exit 1
fi
(cd "$work" && cmake -E tar xf "$zip")
if [ -n "$manual" ] && ! cmp -s "$work/q5 Controller PC App.pdf" "$manual"; then
    echo "the zip's manual is not $manual"
    exit 1
fi
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
for option in --help --version; do
    "$wine_run" "$work/q5tool.exe" $option >"$work/packed.txt"
    "$wine_run" "$build/q5tool.exe" $option >"$work/built.txt"
    if ! cmp -s "$work/packed.txt" "$work/built.txt" || [ ! -s "$work/built.txt" ]; then
        echo "the packed q5tool.exe answers $option otherwise than the built one"
        exit 1
    fi
done
echo "$(basename "$zip"): $contents"
