#!/bin/bash
# compare-parse.sh HUSK - line analysis speed and memory, side by side with
# dash (and bash on the long line), in the same run.
#
# Generates a 32 MiB script of typical command lines and one 64 MiB line of
# typical words (fixed seeds, so the inputs are the same every time), and
# two commands of 300,000 continuation lines each: one quoted word over all
# of them, and lines joined by a trailing backslash. Then runs
# `HUSK -s < input > /dev/null` and `dash -n input` alternately RUNS times
# each (default 7; `bash -n` BASH_RUNS times, default 3, on the long line
# only) and prints the medians, throughputs, ratios and peak memory. Last,
# when valgrind is installed, counts the instructions both spend on the
# first 4 MiB of the script under callgrind: a count that, unlike the
# times, does not depend on what else the machine is doing.
set -euo pipefail
. "$(dirname "$0")/tools.sh"
bench_setup "$@"
runs=${RUNS:-7}
bash_runs=${BASH_RUNS:-3}

"$gen" script $((32 << 20)) 1 > "$tmp/script"
"$gen" line $((64 << 20)) 1 > "$tmp/line"
lines() { awk -v n="$1" -v t="$2" 'BEGIN { for (i = 0; i < n; i++) print t }'; }
{ echo "echo '"; lines 300000 'some text'; echo "' | cat"; } > "$tmp/quoted"
{ lines 300000 'some text \\'; echo end; } > "$tmp/backslash"

# The inputs must be plain, valid scripts for all three, or the comparison
# compares error paths.
for input in script line quoted backslash; do
    dash -n "$tmp/$input"
done

for ((i = 0; i < runs; i++)); do
    # Who goes first changes every round.
    for input in script line quoted backslash; do
        if ((i % 2 == 0)); then
            sample "husk_$input" "$tmp/$input" /dev/null 1 "$husk" -s
            sample "dash_$input" /dev/null /dev/null 1 dash -n "$tmp/$input"
        else
            sample "dash_$input" /dev/null /dev/null 1 dash -n "$tmp/$input"
            sample "husk_$input" "$tmp/$input" /dev/null 1 "$husk" -s
        fi
    done
    if ((i < bash_runs)); then
        sample bash_line /dev/null /dev/null 1 bash -n "$tmp/line"
    fi
done
for name in {husk,dash}_{script,line,quoted,backslash} bash_line; do
    quiet_or_fail "$name"
done

# report TITLE INPUT NAME...: one row per program.
report() {
    local title=$1 input=$2
    shift 2
    local bytes
    bytes=$(stat -c %s "$input")
    echo "$title"
    printf '  %-6s %10s %8s %8s %10s %11s\n' "" "wall s" "MB/s" "CPU s" "peak KiB" "peak/input"
    local name
    for name in "$@"; do
        awk -v n="${name%_*}" -v t="$(median "$tmp/$name.t")" -v c="$(median "$tmp/$name.c")" \
            -v m="$(median "$tmp/$name.m")" -v b="$bytes" 'BEGIN {
            printf "  %-6s %10.3f %8.1f %8.3f %10d %10.2fx\n", n, t, b / t / 1e6, c, m, m * 1024 / b }'
    done
}

lines=$(wc -l < "$tmp/script")
report "32 MiB script, $lines lines, $runs runs each (husk -s vs dash -n):" \
    "$tmp/script" husk_script dash_script
report "one 64 MiB line of words, $runs runs ($bash_runs for bash -n):" \
    "$tmp/line" husk_line dash_line bash_line
report "continuation: one quoted word over 300,000 lines, $runs runs:" \
    "$tmp/quoted" husk_quoted dash_quoted
report "continuation: 300,000 lines joined by a trailing backslash, $runs runs:" \
    "$tmp/backslash" husk_backslash dash_backslash

# The goals: husk -s at least 2.5 times as fast as dash -n on the script, a peak
# of at most 1.05 times the long line, and continuation lines no slower than
# dash. The long line's speed has no goal of its own.
echo "ratios: dash's median over husk's, so above 1 husk is faster"
awk -v hs="$(median "$tmp/husk_script.t")" -v ds="$(median "$tmp/dash_script.t")" \
    -v hc="$(median "$tmp/husk_script.c")" -v dc="$(median "$tmp/dash_script.c")" \
    -v hl="$(median "$tmp/husk_line.t")" -v dl="$(median "$tmp/dash_line.t")" \
    -v hm="$(median "$tmp/husk_line.m")" -v dm="$(median "$tmp/dash_line.m")" \
    -v bm="$(median "$tmp/bash_line.m")" -v b="$(stat -c %s "$tmp/line")" 'BEGIN {
    r = dc / hc
    printf "script, husk -s against dash -n: %.2fx wall, %.2fx CPU (goal: at least 2.5x CPU: %s)\n",
        ds / hs, r, (r >= 2.5 ? "met" : "missed")
    printf "long line, husk -s against dash -n: %.2fx wall (no goal)\n", dl / hl
    p = hm * 1024 / b
    printf "peak memory on the long line, against its size: husk %.2fx (goal: at most 1.05x: %s), dash %.2fx, bash %.2fx\n",
        p, (p <= 1.05 ? "met" : "missed"), dm * 1024 / b, bm * 1024 / b
}'
for input in quoted backslash; do
    awk -v n="$input" -v h="$(median "$tmp/husk_$input.c")" -v d="$(median "$tmp/dash_$input.c")" 'BEGIN {
        printf "continuation (%s), husk -s against dash -n: %.2fx CPU (husk %.3f s, dash %.3f s; goal: 1x or more: %s)\n",
            n, d / h, h, d, (h <= d ? "met" : "missed") }'
done

# instructions NAME COMMAND...: the instructions callgrind counts for
# COMMAND, reading the 4 MiB script on standard input.
instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" < "$tmp/script4" 2>&1 > /dev/null |
        sed -n 's/.*Collected : //p'
}
if command -v valgrind > /dev/null; then
    head -c $((4 << 20)) "$tmp/script" | sed '$d' > "$tmp/script4"
    hi=$(instructions "$husk" -s)
    di=$(instructions dash -n)
    awk -v h="$hi" -v d="$di" 'BEGIN {
        printf "instructions on 4 MiB of the script: husk -s %.1f M, dash -n %.1f M: %.2fx fewer (goal: at least 3x: %s)\n",
            h / 1e6, d / 1e6, d / h, (d / h >= 3 ? "met" : "missed") }'
fi
