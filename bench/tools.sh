# tools.sh - shared by the comparison scripts (sourced, not run): finds the
# two helpers, takes timed samples and computes medians.
#
# The helpers are looked for in HUSK_BENCH_TOOLS, else in bench/ beside the
# shell binary, where the benchmark build (`make bench`, build-bench/)
# puts them.

# bench_setup HUSK [HUSK2]: checks the shell, makes the scratch directory
# $tmp (removed on exit) and sets $gen and $runstat. A second shell, $husk2,
# is taken only by a script that sets bench_second (its name in the usage).
bench_setup() {
    local most=1
    [ -z "${bench_second:-}" ] || most=2
    if [ $# -lt 1 ] || [ $# -gt "$most" ]; then
        echo "usage: $0 HUSK${bench_second:+ [$bench_second]}" >&2
        exit 2
    fi
    husk=$(realpath "$1")
    husk2=${2:+$(realpath "$2")}
    local f
    for f in "$husk" ${husk2:+"$husk2"}; do
        if [ ! -x "$f" ]; then
            echo "$f: not an executable" >&2
            exit 2
        fi
    done
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/husk-bench.XXXXXX")
    trap 'rm -rf "$tmp"' EXIT
    local dir=${HUSK_BENCH_TOOLS:-$(dirname "$husk")/bench}
    gen=$dir/husk_gen
    runstat=$dir/husk_runstat
    if [ ! -x "$gen" ] || [ ! -x "$runstat" ]; then
        echo "$dir has no husk_gen and husk_runstat: make bench builds them" \
            "in build-bench/bench, or HUSK_BENCH_TOOLS names their directory" >&2
        exit 2
    fi
}

# sample NAME IN OUT COUNT COMMAND...: runs COMMAND COUNT times in a row
# with standard input IN and output OUT, then appends the wall seconds per
# run to $tmp/NAME.t, the CPU seconds per run to $tmp/NAME.c and the peak
# resident KiB to $tmp/NAME.m. Standard error
# is kept in $tmp/NAME.err. A run that fails ends the whole script.
sample() {
    local name=$1 in=$2 out=$3 count=$4
    shift 4
    "$runstat" -n "$count" "$tmp/result" "$@" < "$in" > "$out" 2>> "$tmp/$name.err"
    local secs cpu kib status
    read -r secs cpu kib status < "$tmp/result"
    if [ "$status" != 0 ]; then
        echo "$name: '$*' exited with status $status" >&2
        head -5 "$tmp/$name.err" >&2
        exit 1
    fi
    echo "$secs" >> "$tmp/$name.t"
    echo "$cpu" >> "$tmp/$name.c"
    echo "$kib" >> "$tmp/$name.m"
}

# median FILE: the median of the numbers in FILE, one a line.
median() {
    sort -g "$1" | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# quiet_or_fail NAME: fails when the samples of NAME wrote to standard error.
quiet_or_fail() {
    if [ -s "$tmp/$1.err" ]; then
        echo "$1: unexpected messages on standard error:" >&2
        head -5 "$tmp/$1.err" >&2
        exit 1
    fi
}
