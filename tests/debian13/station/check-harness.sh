#!/usr/bin/env bash
# The station container's harness checks itself, as the station service's
# tests will use it (run by CTest under tests/with-postgres.sh, as root):
#   1. a boot with the source tree and the private server's socket bound in;
#      a customer's logind session; the server reached from inside; LightDM's
#      PAM stack through pamtester; a file written inside; stop leaves no
#      process, mount, overlay or file behind;
#   2. a second boot starts without that file; LightDM's greeter takes a
#      login typed by xdotool, logind lists the customer's session; after
#      TerminateUser the greeter is back.
# Prints how long each step took. Exits 77 (skipped) when not root, without
# systemd-nspawn, or when the Debian 13 system cannot be made here.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/../../.." && pwd)

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
((EUID == 0)) || skip "the station's container needs root"
command -v systemd-nspawn >/dev/null || skip "systemd-nspawn is missing (package systemd-container)"
[[ -n "${LURN_PG_HOST:-}" ]] || fail "run under tests/with-postgres.sh"

# Seconds since $1 (an EPOCHREALTIME), one decimal.
since() { awk -v from="$1" -v to="$EPOCHREALTIME" 'BEGIN { printf "%.1f", to - from }'; }
report() { echo "harness: $1 took $(since "$2") s"; }
# Polls "$@" until it succeeds, at most $1 seconds.
poll() {
    local until=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < until)) || return 1
        sleep 0.2
    done
}

t=$EPOCHREALTIME
system=${LURN_DEBIAN13_SYSTEM:-$("$here/../system.sh")} || skip "the Debian 13 system cannot be made here"
export LURN_DEBIAN13_SYSTEM=$system
report "making or finding the system" "$t"

STATION_STATE=
trap '[[ -z "$STATION_STATE" ]] || "$here/stop.sh" "$STATION_STATE"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
inside() { "$here/exec.sh" "$STATION_STATE" "$@"; }
marker=/etc/lurn-harness-was-here

boot() {
    local out
    t=$EPOCHREALTIME
    out=$("$here/boot.sh" --bind-ro "$tree" --bind "$LURN_PG_HOST:/srv/lurn-postgres") ||
        fail "the container did not boot (boot.sh's message above)"
    eval "$out"
    report "boot" "$t"
}
# Stops it and looks for anything it left: a process in its PID namespace,
# systemd-nspawn, a mount or the overlay's directories, a file in the cache.
stop_and_look() {
    local state=$STATION_STATE pidns nspawn left
    pidns=$(cat "$state/pidns")
    nspawn=$STATION_NSPAWN_PID
    t=$EPOCHREALTIME
    "$here/stop.sh" "$state" || fail "stop.sh failed"
    STATION_STATE=
    report "stop" "$t"
    left=$(find /proc/[0-9]*/ns/pid -maxdepth 0 -printf '%l %p\n' 2>/dev/null | grep -F "$pidns " || true)
    [[ -z "$left" ]] || fail "processes of the container are left: $left"
    if [[ -d /proc/$nspawn ]] && [[ "$(awk '{ print $3 }' "/proc/$nspawn/stat")" != Z ]]; then
        fail "systemd-nspawn ($nspawn) is still running"
    fi
    ! grep -qF "$state" /proc/self/mountinfo || fail "mounts under $state are left"
    [[ ! -e "$state" ]] || fail "$state is left"
    [[ ! -e "/run/systemd/nspawn/propagate/$STATION_MACHINE" ]] || fail "nspawn's directory on the host is left"
    [[ ! -e "$system$marker" ]] || fail "a file written inside reached the cached system"
}

# 1. A customer's session, the server's socket, and a clean stop.
boot
[[ "$(inside -- systemctl is-system-running)" =~ ^(running|degraded)$ ]] || fail "systemd is not up"
inside -- test -f "$tree/lurn.sh" || fail "the source tree is not bound in"
t=$EPOCHREALTIME
"$here/users.sh" "$STATION_STATE" customer:cliente operator:operador
report "two accounts" "$t"
t=$EPOCHREALTIME
session=$("$here/session.sh" "$STATION_STATE" customer)
report "a customer's session" "$t"
name=$(inside -- loginctl show-session "$session" -p Name --value)
class=$(inside -- loginctl show-session "$session" -p Class --value)
[[ "$name $class" == "customer user" ]] || fail "session $session is '$name $class', not the customer's user session"
[[ "$(inside --user customer -- psql -h /srv/lurn-postgres -U lurn -d cafe -XAtc 'SELECT 41 + 1')" == 42 ]] ||
    fail "the host's private server is not reached through its socket"
# pamtester drives LightDM's PAM stack as the greeter would.
pam=(inside -- pamtester -I tty=:0 lightdm customer authenticate acct_mgmt)
echo cliente | "${pam[@]}" >/dev/null 2>&1 || fail "pamtester: LightDM's PAM stack refuses the customer's password"
! echo otra | "${pam[@]}" >/dev/null 2>&1 || fail "pamtester: LightDM's PAM stack takes a wrong password"
inside -- touch "$marker"
stop_and_look

# 2. LightDM on Xvfb: a typed login, the session, the greeter's return.
boot
inside -- test ! -e "$marker" || fail "the second boot sees the first one's file"
"$here/users.sh" "$STATION_STATE" customer:cliente
t=$EPOCHREALTIME
"$here/lightdm.sh" "$STATION_STATE" start
report "LightDM's greeter" "$t"
customer_session() { "$here/lightdm.sh" "$STATION_STATE" sessions | grep -qE '^[^ ]+ [0-9]+ customer seat0 user (active|online)$'; }
t=$EPOCHREALTIME
"$here/lightdm.sh" "$STATION_STATE" login customer cliente
poll 60 customer_session || {
    "$here/lightdm.sh" "$STATION_STATE" log | tail -n 30 >&2
    fail "no customer session on seat0 after the login; logind lists: $("$here/lightdm.sh" "$STATION_STATE" sessions)"
}
report "LightDM login" "$t"
greeters=$("$here/lightdm.sh" "$STATION_STATE" log | grep -c 'Greeter connected')
uid=$(inside -- id -u customer)
t=$EPOCHREALTIME
inside -- busctl call org.freedesktop.login1 /org/freedesktop/login1 org.freedesktop.login1.Manager \
    TerminateUser u "$uid"
"$here/lightdm.sh" "$STATION_STATE" wait-greeter "$greeters"
poll 30 eval '! customer_session' || fail "the customer's session outlived TerminateUser"
greeter_session() { "$here/lightdm.sh" "$STATION_STATE" sessions | grep -qE ' lightdm seat0 greeter '; }
poll 30 greeter_session || fail "logind lists no greeter session after the customer's end"
report "the greeter's return after TerminateUser" "$t"
stop_and_look
echo "harness: PASS"
