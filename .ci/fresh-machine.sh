#!/usr/bin/env bash
# Runs the whole of .ci/run on a brand-new minimal Debian, as CI would on a
# machine that has never seen the project: a root made with
# `debootstrap --variant=minbase`, the committed tree cloned into it, the
# README's first install line, then `bash .ci/run` under chroot with /proc,
# /dev and /dev/pts mounted. .ci/run itself ends with it, for the release
# after the one CI runs on; the .ci/run inside the new root knows it is
# there (HUSK_FRESH_MACHINE names the release) and goes no deeper.
#
#   .ci/fresh-machine.sh [RELEASE [DIR]]   # e.g. trixie; default bookworm
#
# Needs root and debootstrap. RELEASE may also be given as SUITE=RELEASE. A
# release this debootstrap has no script for (a testing release newer than
# it) is made with the script of unstable. Without DIR the root is new, in
# a temporary directory that is removed at the end; an existing root in DIR
# (from an earlier run) is used again as it is, with the logs beside it.
# MIRROR, when set, is passed to debootstrap. The mounts are undone on exit,
# also on failure.
set -euo pipefail
gate=fresh-machine
. "$(dirname "$0")/lib.sh"
suite=${1:-${SUITE:-bookworm}}

[ "$(id -u)" -eq 0 ] || die "must run as root (debootstrap, mount, chroot)"
command -v debootstrap > /dev/null || die "debootstrap is missing (apt-get install debootstrap)"

# The install line: the first `apt-get install` of the README, run as root.
install_line=$(sed -n 's/^\(sudo \)\{0,1\}apt-get install \([^#]*\).*/\2/p' "$src/README.md" | head -n 1)
[ -n "$install_line" ] || die "no apt-get install line in README.md"

mounted=()
temporary=
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" || umount -l "${mounted[i]}" || true
    done
    # A temporary root goes only once nothing is mounted in it: removing
    # files through a mount of /dev would remove the machine's own.
    if [ -n "$temporary" ]; then
        if grep -q " $temporary/" /proc/self/mounts; then
            echo "$gate: $temporary still has mounts; left in place" >&2
        else
            rm -rf --one-file-system "$temporary"
        fi
    fi
}
trap cleanup EXIT

if [ $# -ge 2 ]; then
    root=$2 logs=$2.
else
    temporary=$(mktemp -d /var/tmp/husk-fresh.XXXXXX)
    root=$temporary/root logs=$temporary/
fi
# fail <what> <log>: the end of the log, then the failure.
fail() {
    tail -n 40 "$2" >&2
    die "$1; the end of ${2##*/} is above"
}

start=$SECONDS
if [ ! -e "$root/etc/debian_version" ]; then
    script=
    [ -e "/usr/share/debootstrap/scripts/$suite" ] || script=sid
    step "debootstrap --variant=minbase $suite $root ${script:+(the script of $script)}"
    mkdir -p "$root"
    # shellcheck disable=SC2086 # no script is no argument
    debootstrap --variant=minbase "$suite" "$root" "${MIRROR:-}" $script > "${logs}debootstrap.log" 2>&1 ||
        fail "debootstrap failed" "${logs}debootstrap.log"
    step "debootstrap took $((SECONDS - start)) s"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

rm -rf "$root/root/husk"
clone_commit "$root/root/husk"

mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --bind /dev "$root/dev" && mounted+=("$root/dev")
mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")

env=(PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root)
[ -z "${HUSK_TEST_TIMEOUT_FACTOR:-}" ] || env+=("HUSK_TEST_TIMEOUT_FACTOR=$HUSK_TEST_TIMEOUT_FACTOR")
phase=$SECONDS
step "apt-get install $install_line"
# shellcheck disable=SC2086 # the line is a list of package names
chroot "$root" /usr/bin/env -i "${env[@]}" DEBIAN_FRONTEND=noninteractive \
    sh -c "apt-get update && apt-get install -y $install_line" \
    < /dev/null > "${logs}install.log" 2>&1 || fail "the README's install line failed" "${logs}install.log"
step "the install line took $((SECONDS - phase)) s"

note=" (log: ${logs}ci.log)"
[ -z "$temporary" ] || note=
step "bash .ci/run$note"
status=0
chroot "$root" /usr/bin/env -i "${env[@]}" CI=true HUSK_FRESH_MACHINE="$suite" \
    bash -c 'cd /root/husk && bash .ci/run' < /dev/null 2>&1 | tee "${logs}ci.log" || status=$?
[ "$status" -eq 0 ] || die ".ci/run ended with status $status after $((SECONDS - start)) s"
step ".ci/run passed on a fresh $suite in $((SECONDS - start)) s"
