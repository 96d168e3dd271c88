#!/usr/bin/env bash
# Checks a Debian package of the shell: its metadata, its files, its
# copyright file and changelog against those of the build that made it,
# lintian when installed; then installs it on this machine, uses the
# installed shell, removes and purges it, and checks that nothing is left
# behind. Needs root and dpkg; leaves the machine as it found it, also on
# failure.
#
#   .ci/package-check.sh            # builds with `make package` in $BUILD (build/)
#   .ci/package-check.sh FILE.deb   # a package made before, in its build directory
set -euo pipefail
gate=package-check
. "$(dirname "$0")/lib.sh"
cd "$src"
BUILD=${BUILD:-build}

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
# make package leaves the package in the build directory, beside the
# copyright file and the compressed changelog it packed.
build=$(dirname "$deb")
[ -f "$build/copyright" ] && [ -f "$build/changelog.gz" ] ||
    die "$build is not the build directory that made $deb"

# The package's metadata and contents.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = husk ] || die "Package is '$(field Package)'"
[ -n "$(field Maintainer)" ] || die "no Maintainer field"
[ -n "$(field Description)" ] || die "no Description field"
[[ $(field Depends) == *"libc6 (>= "* ]] || die "Depends lacks the computed libc6: $(field Depends)"
[[ $(field Depends) != *debianutils* ]] || die "Depends names the essential debianutils: $(field Depends)"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')
[ "$files" = "$installed_files" ] || die "unexpected contents: $files"
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

# The copyright file and the changelog are the build's (cmake/package.cmake
# makes them; lintian, below, checks the copyright file's format), and the
# latest changelog entry is the version packaged.
step "checking the copyright file and the changelog"
dpkg-deb -x "$deb" "$work/root"
doc=$work/root/usr/share/doc/husk
cmp -s "$doc/copyright" "$build/copyright" || die "the copyright file is not the one $build made"
cmp -s "$doc/changelog.gz" "$build/changelog.gz" || die "changelog.gz is not the one $build made"
logged=$(gzip -dc "$doc/changelog.gz" | sed -n '1s/^husk (\([^)]*\)).*/\1/p')
[ "$(field Version)" = "$logged" ] || die "Version is '$(field Version)', the latest changelog entry '$logged'"

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

step "running /usr/bin/husk"
run_installed /usr/bin/husk

step "checking the manual page"
[ "$(man -w husk)" = /usr/share/man/man1/husk.1.gz ] || die "man -w husk gives '$(man -w husk 2>&1)'"
man_reads husk

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

step "$(basename "$deb") installs, runs and removes cleanly"
