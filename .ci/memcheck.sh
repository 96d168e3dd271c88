#!/usr/bin/env bash
# Runs the shell under valgrind's memory checker on a script that uses every
# part of it: pipelines, redirections, cd, background commands, failing
# commands, syntax errors, continuation lines, and the same script with -s;
# then the fatal paths. Fails on any memory error, on any block still held at
# a normal end, on a leak after a fatal end (which leaves the line it was
# running allocated, on purpose), and on a descriptor the shell opened and
# left open at a normal end.
#   .ci/memcheck.sh <husk>
set -u
gate=memcheck
. "$(dirname "$0")/lib.sh"

husk=$(realpath "${1:?usage: .ci/memcheck.sh <husk>}")
command -v valgrind > /dev/null || die "valgrind is not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export HOME=$work

script='echo start
mkdir sub
cd sub && pwd > here
cd .. ; cat sub/here | wc -l
echo one two | tr a-z A-Z | cat > piped
cat < piped >> piped2 > /dev/null
echo '"'"'quoted  text'"'"' "and '"'"'single'"'"'" a\ b >> piped2
ls nosuch || echo failed
nosuch_program || echo not-found
false && echo never
true || echo never
sleep 0 &
sleep 0 | sleep 0 &
cd sub | cat
echo long \
continued line
echo '"'"'multi
line quote'"'"'
cat piped2 |
wc -c
ls | | wc
echo a ;; b
cd
cd a b
cd /nonexistent
> empty
echo end'

# Runs a command with no descriptor open but 0, 1 and 2. The others that
# the caller left open are not the shell's, and valgrind 3.24 and later
# count each descriptor still open at the end as an error. (Only the
# inheritable ones are listed by ls, and so closed.)
alone()
{
    local fd
    # shellcheck disable=SC2045 # numbers only; a glob would list the shell's own
    for fd in $(ls /proc/self/fd); do
        [ "$fd" -le 2 ] || eval "exec $fd>&-"
    done
    exec "$@"
}

# memcheck <name> <expected status> <leak kinds that are errors> <script> [husk args]
# The script comes through a pipe, as from a program that generates it;
# a run that hangs ends after 300 s times HUSK_TEST_TIMEOUT_FACTOR. A fatal
# end may leave the descriptors of the line it was running (the system
# closes them), so only a normal end has its descriptors tracked. The first
# run with a finding fails the gate.
memcheck()
{
    local name=$1 want=$2 kinds=$3 input=$4 log=$work/$1.log limit=$((300 * ${HUSK_TEST_TIMEOUT_FACTOR:-1}))
    local track=no status fds
    [ "$want" -ne 0 ] || track=yes
    shift 4
    printf '%s\n' "$input" | alone timeout "$limit" valgrind --leak-check=full --show-leak-kinds=all \
        --errors-for-leak-kinds="$kinds" --error-exitcode=1 --trace-children=no \
        --child-silent-after-fork=yes --track-fds="$track" --log-file="$log" \
        "$husk" "$@" > "$work/$name.out" 2> /dev/null
    status=$?
    # A descriptor the shell opened is listed with where it was opened,
    # where an inherited one says so; valgrind 3.24 and later also count
    # it among the errors. Untracked, none is listed.
    fds=$(awk '/^==[0-9]+== Open / { getline; if ($0 !~ /inherited from parent/) n++ } END { print n + 0 }' "$log")
    if [ "$status" -ne "$want" ] || ! grep -q 'ERROR SUMMARY: 0 errors' "$log" || [ "$fds" -ne 0 ]; then
        cat "$log" >&2
        die "$name: status $status (want $want), descriptors left open: $fds; valgrind's log is above"
    fi
    step "$name: no error, no leak"
}

memcheck script 0 all "$script"
grep -qx end "$work/script.out" || die "script did not run to its end"
memcheck listing 0 all "$script" -s
memcheck missing-file 2 definite,indirect,possible 'echo a > f; cat < missing; echo b'
memcheck here-document 1 definite,indirect,possible 'echo a | cat << x'
memcheck end-of-input 0 all 'echo "unfinished'
