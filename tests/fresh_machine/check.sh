#!/usr/bin/env bash
# Checks the README's two commands on a fresh Debian 12, as an ordinary user
# with passwordless sudo: each does its own set-up, and the window runs as
# that user, also when run.sh is started through sudo. Too long for CI (it
# downloads and builds everything); run by hand, as root:
#
#     bash tests/fresh_machine/check.sh [CHROOT_DIR]
#
# It makes a chroot with debootstrap, copies this checkout into the user's
# home and runs run.sh, sudo run.sh and test.sh there.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
root=${1:-/var/tmp/tsr-fresh-machine}
user=dev

[ "$(id -u)" -eq 0 ] || { echo "run as root: it makes a chroot"; exit 2; }
command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap

if [ ! -e "$root/etc/debian_version" ]; then
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
fi

mounts=(proc sys dev dev/pts tmp)
cleanup() { for m in $(printf '%s\n' "${mounts[@]}" | tac); do umount -l "$root/$m" 2>/dev/null || true; done; }
trap cleanup EXIT
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
cp /etc/resolv.conf "$root/etc/resolv.conf"

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends sudo procps passwd >/dev/null
in_root id "$user" >/dev/null 2>&1 || in_root useradd -m -s /bin/bash "$user"
echo "$user ALL=(ALL) NOPASSWD: ALL" > "$root/etc/sudoers.d/$user"
rm -rf "$root/home/$user/tsr"
git -C "$src" archive --format=tar --prefix=tsr/ HEAD | tar -x -C "$root/home/$user"
in_root chown -R "$user:$user" "/home/$user/tsr"

as_user() { chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME="/home/$user" USER="$user" \
                /usr/sbin/runuser -u "$user" -- bash -c "cd ~/tsr && $*"; }
owner_of_window() {   # waits for the window's process in the chroot and prints its user id
    for _ in $(seq 1 1800); do
        for pid in $(pgrep -x tsr_installer || true); do
            if [ "$(readlink "/proc/$pid/root")" = "$root" ]; then
                ps -o uid= -p "$pid" | tr -d ' '
                return 0
            fi
        done
        sleep 1
    done
    return 1
}
stop_window() {
    for pid in $(pgrep -x tsr_installer || true); do
        [ "$(readlink "/proc/$pid/root")" = "$root" ] && kill "$pid"
    done
}

status=0
for command in "bash scripts/run.sh" "sudo bash scripts/run.sh"; do
    echo "== $command, as $user"
    log="$root/tmp/$(echo "$command" | tr ' /' '__').log"
    as_user "$command" > "$log" 2>&1 &
    owner=$(owner_of_window) || { tail -30 "$log"; owner=none; }
    echo "window runs as user id $owner; $user is $(in_root id -u "$user")"
    [ "$owner" = "$(in_root id -u "$user")" ] || status=1
    stop_window; wait || true
done

echo "== test.sh as $user"
if as_user "bash scripts/test.sh" > "$root/tmp/test.log" 2>&1; then echo "test.sh passed"; else tail -40 "$root/tmp/test.log"; status=1; fi
grep -E "tests passed|tests failed" "$root/tmp/test.log" || true

exit $status
