#!/bin/sh
# probe.sh [ZOMBIES] - describes the process that started it (the shell
# under test) in one line: "<VmRSS KiB> <zombie children> <descriptors>",
# the descriptors as a list such as 0,1,2. The end-to-end tests run it as
# a command of the shell.
#
# It looks again every 0.1 s, for up to 10 s (times
# HUSK_TEST_TIMEOUT_FACTOR), until no other child of the shell runs and at
# least ZOMBIES (default 0) of them are zombies. Children are found by the
# state and parent fields of /proc/*/stat, which follow the last ") " of the
# line (a command name may hold blanks).
p=$PPID
want=${1:-0}
tries=$((100 * ${HUSK_TEST_TIMEOUT_FACTOR:-1}))
n=0
while :; do
    z=0 running=0
    for s in /proc/[0-9]*/stat; do
        { read -r l < "$s"; } 2> /dev/null || continue
        set -- ${l##*) }
        [ "$2" = "$p" ] || continue
        if [ "$1" = Z ]; then
            z=$((z + 1))
        elif [ "$s" != "/proc/$$/stat" ]; then
            running=$((running + 1))
        fi
    done
    if { [ "$z" -ge "$want" ] && [ "$running" -eq 0 ]; } || [ "$n" -ge "$tries" ]; then
        break
    fi
    n=$((n + 1))
    sleep 0.1
done
rss=0
while read -r k v u; do
    [ "$k" = VmRSS: ] && rss=$v
done < "/proc/$p/status"
fds=
for f in "/proc/$p/fd/"*; do
    fds=$fds${fds:+,}${f##*/}
done
echo "$rss $z $fds"
