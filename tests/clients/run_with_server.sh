#!/usr/bin/env bash
# Runs one client test against a velora-server of its own:
#   run_with_server.sh DRIVER_SO SERVER_EXE FIXTURE_SQL WORKDIR [ASAN_RUNTIME] -- COMMAND...
# Creates the database from the fixture (over PostgreSQL when
# VEL_TEST_STORAGE names it: a schema of its own, the fixture in
# PostgreSQL's words), starts the server on a free
# loopback port, registers the driver (as Velora ANSI, or as Velora when it
# is libvelodbcw.so) and the data source "VeloraTest" in a
# private folder (ODBCSYSINI, ODBCINI, HOME), runs COMMAND and stops the
# server. Exit status: COMMAND's, or 77 (skipped) when a client cannot load
# the sanitized driver.
#
# Nothing can hang or outlive the test: COMMAND runs under a time limit
# (VELORA_CLIENT_SECONDS, default 80), the server under a longer one, so a
# server is gone even when this script is killed outright (as a test runner
# does on its own timeout); on any other exit or signal the server is
# stopped at once.
set -euo pipefail
driver=$1 server=$2 fixture=$3 work=$4 asan=""
shift 4
if [[ $1 != "--" ]]; then asan=$1; shift; fi
shift  # --
rm -rf "$work"
mkdir -p "$work/odbc/home"
if [[ -n ${VEL_TEST_STORAGE:-} ]]; then
  schema="client_$$_$RANDOM"
  psql -qX -v ON_ERROR_STOP=1 "$VEL_TEST_STORAGE" -c "CREATE SCHEMA $schema" >/dev/null
  storage=(--storage "$VEL_TEST_STORAGE&options=-csearch_path%3D$schema")
  sed -e 's/LONGVARCHAR/TEXT/g; s/LONGVARBINARY/BYTEA/g; s/VARBINARY([0-9]*)/BYTEA/g; s/BINARY([0-9]*)/BYTEA/g' \
      -e "s/TINYINT/SMALLINT/g; s/\bBIT\b/BOOLEAN/g; s/X'\([0-9A-F]*\)'/'\\\\x\1'::bytea/g" \
      -e "s/group_concat(i, ',')/string_agg(CAST(i AS TEXT), ',')/g; s/CAST(\(string_agg(.*)\) AS BLOB)/convert_to(\1, 'UTF8')/" \
      "$fixture" | psql -qX -v ON_ERROR_STOP=1 "${storage[1]}" >/dev/null
else
  storage=(--database "$work/test.db")
  sqlite3 "$work/test.db" <"$fixture"
fi
client_seconds=${VELORA_CLIENT_SECONDS:-80}

server_pid=""
cleanup() { [[ -z "$server_pid" ]] || { kill "$server_pid"; wait "$server_pid"; } 2>/dev/null || true; }
trap cleanup EXIT
trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM

# The server writes its port once it listens; reading a FIFO waits for it.
mkfifo "$work/port"
timeout -k 5 $((client_seconds + 20)) "$server" --address 127.0.0.1 --port 0 \
  --port-file "$work/port" "${storage[@]}" 2>"$work/server.log" &
server_pid=$!
echo "$server_pid" >"$work/server.pid"
port=$(timeout 20 cat "$work/port" || true)
port=${port//[^0-9]/}
[[ -n "$port" ]] || { echo "velora-server did not start:" >&2; cat "$work/server.log" >&2; exit 1; }

export ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini" HOME="$work/odbc/home"
# The ODBC 3.x library is registered as Velora, the ODBC 2.0 one as Velora
# ANSI, as the build does; clients name it through VELORA_DRIVER.
name="Velora ANSI"
[[ $(basename "$driver") != libvelodbcw.so ]] || name=Velora
printf '[%s]\nDriver = %s\nSetup = %s\nThreading = 0\n' "$name" "$driver" "$driver" \
  >"$ODBCSYSINI/odbcinst.ini"
printf '[VeloraTest]\nDriver = %s\nServer = 127.0.0.1\nService = %s\nUser = tester\n' \
  "$name" "$port" >"$ODBCINI"
# Clients run in a UTF-8 locale, as non-ASCII text is checked.
export VELORA_DSN=VeloraTest VELORA_DRIVER="$name" VELORA_WORK="$work" LC_ALL=C.UTF-8

if [[ -n "$asan" ]]; then
  # The sanitized driver needs its runtime loaded first in the client.
  export LD_PRELOAD="$asan" ASAN_OPTIONS="detect_leaks=0:verify_asan_link_order=0"
  /usr/bin/python3 -c 'import ctypes, sys; ctypes.CDLL(sys.argv[1])' "$driver" >/dev/null 2>&1 ||
    { echo "SKIP: the client cannot load the sanitized driver" >&2; exit 77; }
fi
status=0
timeout -k 5 "$client_seconds" "$@" || status=$?
[[ $status -ne 124 && $status -ne 137 ]] || echo "client did not finish within $client_seconds seconds: $*" >&2
exit "$status"
