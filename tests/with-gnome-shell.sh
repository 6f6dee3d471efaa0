#!/usr/bin/env bash
# Runs one command inside a private, headless GNOME Shell session on Wayland
# (with XWayland), as the unprivileged user nobody.
#   with-gnome-shell.sh [--no-extension | --kiosk | --user-copy | --other-generation-copy]
#                       [--focus-helper] [--screen WxH] command args...
#
# Starts, as nobody, with a temporary HOME and XDG_RUNTIME_DIR (mode 0700):
#   - a private session bus;
#   - a second private bus given as the system bus (the shell exits at start
#     without one; it looks for logind there and does without when it is
#     missing);
#   - gnome-shell --wayland --headless with one virtual monitor (GNOME 43
#     here, or 48 when run inside the Debian 13 system), with Lurn's
#     extensions (both forms; the shell loads the one for its version) in a
#     system data directory, as the package installs them, named to Lurn in
#     LURN_GNOME_SYSTEM_EXTENSIONS, and enabled in the user's settings
#     beforehand (unless --no-extension). With --kiosk they are enabled by
#     the kiosk set-up of data/dconf instead, compiled into a system database
#     as `dconf update` does (from a file named in DCONF_PROFILE rather than
#     /etc/dconf). With --user-copy the user also has a look-alike of each in
#     ~/.local/share/gnome-shell/extensions, which the shell loads in place
#     of the system one and which lists no windows. With
#     --other-generation-copy the user has one look-alike only, under the
#     uuid this shell would skip (lurn-windows-45@lurn on 43-44,
#     lurn-windows@lurn on 45-49) and declaring this shell's version, so that
#     the shell runs it beside the system one of its own generation, which
#     stays enabled and which it makes list no windows
#     (tests/gnome/look-alike). Either
#     way LURN_TEST_USER_COPY names the case (each-uuid, other-generation).
#     --focus-helper adds the tests' own extension (tests/gnome/focus-helper,
#     bus name org.lurn.TestFocus) in the user's folder, which activates a
#     window by its title as the shell does when a user picks it.
# Waits until the shell, XWayland and (when enabled) the extension answer,
# then runs the command as nobody with WAYLAND_DISPLAY, DISPLAY, XAUTHORITY
# and DBUS_SESSION_BUS_ADDRESS set, and stops every process of the session by
# its id afterwards. The command's exit status is the script's.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
extension_uuids=(lurn-windows@lurn lurn-windows-45@lurn)
extension_src=$here/../data/gnome-shell-extension
extension=1
kiosk=0
user_copy=0
focus_helper=0
screen=1280x1024
while [[ "${1:-}" == --* ]]; do
    case "$1" in
    --no-extension) extension=0; shift ;;
    --kiosk) kiosk=1; shift ;;
    --user-copy) user_copy=1; shift ;;
    --other-generation-copy) user_copy=2; shift ;;
    --focus-helper) focus_helper=1; shift ;;
    --screen) screen=$2; shift 2 ;;
    *) echo "with-gnome-shell.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
