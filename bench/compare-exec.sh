#!/bin/bash
# compare-exec.sh HUSK [HUSK2] - start-up and launching speed, side by side
# with dash in the same run; HUSK2, when given, is a second build of husk
# (say the static one) measured in the same rounds and shown on rows of its
# own, marked with a 2.
#
# Five cases, each sampled RUNS times (default 7) alternately for husk and
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
bench_second=HUSK2
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
shells=(husk dash ${husk2:+husk2})
declare -A command=([husk]=$husk [dash]=dash [husk2]=$husk2)
for ((i = 0; i < runs; i++)); do
    for c in $cases; do
        count=1 input=$tmp/$c
        if [ "$c" = startup ]; then
            count=$starts input=/dev/null
        fi
        # Who goes first changes every round, so that no shell always runs
        # right after another's file activity.
        for ((k = 0; k < ${#shells[@]}; k++)); do
            s=${shells[(i + k) % ${#shells[@]}]}
            sample "${s}_$c" "$input" /dev/null "$count" "${command[$s]}"
        done
    done
done

# On a shared machine the other load only ever adds time, so the fastest
# sample is shown beside the median.
printf '%-9s %8s %21s %21s   %s\n' case lines "husk ms (min)" "dash ms (min)" \
    "dash/husk: median, min, CPU"
for c in $cases; do
    for s in "${shells[@]}"; do
        quiet_or_fail "${s}_$c"
    done
    for s in husk ${husk2:+husk2}; do
        label=$c
        [ "$s" = husk ] || label="$c 2"
        awk -v c="$label" -v n="$(grep -c '' "$tmp/$c")" \
            -v h="$(median "$tmp/${s}_$c.t")" -v d="$(median "$tmp/dash_$c.t")" \
            -v hm="$(sort -g "$tmp/${s}_$c.t" | head -1)" -v dm="$(sort -g "$tmp/dash_$c.t" | head -1)" \
            -v hc="$(median "$tmp/${s}_$c.c")" -v dc="$(median "$tmp/dash_$c.c")" 'BEGIN {
            printf "%-9s %8d %10.3f (%8.3f) %10.3f (%8.3f)   %5.2fx %5.2fx %5.2fx\n", c, n,
                h * 1e3, hm * 1e3, d * 1e3, dm * 1e3, d / h, dm / hm, dc / hc
        }'
    done
done
echo "(ratios: dash's time over husk's, of the medians, of the fastest runs and"
echo " of the median CPU times of the shell and its children: 1 or more means"
echo " husk is no slower. Goal of every case: husk level with dash or ahead."
echo " $runs samples each, alternating; a start-up sample is $starts starts in a row)"
if [ -n "$husk2" ]; then
    echo "husk: $husk"
    echo "husk 2: $husk2"
fi
