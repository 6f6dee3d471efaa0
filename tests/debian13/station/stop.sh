#!/usr/bin/env bash
# Stops a container that boot.sh started and removes every trace of it:
#   stop.sh STATE
# First a clean power-off (SIGTERM makes systemd-nspawn ask the container's
# systemd to halt), bounded by LURN_STATION_STOP_TIMEOUT (s, default 30); then
# SIGKILL to the container's PID 1 (which takes every process of its PID
# namespace with it) and to nspawn; then the overlay is unmounted and the state
# directory, with the upper layer of everything written inside, removed.
# Safe to call on a half-made state (boot.sh calls it when a boot fails).
# Exits 1 if something could not be removed, with what it was.
set -euo pipefail

state=${1:?usage: stop.sh STATE}
[[ -d "$state" ]] || exit 0
timeout=${LURN_STATION_STOP_TIMEOUT:-30}

# Gone or a zombie: nspawn's parent (boot.sh) exits after the boot, and who
# inherits it may reap it late.
alive() {
    local st
    st=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ -n "$st" && "$st" != Z && "$st" != X ]]
}
# The leader only while it still is the container's PID 1 (not a reused PID).
leader_alive() {
    [[ -f "$state/leader.pid" && -f "$state/pidns" ]] || return 1
    local leader
    leader=$(cat "$state/leader.pid")
    [[ "$(readlink "/proc/$leader/ns/pid" 2>/dev/null)" == "$(cat "$state/pidns")" ]] && alive "$leader"
}
wait_gone() {
    local pid=$1 until=$((SECONDS + $2))
    while alive "$pid"; do
        ((SECONDS < until)) || return 1
        sleep 0.1
    done
}

# The kernel kills the rest of the PID namespace with its PID 1, and lets
# PID 1 end only once they all have: PID 1 gone, the namespace is empty.
kill_leader() {
    if leader_alive; then
        kill -KILL "$(cat "$state/leader.pid")" 2>/dev/null || true
        wait_gone "$(cat "$state/leader.pid")" 10 || true
    fi
}

nspawn=
[[ -f "$state/nspawn.pid" ]] && nspawn=$(cat "$state/nspawn.pid")
# nspawn's PID is only ours while its command line still is systemd-nspawn.
if [[ -n "$nspawn" ]] && ! tr '\0' ' ' 2>/dev/null <"/proc/$nspawn/cmdline" | grep -q systemd-nspawn; then
    nspawn=
fi

if [[ -n "$nspawn" ]] && alive "$nspawn"; then
    kill -TERM "$nspawn" 2>/dev/null || true
    if ! wait_gone "$nspawn" "$timeout"; then
        echo "stop.sh: the container did not power off in $timeout s; killing it" >&2
        kill_leader
        kill -KILL "$nspawn" 2>/dev/null || true
        wait_gone "$nspawn" 10 || echo "stop.sh: systemd-nspawn ($nspawn) outlived SIGKILL" >&2
    fi
fi
kill_leader

# What nspawn keeps on the host while it runs, and leaves when killed.
if [[ -f "$state/machine" ]]; then
    rm -rf "/run/systemd/nspawn/propagate/$(cat "$state/machine")"
fi
if mountpoint -q "$state/root"; then
    rm -f "/run/systemd/nspawn/locks/inode-$(stat -c '%d:%i' "$state/root")"
fi

failed=0
if leader_alive; then
    echo "stop.sh: the container's PID 1 ($(cat "$state/leader.pid")) is still running" >&2
    failed=1
fi
# Every mount under the state directory, deepest first.
mounts=$(awk -v root="$state/" 'index($5 "/", root) == 1 { print $5 }' /proc/self/mountinfo | sort -r)
for m in $mounts; do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
done
if awk -v root="$state/" 'index($5 "/", root) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; then
    echo "stop.sh: still mounted under $state" >&2
    failed=1
else
    rm -rf --one-file-system "$state"
fi
exit "$failed"
