#!/bin/sh
# A private PostgreSQL cluster for the database tests: initdb + pg_ctl in a temporary folder,
# listening on a loopback port only; no system service is used or changed.
#
#   scripts/pg-test-cluster.sh start          starts a cluster and prints
#                                             QUORVALIS_TEST_PG='PG:...' (eval it in the shell)
#   scripts/pg-test-cluster.sh stop           stops the cluster started last and deletes it
#   scripts/pg-test-cluster.sh run -- CMD...  starts a cluster, runs CMD with QUORVALIS_TEST_PG
#                                             exported, stops the cluster, exits with CMD's status
#
# initdb refuses to run as root, so as root the cluster belongs to the user "postgres". The state
# (folder, port) is kept in $QUORVALIS_PG_STATE (default: $TMPDIR/quorvalis-pg-test.state).
# Exit status 3: no PostgreSQL server programs are installed (the tests then skip, except in CI).
set -eu

STATE="${QUORVALIS_PG_STATE:-${TMPDIR:-/tmp}/quorvalis-pg-test.state}"
DATABASE=quorvalis_test

find_bin() {
    if [ -n "${PG_BINDIR:-}" ] && [ -x "$PG_BINDIR/initdb" ]; then
        echo "$PG_BINDIR"; return 0
    fi
    if command -v pg_config >/dev/null 2>&1; then
        dir=$(pg_config --bindir 2>/dev/null || true)
        if [ -n "$dir" ] && [ -x "$dir/initdb" ]; then echo "$dir"; return 0; fi
    fi
    for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -t/ -k4 -n -r); do
        if [ -x "$dir/initdb" ]; then echo "$dir"; return 0; fi
    done
    if command -v initdb >/dev/null 2>&1; then dirname "$(command -v initdb)"; return 0; fi
    return 1
}

# Runs a command as the cluster's owner.
as_owner() {
    if [ "$(id -u)" = 0 ]; then
        if command -v runuser >/dev/null 2>&1; then
            runuser -u postgres -- "$@"
        else
            su postgres -s /bin/sh -c "$(printf '%s ' "$@")"
        fi
    else
        "$@"
    fi
}

free_port() {
    port=54329
    while [ "$port" -lt 54429 ]; do
        if ! (command -v ss >/dev/null 2>&1 && ss -ltn 2>/dev/null | grep -q ":$port "); then
            if ! ls "/tmp/.s.PGSQL.$port" >/dev/null 2>&1; then
                echo "$port"; return 0
            fi
        fi
        port=$((port + 1))
    done
    echo 54329
}

start() {
    if [ -f "$STATE" ]; then
        echo "pg-test-cluster: a cluster is already running (state $STATE); stop it first" >&2
        exit 1
    fi
    bin=$(find_bin) || { echo "pg-test-cluster: PostgreSQL server programs not found" >&2; exit 3; }
    folder=$(mktemp -d "${TMPDIR:-/tmp}/quorvalis-pg.XXXXXX")
    chmod 755 "$folder"
    if [ "$(id -u)" = 0 ]; then
        id postgres >/dev/null 2>&1 || {
            echo "pg-test-cluster: running as root needs the user postgres" >&2; exit 1; }
        chown postgres "$folder"
    fi
    owner=$(if [ "$(id -u)" = 0 ]; then echo postgres; else id -un; fi)
    port=$(free_port)
    as_owner "$bin/initdb" -D "$folder/data" -A trust -U "$owner" -E UTF8 --no-locale \
        >"$folder/initdb.log" 2>&1 || {
        cat "$folder/initdb.log" >&2; rm -rf "$folder"; exit 1; }
    as_owner "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
        -o "-p $port -k $folder -c listen_addresses=127.0.0.1 -c fsync=off" start \
        >/dev/null 2>&1 || { cat "$folder/server.log" >&2; rm -rf "$folder"; exit 1; }
    as_owner "$bin/createdb" -h 127.0.0.1 -p "$port" -U "$owner" "$DATABASE" || {
        as_owner "$bin/pg_ctl" -D "$folder/data" -m immediate stop >/dev/null 2>&1 || true
        rm -rf "$folder"; exit 1; }
    # PostGIS where it is installed; its tests skip (fail in CI) without it.
    as_owner "$bin/psql" -q -h 127.0.0.1 -p "$port" -U "$owner" -d "$DATABASE" \
        -c "CREATE EXTENSION IF NOT EXISTS postgis" >"$folder/postgis.log" 2>&1 ||
        echo "pg-test-cluster: PostGIS not available ($(tail -n 1 "$folder/postgis.log"))" >&2
    printf 'FOLDER=%s\nPORT=%s\nBIN=%s\nOWNER=%s\n' "$folder" "$port" "$bin" "$owner" >"$STATE"
    echo "QUORVALIS_TEST_PG='PG:host=127.0.0.1 port=$port user=$owner dbname=$DATABASE'"
}

stop() {
    [ -f "$STATE" ] || { echo "pg-test-cluster: no cluster is running" >&2; return 0; }
    FOLDER=$(sed -n 's/^FOLDER=//p' "$STATE")
    BIN=$(sed -n 's/^BIN=//p' "$STATE")
    if [ -n "$FOLDER" ] && [ -d "$FOLDER/data" ]; then
        as_owner "$BIN/pg_ctl" -D "$FOLDER/data" -m fast -w stop >/dev/null 2>&1 || true
    fi
    case "$FOLDER" in
        */quorvalis-pg.*) rm -rf "$FOLDER" ;;
    esac
    rm -f "$STATE"
}

case "${1:-}" in
    start) start ;;
    stop) stop ;;
    run)
        shift
        [ "${1:-}" = "--" ] && shift
        [ $# -gt 0 ] || { echo "usage: $0 run -- command..." >&2; exit 2; }
        status=0
        line=$(start) || status=$?
        if [ "$status" -ne 0 ] && [ "$status" -ne 3 ]; then exit "$status"; fi
        if [ "$status" -eq 0 ]; then
            QUORVALIS_TEST_PG=$(printf '%s' "$line" | sed "s/^QUORVALIS_TEST_PG='\(.*\)'\$/\1/")
            export QUORVALIS_TEST_PG
            trap stop EXIT INT TERM
        else
            echo "pg-test-cluster: running without PostgreSQL" >&2
        fi
        set +e
        "$@"
        exit $?
        ;;
    *)
        echo "usage: $0 start | stop | run -- command..." >&2
        exit 2
        ;;
esac
