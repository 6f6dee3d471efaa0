#!/usr/bin/env bash
# Runs one test command on a private X server.
#   with-x.sh [--wm openbox|none] [--screen WxH] command args...
# Starts Xvfb on a free display (Xvfb picks it), optionally openbox, waits until
# both answer, runs the command with DISPLAY set and stops both afterwards.
set -uo pipefail

wm=openbox
screen=1280x1024
while [[ "${1:-}" == --* ]]; do
    case "$1" in
    --wm) wm=$2 ;;
    --screen) screen=$2 ;;
    *) echo "with-x.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done

fdfile=$(mktemp)
exec 3>"$fdfile"
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
wm_pid=
cleanup() {
    [[ -n "$wm_pid" ]] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -f "$fdfile"
}
trap cleanup EXIT

# Generous deadlines: a loaded machine (a build beside the tests on two
# cores) starts Xvfb and openbox slowly.
deadline=$((SECONDS + 30))
until [[ -s "$fdfile" ]] || ((SECONDS >= deadline)); do
    sleep 0.05
done
display=$(head -n1 "$fdfile")
if [[ -z "$display" ]]; then
    echo "with-x.sh: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$display"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

if [[ "$wm" == openbox ]]; then
    openbox --sm-disable >/dev/null 2>&1 &
    wm_pid=$!
    deadline=$((SECONDS + 30))
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
        ((SECONDS >= deadline)); do
        sleep 0.05
    done
fi

"$@"
rc=$?
exit $rc
