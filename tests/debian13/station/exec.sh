#!/usr/bin/env bash
# Runs a command inside a container that boot.sh started, as root or as a
# given user, and exits with the command's exit code:
#   exec.sh STATE [--user NAME] [VAR=VALUE]... -- command args...
# With --register=no there is no machined, so neither `systemd-run --machine`
# nor `machinectl shell` reach it: nsenter joins its PID 1's namespaces and
# root instead. The command is a plain process of the container (it sees its
# /proc, /run, system bus and users) with a clean environment, not a login:
# for a logind session use session.sh; for a process systemd should own, run
# systemd-run through this.
set -euo pipefail

state=${1:?usage: exec.sh STATE [--user NAME] [VAR=VALUE]... -- command args...}
shift
user=
env=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM=dumb)
while (($#)); do
    case "$1" in
    --user) user=${2:?exec.sh: --user needs a name}; shift 2 ;;
    --) shift; break ;;
    *=*) env+=("$1"); shift ;;
    *) break ;;
    esac
done
(($#)) || { echo "exec.sh: no command" >&2; exit 2; }

leader=$(cat "$state/leader.pid")
# A PID reused after the container went would put the command elsewhere.
if [[ "$(readlink "/proc/$leader/ns/pid" 2>/dev/null)" != "$(cat "$state/pidns")" ]]; then
    echo "exec.sh: the container of $state is not running" >&2
    exit 1
fi

as=()
if [[ -n "$user" ]]; then
    # setpriv runs after nsenter, so the name is the container's user. No PAM
    # and no session: the user's uid, gid and groups only.
    as=(setpriv --reuid="$user" --regid="$user" --init-groups)
    env+=(HOME="/home/$user" USER="$user" LOGNAME="$user")
else
    env+=(HOME=/root)
fi
# --pid forks, so the command is the container's process and nsenter waits
# for it and returns its status.
exec nsenter --target "$leader" --mount --uts --ipc --net --pid --cgroup --root --wd \
    -- "${as[@]}" /usr/bin/env -i "${env[@]}" "$@"
