#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks the installed tree: both
# programs run from it, and the desktop entry, icon, udev rules and
# documentation are where the desktop and udev look for them.
set -euo pipefail
build=$1
with_window=${2:-1}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
expect() {
    if [ ! -e "$prefix/$1" ]; then
        echo "missing: $1"
        fail=1
    fi
}
expect bin/fw_update
expect lib/udev/rules.d/70-q5-controller.rules
expect share/doc/q5tool/README.md
if [ "$with_window" = 1 ]; then
    expect bin/q5tool
    expect share/applications/q5tool.desktop
    expect share/icons/hicolor/scalable/apps/q5tool.svg
fi

out=$("$prefix/bin/fw_update" -h)
case "$out" in
    "USAGE:"*) ;;
    *) echo "fw_update -h from the installed tree printed: $out"; fail=1 ;;
esac
exit $fail
