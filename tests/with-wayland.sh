#!/usr/bin/env bash
# Runs one test command in a private headless Wayland session.
#   with-wayland.sh --compositor kwin|sway [--grant EXECUTABLE]... [--data-dir DIR]
#                   command args...
#
# Starts a private session bus and the compositor (with XWayland) as an
# unprivileged user (nobody, when run as root; otherwise the caller), each
# session with its own XDG_RUNTIME_DIR (mode 0700) and HOME in a temporary
# directory, waits until both answer, runs the command as that same user with
# WAYLAND_DISPLAY, DISPLAY and the bus set, and stops everything it started by
# PID afterwards.
#
# --grant EXECUTABLE  lets that program (absolute path) bind KWin's
#                     org_kde_plasma_window_management: a desktop entry in the
#                     session's ~/.local/share/applications names it.
# --data-dir DIR      puts DIR first in the compositor's XDG_DATA_DIRS (an
#                     installed tree's share/, whose desktop entries KWin reads).
#
# The command also gets LURN_TEST_COMPOSITOR (kwin or sway) and
# LURN_TEST_COMPOSITOR_PID, so that a test can end the compositor under a
# program, and LURN_TEST_SESSION_DIR, the session's temporary directory.
set -uo pipefail
set -m # every background job in a process group of its own, stopped as one

compositor=
grants=()
data_dirs=
while [[ "${1:-}" == --* ]]; do
    case "$1" in
    --compositor) compositor=$2 ;;
    --grant) grants+=("$2") ;;
    --data-dir) data_dirs="$2:" ;;
    *) echo "with-wayland.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
