#!/usr/bin/env bash
# Makes (once) a Debian 13 ("trixie") system with its desktops (GNOME Shell,
# KWin, sway, Xwayland), Qt and Lurn's build and test dependencies, and prints
# its path on stdout. Needs root and debootstrap.
#   tests/debian13/system.sh            -> /var/cache/lurn-tests/debian13-<hash>
# The system is kept under LURN_DEBIAN13_CACHE (default /var/cache/lurn-tests)
# in a directory named by a hash of its package list, so a second run reuses
# it and a changed list makes a new one. It is made in a temporary directory
# and renamed only once complete: a half-made system is never used. A lock
# keeps two concurrent callers from both making it.
# Run commands in it with tests/debian13/run.sh.
set -euo pipefail

# Lurn's build and test dependencies under Debian 13's names (no clang or
# PostgreSQL server: the build there is GCC's, the records tests run here).
packages=(
    gnome-shell gjs kwin-wayland sway xwayland qt6-base-dev qt6-wayland dbus dbus-daemon
    cmake ninja-build pkg-config g++
    libgl-dev libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev libfontconfig-dev
    libwayland-dev libwayland-bin qt6-charts-dev libqt6sql6-sqlite libqt6sql6-psql
    libsqlite3-dev libpq-dev fonts-dejavu-core
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libxcb-damage0-dev
    xvfb xauth openbox x11-utils xdotool wmctrl weston
    libglib2.0-bin libgl1-mesa-dri dconf-cli sqlite3 util-linux tzdata
    dpkg-dev file appstream systemd ca-certificates
    # Booted as a container with systemd as PID 1 (tests/debian13/station/):
    # logind sessions, LightDM's login screen on Xvfb, PAM stacks checked by
    # pamtester, a private PostgreSQL reached through its socket.
    systemd-sysv libpam-systemd dbus-user-session procps
    lightdm lightdm-gtk-greeter pamtester postgresql-client
)

if ((EUID != 0)); then
    echo "system.sh: needs root (debootstrap, chroot)" >&2
    exit 1
fi
# The mirror this machine's apt already uses.
mirror=$(grep -rhoE '(https?://[^ ]*debian)/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null \
    | grep -v security | head -n1 | tr -d ' ' || true)
mirror=${mirror:-http://deb.debian.org/debian}
mirror=${mirror%/}

cache=${LURN_DEBIAN13_CACHE:-/var/cache/lurn-tests}
hash=$(printf '%s\n' "$mirror" "${packages[@]}" | sha256sum | cut -c1-12)
system=$cache/debian13-$hash
mkdir -p "$cache"

exec 9>"$cache/debian13.lock"
flock 9
if [[ -f "$system/.lurn-complete" ]]; then
    echo "$system"
    exit 0
fi

command -v debootstrap >/dev/null || { echo "system.sh: debootstrap is missing" >&2; exit 1; }
work=$(mktemp -d "$cache/.debian13-making.XXXXXX")
chmod 755 "$work" # its / : the test user must reach everything under it
mounted=()
cleanup() {
    local m
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -l "${mounted[i]}" 2>/dev/null || true
    done
    # An if, not &&: the trap's last status would be the script's, and a
    # finished system (work emptied) must exit 0.
    if [[ -n "$work" && -d "$work" ]]; then rm -rf --one-file-system "$work"; fi
}
trap cleanup EXIT

started=$SECONDS
echo "system.sh: debootstrap trixie from $mirror into $work" >&2
debootstrap --variant=minbase trixie "$work" "$mirror" >"$work.debootstrap.log" 2>&1 || {
    tail -n 30 "$work.debootstrap.log" >&2; rm -f "$work.debootstrap.log"; exit 1; }
rm -f "$work.debootstrap.log"
echo "system.sh: debootstrap took $((SECONDS - started)) s" >&2

mount -t proc proc "$work/proc" && mounted+=("$work/proc")
mount --rbind /dev "$work/dev" && mount --make-rslave "$work/dev" && mounted+=("$work/dev")
mount --rbind /sys "$work/sys" && mount --make-rslave "$work/sys" && mounted+=("$work/sys")
cp /etc/resolv.conf "$work/etc/resolv.conf"
# No services start inside while installing.
printf '#!/bin/sh\nexit 101\n' >"$work/usr/sbin/policy-rc.d"
chmod 755 "$work/usr/sbin/policy-rc.d"

started=$SECONDS
chroot "$work" env DEBIAN_FRONTEND=noninteractive LC_ALL=C apt-get update -qq
chroot "$work" env DEBIAN_FRONTEND=noninteractive LC_ALL=C \
    apt-get install -y -qq --no-install-recommends "${packages[@]}" >&2
chroot "$work" apt-get clean
rm -f "$work/usr/sbin/policy-rc.d"
echo "system.sh: apt-get install took $((SECONDS - started)) s" >&2

for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
done
mounted=()
printf '%s\n' "${packages[@]}" >"$work/.lurn-packages"
touch "$work/.lurn-complete"
mv -T "$work" "$system"
work=
echo "$system"
