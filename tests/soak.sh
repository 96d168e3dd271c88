#!/bin/bash
# soak.sh HUSK [LINES] - runs a long script (default 100,000 lines) through
# the shell and checks that its resident memory, its open descriptors and
# its unreaped children stay flat.
#
# The script repeats a block that mixes built-in `cd` (good, failing, in
# pipes, across continuation lines), redirections with and without a
# program, pipelines, background commands and pipelines, skipped commands,
# missing programs, a program killed by a signal and syntax errors. Every
# tenth of the way the shell runs tests/probe.sh, whose parent is the shell
# itself; it reads /proc/$PPID for VmRSS, the zombie children and the
# descriptors. The first probe comes after one block, once the shell's
# buffers have reached their working size.
#
# Flat means: the same descriptors open at the end as at the start,
# at most SOAK_ZOMBIES (default 0) more zombies, and at most SOAK_RSS_KIB
# (default 256; "off" skips this check) more KiB resident. Exits 1 when any
# of them grew, when the shell did not reach the end of the script, or when
# it ended with a status other than 0.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 HUSK [LINES]" >&2
    exit 2
fi
husk=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
lines=${2:-100000}
rss_tolerance=${SOAK_RSS_KIB:-256}
zombie_tolerance=${SOAK_ZOMBIES:-0}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/husk-soak.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
d=$tmp/d
mkdir -p "$d/sub"

# The probe (probe.sh, beside this script) adds "<VmRSS KiB> <zombies>
# <descriptors>" of the shell to the samples. A first probe, whose line
# goes to the shell's output, waits until the background commands started
# before have ended, so that the shell has collected them all when it reads
# the second probe's line.
probe_lines="/bin/sh '$here/probe.sh'
/bin/sh '$here/probe.sh' 0 $tmp/samples
"

# Most lines start no process, so the short form stays quick; the
# lines that do cover every way a child is started and ended.
block="cd $d/sub
> $d/f1
cd '..' ; cd \"sub\" ; cd \\.\\.
cd sub | cd ..
cd /nonexistent/dir
/bin/cat < $d/f1 | /bin/cat >> $d/f2
/bin/true &
< $d/f1 > $d/f3
cd . > $d/f3
| bad
a ; ; b
cd $d/sub && cd \"..\" || cd /
cd /nonexistent && /bin/echo never > $d/never
cd 'sub
'
cd .. |
cd $d
"
# Every tenth block adds the rarer and dearer cases.
rare="/nonexistent/program arg
/bin/echo soak > $d/f1
false && /bin/echo never > $d/never
/bin/echo x | /bin/cat > /dev/null &
/bin/sh -c 'kill -9 \$\$'
/bin/true | /bin/true | /bin/true > $d/f4
> $d/f5 /bin/true
"
block_lines=$(printf '%s' "$block" | grep -c '')
rare_lines=$(printf '%s' "$rare" | grep -c '')
samples=10

probes=0
{
    echo "cd $d"
    printf '%s' "$block" "$probe_lines"
    probes=1
    n=$block_lines
    step=$(( (lines + samples - 1) / samples ))
    next=$step
    b=0
    while ((n < lines)); do
        printf '%s' "$block"
        n=$((n + block_lines))
        b=$((b + 1))
        if ((b % 10 == 0)); then
            printf '%s' "$rare"
            n=$((n + rare_lines))
        fi
        if ((n >= next || n >= lines)); then
            printf '%s' "$probe_lines"
            probes=$((probes + 1))
            next=$((next + step))
        fi
    done
} > "$tmp/script"

start=$(date +%s%N)
status=0
"$husk" < "$tmp/script" > /dev/null 2> "$tmp/stderr" || status=$?
end=$(date +%s%N)

touch "$tmp/samples"
echo "soak: $(grep -c '' "$tmp/script") lines in $(( (end - start) / 1000000 )) ms"
awk 'BEGIN { print "  probe  VmRSS KiB  zombies  descriptors" }
     { printf "  %5d %10d %8d  %s\n", NR, $1, $2, $3 }' "$tmp/samples"

if [ "$status" != 0 ]; then
    echo "FAIL: the shell ended with status $status" >&2
    exit 1
fi
if [ "$(grep -c '' "$tmp/samples")" != "$probes" ]; then
    echo "FAIL: $(grep -c '' "$tmp/samples") of $probes probes ran" >&2
    exit 1
fi
read -r rss0 z0 fds0 < "$tmp/samples"
read -r rss1 z1 fds1 < <(tail -n 1 "$tmp/samples")
fail=0
if [ "$fds1" != "$fds0" ]; then
    echo "FAIL: descriptors went from $fds0 to $fds1" >&2
    fail=1
fi
if [ "$z1" -gt $((z0 + zombie_tolerance)) ]; then
    echo "FAIL: zombie children went from $z0 to $z1" >&2
    fail=1
fi
if [ "$rss_tolerance" != off ] && [ "$rss1" -gt $((rss0 + rss_tolerance)) ]; then
    echo "FAIL: resident memory went from $rss0 KiB to $rss1 KiB" >&2
    fail=1
fi
if [ "$fail" = 0 ]; then
    echo "flat: descriptors $fds0 -> $fds1, zombies $z0 -> $z1, VmRSS $rss0 -> $rss1 KiB"
fi
exit "$fail"
