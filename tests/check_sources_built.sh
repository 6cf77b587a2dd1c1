#!/usr/bin/env bash
# Every C++ source file of the tree is compiled by some target of the build: the build lists its sources
# by name, and a file left out of its folder's list would otherwise be silently missing (a test that
# never runs, a function that links from nowhere).
# Usage: tests/check_sources_built.sh SOURCE_DIR BUILD_DIR GUI BENCH FUZZ [MANUAL]   (each ON or OFF;
# MANUAL defaults to ON)
set -euo pipefail
source_dir=$1
build_dir=$2
on() { case "${1^^}" in ON | 1 | TRUE | YES) return 0 ;; *) return 1 ;; esac; }

commands="$build_dir/compile_commands.json"
[ -f "$commands" ] || { echo "no $commands"; exit 1; }

cd "$source_dir"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    sources=$(git ls-files '*.cpp')
else
    sources=$(find . -name '*.cpp' -not -path './build/*' | sed 's|^\./||')
fi

missing=0
for file in $sources; do
    case "$file" in
    build/*) continue ;;
    *_windows.cpp) continue ;;            # the Windows build's (scripts/build-windows)
    bench/*) on "$3" && on "$4" || continue ;;
    fuzz/*) on "$5" || continue ;;
    manual/*) on "$3" && on "${6:-ON}" || continue ;;
    app/* | pages/* | maintenance/* | link/* | logging/* | protocol/* | sim/controller/* | sim/*.cpp) on "$3" || continue ;;
    tests/app/* | tests/pages/* | tests/maintenance/* | tests/link/* | tests/protocol/*) on "$3" || continue ;;
    tests/sim/controller/* | tests/support/pty_pair.cpp | tests/support/window_main.cpp) on "$3" || continue ;;
    esac
    if ! grep -qF "\"file\": \"$source_dir/$file\"" "$commands"; then
        echo "not built by any target: $file"
        missing=1
    fi
done
[ $missing = 0 ] && echo "every source file is built"
exit $missing
