#!/usr/bin/env bash
# Runs one test command beside a private systemd user manager.
#   with-user-manager.sh command args...
# The manager gets its own runtime and configuration directories and is ended
# afterwards. systemd runs a user manager only on a machine booted with
# systemd; where /run/systemd/system is missing (a container) and we are
# root, the manager runs in a mount namespace of its own with a private /run
# that says so. Where no manager can run, the command runs all the same with
# LURN_USER_MANAGER_WHY telling why, and skips what needs it.
set -uo pipefail

if [[ ! -d /run/systemd/system && -z "${LURN_PRIVATE_RUN:-}" ]]; then
    if ((EUID == 0)) && unshare -m --propagation private true 2>/dev/null; then
        exec unshare -m --propagation private env LURN_PRIVATE_RUN=1 "$0" "$@"
    fi
    export LURN_USER_MANAGER_WHY="no systemd on this machine, and no private mount namespace to give one a /run"
    exec "$@"
fi
if [[ -n "${LURN_PRIVATE_RUN:-}" ]]; then
    mount -t tmpfs -o mode=755 lurn-run /run && mkdir -p /run/systemd/system || {
        export LURN_USER_MANAGER_WHY="cannot mount a private /run"
        exec "$@"
    }
fi

manager_bin=/lib/systemd/systemd
if [[ ! -x "$manager_bin" ]] || ! command -v systemctl >/dev/null; then
    export LURN_USER_MANAGER_WHY="systemd is not installed"
    exec "$@"
fi

dir=$(mktemp -d)
chmod 700 "$dir"
mkdir -p "$dir/runtime" "$dir/config/systemd/user"
chmod 700 "$dir/runtime"
export XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config"
unset DBUS_SESSION_BUS_ADDRESS

"$manager_bin" --user --log-target=console >"$dir/manager.log" 2>&1 &
manager_pid=$!
cleanup() {
    systemctl --user exit >/dev/null 2>&1
    for _ in $(seq 100); do
        kill -0 "$manager_pid" 2>/dev/null || break
        sleep 0.05
    done
    kill "$manager_pid" 2>/dev/null && wait "$manager_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT

up=
for _ in $(seq 200); do
    if ! kill -0 "$manager_pid" 2>/dev/null; then
        break
    fi
    state=$(systemctl --user is-system-running 2>/dev/null)
    if [[ "$state" == running || "$state" == degraded ]]; then
        up=1
        break
    fi
    sleep 0.05
done
if [[ -n "$up" ]] && ! why=$(timeout 30 systemd-run --user --wait --quiet true 2>&1); then
    export LURN_USER_MANAGER_WHY="the systemd user manager cannot start a unit here: $why"
elif [[ -n "$up" ]]; then
    export LURN_USER_MANAGER=1
else
    export LURN_USER_MANAGER_WHY="the systemd user manager did not come up: $(tail -n 3 "$dir/manager.log" | tr '\n' ' ')"
fi
"$@"
