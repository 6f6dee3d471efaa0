#!/usr/bin/env bash
# Starts a real logind session for a user inside a container that boot.sh
# started, as a login on a terminal would, and prints its session id:
#   session.sh STATE USER [command...]     (default: sleep infinity)
# `su -l` goes through PAM's su-l stack, whose pam_systemd registers the
# session with logind (and starts the user's systemd --user); `script` gives
# it the terminal a login has; systemd-run makes it a service of the
# container's systemd, so it outlives this script and ends with the session
# (loginctl terminate-session/-user) or the container. Waits (bounded by
# LURN_STATION_SESSION_TIMEOUT, s, default 30) until logind lists it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=${1:?usage: session.sh STATE USER [command...]}
user=${2:?usage: session.sh STATE USER [command...]}
shift 2
(($#)) || set -- sleep infinity
in=("$here/exec.sh" "$state" --)

sessions() { "${in[@]}" loginctl show-user "$user" -p Sessions --value 2>/dev/null || true; }
# The login itself, once open: logind also lists the user's systemd --user
# as a session of class manager.
is_login() {
    local props
    props=$("${in[@]}" loginctl show-session "$1" -p Class -p State 2>/dev/null | sort | paste -sd ' ')
    [[ "$props" =~ ^Class=user\ State=(active|online)$ ]]
}
before=" $(sessions) "
command=$(printf '%q ' "$@")
unit=lurn-session-$user-$RANDOM
"${in[@]}" systemd-run --quiet --collect --unit="$unit" \
    script -qfec "su -l $user -c $(printf '%q' "exec $command")" /dev/null

deadline=$((SECONDS + ${LURN_STATION_SESSION_TIMEOUT:-30}))
while :; do
    for id in $(sessions); do
        [[ "$before" == *" $id "* ]] || ! is_login "$id" || { echo "$id"; exit 0; }
    done
    if ((SECONDS > deadline)); then
        echo "session.sh: logind lists no new session of $user; the unit $unit says:" >&2
        "${in[@]}" systemctl status --no-pager "$unit" >&2 || true
        "${in[@]}" loginctl list-sessions --no-pager >&2 || true
        exit 1
    fi
    sleep 0.1
done
