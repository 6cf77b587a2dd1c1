#!/usr/bin/env bash
# Checks the manual the build made, as a reader gets it: the PDF names the tool and its version on the
# title page, holds every chapter of the Markdown text with page numbers, is A4 with a sane number of
# pages, and renders; every picture the text names was taken and shows something. Then make_manual's
# refusals: an empty text, and a text that names a picture that is not there.
# Usage: tests/manual/check_manual.sh MARKDOWN PICTURES PDF VERSION MAKE_MANUAL
set -euo pipefail
markdown=$1
pictures=$2
pdf=$3
version=$4
make_manual=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
problem() {
    echo "$*"
    fail=1
}
# Runs of spaces and line ends as one space (headings may wrap, pdftotext spaces words its own way), and
# the font's ligatures as their letters.
flat() { tr -s ' \n\f' '   ' | sed 's/ﬁ/fi/g; s/ﬂ/fl/g'; }

pdftotext "$pdf" "$work/all.txt"
pdftotext -f 1 -l 1 "$pdf" - | sed 's/ﬁ/fi/g; s/ﬂ/fl/g' >"$work/title.txt"
flat <"$work/all.txt" >"$work/all.flat"

grep -qx "q5 Controller PC App" "$work/title.txt" || problem "the title page has no title"
grep -q "version $version" "$work/title.txt" || problem "the title page does not name version $version"

# The chapters, outside code blocks, without the Markdown's emphasis and code marks.
chapters=$(awk '/^```/ { code = !code; next } !code && /^# / { sub(/^# +/, ""); gsub(/[*`]/, ""); print }' "$markdown")
[ -n "$chapters" ] || problem "no chapter (# heading) in $markdown"
while IFS= read -r chapter; do
    [ -n "$chapter" ] || continue
    grep -qF -- "$chapter" "$work/all.flat" || problem "chapter missing from the PDF: $chapter"
    grep -qF -- "$chapter" "$work/title.txt" || problem "chapter missing from the contents: $chapter"
done <<<"$chapters"

info=$(pdfinfo "$pdf")
pages=$(sed -n 's/^Pages: *//p' <<<"$info")
count=$(grep -c . <<<"$chapters" || true)
if [ -z "$pages" ] || [ "$pages" -le "$count" ] || [ "$pages" -gt 200 ]; then
    problem "implausible page count for $count chapters: ${pages:-none}"
fi
grep -q '^Page size:.*(A4)' <<<"$info" || problem "not A4: $(grep '^Page size' <<<"$info")"
grep -q "^Title: *q5 Controller PC App$" <<<"$info" || problem "the PDF's title is not q5 Controller PC App"
grep -qF "Page 2 of $pages" "$work/all.flat" || problem "no page number in the footer"

pdftoppm -png -r 20 "$pdf" "$work/page"
rendered=$(find "$work" -name 'page-*.png' | wc -l)
[ "$rendered" = "$pages" ] || problem "pdftoppm rendered $rendered of $pages pages"

# The pictures: each a PNG the size of a window or a dialog, with more than a handful of colours.
names=$(grep -o '!\[[^]]*\]([^)]*)' "$markdown" | sed 's/.*(\(.*\))/\1/' | sort -u)
[ -n "$names" ] || problem "no picture named in $markdown"
for name in $names; do
    file="$pictures/$(basename "$name")"
    if [ ! -f "$file" ]; then
        problem "picture not taken: $file"
        continue
    fi
    read -r kind width height colours <<<"$(identify -format '%m %w %h %k' "$file")"
    if [ "$kind" != PNG ] || [ "$width" -lt 300 ] || [ "$height" -lt 150 ] || [ "$colours" -le 16 ]; then
        problem "implausible picture $file: $kind ${width}x$height, $colours colours"
    fi
done

# make_manual refuses an empty text and a missing picture with status 1, and writes nothing.
printf ' \n\n' >"$work/empty.md"
printf '# Chapter\n\n![Gone](pictures/gone.png)\n' >"$work/gone.md"
for text in empty gone; do
    status=0
    "$make_manual" "$work/$text.md" "$pictures" "$work/$text.pdf" 2>"$work/$text.err" || status=$?
    [ "$status" = 1 ] || problem "make_manual with the $text text: status $status"
    [ ! -e "$work/$text.pdf" ] || problem "make_manual with the $text text wrote a PDF"
done
grep -qx "make_manual: $work/empty.md is empty" "$work/empty.err" || problem "empty text: $(cat "$work/empty.err")"
grep -qx "make_manual: pictures missing or unreadable: $pictures/gone.png" "$work/gone.err" ||
    problem "missing picture: $(cat "$work/gone.err")"

[ $fail = 0 ] && echo "manual: $pages pages, $count chapters, $(wc -w <<<"$names") pictures"
exit $fail