if [[ "$compositor" != kwin && "$compositor" != sway ]] || (($# == 0)); then
    echo "usage: with-wayland.sh --compositor kwin|sway [--grant EXE]... [--data-dir DIR] command..." >&2
    exit 2
fi

as_user=()
if ((EUID == 0)); then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

session=$(mktemp -d /tmp/lurn-wayland.XXXXXX)
chmod 755 "$session"
runtime=$session/runtime
home=$session/home
mkdir -m 700 "$runtime" "$home"
mkdir -p "$home/.config" "$home/.local/share/applications" "$home/.cache" "$session/bin"
i=0
for exe in "${grants[@]}"; do
    i=$((i + 1))
    cat >"$home/.local/share/applications/lurn-test-grant-$i.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Lurn test program $i
Exec=$exe
NoDisplay=true
X-KDE-Wayland-Interfaces=org_kde_plasma_window_management
EOF
done

# The compositor runs this once it is up: it writes down the session's
# environment as the compositor gives it to its clients.
cat >"$session/bin/report-environment" <<EOF
#!/bin/sh
{
    echo "WAYLAND_DISPLAY=\$WAYLAND_DISPLAY"
    echo "DISPLAY=\$DISPLAY"
    echo "XAUTHORITY=\${XAUTHORITY:-}"
} >"$session/environment.tmp" && mv "$session/environment.tmp" "$session/environment"
EOF
chmod 755 "$session/bin/report-environment"
if ((EUID == 0)); then
    chown -R nobody:nogroup "$runtime" "$home"
    chmod 777 "$session" # the report is written there as the user
fi

bus_pid=
compositor_pid=
command_pid=
# Whether the process has ended (it may linger as a zombie until reaped).
gone() {
    local state
    { read -r _ _ state _ <"/proc/$1/stat"; } 2>/dev/null || return 0
    [[ "$state" == Z ]]
}
cleanup() {
    local pid
    for pid in $command_pid $compositor_pid $bus_pid; do
        kill -TERM "$pid" 2>/dev/null || continue
        for _ in $(seq 100); do
            gone "$pid" && break
            sleep 0.05
        done
        # Whatever is left of its process group (XWayland, activated services).
        kill -KILL -- "-$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$session"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# Waits up to $1 seconds for the command to succeed: generous, as a loaded
# machine (a build beside the tests on two cores) starts a compositor slowly.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

common_env=(
    HOME="$home" XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$home/.config"
    XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache"
    XDG_DATA_DIRS="${data_dirs}/usr/local/share:/usr/share"
)

env "${common_env[@]}" "${as_user[@]}" dbus-daemon --session --nofork --nopidfile \
    --address="unix:path=$runtime/bus" --print-address=3 3>"$session/bus-address" \
    >/dev/null 2>"$session/bus.log" &
bus_pid=$!
disown "$bus_pid" # stopped and reaped here, without job notices
if ! wait_for 30 test -s "$session/bus-address"; then
    echo "with-wayland.sh: the session bus did not start" >&2
    cat "$session/bus.log" >&2
    exit 1
fi
bus_address=$(head -n1 "$session/bus-address")

case "$compositor" in
kwin)
    # Debian's kwin_wayland carries a file capability the test machines may
    # not grant ("Operation not permitted"); a plain copy has none. KWin only
    # loads its own platform plugin under its own name.
    cp /usr/bin/kwin_wayland "$session/bin/kwin_wayland"
    # KDE Frameworks 6 reads desktop entries only through a menu file, which a
    # Plasma desktop ships and a bare KWin does not: without one KWin 6 logs
    # '"applications.menu" not found' and grants nothing.
    if [[ "$(dpkg-query -W -f='${Version}' kwin-wayland 2>/dev/null)" != *:5.* ]]; then
        mkdir -p "$home/.config/menus"
        cat >"$home/.config/menus/applications.menu" <<'MENU'
<!DOCTYPE Menu PUBLIC "-//freedesktop//DTD Menu 1.0//EN"
 "http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd">
<Menu>
  <Name>Applications</Name>
  <DefaultAppDirs/>
  <DefaultDirectoryDirs/>
  <Include><All/></Include>
</Menu>
MENU
        ((EUID == 0)) && chown -R nobody:nogroup "$home/.config/menus"
    fi
    env "${common_env[@]}" DBUS_SESSION_BUS_ADDRESS="$bus_address" XDG_CURRENT_DESKTOP=KDE \
        QT_QPA_PLATFORM= WAYLAND_DISPLAY= DISPLAY= KWIN_COMPOSE=Q \
        "${as_user[@]}" "$session/bin/kwin_wayland" --virtual --xwayland \
        --socket lurn-test --width 1280 --height 1024 --no-lockscreen --no-global-shortcuts \
        --no-kactivities "$session/bin/report-environment" \
        >"$session/compositor.log" 2>&1 &
    compositor_pid=$!
    desktop=KDE
    ;;
sway)
    cat >"$session/sway.config" <<EOF
output HEADLESS-1 resolution 1280x1024 position 0 0
xwayland enable
# Floating: sway 1.7 crashes tiling a few hundred windows on one output.
for_window [title=".*"] floating enable
exec $session/bin/report-environment
EOF
    env "${common_env[@]}" DBUS_SESSION_BUS_ADDRESS="$bus_address" XDG_CURRENT_DESKTOP=sway \
        WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 \
        WLR_LIBINPUT_NO_DEVICES=1 WAYLAND_DISPLAY= DISPLAY= \
        "${as_user[@]}" sway --config "$session/sway.config" \
        >"$session/compositor.log" 2>&1 &
    compositor_pid=$!
    desktop=sway
    ;;
esac
disown "$compositor_pid"

if ! wait_for 90 test -s "$session/environment"; then
    echo "with-wayland.sh: $compositor did not start" >&2
    tail -n 30 "$session/compositor.log" >&2
    exit 1
fi
# shellcheck disable=SC1091
. "$session/environment"
session_env=(
    "${common_env[@]}" DBUS_SESSION_BUS_ADDRESS="$bus_address" XDG_CURRENT_DESKTOP="$desktop"
    XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY="$WAYLAND_DISPLAY" DISPLAY="$DISPLAY"
    XAUTHORITY="$XAUTHORITY" LURN_TEST_COMPOSITOR="$compositor"
    LURN_TEST_COMPOSITOR_PID="$compositor_pid" LURN_TEST_SESSION_DIR="$session"
)
# XWayland answers (sway starts it on the first X client), and it is this
# compositor's: the window manager on it is the compositor's own.
x_window_manager() {
    local check
    check=$(env "${session_env[@]}" "${as_user[@]}" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)
    [[ "$check" == *"window id # "* ]] || return 1
    env "${session_env[@]}" "${as_user[@]}" xprop -id "${check##* }" _NET_WM_NAME 2>/dev/null
}
case "$compositor" in
kwin) x_manager='"KWin"' ;;
sway) x_manager='"wlroots wm"' ;;
esac
if ! wait_for 90 eval '[[ "$(x_window_manager)" == *"= $x_manager" ]]'; then
    echo "with-wayland.sh: XWayland at $DISPLAY does not answer as $compositor's" \
        "(window manager: $(x_window_manager))" >&2
    tail -n 30 "$session/compositor.log" >&2
    exit 1
fi

# In the background, so that the clean-up stops it too when this script is
# stopped (a test's timeout) before it ends.
env "${session_env[@]}" "${as_user[@]}" "$@" &
command_pid=$!
wait "$command_pid"
rc=$?
command_pid=
exit $rc
