#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests: a new data folder, a server
# on a Unix socket in that folder only (no TCP port), trust authentication
# for the superuser "kvr", and a database "kvr_test".
#
#   eval "$(scripts/pg-cluster.sh start)"   # exports KVR_TEST_PG and KVR_PG_CLUSTER
#   scripts/pg-cluster.sh stop "$KVR_PG_CLUSTER"
#
# The server refuses to run as root: as root, the cluster belongs to the
# Debian package's "postgres" user, or to "nobody" where there is none.
# start removes what it made when it fails half-way; stop stops the server
# (immediately: nothing in it is worth keeping) and removes the folder.
set -euo pipefail

bin=${PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)}
[ -x "$bin/initdb" ] || { echo "pg-cluster: no PostgreSQL server found (scripts/deps.sh installs it)" >&2; exit 1; }

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        local user=postgres
        id -u "$user" >/dev/null 2>&1 || user=nobody
        runuser -u "$user" -- "$@"
    else
        "$@"
    fi
}

case "${1:-}" in
start)
    dir=$(mktemp -d /tmp/kvr-pg.XXXXXX)
    cleanup() { as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true; rm -rf "$dir"; }
    trap cleanup ERR INT TERM
    chmod 755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown "$(id -u postgres 2>/dev/null || id -u nobody)" "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -U kvr --auth=trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
        -o "-c listen_addresses='' -c unix_socket_directories=$dir -c fsync=off -c max_connections=60" start >/dev/null
    as_owner "$bin/psql" -h "$dir" -U kvr -d postgres -qAt -c "CREATE DATABASE kvr_test" >/dev/null
    trap - ERR INT TERM
    echo "export KVR_TEST_PG='host=$dir dbname=kvr_test user=kvr' KVR_PG_CLUSTER='$dir'"
    ;;
stop)
    dir=${2:?usage: pg-cluster.sh stop FOLDER}
    case "$dir" in /tmp/kvr-pg.*) ;; *) echo "pg-cluster: $dir is not a test cluster" >&2; exit 1 ;; esac
    [ -d "$dir/data" ] && as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
*)
    echo "usage: pg-cluster.sh start | stop FOLDER" >&2
    exit 2
    ;;
esac
