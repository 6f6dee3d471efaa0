#!/usr/bin/env bash
# LightDM with lightdm-gtk-greeter on Xvfb inside a container that boot.sh
# started, driven as a customer at the station would:
#   lightdm.sh STATE start                 start it; wait for the greeter
#   lightdm.sh STATE login USER PASSWORD   type a login into the greeter
#   lightdm.sh STATE wait-greeter N        wait for a greeter after the N-th
#   lightdm.sh STATE log                   LightDM's log
#   lightdm.sh STATE sessions              logind's sessions: id uid user seat class state
# What happens is read from LightDM's log and logind, never from the screen.
# Waits are bounded by LURN_STATION_LIGHTDM_TIMEOUT (s, default 60).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=${1:?usage: lightdm.sh STATE start|login USER PASSWORD|wait-greeter|log|sessions}
what=${2:?usage: lightdm.sh STATE start|login USER PASSWORD|wait-greeter|log|sessions}
shift 2
in=("$here/exec.sh" "$state" --)
root=$state/root
log=$root/var/log/lightdm/lightdm.log
timeout=${LURN_STATION_LIGHTDM_TIMEOUT:-60}

# One line per session, which the checks grep: id uid user seat class state.
# A session may end between the list and the look: it is left out.
sessions() {
    local id
    for id in $("${in[@]}" loginctl list-sessions --no-legend --no-pager | awk '{ print $1 }'); do
        # show-session prints in its own order, whatever order -p asks.
        "${in[@]}" loginctl show-session "$id" -p Id -p User -p Name -p Seat -p Class -p State 2>/dev/null |
            awk -F= '{ v[$1] = $2 } END { if (v["Id"] != "") print v["Id"], v["User"], v["Name"], v["Seat"], v["Class"], v["State"] }' ||
            true
    done
}
count() { grep -c -- "$1" "$log" 2>/dev/null || true; }
# Whether PAM's prompt reached the greeter after the $2-th line matching $1:
# the greeter then waits for what is typed (its window is up, the entry has
# the keyboard). Before that, typed keys may be lost.
prompted_after() {
    awk -v pattern="$1" -v n="$2" 'index($0, pattern) { seen++ } seen >= n && /Prompt greeter/ { found = 1 }
        END { exit !found }' "$log" 2>/dev/null
}
# Until prompted_after $1 $2, at most $timeout s.
wait_prompt() {
    local until=$((SECONDS + timeout))
    until prompted_after "$1" "$2"; do
        if ((SECONDS > until)); then
            echo "lightdm.sh: $3 did not come in $timeout s; LightDM's log ends:" >&2
            tail -n 30 "$log" >&2 2>/dev/null || true
            exit 1
        fi
        sleep 0.1
    done
}
greeters() { count 'Greeter connected'; }

# The container has no VTs and no graphics card. Xvfb stands in for X: it
# knows neither the VT LightDM asks for nor -novtswitch. logind would wait
# for a graphical seat that never comes. pam_systemd refuses a VT number on
# a seat without VTs, and LightDM passes one: pam_env sets it to 0 first.
adjust_for_container() {
    install -m 755 /dev/stdin "$root/usr/local/bin/lurn-test-xvfb" <<'SH'
#!/bin/sh
for arg do
    shift
    case $arg in vt[0-9]* | -novtswitch) ;; *) set -- "$@" "$arg" ;; esac
done
exec Xvfb "$@" -screen 0 1280x1024x24
SH
    mkdir -p "$root/etc/lightdm/lightdm.conf.d"
    cat >"$root/etc/lightdm/lightdm.conf.d/90-lurn-container.conf" <<'CONF'
[LightDM]
logind-check-graphical=false
[Seat:*]
xserver-command=/usr/local/bin/lurn-test-xvfb
greeter-session=lightdm-gtk-greeter
greeter-hide-users=true
user-session=openbox
CONF
    grep -q '^XDG_VTNR' "$root/etc/security/pam_env.conf" 2>/dev/null ||
        echo 'XDG_VTNR OVERRIDE=0' >>"$root/etc/security/pam_env.conf"
}

x=("${in[@]}" env DISPLAY=:0 XAUTHORITY=/var/run/lightdm/root/:0)

case "$what" in
start)
    adjust_for_container
    seen=$(greeters)
    "${in[@]}" systemctl start lightdm.service
    wait_prompt 'Greeter connected' $((seen + 1)) "the greeter's prompt"
    ;;
wait-greeter)
    # The number of greeters before (lightdm.sh STATE log | grep -c 'Greeter connected').
    seen=${1:?usage: lightdm.sh STATE wait-greeter GREETERS-BEFORE}
    wait_prompt 'Greeter connected' $((seen + 1)) "a new greeter's prompt"
    ;;
login)
    user=${1:?usage: lightdm.sh STATE login USER PASSWORD}
    password=${2:?usage: lightdm.sh STATE login USER PASSWORD}
    # With the user list hidden the greeter asks for the name first, then
    # starts PAM again for that user, whose password prompt LightDM logs.
    started="username '$user'"
    seen=$(count "$started")
    "${x[@]}" xdotool type --delay 30 "$user"
    "${x[@]}" xdotool key Return
    wait_prompt "$started" $((seen + 1)) "the password's prompt for $user"
    "${x[@]}" xdotool type --delay 30 "$password"
    "${x[@]}" xdotool key Return
    ;;
log) cat "$log" ;;
sessions) sessions ;;
*) echo "lightdm.sh: unknown command $what" >&2; exit 2 ;;
esac
