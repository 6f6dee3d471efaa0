#!/usr/bin/env bash
# Boots the Debian 13 system of tests/debian13/system.sh as a container with
# systemd as PID 1, in the background, and prints what the other helpers and
# the caller need, as shell assignments for eval:
#   STATION_STATE=<dir> STATION_MACHINE=<name> STATION_NSPAWN_PID=<pid>
#   STATION_LEADER_PID=<the container's PID 1, as the host sees it>
#   boot.sh [--bind HOSTDIR[:INSIDE]]... [--bind-ro HOSTDIR[:INSIDE]]...
# The cached system is never written: it is the lower layer of an overlay
# whose upper layer lives in the state directory, so every boot starts from
# the same system and what a test writes inside is gone with stop.sh.
# A bound directory (the build or install tree, the socket directory of a
# private PostgreSQL on the host) appears at the same path inside unless told
# otherwise. Keep it out of /tmp inside: the container mounts its own /tmp.
# No network (the server is reached through its Unix socket), no machined
# registration (the host runs no systemd). Stop it with stop.sh <state dir>.
# LURN_DEBIAN13_SYSTEM=DIR boots DIR instead of making or finding the system;
# LURN_STATION_BOOT_TIMEOUT (s, default 120) bounds the wait for the boot.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if ((EUID != 0)); then
    echo "boot.sh: needs root (overlay mount, systemd-nspawn)" >&2
    exit 1
fi
command -v systemd-nspawn >/dev/null || {
    echo "boot.sh: systemd-nspawn is missing (package systemd-container)" >&2; exit 1; }

binds=()
while (($#)); do
    case "$1" in
    --bind | --bind-ro)
        [[ -n "${2:-}" ]] || { echo "boot.sh: $1 needs a directory" >&2; exit 2; }
        binds+=("$1=$2")
        shift 2
        ;;
    *) echo "boot.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

system=${LURN_DEBIAN13_SYSTEM:-$("$here/../system.sh")}
[[ -x "$system/usr/lib/systemd/systemd" ]] || {
    echo "boot.sh: $system has no systemd to boot" >&2; exit 1; }

state=$(mktemp -d "${TMPDIR:-/tmp}/lurn-station.XXXXXX")
booted=
cleanup() {
    [[ -n "$booted" ]] || "$here/stop.sh" "$state" >&2 || true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# An overlay of our own rather than nspawn's --volatile=overlay: the helpers
# can then prepare files before the boot and read logs from the host, and
# stop.sh can prove the upper layer is gone.
mkdir "$state/upper" "$state/work" "$state/root"
echo "$system" >"$state/system"
mount -t overlay overlay -o "lowerdir=$system,upperdir=$state/upper,workdir=$state/work" "$state/root"
chmod 755 "$state/root" "$state"

# LightDM is enabled by its package; it starts only when a test asks
# (lightdm.sh), so that a boot without it is quick and has no failed unit.
rm -f "$state/root/etc/systemd/system/display-manager.service"

machine=lurn-$(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')
echo "$machine" >"$state/machine"

# --keep-unit: no host systemd to make a scope unit in. The unified cgroup
# hierarchy: systemd 257 no longer runs on cgroup v1, which the host mounts.
# CAP_IPC_LOCK: LightDM locks its memory and crashes on the password without.
# The console goes to a file: it is what tells why a boot failed.
SYSTEMD_NSPAWN_UNIFIED_HIERARCHY=1 systemd-nspawn --quiet --register=no --keep-unit \
    --private-network --capability=CAP_IPC_LOCK --link-journal=no --console=read-only \
    --machine="$machine" -D "$state/root" "${binds[@]}" -b \
    </dev/null >"$state/console.log" 2>&1 &
nspawn=$!
echo "$nspawn" >"$state/nspawn.pid"

started=$EPOCHREALTIME
timeout=${LURN_STATION_BOOT_TIMEOUT:-120}
deadline=$((SECONDS + timeout))

# The container's PID 1 is nspawn's grandchild: the process under nspawn whose
# own PID namespace numbers it 1.
find_leader() {
    local pid nspid
    for pid in $(pgrep -P "$nspawn") $(pgrep -P "$nspawn" | xargs -r -n1 pgrep -P); do
        nspid=$(awk '/^NSpid:/ { print $NF }' "/proc/$pid/status" 2>/dev/null) || continue
        [[ "$nspid" == 1 ]] && { echo "$pid"; return 0; }
    done
    return 1
}
leader=
until leader=$(find_leader); do
    if ! kill -0 "$nspawn" 2>/dev/null || ((SECONDS > deadline)); then
        echo "boot.sh: systemd-nspawn did not start the container; its output:" >&2
        tail -n 40 "$state/console.log" >&2
        exit 1
    fi
    sleep 0.1
done
echo "$leader" >"$state/leader.pid"
readlink "/proc/$leader/ns/pid" >"$state/pidns"

# Until systemd says the boot is done (degraded is fine: a container lacks
# what some units want). Bounded twice: --wait by timeout, the loop by the
# deadline, since systemctl fails at once while PID 1's bus is not up yet.
status=
while :; do
    status=$(timeout 10 "$here/exec.sh" "$state" -- systemctl is-system-running --wait 2>/dev/null) || true
    [[ "$status" == running || "$status" == degraded ]] && break
    if ! kill -0 "$nspawn" 2>/dev/null || ((SECONDS > deadline)); then
        echo "boot.sh: the container did not finish booting in $timeout s (systemd says '${status:-nothing}')" >&2
        timeout 10 "$here/exec.sh" "$state" -- systemctl list-jobs --no-pager >&2 || true
        timeout 10 "$here/exec.sh" "$state" -- systemctl --failed --no-pager >&2 || true
        tail -n 40 "$state/console.log" >&2
        exit 1
    fi
    sleep 0.2
done
if [[ "$status" == degraded ]]; then
    echo "boot.sh: booted degraded; failed units:" >&2
    "$here/exec.sh" "$state" -- systemctl --failed --no-pager --no-legend >&2 || true
fi
awk -v from="$started" -v to="$EPOCHREALTIME" -v m="$machine" -v s="$status" \
    'BEGIN { printf "boot.sh: %s booted in %.1f s (%s)\n", m, to - from, s }' >&2

booted=1
printf 'STATION_STATE=%q\nSTATION_MACHINE=%q\nSTATION_NSPAWN_PID=%q\nSTATION_LEADER_PID=%q\n' \
    "$state" "$machine" "$nspawn" "$leader"
