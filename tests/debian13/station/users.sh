#!/usr/bin/env bash
# Makes the station's accounts inside a container that boot.sh started:
#   users.sh STATE NAME:PASSWORD...
# e.g. users.sh "$STATION_STATE" customer:cliente operator:operador
# Each is an ordinary user with a home and a Unix password, so LightDM, su
# and pamtester check it as they would at a café. They live in the boot's
# overlay only: the next boot has none of them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=${1:?usage: users.sh STATE NAME:PASSWORD...}
shift
for account in "$@"; do
    name=${account%%:*}
    password=${account#*:}
    [[ -n "$name" && "$account" == *:* ]] || { echo "users.sh: give NAME:PASSWORD, not $account" >&2; exit 2; }
    # Debian has a group "operator" of its own (no member): such a user joins it.
    group=(--user-group)
    "$here/exec.sh" "$state" -- getent group "$name" >/dev/null && group=(--gid "$name")
    "$here/exec.sh" "$state" -- useradd --create-home --shell /bin/bash "${group[@]}" "$name"
    printf '%s:%s\n' "$name" "$password" | "$here/exec.sh" "$state" -- chpasswd
done
