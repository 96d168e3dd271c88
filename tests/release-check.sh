#!/usr/bin/env bash
# The release path as a user takes it, in a fresh clone of the commit checked
# out here, with nothing built: a relative PREFIX refused before anything
# is built, a failed test configuration that wedges nothing, make install
# into a staging DESTDIR, the installed shell runs a script, man reads the
# installed page, an edited page and changelog are installed anew, make
# uninstall refuses another PREFIX and DESTDIR and then leaves no file
# behind, and a failed install leaves a record that make uninstall clears.
# Then make package in a build directory of its own and, as root,
# tests/package-check.sh on that package.
#
#   tests/release-check.sh
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
die() {
    echo "release-check: FAIL: $*" >&2
    exit 1
}
step() { echo "release-check: $*"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clone=$work/clone stage=$work/stage
commit=$(git -C "$src" rev-parse HEAD)
git clone -q --no-checkout "$src" "$clone"
git -C "$clone" checkout -q --detach "$commit"
cd "$clone"
step "fresh clone of $(git log -1 --format='%h %s')"
# make TARGET..., with the build messages shown only when it fails.
mk() { make --no-print-directory "$@" 2> "$work/make.err" || { cat "$work/make.err" >&2; die "make $*"; }; }
files() { (cd "$1" && find . ! -type d | sort | tr '\n' ' '); }
want="./usr/bin/husk ./usr/share/doc/husk/changelog.gz ./usr/share/doc/husk/copyright"
want+=" ./usr/share/man/man1/husk.1.gz "

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

step "make install DESTDIR=$stage PREFIX=/usr"
mk install DESTDIR="$stage" PREFIX=/usr
[ "$(files "$stage")" = "$want" ] || die "installed: $(files "$stage")"
same() { gzip -dc "$stage/$1" | cmp -s - "$2" || die "$1 is not $2"; }
same usr/share/man/man1/husk.1.gz doc/husk.1
same usr/share/doc/husk/changelog.gz packaging/changelog

step "running the installed shell"
out=$(cd "$work" && printf 'echo one two | wc -w\nfalse || echo no\ncd /\npwd\n' |
    "$stage/usr/bin/husk" 2>&1) || die "husk ended with status $?: $out"
case "$out" in
$'2\nno\n/\n'[0-9]*) ;; # then the process id of wc's feeder
*) die "unexpected output: $out" ;;
esac

step "reading the installed page with man -l"
page=$(MANWIDTH=80 man --warnings -l "$stage/usr/share/man/man1/husk.1.gz" 2> "$work/man.err") ||
    die "man -l failed: $(cat "$work/man.err")"
[ ! -s "$work/man.err" ] || die "man -l warns: $(cat "$work/man.err")"
grep -q '^NAME' <<< "$page" || die "the rendered page has no NAME section"

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
    [ "$(files "$stage")" = "$want" ] || die "make uninstall $pair removed files"
done
step "make uninstall refuses other pairs; make uninstall DESTDIR=$stage PREFIX=/usr"
mk uninstall DESTDIR="$stage" PREFIX=/usr
[ -z "$(files "$stage")" ] || die "left behind: $(files "$stage")"
[ ! -e build/installed-files.txt ] || die "the record of the install is still there"

# The shell is installed first, and the rest cannot be where usr/share is a
# file, also for root.
step "a failed install, then make uninstall"
broken=$work/broken
mkdir -p "$broken/usr"
: > "$broken/usr/share"
! make install DESTDIR="$broken" PREFIX=/usr > /dev/null 2>&1 || die "the install into $broken succeeded"
[ -f "$broken/usr/bin/husk" ] || die "the failed install did not get as far as usr/bin/husk"
mk uninstall DESTDIR="$broken" PREFIX=/usr
[ "$(files "$broken")" = "./usr/share " ] || die "left behind: $(files "$broken")"

step "make package BUILD=build-package"
deb=$(mk package BUILD=build-package | tail -n 1)
[ -f "$deb" ] || die "make package printed '$deb', not a file"
if [ "$(id -u)" -eq 0 ]; then
    bash tests/package-check.sh "$clone/$deb"
else
    step "tests/package-check.sh skipped: it needs root"
fi
echo "release-check: install, uninstall and package work from a fresh clone"
