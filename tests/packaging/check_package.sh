#!/usr/bin/env bash
# Makes the Debian package of a build with cpack and checks it as a
# distribution would: lintian finds no error (its warnings are listed), the
# AppStream metadata in the package is valid together with the desktop entry
# it launches, the changelog, that metadata and the manual pages name the
# package's version, and the tool's manual (when the build makes it) is where
# the Documentation page looks.
# Usage: tests/packaging/check_package.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! (cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1); then
    cat "$work/cpack.log"
    echo "package: cpack failed"
    exit 1
fi
deb=$(echo "$work"/package/*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "package: $(basename "$deb")"
fail=0

# lintian says so when run as root; its findings go to standard output.
if ! lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>"$work/lintian.err"; then
    cat "$work/lintian.err"
    fail=1
fi
echo "lintian: $(grep -c '^E:' "$work/lintian.log" || true) errors, $(grep -c '^W:' "$work/lintian.log" || true) warnings"
grep -E '^[EW]:' "$work/lintian.log" || true

dpkg-deb -x "$deb" "$work/root"
if ! appstreamcli validate-tree --no-net "$work/root" >"$work/appstream.log" 2>&1; then
    cat "$work/appstream.log"
    fail=1
fi
echo "appstream: $(tail -n 1 "$work/appstream.log")"

same_version() { # what, version found
    if [ "$2" != "$version" ]; then
        echo "$1 names version \"$2\", the package is $version"
        fail=1
    fi
}
same_version changelog "$(zcat "$work/root/usr/share/doc/q5tool/changelog.gz" | sed -n '1s/^[^(]*(\([^)]*\)).*/\1/p')"
for metainfo in "$work"/root/usr/share/metainfo/*.metainfo.xml; do
    same_version "$(basename "$metainfo")" "$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)"
done
for page in "$work"/root/usr/share/man/man1/*.gz; do
    same_version "$(basename "$page")" "$(zcat "$page" | sed -n 's/^\.TH .*"q5tool \([^"]*\)".*/\1/p')"
done
if grep -qx 'Q5_GUI:BOOL=ON' "$build/CMakeCache.txt" && grep -qx 'Q5_MANUAL:BOOL=ON' "$build/CMakeCache.txt"; then
    manual="usr/share/q5tool/documents/q5 Controller PC App.pdf"
    if ! pdfinfo "$work/root/$manual" >/dev/null 2>&1; then
        echo "the package holds no readable $manual"
        fail=1
    fi
fi
exit $fail
