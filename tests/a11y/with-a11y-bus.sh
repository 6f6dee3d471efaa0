#!/usr/bin/env bash
# Runs one command with a private session bus and accessibility bus, as a
# desktop with a screen reader has them:
#   with-a11y-bus.sh command args...
# Starts a session bus in a private XDG_RUNTIME_DIR (0700) and the AT-SPI bus
# launcher on it, waits until the accessibility bus answers, runs the command
# and stops, by their process ids, every process it started.
set -uo pipefail

runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
unset AT_SPI_BUS_ADDRESS

bus_pid=
launcher_pid=
# Every process below pid, deepest first.
descendants() {
    local child
    for child in $(pgrep -P "$1"); do
        descendants "$child"
        echo "$child"
    done
}
cleanup() {
    local pids=()
    if [[ -n "$launcher_pid" ]]; then
        pids+=($(descendants "$launcher_pid") "$launcher_pid")
    fi
    if [[ -n "$bus_pid" ]]; then
        pids+=($(descendants "$bus_pid") "$bus_pid")
    fi
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        for _ in $(seq 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null
    done
    [[ -n "$launcher_pid" ]] && wait "$launcher_pid" 2>/dev/null
    [[ -n "$bus_pid" ]] && wait "$bus_pid" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT

dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" &
bus_pid=$!
for _ in $(seq 100); do
    [[ -S "$runtime/bus" ]] && break
    sleep 0.05
done
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher_pid=$!
for _ in $(seq 200); do
    dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1 && break
    sleep 0.05
done
if ! dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null 2>&1; then
    echo "with-a11y-bus.sh: the accessibility bus did not come up" >&2
    exit 1
fi

"$@"
