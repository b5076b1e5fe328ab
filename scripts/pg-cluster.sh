#!/usr/bin/env bash
# A private PostgreSQL cluster for the tests and benchmarks:
#   pg-cluster.sh start DIR   makes a fresh cluster in DIR/data, listening on
#                             a Unix socket in DIR only, with the role and
#                             database "velora"; prints its URI (also in DIR/uri)
#   pg-cluster.sh standby DIR PRIMARY
#                             makes a streaming standby of the cluster of
#                             folder PRIMARY in DIR/data (pg_basebackup -R),
#                             on a Unix socket in DIR only; prints its URI
#   pg-cluster.sh stop DIR    stops it
# PostgreSQL refuses to run as root: as root the cluster belongs to the
# user "postgres".
set -euo pipefail
action=$1 dir=$(realpath -m "$2")
bin=${VEL_PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)}
as_owner() { if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi; }
password=velora-test-secret
uri="postgresql://velora:$password@/velora?host=$dir&port=5432"

case $action in
start)
  [[ -x $bin/initdb ]] || { echo "pg-cluster: no PostgreSQL server programs (install postgresql)" >&2; exit 77; }
  [[ -f $dir/data/postmaster.pid ]] && as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$dir"
  mkdir -p "$dir"
  [[ $(id -u) -ne 0 ]] || chown postgres: "$dir"
  as_owner bash -c "echo $password >'$dir/pwfile'"
  as_owner "$bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pwfile" --auth=scram-sha-256 \
    -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c port=5432 -c max_connections=200 -c fsync=off" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
  PGPASSWORD=$password "$bin/psql" -qX -v ON_ERROR_STOP=1 -h "$dir" -p 5432 -U postgres -d postgres \
    -c "CREATE ROLE velora LOGIN PASSWORD '$password'" -c "CREATE DATABASE velora OWNER velora" >/dev/null
  echo "$uri" >"$dir/uri"
  echo "$uri"
  ;;
standby)
  primary=$(realpath -m "$3")
  [[ -x $bin/pg_basebackup ]] || { echo "pg-cluster: no pg_basebackup" >&2; exit 77; }
  [[ -f $dir/data/postmaster.pid ]] && as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$dir"
  mkdir -p "$dir"
  [[ $(id -u) -ne 0 ]] || chown postgres: "$dir"
  as_owner env PGPASSWORD=$password "$bin/pg_basebackup" -h "$primary" -p 5432 -U postgres -D "$dir/data" -R \
    -X stream -c fast >"$dir/basebackup.log" 2>&1 || { cat "$dir/basebackup.log" >&2; exit 1; }
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c port=5433 -c max_connections=200 -c fsync=off -c hot_standby=on" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
  uri="postgresql://velora:$password@/velora?host=$dir&port=5433"
  echo "$uri" >"$dir/uri"
  echo "$uri"
  ;;
stop)
  [[ ! -f $dir/data/postmaster.pid ]] || as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
  ;;
*)
  echo "usage: pg-cluster.sh start|stop DIR | standby DIR PRIMARY" >&2
  exit 2
  ;;
esac
