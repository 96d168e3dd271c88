#!/bin/bash
# compare-exec.sh HUSK - start-up and launching speed, side by side with
# dash in the same run.
#
# Four cases, each sampled RUNS times (default 7) alternately for husk and
# dash, with the same script on standard input of both:
#   start-up     `sh < /dev/null`, STARTS runs in a row per sample (default 200)
#   true         1,000 lines /bin/true
#   pipe         500 lines /bin/true | /bin/true
#   redirect     1,000 lines /bin/true > out (in a scratch directory)
# Prints the medians per run and per line, and the ratio dash/husk (1 or
# more: husk is no slower).
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "usage: $0 HUSK" >&2
    exit 2
fi
. "$(dirname "$0")/tools.sh"
bench_setup "$1"
runs=${RUNS:-7}
starts=${STARTS:-200}

: > "$tmp/startup"  # no lines: the shell starts and ends
for ((i = 0; i < 1000; i++)); do echo /bin/true; done > "$tmp/true"
for ((i = 0; i < 500; i++)); do echo '/bin/true | /bin/true'; done > "$tmp/pipe"
for ((i = 0; i < 1000; i++)); do echo '/bin/true > out'; done > "$tmp/redirect"
mkdir "$tmp/work"
cd "$tmp/work"

cases="startup true pipe redirect"
for ((i = 0; i < runs; i++)); do
    for c in $cases; do
        count=1 input=$tmp/$c
        if [ "$c" = startup ]; then
            count=$starts input=/dev/null
        fi
        sample "husk_$c" "$input" /dev/null "$count" "$husk"
        sample "dash_$c" "$input" /dev/null "$count" dash
    done
done

printf '%-10s %7s %14s %14s %14s %14s %11s\n' "" lines "husk ms/run" "dash ms/run" \
    "husk us/line" "dash us/line" "dash/husk"
for c in $cases; do
    quiet_or_fail "husk_$c"
    quiet_or_fail "dash_$c"
    lines=$(wc -l < "$tmp/$c")
    awk -v c="$c" -v n="$lines" -v h="$(median "$tmp/husk_$c.t")" \
        -v d="$(median "$tmp/dash_$c.t")" 'BEGIN {
        hl = n ? sprintf("%.1f", h * 1e6 / n) : "-"
        dl = n ? sprintf("%.1f", d * 1e6 / n) : "-"
        printf "%-10s %7d %14.3f %14.3f %14s %14s %10.2fx%s\n", c, n, h * 1e3,
            d * 1e3, hl, dl, d / h, (d >= h ? "" : "  (husk slower)")
    }'
done
echo "($runs samples each, alternating; start-up: $starts runs a sample)"
