#!/usr/bin/env bash
# Runs every fuzz target of a build for a bounded time, starting from the
# committed seeds, and fails when any of them finds something.
#   fuzz/run.sh <fuzz build directory> [seconds per target, default 60]
# New inputs go to <build>/fuzz-corpus/<target>/ (kept between runs, never
# committed); a finding is saved in fuzz/artifacts/ and its report shown.
set -uo pipefail

build=${1:?usage: fuzz/run.sh <fuzz build directory> [seconds per target]}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
artifacts=$here/artifacts
mkdir -p "$artifacts"

failed=0
for seeds in "$here"/corpus/*/; do
    target=$(basename "$seeds")
    bin=$build/fuzz/$target
    if [ ! -x "$bin" ]; then
        echo "fuzz: $bin is missing; build with -DHUSK_FUZZ=ON" >&2
        failed=1
        continue
    fi
    work=$build/fuzz-corpus/$target
    log=$build/fuzz-$target.log
    mkdir -p "$work"
    # -timeout turns an input that does not end within 10 s into a finding;
    # leaks are findings too.
    "$bin" "$work" "$seeds" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=8192 -dict="$here/husk.dict" \
        -detect_leaks=1 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" > "$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    if [ "$status" -eq 0 ]; then
        echo "fuzz: $target: ${runs:-?} executions in ${seconds} s (${rate:-?}/s), no finding"
    else
        failed=1
        echo "fuzz: $target: FINDING after ${runs:-?} executions (status $status); log $log" >&2
        grep -E -A40 '^==[0-9]+==ERROR|runtime error|property broken|^fuzz_loop:|deadly signal|Test unit written' "$log" | head -80 >&2
    fi
done
exit $failed
