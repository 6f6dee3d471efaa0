#!/usr/bin/env bash
# Runs one test command with a private PostgreSQL server.
#   with-postgres.sh command args...
# initdb into a temporary directory as an unprivileged user (the server
# refuses root), a server listening only on a Unix socket in that directory,
# and what the tests need in it:
#   database cafe, owned by role lurn (trusted, no password);
#   role lurn_secret, a member of lurn with the password "secreto"
#   (scram-sha-256), to accept the right password and refuse wrong ones;
#   role lurn_reader, who may connect but may not write the table.
# The command gets, in its environment:
#   LURN_PG_URI        postgresql://lurn@/cafe?host=<socket dir>
#   LURN_PG_HOST       the socket directory
#   LURN_PG_CTL        a command that runs pg_ctl for this server, as its user:
#                      "$LURN_PG_CTL stop" / "$LURN_PG_CTL start" stop and start it
# The server is stopped by its PID at the end, and the directory removed.
set -uo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
if [[ -z "$bin" || ! -x "$bin/initdb" ]]; then
    echo "with-postgres.sh: PostgreSQL's server programs are not installed (package postgresql)" >&2
    exit 1
fi

dir=$(mktemp -d /tmp/lurn-pg.XXXXXX)
as_server=()
if ((EUID == 0)); then
    chown nobody:nogroup "$dir"
    as_server=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
chmod 755 "$dir"
data="$dir/data"

cleanup() {
    if [[ -s "$data/postmaster.pid" ]]; then
        local pid
        pid=$(head -n1 "$data/postmaster.pid")
        kill -INT "$pid" 2>/dev/null
        for _ in $(seq 200); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -KILL "$pid" 2>/dev/null
    fi
    rm -rf "$dir"
}
trap cleanup EXIT

here=$(pwd)
cd "$dir" || exit 1
if ! "${as_server[@]}" "$bin/initdb" -D "$data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 \
    --no-sync >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    exit 1
fi
cat >"$data/pg_hba.conf" <<HBA
local all lurn_secret scram-sha-256
local all all trust
HBA
cat >>"$data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$dir'
fsync = off
synchronous_commit = off
full_page_writes = off
# A link per station: the counter-link benchmark keeps 100 stations and its floor connected.
max_connections = 300
CONF
chown nobody:nogroup "$data/pg_hba.conf" 2>/dev/null

ctl=("${as_server[@]}" "$bin/pg_ctl" -D "$data" -l "$dir/server.log" -w -t 30)
if ! "${ctl[@]}" start >/dev/null; then
    cat "$dir/server.log" >&2
    exit 1
fi

psql=("$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -U postgres)
if ! "${psql[@]}" -d postgres >/dev/null <<SQL; then
CREATE ROLE lurn LOGIN;
CREATE ROLE lurn_secret LOGIN PASSWORD 'secreto' IN ROLE lurn;
CREATE ROLE lurn_reader LOGIN;
CREATE DATABASE cafe OWNER lurn;
SQL
    echo "with-postgres.sh: cannot create the roles and the database" >&2
    exit 1
fi

export LURN_PG_HOST="$dir"
export LURN_PG_URI="postgresql://lurn@/cafe?host=$dir"
export LURN_PG_CTL="${ctl[*]}"
export LURN_PG_BIN="$bin"
cd "$here" || exit 1
"$@"
