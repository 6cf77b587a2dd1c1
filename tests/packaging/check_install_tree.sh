#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks the installed tree: both
# programs run from it, and the manual pages, desktop entry, icon, AppStream
# metadata, udev rules and documentation are where man, the desktop, software
# centres and udev look for them; the tool's manual, when the build made it, is
# where the Documentation page looks (bin/../share/q5tool/documents).
# Usage: tests/packaging/check_install_tree.sh BUILD [WITH_WINDOW [WITH_MANUAL]]   (1 or 0)
set -euo pipefail
build=$1
with_window=${2:-1}
with_manual=${3:-0}
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
expect share/doc/q5tool/copyright
expect share/doc/q5tool/changelog.gz
expect share/man/man1/fw_update.1.gz
if [ "$with_window" = 1 ]; then
    expect bin/q5tool
    expect share/applications/q5tool.desktop
    expect share/icons/hicolor/scalable/apps/q5tool.svg
    expect share/man/man1/q5tool.1.gz
    expect share/metainfo/example.q5tool.q5tool.metainfo.xml
fi
if [ "$with_manual" = 1 ]; then
    manual="share/q5tool/documents/q5 Controller PC App.pdf"
    expect "$manual"
    if [ -e "$prefix/$manual" ] && ! cmp -s "$prefix/$manual" "$build/q5 Controller PC App.pdf"; then
        echo "installed: a manual other than the build's"
        fail=1
    fi
fi

out=$("$prefix/bin/fw_update" -h)
case "$out" in
    "USAGE:"*) ;;
    *) echo "fw_update -h from the installed tree printed: $out"; fail=1 ;;
esac
if [ "$with_window" = 1 ]; then
    # Answered without a display.
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/q5tool" --version)
    case "$out" in
        "q5tool "[0-9]*) ;;
        *) echo "q5tool --version from the installed tree printed: $out"; fail=1 ;;
    esac
fi
for page in "$prefix"/share/man/man1/*.gz; do
    gzip -t "$page" || { echo "damaged: $page"; fail=1; }
done
exit $fail
