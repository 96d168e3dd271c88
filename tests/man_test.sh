#!/usr/bin/env bash
# The manual page renders without warnings, carries the project's version,
# and documents under DIAGNOSTICS every message the source can print on
# standard error. A new message without documentation fails here.
set -euo pipefail

src=${HUSK_SOURCE_DIR:?HUSK_SOURCE_DIR must name the repository}
page=$src/doc/husk.1
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# 1. No warnings from man, in the locales of a user and of a bare machine,
# nor from groff at its strictest. The gates that install the page check
# that it is this one.
for locale in C.UTF-8 C; do
    warnings=$(LC_ALL=$locale MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null) || fail "man could not render $page"
    [ -z "$warnings" ] || fail "man --warnings reports (LC_ALL=$locale): $warnings"
done
warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff could not read $page"
[ -z "$warnings" ] || fail "groff -ww reports: $warnings"

# 2. The version in the page footer is the project's.
version=$(sed -n 's/^project(husk VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
grep -q "^\.TH HUSK 1 [^ ]* \"husk $version\"" "$page" ||
    fail "the .TH line of $page does not name husk $version"

# 3. The page has its NAME section, and a DIAGNOSTICS section, rendered as
# plain text on one long line, with runs of white space folded, so that line
# breaks cannot hide a message.
rendered=$(groff -man -Tutf8 -rLL=400n -rHY=0 -P-cbou "$page" 2> /dev/null)
grep -qx NAME <<< "$rendered" || fail "no NAME section in $page"
text=$(awk '/^[A-Z]/ { on = ($0 == "DIAGNOSTICS") } on' <<< "$rendered" | tr -s ' \t\n' ' ')
[ -n "$text" ] || fail "no DIAGNOSTICS section in $page"

# Every string literal written to standard error: fputs(..., stderr),
# fprintf(stderr, ...), perror("prefix"), and the fatal ends
# fatal(status, nullptr, "text") and fatal(status, "prefix"). For a prefix
# the documented text is the prefix followed by ": ".
messages=$(perl -0777 -ne '
    my $lit = qr/"((?:[^"\\]|\\.)*)"/;
    while (/\bfputs\s*\(\s*$lit\s*,\s*stderr\s*\)/g)        { print "$1\n" }
    while (/\bfprintf\s*\(\s*stderr\s*,\s*$lit/g)             { print "$1\n" }
    while (/\bfatal\s*\(\s*\w+\s*,\s*nullptr\s*,\s*$lit/g)     { print "$1\n" }
    while (/\bperror\s*\(\s*$lit\s*\)/g)                   { print "$1: \n" }
    while (/\bfatal\s*\(\s*\w+\s*,\s*$lit\s*\)/g)          { print "$1: \n" }
' "$src"/src/*.cpp "$src"/src/*.h | sed 's/\\n$//' | sort -u)

count=$(printf '%s\n' "$messages" | grep -c . || true)
# Guard against the extraction itself going blind (say, if messages move
# behind a helper): the shell has well over ten of them today.
[ "$count" -ge 10 ] || fail "found only $count messages in src/; teach this test the new way they are printed"

# A message becomes a pattern: conversions (%s, %ld, %i, ...) stand for any
# text, everything else must appear literally, trailing blank excepted.
while IFS= read -r msg; do
    pattern=$(printf '%s' "$msg" | sed 's/ *$//' | perl -pe '
        s/\\"/"/g; s/\\\\/\\/g;
        $_ = join "", map { /^%/ ? ".+" : quotemeta } split /(%[-#0 +]*[0-9]*(?:\.(?:[0-9]+|\*))?(?:hh|h|ll|l|z|j|t)?[diouxXeEfgGcsp])/;
    ')
    grep -Pq -- "$pattern" <<< "$text" ||
        fail "message \"$msg\" is not documented under DIAGNOSTICS in doc/husk.1"
done <<< "$messages"

if [ "$failures" -gt 0 ]; then
    echo "$failures failed" >&2
    exit 1
fi
echo "$count messages documented; page renders cleanly"
