#!/usr/bin/env bash
# Builds the Debian package, checks its metadata (and runs lintian on it when
# lintian is installed), installs it on this machine, uses the installed
# shell, removes and purges it, and checks that nothing is left behind.
# Needs root and dpkg; leaves the machine as it found it, also on failure.
#
#   tests/package-check.sh            # builds with `make package` in $BUILD (build/)
#   tests/package-check.sh FILE.deb   # checks a package built before
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}

die() {
    echo "package-check: FAIL: $*" >&2
    exit 1
}
step() { echo "package-check: $*"; }

[ "$(id -u)" -eq 0 ] || die "must run as root (it installs a package)"
command -v dpkg > /dev/null || die "dpkg is missing"
if [[ $(dpkg-query -W -f '${Status}' husk 2> /dev/null || true) == *" installed" ]]; then
    die "a husk package is already installed; remove it first"
fi

if [ $# -ge 1 ]; then
    deb=$1
else
    step "building the package in $BUILD"
    deb=$(make --no-print-directory package BUILD="$BUILD" | tail -n 1)
fi
[ -f "$deb" ] || die "no package file: $deb"

# The package's metadata and contents.
version=$(sed -n 's/^project(husk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = husk ] || die "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || die "Version is '$(field Version)', want $version"
[ -n "$(field Maintainer)" ] || die "no Maintainer field"
[ -n "$(field Description)" ] || die "no Description field"
[[ $(field Depends) == *"libc6 (>= "* ]] || die "Depends lacks the computed libc6: $(field Depends)"
[[ $(field Depends) != *debianutils* ]] || die "Depends names the essential debianutils: $(field Depends)"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')
want="./usr/bin/husk ./usr/share/doc/husk/changelog.gz ./usr/share/doc/husk/copyright"
want+=" ./usr/share/man/man1/husk.1.gz "
[ "$files" = "$want" ] || die "unexpected contents: $files"
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
grep -qx './postinst' <<< "$control" || die "no postinst"
grep -qx './postrm' <<< "$control" || die "no postrm"

shells_before=$(cat /etc/shells)
work=$(mktemp -d)
cleanup() {
    if dpkg-query -W husk > /dev/null 2>&1; then
        dpkg --purge husk > /dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# The copyright file is LICENSE in the machine-readable format: its header,
# one paragraph for all files, and the licence text after the copyright line,
# each line indented by one space and empty lines written " .".
step "checking the copyright file and the changelog"
dpkg-deb -x "$deb" "$work/root"
doc=$work/root/usr/share/doc/husk
copyright_head=$(head -n 6 "$doc/copyright")
want_head="Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: husk

Files: *
Copyright: $(sed -n 's/^Copyright (c) //p' LICENSE)
License: MIT"
[ "$copyright_head" = "$want_head" ] || die "the copyright file starts: $copyright_head"
sed -n '/^Permission is hereby granted/,$p' LICENSE | sed 's/^$/./; s/^/ /' > "$work/licence-text"
[ -s "$work/licence-text" ] || die "LICENSE has no permission notice"
tail -n +7 "$doc/copyright" | cmp -s - "$work/licence-text" ||
    die "the licence text in the copyright file is not LICENSE's, indented"

# The changelog of a native package: compressed as dpkg expects, and its
# latest entry is the version packaged.
gzip -t "$doc/changelog.gz" || die "changelog.gz is not valid gzip"
gzip -dc "$doc/changelog.gz" > "$work/changelog"
if command -v dpkg-parsechangelog > /dev/null; then
    logged=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
    [ "$logged" = "$version" ] || die "the latest changelog entry is $logged, want $version"
fi

# lintian, where installed, finds neither an error nor a warning; its
# informational tags are shown but pass.
if command -v lintian > /dev/null; then
    step "running lintian"
    lintian --allow-root --display-info --fail-on error,warning "$deb" ||
        die "lintian reports errors or warnings (above)"
fi

step "installing $deb"
dpkg -i "$deb" > /dev/null
[ -x /usr/bin/husk ] || die "/usr/bin/husk is not installed"
grep -qx /usr/bin/husk /etc/shells || die "/usr/bin/husk is not in /etc/shells"

# The installed shell runs a small script: a pipe, a redirection, a
# condition, cd and a background command.
step "running /usr/bin/husk"
cat > "$work/script" << 'EOF'
echo one two | wc -w
echo x > out && cat < out
false || echo no
cd /
pwd
true &
EOF
status=0
out=$(cd "$work" && /usr/bin/husk < script 2> "$work/err") || status=$?
want_prefix=$'2\nx\nno\n/\n'
[ "$status" -eq 0 ] || die "husk ended with status $status"
[ ! -s "$work/err" ] || die "husk wrote on standard error: $(cat "$work/err")"
case "$out" in
"$want_prefix"[0-9]*) ;; # then the process ids of wc's feeder and of true
*) die "unexpected output: $out" ;;
esac
[ "$(printf '%s\n' "$out" | tail -n +5 | grep -cx '[0-9][0-9]*')" -eq 2 ] ||
    die "expected two process ids after the output, got: $out"

step "checking the manual page"
[ "$(man -w husk)" = /usr/share/man/man1/husk.1.gz ] || die "man -w husk gives '$(man -w husk 2>&1)'"
gzip -t /usr/share/man/man1/husk.1.gz || die "the manual page is not valid gzip"
warnings=$(MANWIDTH=80 man --warnings husk 2>&1 > /dev/null)
[ -z "$warnings" ] || die "the installed page renders with warnings: $warnings"

step "installing again over itself"
dpkg -i "$deb" > /dev/null
[ "$(grep -cx /usr/bin/husk /etc/shells)" -eq 1 ] || die "/etc/shells lists /usr/bin/husk more than once"

step "removing"
dpkg -r husk > /dev/null
[ ! -e /usr/bin/husk ] || die "/usr/bin/husk is still there after dpkg -r"
[ ! -e /usr/share/man/man1/husk.1.gz ] || die "the manual page is still there after dpkg -r"
! grep -q husk /etc/shells || die "/etc/shells still lists husk after dpkg -r"
! man -w husk > /dev/null 2>&1 || die "man still finds husk after dpkg -r"

step "purging"
dpkg --purge husk > /dev/null
! dpkg-query -W husk > /dev/null 2>&1 || die "dpkg still knows husk after purge"
left=$(ls /var/lib/dpkg/info/husk.* 2> /dev/null || true)
[ -z "$left" ] || die "dpkg files left behind: $left"
[ "$(cat /etc/shells)" = "$shells_before" ] || die "/etc/shells differs from before the install"

echo "package-check: $(basename "$deb") installs, runs and removes cleanly"
