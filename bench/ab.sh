#!/bin/bash
# ab.sh [DIR] - what each speed trick of the line analysis buys, measured in
# one run: the sixteen-byte copies of short tokens in the -s listing, the
# SSE2 block classifier and the inline line walk.
#
# Builds the shell with every trick on, and once more for each trick with
# that one off (the CMake switches HUSK_COPY16, HUSK_SSE2 and
# HUSK_INLINE_WALK), each in a directory of its own under DIR (default
# build-ab in the source tree). Then measures `husk -s` of each build on the
# inputs of compare-parse.sh (the same generator and seeds): under
# callgrind, the instructions and the mispredicted branches (callgrind's
# simple predictor) on 4 MiB of the generated script and on a 4 MiB line of
# words, counts that do not depend on the machine's load; and the median CPU
# time of RUNS runs (default 7) on the 32 MiB script and the 64 MiB line,
# the builds taken in turn. Every build must list the inputs exactly as the
# others do. Needs valgrind.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "${1:-$root/build-ab}")
runs=${RUNS:-7}
if ! command -v valgrind > /dev/null; then
    echo "$0: needs valgrind (apt-get install valgrind)" >&2
    exit 2
fi

tricks=(COPY16 SSE2 INLINE_WALK)
declare -A title=([COPY16]="sixteen-byte copies" [SSE2]="SSE2 block classifier"
                  [INLINE_WALK]="inline line walk")
builds=(on "${tricks[@]}")

# build NAME TRICK [CMAKE-OPTION...]: the shell with every trick on but
# TRICK (none when empty), in $dir/NAME. Every switch is given, so that no
# value stays from an earlier configuration of the directory.
build() {
    local name=$1 off=$2 switches=() t
    shift 2
    for t in "${tricks[@]}"; do
        switches+=("-DHUSK_$t=$([ "$t" = "$off" ] && echo OFF || echo ON)")
    done
    cmake -S "$root" -B "$dir/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release "${switches[@]}" \
        "$@" > /dev/null
    cmake --build "$dir/$name" --target husk > /dev/null
}
build on "" -DHUSK_BENCH=ON
# The helpers beside the first build, where tools.sh looks for them.
cmake --build "$dir/on" --target husk_gen husk_runstat > /dev/null
for t in "${tricks[@]}"; do
    build "$t" "$t"
done

. "$root/bench/tools.sh"
bench_setup "$dir/on/husk"
"$gen" script $((32 << 20)) 1 > "$tmp/script"
"$gen" line $((64 << 20)) 1 > "$tmp/line"
head -c $((4 << 20)) "$tmp/script" | sed '$d' > "$tmp/script4"
"$gen" line $((4 << 20)) 1 > "$tmp/line4"

for b in "${builds[@]}"; do
    { "$dir/$b/husk" -s < "$tmp/script4"; "$dir/$b/husk" -s < "$tmp/line4"; } |
        cksum > "$tmp/$b.sum"
    if ! cmp -s "$tmp/on.sum" "$tmp/$b.sum"; then
        echo "$0: the build with $b off lists the inputs otherwise than with every trick on" >&2
        exit 1
    fi
done

# For each build and input, $tmp/BUILD_INPUT.cg holds the instructions, then
# the mispredicted branches (conditional and indirect).
for b in "${builds[@]}"; do
    for input in script line; do
        valgrind --tool=callgrind --callgrind-out-file=/dev/null --branch-sim=yes \
            "$dir/$b/husk" -s < "$tmp/${input}4" 2>&1 > /dev/null |
            sed -n 's/.*Collected : //p' | awk '{ print $1, $3 + $5 }' > "$tmp/${b}_$input.cg"
        [ -s "$tmp/${b}_$input.cg" ] || { echo "$0: callgrind gave no count" >&2; exit 1; }
    done
done

for ((i = 0; i < runs; i++)); do
    # Who goes first changes every round.
    for ((k = 0; k < ${#builds[@]}; k++)); do
        b=${builds[(i + k) % ${#builds[@]}]}
        for input in script line; do
            sample "${b}_$input" "$tmp/$input" /dev/null 1 "$dir/$b/husk" -s
        done
    done
done
for b in "${builds[@]}"; do
    quiet_or_fail "${b}_script"
    quiet_or_fail "${b}_line"
done

# figures BUILD: the instructions and mispredicted branches on the script,
# the same on the line, then the median CPU seconds on each.
figures() {
    printf '%s %s %s %s\n' "$(cat "$tmp/$1_script.cg")" "$(cat "$tmp/$1_line.cg")" \
        "$(median "$tmp/$1_script.c")" "$(median "$tmp/$1_line.c")"
}

echo "husk -s, every speed trick on, and with each one off ($dir):"
echo "instructions and mispredicted branches by callgrind on 4 MiB of the script and on a"
echo "4 MiB line; CPU seconds, medians of $runs runs on the 32 MiB script and the 64 MiB line"
printf '%-27s %19s %19s %17s\n' "" "instructions (M)" "mispredicted (M)" "CPU s"
printf '%-27s %9s %9s %9s %9s %8s %8s\n' build script line script line script line
for b in "${builds[@]}"; do
    label="all on"
    [ "$b" = on ] || label="${title[$b]} off"
    figures "$b" | awk -v l="$label" '{
        printf "%-27s %9.1f %9.1f %9.2f %9.2f %8.3f %8.3f\n", l,
            $1 / 1e6, $3 / 1e6, $2 / 1e6, $4 / 1e6, $5, $6 }'
done

# What a trick buys: the share of what the build without it spends that
# the build with it saves, on the script and on the long line.
echo "what each trick buys against the build without it, on the script and on the long line:"
for t in "${tricks[@]}"; do
    { figures on; figures "$t"; } | awk -v t="${title[$t]}" '
        NR == 1 { for (i = 1; i <= 6; i++) on[i] = $i }
        NR == 2 { for (i = 1; i <= 6; i++) off[i] = $i }
        function share(i) { return 100 * (off[i] - on[i]) / off[i] }
        function pct(v) { return sprintf("%.1f %%", v < 0 ? -v : v) }
        # "A and B fewer", or "A more and B fewer" when the signs differ.
        function both(i, j, less, more,    a, b) {
            a = share(i); b = share(j)
            if ((a < 0) == (b < 0))
                return pct(a) " and " pct(b) " " (a < 0 ? more : less)
            return pct(a) " " (a < 0 ? more : less) " and " pct(b) " " (b < 0 ? more : less)
        }
        END {
            printf "%s: %s instructions, %s mispredicted branches, %s CPU time\n", t,
                both(1, 3, "fewer", "more"), both(2, 4, "fewer", "more"), both(5, 6, "less", "more")
        }'
done
echo "(figures differ by machine, compiler and release; the CPU times also by the load)"
