#!/usr/bin/env bash
# Runs the whole of .ci/run on a brand-new minimal Debian, as CI would on a
# machine that has never seen the project: a root made with
# `debootstrap --variant=minbase`, the committed tree cloned into it, the
# README's first install line, then `bash .ci/run` under chroot with /proc,
# /dev and /dev/pts mounted. Not run by .ci/run itself: it downloads a whole
# system and takes about as long as CI.
#
#   tests/fresh-machine.sh [DIR]     # the root, default /tmp/husk-fresh-root
#
# Needs root and debootstrap. An existing root in DIR (from an earlier run)
# is used again as it is; remove DIR for a clean start. SUITE picks the
# Debian release (bookworm); MIRROR, when set, is passed to debootstrap.
# The mounts are undone on exit, also on failure.
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-/tmp/husk-fresh-root}
suite=${SUITE:-bookworm}

die() {
    echo "fresh-machine: FAIL: $*" >&2
    exit 1
}
step() { echo "fresh-machine: $*"; }

[ "$(id -u)" -eq 0 ] || die "must run as root (debootstrap, mount, chroot)"
command -v debootstrap > /dev/null || die "debootstrap is missing (apt-get install debootstrap)"

# The install line: the first `apt-get install` of the README, run as root.
install_line=$(sed -n 's/^\(sudo \)\{0,1\}apt-get install \([^#]*\).*/\2/p' "$src/README.md" | head -n 1)
[ -n "$install_line" ] || die "no apt-get install line in README.md"

start=$SECONDS
if [ ! -e "$root/etc/debian_version" ]; then
    step "debootstrap --variant=minbase $suite $root"
    debootstrap --variant=minbase "$suite" "$root" ${MIRROR:+"$MIRROR"} > "$root.debootstrap.log" 2>&1 ||
        die "debootstrap failed; see $root.debootstrap.log"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

# A clone of the commit checked out here: what is not committed is not
# tested, as on CI.
commit=$(git -C "$src" rev-parse HEAD)
rm -rf "$root/root/husk"
git clone -q --no-checkout "$src" "$root/root/husk"
git -C "$root/root/husk" checkout -q --detach "$commit"
step "cloned $(git -C "$src" log -1 --format='%h %s' "$commit")"

mounted=()
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" || umount -l "${mounted[i]}" || true
    done
}
trap cleanup EXIT
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --bind /dev "$root/dev" && mounted+=("$root/dev")
mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")

step "apt-get install $install_line"
# shellcheck disable=SC2086 # the line is a list of package names
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    DEBIAN_FRONTEND=noninteractive sh -c "apt-get update && apt-get install -y $install_line" \
    < /dev/null > "$root.install.log" 2>&1 || die "the README's install line failed; see $root.install.log"

step "bash .ci/run (log: $root.ci.log)"
status=0
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root CI=true \
    bash -c 'cd /root/husk && bash .ci/run' < /dev/null 2>&1 | tee "$root.ci.log" || status=$?
[ "$status" -eq 0 ] || die ".ci/run ended with status $status after $((SECONDS - start)) s"
step ".ci/run passed on a fresh $suite in $((SECONDS - start)) s"
