#!/usr/bin/env bash
# Checks a Debian package of the shell, made by `make package` and still in
# its build directory, in the steps below: its metadata, files and lintian's
# verdict, then an install on this machine, the installed shell, removal
# and purge, with nothing left behind. Needs root and dpkg; leaves the machine as it found
# it, also on failure.
#
#   .ci/package-check.sh FILE.deb   # e.g. "$(make package)"
set -euo pipefail
gate=package-check
. "$(dirname "$0")/lib.sh"
deb=${1:?usage: .ci/package-check.sh FILE.deb}

[ "$(id -u)" -eq 0 ] || die "must run as root (it installs a package)"
command -v dpkg > /dev/null || die "dpkg is missing"
[[ $(dpkg-query -W -f '${Status}' husk 2> /dev/null || true) != *" installed" ]] ||
    die "a husk package is already installed; remove it first"

[ -f "$deb" ] || die "no package file: $deb"
# make package leaves the package beside the files it packed.
build=$(dirname "$deb")

# The package's metadata (cpack makes none without a maintainer and a
# description) and contents; /etc/shells, below, checks its scripts.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = husk ] || die "Package is '$(field Package)'"
[[ $(field Depends) == *"libc6 (>= "* ]] || die "Depends lacks the computed libc6: $(field Depends)"
[[ $(field Depends) != *debianutils* ]] || die "Depends names the essential debianutils: $(field Depends)"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')
[ "$files" = "$installed_files" ] || die "unexpected contents: $files"

shells_before=$(cat /etc/shells)
work=$(mktemp -d)
# On any exit the package goes (dpkg ignores a purge of what is gone).
trap 'dpkg --purge husk > /dev/null 2>&1; rm -rf "$work"' EXIT

# lintian, where installed, finds neither an error nor a warning; its
# informational tags are shown but pass.
if command -v lintian > /dev/null; then
    step "running lintian"
    lintian --allow-root --display-info --fail-on error,warning "$deb" ||
        die "lintian reports errors or warnings (above)"
fi

step "installing $deb, then using /usr/bin/husk and its page"
dpkg -i "$deb" > /dev/null
grep -qx /usr/bin/husk /etc/shells || die "/usr/bin/husk is not in /etc/shells"
run_installed /usr/bin/husk
# The page, the copyright file and the changelog are the build's (made by
# cmake/package.cmake; release-check.sh finds the page and changelog the
# tree's, tests/man_test.sh the page clean, lintian the copyright file well
# formed); the latest changelog entry is the version packaged.
for f in /usr/share/man/man1/husk.1.gz /usr/share/doc/husk/copyright /usr/share/doc/husk/changelog.gz; do
    cmp "$f" "$build/${f##*/}" > /dev/null || die "the installed $f is not $build/${f##*/}, which make package packed"
done
logged=$(gzip -dc /usr/share/doc/husk/changelog.gz | sed -n '1s/^husk (\([^)]*\)).*/\1/p')
[ "$(field Version)" = "$logged" ] || die "Version is '$(field Version)', the latest changelog entry '$logged'"
[ "$(man -w husk)" = /usr/share/man/man1/husk.1.gz ] || die "man -w husk gives '$(man -w husk 2>&1)'"

step "installing again over itself"
dpkg -i "$deb" > /dev/null
[ "$(grep -cx /usr/bin/husk /etc/shells)" -eq 1 ] || die "/etc/shells lists /usr/bin/husk more than once"

step "removing, then purging"
dpkg -r husk > /dev/null
for f in $installed_files; do
    [ ! -e "${f#.}" ] || die "${f#.} is still there after dpkg -r"
done
! grep -q husk /etc/shells || die "/etc/shells still lists husk after dpkg -r"
dpkg --purge husk > /dev/null
! dpkg-query -W husk > /dev/null 2>&1 || die "dpkg still knows husk after purge"
[ "$(cat /etc/shells)" = "$shells_before" ] || die "/etc/shells differs from before the install"

step "$(basename "$deb") installs, runs and removes cleanly"
