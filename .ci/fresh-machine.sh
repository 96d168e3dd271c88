#!/usr/bin/env bash
# Runs the whole of .ci/run on a brand-new minimal Debian, as CI would on a
# machine that has never seen the project: a root made with
# `debootstrap --variant=minbase` in a temporary directory under /var/tmp,
# the committed tree cloned into it, the README's first install line, then
# `bash .ci/run` under chroot with /proc, /dev and /dev/pts mounted. .ci/run
# itself ends with it, for the release after the one CI runs on; the
# .ci/run inside the new root knows it is there (HUSK_FRESH_MACHINE names
# the release) and goes no deeper.
#
#   .ci/fresh-machine.sh [RELEASE]   # e.g. trixie; default bookworm
#
# Needs root and debootstrap. MIRROR, when set, is passed to debootstrap.
# The mounts are undone and the root removed on exit, also on failure.
set -euo pipefail
gate=fresh-machine
. "$(dirname "$0")/lib.sh"
suite=${1:-bookworm}

[ "$(id -u)" -eq 0 ] || die "must run as root (debootstrap, mount, chroot)"
command -v debootstrap > /dev/null || die "debootstrap is missing (apt-get install debootstrap)"

# The install line: the first `apt-get install` of the README, run as root.
install_line=$(sed -n 's/^\(sudo \)\{0,1\}apt-get install \([^#]*\).*/\2/p' "$src/README.md" | head -n 1)
[ -n "$install_line" ] || die "no apt-get install line in README.md"

temporary=$(mktemp -d /var/tmp/husk-fresh.XXXXXX)
root=$temporary/root
cleanup() {
    local m
    for m in "$root/dev/pts" "$root/dev" "$root/proc"; do
        ! mountpoint -q "$m" || umount "$m" || umount -l "$m" || true
    done
    # The root goes only once nothing is mounted in it: removing files
    # through a mount of /dev would remove the machine's own.
    if grep -q " $temporary/" /proc/self/mounts; then
        echo "$gate: $temporary still has mounts; left in place" >&2
    else
        rm -rf --one-file-system "$temporary"
    fi
}
trap cleanup EXIT

# fail <what> <log>: the end of the log, then the failure.
fail() {
    tail -n 40 "$2" >&2
    die "$1; the end of ${2##*/} is above"
}

step "debootstrap --variant=minbase $suite $root"
debootstrap --variant=minbase "$suite" "$root" "${MIRROR:-}" > "$temporary/debootstrap.log" 2>&1 ||
    fail "debootstrap failed" "$temporary/debootstrap.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
clone_commit "$root/root/husk"

mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"

env=(PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root)
[ -z "${HUSK_TEST_TIMEOUT_FACTOR:-}" ] || env+=("HUSK_TEST_TIMEOUT_FACTOR=$HUSK_TEST_TIMEOUT_FACTOR")
step "apt-get install $install_line"
# shellcheck disable=SC2086 # the line is a list of package names
chroot "$root" /usr/bin/env -i "${env[@]}" DEBIAN_FRONTEND=noninteractive \
    sh -c "apt-get update && apt-get install -y $install_line" \
    < /dev/null > "$temporary/install.log" 2>&1 || fail "the README's install line failed" "$temporary/install.log"

step "bash .ci/run"
chroot "$root" /usr/bin/env -i "${env[@]}" CI=true HUSK_FRESH_MACHINE="$suite" \
    bash -c 'cd /root/husk && bash .ci/run' < /dev/null 2>&1 ||
    die ".ci/run ended with status $? after $SECONDS s"
step ".ci/run passed on a fresh $suite in $SECONDS s"
