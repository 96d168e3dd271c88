#!/bin/bash
# compare-exec.sh HUSK - start-up and launching speed, side by side with
# dash in the same run.
#
# Four cases, each sampled RUNS times (default 7) alternately for husk and
# dash, with the same script on standard input of both:
#   start-up     `sh < /dev/null`, STARTS runs in a row per sample (default 200)
#   empty        10,000,000 empty lines: the cost of the loop itself
#   true         1,000 lines /bin/true
#   pipe         500 lines /bin/true | /bin/true
#   redirect     1,000 lines /bin/true > out (in a scratch directory)
# Prints, per case, the median and fastest wall time of a run for each
# shell and the ratios dash/husk of the medians, of the fastest runs and of
# the median CPU times (1 or more: husk is no slower). For the 1,000-line
# cases, milliseconds per run read as microseconds per line; for the empty
# lines, milliseconds divided by ten are nanoseconds per line.
set -euo pipefail
. "$(dirname "$0")/tools.sh"
bench_setup "$@"
runs=${RUNS:-7}
starts=${STARTS:-200}

: > "$tmp/startup"  # no lines: the shell starts and ends
awk 'BEGIN { for (i = 0; i < 10000000; i++) print "" }' > "$tmp/empty"
for ((i = 0; i < 1000; i++)); do echo /bin/true; done > "$tmp/true"
for ((i = 0; i < 500; i++)); do echo '/bin/true | /bin/true'; done > "$tmp/pipe"
for ((i = 0; i < 1000; i++)); do echo '/bin/true > out'; done > "$tmp/redirect"
mkdir "$tmp/work"
cd "$tmp/work"

cases="startup empty true pipe redirect"
for ((i = 0; i < runs; i++)); do
    for c in $cases; do
        count=1 input=$tmp/$c
        if [ "$c" = startup ]; then
            count=$starts input=/dev/null
        fi
        # Who goes first changes every round, so that neither shell always
        # runs right after the other's file activity.
        if ((i % 2 == 0)); then
            sample "husk_$c" "$input" /dev/null "$count" "$husk"
            sample "dash_$c" "$input" /dev/null "$count" dash
        else
            sample "dash_$c" "$input" /dev/null "$count" dash
            sample "husk_$c" "$input" /dev/null "$count" "$husk"
        fi
    done
done

# On a shared machine the other load only ever adds time, so the fastest
# sample is shown beside the median.
printf '%-9s %8s %21s %21s   %s\n' case lines "husk ms (min)" "dash ms (min)" \
    "dash/husk: median, min, CPU"
for c in $cases; do
    quiet_or_fail "husk_$c"
    quiet_or_fail "dash_$c"
    awk -v c="$c" -v n="$(grep -c '' "$tmp/$c")" \
        -v h="$(median "$tmp/husk_$c.t")" -v d="$(median "$tmp/dash_$c.t")" \
        -v hm="$(sort -g "$tmp/husk_$c.t" | head -1)" -v dm="$(sort -g "$tmp/dash_$c.t" | head -1)" \
        -v hc="$(median "$tmp/husk_$c.c")" -v dc="$(median "$tmp/dash_$c.c")" 'BEGIN {
        printf "%-9s %8d %10.3f (%8.3f) %10.3f (%8.3f)   %5.2fx %5.2fx %5.2fx\n", c, n,
            h * 1e3, hm * 1e3, d * 1e3, dm * 1e3, d / h, dm / hm, dc / hc
    }'
done
echo "($runs samples each, alternating; a start-up sample is $starts starts in"
echo " a row; CPU is the median CPU time of the shell and its children; a"
echo " ratio of 1 or more means husk is no slower)"
