#!/usr/bin/env bash
# The main job: installs what is missing, builds the driver and the server,
# creates a small demo database, starts velora-server on a free loopback
# port, registers the driver and a data source in a private folder, and runs
# a short session through unixODBC's isql. The server is stopped on exit.
#
#   ./scripts/demo.sh                 run the sample session and print it
#   ./scripts/demo.sh --interactive   leave you in the isql session instead
#
# Nothing outside the build folder is written: unixODBC is pointed at the
# private folder with ODBCSYSINI, ODBCINI and HOME.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

interactive=0
for arg in "$@"; do
  case "$arg" in
    -i|--interactive) interactive=1 ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo.sh: unknown option $arg (try --help)" >&2; exit 2 ;;
  esac
done

"$root/scripts/deps.sh" demo

# A tree of its own, without the tests (VEL_TESTS=OFF).
build="$root/build/release"
echo "== Building driver and server in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEL_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target velodbcw veldrv32 velora-server >/dev/null

driver="$build/libvelodbcw.so" ansi="$build/libveldrv32.so"
server=$(find "$build" -maxdepth 3 -type f -name velora-server -perm -u+x | head -n 1)
if [[ ! -f "$driver" || ! -f "$ansi" || -z "$server" ]]; then
  echo "demo.sh: the build did not produce libvelodbcw.so, libveldrv32.so and velora-server" >&2
  exit 1
fi

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/odbc/home"

echo "== Creating the demo database $demo/demo.db"
sqlite3 "$demo/demo.db" < "$root/scripts/demo.sql"

server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]] && kill -0 "$server_pid" 2>/dev/null; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    echo "== velora-server stopped"
  fi
}
# A signal ends the script (and so stops the server) instead of resuming it.
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The server writes its port into the port file once it listens; a FIFO
# makes the read below wait for exactly that moment.
mkfifo "$demo/port"
"$server" --address 127.0.0.1 --port 0 --port-file "$demo/port" \
  --database "$demo/demo.db" 2>"$demo/server.log" &
server_pid=$!
port=$(timeout 20 cat "$demo/port" || true)
port=${port//[^0-9]/}
if [[ -z "$port" ]]; then
  echo "demo.sh: velora-server did not start; its log:" >&2
  cat "$demo/server.log" >&2
  exit 1
fi
echo "== velora-server (pid $server_pid) listens on 127.0.0.1:$port"

export ODBCSYSINI="$demo/odbc"
export ODBCINI="$demo/odbc/odbc.ini"
export HOME="$demo/odbc/home"
cat >"$ODBCSYSINI/odbcinst.ini" <<EOF
[Velora]
Description = Velora ODBC driver (ODBC 3.80, Unicode)
Driver      = $driver
Setup       = $driver
Threading   = 0

[Velora ANSI]
Description = Velora ODBC driver (ODBC 2.0)
Driver      = $ansi
Setup       = $ansi
Threading   = 0
EOF
cat >"$ODBCINI" <<EOF
[VeloraDemo]
Description = Velora demo database
Driver      = Velora
Server      = 127.0.0.1
Service     = $port
User        = demo
EOF
echo "== Drivers Velora and Velora ANSI and data source VeloraDemo registered in $ODBCSYSINI"

if ((interactive)); then
  echo "== isql session on VeloraDemo (tables: products, events, tags; 'quit' ends it)"
  isql -v -m40 VeloraDemo demo demo
  exit $?
fi

echo "== Sample session through isql"
session="$demo/session.sql"
cat >"$session" <<'EOF'
SELECT id, code, name, price, weight, in_stock, added FROM products ORDER BY id
SELECT id, product, happened, opens, level, quantity, rating, note FROM events ORDER BY id
SELECT product, label, badge, short_id, payload FROM tags ORDER BY product
SELECT p.name, e.quantity, e.happened FROM products p JOIN events e ON e.product = p.id WHERE e.quantity > 0 ORDER BY e.happened
CREATE TABLE visits (who VARCHAR(20), at TIMESTAMP)
INSERT INTO visits VALUES ('demo', '2024-06-01 10:00:00')
SELECT who, at FROM visits
EOF
# One isql run per statement, so that each result follows its query.
while IFS= read -r line; do
  echo
  echo "SQL> $line"
  echo "$line" | isql -v -b -m40 VeloraDemo demo demo
done <"$session"