(($#)) || { echo "usage: $0 [--no-extension | --kiosk | --user-copy | --other-generation-copy] [--focus-helper] [--screen WxH] command args..." >&2; exit 2; }
if ((focus_helper && (kiosk || !extension))); then
    echo "with-gnome-shell.sh: --focus-helper goes with the user's enabled extensions" >&2
    exit 2
fi

as_user=()
if ((EUID == 0)); then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

base=$(mktemp -d /tmp/lurn-gnome.XXXXXX)
runtime=$base/runtime
home=$base/home
mkdir -m 0700 "$runtime" "$home"
((EUID == 0)) && chown -R nobody:nogroup "$base"
chmod 0755 "$base"

# Every process of the session, found by its environment: the buses start
# services that outlive their parent (dconf, the accessibility bus, the
# shell's notification daemon), the shell starts XWayland and helpers. Each is
# stopped by its id, and nothing of other sessions is touched.
session_processes() {
    local f
    for f in /proc/[0-9]*/environ; do
        if { tr '\0' '\n' <"$f"; } 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=$runtime"; then
            f=${f#/proc/}
            echo "${f%/environ}"
        fi
    done
}
shell_pid=
cleanup() {
    local all
    # The shell first: it takes XWayland down with it, and dies of its
    # helpers going from under it otherwise.
    if [[ -n "$shell_pid" ]]; then
        kill "$shell_pid" 2>/dev/null
        for _ in $(seq 100); do
            kill -0 "$shell_pid" 2>/dev/null || break
            sleep 0.05
        done
    fi
    all=($(session_processes))
    ((${#all[@]})) && kill "${all[@]}" 2>/dev/null
    for _ in $(seq 100); do
        all=($(session_processes))
        ((${#all[@]})) || break
        sleep 0.05
    done
    ((${#all[@]})) && kill -KILL "${all[@]}" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$base"
}
trap cleanup EXIT

session_env=(
    env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8
    XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
    XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland XDG_SESSION_DESKTOP=gnome
    DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$base/system_bus_socket"
)
run_as_user() {
    "${as_user[@]}" "${session_env[@]}" "$@"
}

# Waits up to $2 seconds for the command to succeed: generous, as a loaded
# machine (a build beside the tests on two cores) starts a shell slowly.
wait_for() {
    local what=$1 deadline=$((SECONDS + $2))
    shift 2
    until "$@" >/dev/null 2>&1; do
        if ((SECONDS >= deadline)); then
            echo "with-gnome-shell.sh: $what did not come up" >&2
            return 1
        fi
        sleep 0.05
    done
}

run_as_user dbus-daemon --session --nofork --nopidfile --address="unix:path=$runtime/bus" \
    >/dev/null 2>&1 &
run_as_user dbus-daemon --session --nofork --nopidfile --address="unix:path=$base/system_bus_socket" \
    >/dev/null 2>&1 &
wait_for "the session bus" 30 test -S "$runtime/bus" || exit 1
wait_for "the system bus" 30 test -S "$base/system_bus_socket" || exit 1

# As the package installs them.
mkdir -p "$base/share/gnome-shell/extensions"
for uuid in "${extension_uuids[@]}"; do
    cp -r "$extension_src/$uuid" "$base/share/gnome-shell/extensions/"
done
chmod -R a+rX "$base/share"
session_env+=(XDG_DATA_DIRS="$base/share:/usr/local/share:/usr/share"
    LURN_GNOME_SYSTEM_EXTENSIONS="$base/share/gnome-shell/extensions")
enabled_list="['${extension_uuids[0]}', '${extension_uuids[1]}']"
if ((focus_helper)); then
    mkdir -p "$home/.local/share/gnome-shell/extensions"
    cp -r "$here/gnome/focus-helper/"*@lurn "$home/.local/share/gnome-shell/extensions/"
    ((EUID == 0)) && chown -R nobody:nogroup "$home/.local"
    enabled_list="${enabled_list%]}, 'lurn-test-focus@lurn', 'lurn-test-focus-45@lurn']"
fi
if ((kiosk)); then
    # As an administrator enables them.
    mkdir -p "$base/dconf"
    dconf compile "$base/dconf/local" "$here/../data/dconf/local.d" || exit 1
    printf 'user-db:user\nfile-db:%s\n' "$base/dconf/local" >"$base/dconf/profile"
    chmod -R a+rX "$base/dconf"
    session_env+=(DCONF_PROFILE="$base/dconf/profile")
elif ((extension)); then
    # The look-alike's code: the extension's own, but it sees no windows.
    look_alike() {
        sed 's/^\( *\)return stack\.map(.*$/\1return [];/' "$extension_src/$1/extension.js" >"$2/extension.js"
        grep -q '^ *return \[\];$' "$2/extension.js"
    }
    copies=$home/.local/share/gnome-shell/extensions
    if ((user_copy == 1)); then
        # A customer's own copy under the same uuid: same interface version,
        # but it sees no windows.
        for uuid in "${extension_uuids[@]}"; do
            mkdir -p "$copies/$uuid"
            cp "$extension_src/$uuid/metadata.json" "$copies/$uuid/"
            look_alike "$uuid" "$copies/$uuid" || exit 1
        done
        session_env+=(LURN_TEST_USER_COPY=each-uuid)
    elif ((user_copy == 2)); then
        # Under the other generation's uuid, naming this shell's version;
        # tests/gnome/look-alike tells what it does.
        major=$(gnome-shell --version | sed -n 's/^GNOME Shell \([0-9]*\).*$/\1/p')
        [[ -n "$major" ]] || { echo "with-gnome-shell.sh: cannot tell GNOME Shell's version" >&2; exit 1; }
        if ((major >= 45)); then
            other=${extension_uuids[0]} code=$here/gnome/look-alike/for-45
        else
            other=${extension_uuids[1]} code=$here/gnome/look-alike/for-43
        fi
        mkdir -p "$copies/$other"
        printf '{\n  "uuid": "%s",\n  "name": "Lurn windows",\n  "description": "Lurn windows",\n  "shell-version": ["%s"]\n}\n' \
            "$other" "$major" >"$copies/$other/metadata.json"
        cp "$code/extension.js" "$copies/$other/"
        session_env+=(LURN_TEST_USER_COPY=other-generation)
    fi
    ((user_copy && EUID == 0)) && chown -R nobody:nogroup "$home/.local"
    run_as_user gsettings set org.gnome.shell enabled-extensions "$enabled_list" || exit 1
fi

# mutter (GNOME 48) refuses an X11 socket folder that is not root's with
# mode 1777; a fresh Debian 13 system may have none.
if [[ ! -d /tmp/.X11-unix ]] && ((EUID == 0)); then
    mkdir -m 1777 /tmp/.X11-unix
fi

log=$base/gnome-shell.log
"${as_user[@]}" "${session_env[@]}" gnome-shell --wayland --headless --virtual-monitor "$screen" \
    >"$log" 2>&1 &
shell_pid=$!
# GNOME Shell 43 now and then dies of a segmentation fault when it is
# stopped; the cleanup waits for it by its id, and bash need not report it.
disown "$shell_pid"

bus_has() {
    run_as_user gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "$1" | grep -q true
}
# GNOME 48 starts XWayland only when an X client comes, and names its
# display in its log; 43 starts it at once.
xwayland_display() {
    local p
    sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$log" | head -n1 | grep . && return 0
    for p in $(pgrep -P "$shell_pid" -x Xwayland); do
        tr '\0' '\n' <"/proc/$p/cmdline" | grep -m1 -x ':[0-9]*' && return 0
    done
    return 1
}
shell_failed() {
    echo "with-gnome-shell.sh: gnome-shell did not come up; its log:" >&2
    cat "$log" >&2
    exit 1
}
wait_for "gnome-shell" 90 bus_has org.gnome.Shell || shell_failed
wait_for "the Wayland socket" 30 test -S "$runtime/wayland-0" || shell_failed
wait_for "XWayland" 90 xwayland_display || shell_failed
display=$(xwayland_display)
xauthority_file() { ls "$runtime"/.mutter-Xwaylandauth.* 2>/dev/null | head -n1 | grep .; }
wait_for "XWayland's authority file" 30 xauthority_file || shell_failed
xauthority=$(xauthority_file)
session_env+=(WAYLAND_DISPLAY=wayland-0 DISPLAY="$display" XAUTHORITY="$xauthority")
wait_for "the X display" 90 run_as_user xprop -root _NET_SUPPORTING_WM_CHECK || shell_failed
if ((extension)); then
    wait_for "the extension" 90 bus_has org.lurn.WindowControl || shell_failed
fi
if ((focus_helper)); then
    wait_for "the tests' focus helper" 90 bus_has org.lurn.TestFocus || shell_failed
fi

# Pass through what the tests need of the caller's environment.
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS QT_QPA_PLATFORM QT_LOGGING_RULES; do
    [[ -n "${!name:-}" ]] && session_env+=("$name=${!name}")
done
session_env+=(LURN_SHELL_LOG="$log" LURN_SHELL_PID="$shell_pid")
run_as_user "$@"
rc=$?
exit $rc
