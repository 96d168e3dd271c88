# shellcheck shell=bash
# lib.sh - shared by the CI gates beside it (sourced, not run): their
# messages, the fresh clone of the commit, the files an install writes and
# the first run of an installed shell. A gate sets `gate`, its name in
# messages, before it sources this file.

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
    git -c init.defaultBranch=main clone -q --no-checkout "$src" "$1"
    git -C "$1" checkout -q --detach "$(git -C "$src" rev-parse HEAD)"
    step "fresh clone of $(git -C "$1" log -1 --format='%h %s')"
}

# The files an install under the prefix /usr writes, as files_in lists them.
installed_files="./usr/bin/husk ./usr/share/doc/husk/changelog.gz ./usr/share/doc/husk/copyright"
installed_files+=" ./usr/share/man/man1/husk.1.gz "

# files_in DIR: the files under DIR, sorted, on one line.
files_in() { (cd "$1" && find . ! -type d | sort | tr '\n' ' '); }

# run_installed HUSK: an installed shell runs a small script in $work/run (a
# pipe, a redirection, a condition, cd and a background command), ends with
# status 0, writes nothing on standard error and prints what the script asks
# for, then the pids of wc's feeder and of true, held in the pipe to the end.
run_installed() {
    local dir=$work/run out status=0
    mkdir -p "$dir"
    out=$(cd "$dir" && printf '%s\n' 'echo one two | wc -w' 'echo x > out && cat < out' \
        'false || echo no' 'cd /' 'pwd' 'true &' | "$1" 2> "$dir.err") || status=$?
    [ "$status" -eq 0 ] || die "$1 ended with status $status: $out$(cat "$dir.err")"
    [ ! -s "$dir.err" ] || die "$1 wrote on standard error: $(cat "$dir.err")"
    [ "$(sed '5,$ s/^[0-9][0-9]*$/pid/' <<< "$out")" = $'2\nx\nno\n/\npid\npid' ] ||
        die "$1 printed, where 2, x, no, / and two process ids were due: $out"
}
