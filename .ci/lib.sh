# shellcheck shell=bash
# lib.sh - shared by the CI gates beside it (sourced, not run): their
# messages, the fresh clone of the commit, the files an install writes, the
# first run of an installed shell and the reading of an installed page.
# A gate sets `gate`, its name in messages, before it sources this file.

# The repository the gates belong to.
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

die() {
    echo "$gate: FAIL: $*" >&2
    exit 1
}
step() { echo "$gate: $*"; }

# clone_commit DIR: clones the commit checked out in $src into DIR and
# checks it out, with nothing built: what is not committed is not tested,
# as on CI.
clone_commit() {
    local commit
    commit=$(git -C "$src" rev-parse HEAD)
    git -c init.defaultBranch=main clone -q --no-checkout "$src" "$1"
    git -C "$1" checkout -q --detach "$commit"
    step "fresh clone of $(git -C "$src" log -1 --format='%h %s' "$commit")"
}

# The files an install under the prefix /usr writes, as files_in lists them.
installed_files="./usr/bin/husk ./usr/share/doc/husk/changelog.gz ./usr/share/doc/husk/copyright"
installed_files+=" ./usr/share/man/man1/husk.1.gz "

# files_in DIR: the files under DIR, sorted, on one line.
files_in() { (cd "$1" && find . ! -type d | sort | tr '\n' ' '); }

# run_installed HUSK: an installed shell runs a small script in a scratch
# directory (a pipe, a redirection, a condition, cd and a background
# command), ends with status 0, writes nothing on standard error and prints
# what the script asks for, then the process ids of wc's feeder and of
# true, buffered into the pipe until the end.
run_installed() {
    local dir out status=0
    dir=$(mktemp -d)
    out=$(cd "$dir" && printf '%s\n' 'echo one two | wc -w' 'echo x > out && cat < out' \
        'false || echo no' 'cd /' 'pwd' 'true &' | "$1" 2> "$dir/err") || status=$?
    local err
    err=$(cat "$dir/err")
    rm -rf "$dir"
    [ "$status" -eq 0 ] || die "$1 ended with status $status: $out$err"
    [ -z "$err" ] || die "$1 wrote on standard error: $err"
    [ "$(head -n 4 <<< "$out")" = $'2\nx\nno\n/' ] || die "$1 printed: $out"
    [ "$(tail -n +5 <<< "$out" | grep -cx '[0-9][0-9]*')" -eq 2 ] ||
        die "$1 printed no two process ids after the output: $out"
}

# man_reads MAN-ARGUMENTS...: man renders the page, with its NAME section,
# and without a warning.
man_reads() {
    local err page status=0
    err=$(mktemp)
    page=$(MANWIDTH=80 man --warnings "$@" 2> "$err") || status=$?
    local warnings
    warnings=$(cat "$err")
    rm -f "$err"
    [ "$status" -eq 0 ] || die "man $* failed: $warnings"
    [ -z "$warnings" ] || die "man $* warns: $warnings"
    grep -q '^NAME' <<< "$page" || die "man $* shows no NAME section"
}
