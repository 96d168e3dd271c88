#!/usr/bin/env bash
# The release path as a user takes it, in a fresh clone of the commit
# checked out here, with nothing built: the steps below, from a refused
# PREFIX to make uninstall after a failed install; then make package in a
# build directory of its own and, as root, .ci/package-check.sh on that
# package. The page installed is the tree's, which tests/man_test.sh reads.
set -euo pipefail
gate=release-check
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clone=$work/clone stage=$work/stage broken=$work/broken
clone_commit "$clone"
cd "$clone"
# make TARGET..., with the build messages shown only when it fails.
mk() { make --no-print-directory "$@" 2> "$work/make.err" || { cat "$work/make.err" >&2; die "make $*"; }; }

step "make install PREFIX=relative is refused before anything is built"
! make --no-print-directory install PREFIX=relative > /dev/null 2>&1 || die "make install PREFIX=relative was not refused"
[ ! -e build ] || die "make install PREFIX=relative configured build/"

# What `make test` leaves on a machine without GoogleTest (its finding turned
# off stands in for the missing package): install, below, works all the same.
step "build/ configured by a make test that found no GoogleTest"
! cmake -S . -B build -G Ninja -DHUSK_TESTS=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON > "$work/cmake.out" 2>&1 ||
    die "the tests were configured without GoogleTest"
grep -q '^  The tests need GoogleTest: apt-get install libgtest-dev$' "$work/cmake.out" ||
    die "no line names the package: $(cat "$work/cmake.out")"

step "make install DESTDIR=$stage PREFIX=/usr, then running the installed shell"
mk install DESTDIR="$stage" PREFIX=/usr
[ "$(files_in "$stage")" = "$installed_files" ] || die "installed: $(files_in "$stage")"
same() { gzip -dc "$stage/$1" | cmp -s - "$2" || die "$1 is not $2"; }
same usr/share/man/man1/husk.1.gz doc/husk.1
same usr/share/doc/husk/changelog.gz packaging/changelog
run_installed "$stage/usr/bin/husk"

# A built tree installs what the tree holds now.
step "editing doc/husk.1 and packaging/changelog, then make install again"
echo '.\" edited' >> doc/husk.1
echo >> packaging/changelog
# Installed copies as new as the build's, as after an edit made within a
# second of the last install: cmake, which compares time stamps to the
# second, would take them for the files to install.
mk build
touch -r build/husk.1.gz "$stage/usr/share/man/man1/husk.1.gz"
touch -r build/changelog.gz "$stage/usr/share/doc/husk/changelog.gz"
mk install DESTDIR="$stage" PREFIX=/usr
same usr/share/man/man1/husk.1.gz doc/husk.1
same usr/share/doc/husk/changelog.gz packaging/changelog
git checkout -q doc/husk.1 packaging/changelog

# Any pair but the install's own is refused, even one naming the same place.
for pair in "DESTDIR=$work PREFIX=/stage/usr" "DESTDIR= PREFIX=$stage/usr" \
    "DESTDIR=$stage PREFIX=/usr/" "DESTDIR=$stage PREFIX=/usr/local"; do
    # shellcheck disable=SC2086 # the pair is two words
    ! make --no-print-directory uninstall $pair > /dev/null 2>&1 || die "make uninstall $pair was not refused"
    [ "$(files_in "$stage")" = "$installed_files" ] || die "make uninstall $pair removed files"
done
step "make uninstall refuses other pairs; make uninstall DESTDIR=$stage PREFIX=/usr"
mk uninstall DESTDIR="$stage" PREFIX=/usr
[ -z "$(files_in "$stage")" ] || die "left behind: $(files_in "$stage")"
[ ! -e build/installed-files.txt ] || die "the record of the install is still there"

# The shell is installed first, and the rest cannot be where usr/share is a
# file, also for root.
step "a failed install, then make uninstall"
mkdir -p "$broken/usr"
: > "$broken/usr/share"
! make install DESTDIR="$broken" PREFIX=/usr > /dev/null 2>&1 || die "the install into $broken succeeded"
[ -f "$broken/usr/bin/husk" ] || die "the failed install did not get as far as usr/bin/husk"
mk uninstall DESTDIR="$broken" PREFIX=/usr
[ "$(files_in "$broken")" = "./usr/share " ] || die "left behind: $(files_in "$broken")"

step "make package BUILD=build-package"
deb=$(mk package BUILD=build-package | tail -n 1)
[ -f "$deb" ] || die "make package printed '$deb', not a file"
if [ "$(id -u)" -eq 0 ]; then
    bash .ci/package-check.sh "$clone/$deb"
else
    step ".ci/package-check.sh skipped: it needs root"
fi
step "install, uninstall and package work from a fresh clone"
