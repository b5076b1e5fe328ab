#!/usr/bin/env bash
# A client that never finishes must not hang the test or leave its server
# running: run_with_server.sh ends it at its time limit, fails, and stops
# the server.
#   time_limit_test.sh RUN_WITH_SERVER DRIVER_SO SERVER_EXE FIXTURE_SQL WORKDIR
set -euo pipefail
run=$1 driver=$2 server=$3 fixture=$4 work=$5

status=0
VELORA_CLIENT_SECONDS=2 timeout 60 "$run" "$driver" "$server" "$fixture" "$work" -- \
  sleep 600 2>"$work.err" || status=$?
if [[ $status -ne 124 ]]; then
  echo "expected the client's time limit (status 124), got $status" >&2
  cat "$work.err" >&2
  exit 1
fi
grep -q "did not finish within 2 seconds" "$work.err" || {
  echo "no time-limit message:" >&2
  cat "$work.err" >&2
  exit 1
}
pid=$(cat "$work/server.pid")
if kill -0 "$pid" 2>/dev/null; then
  echo "the server (pid $pid) is still running" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
fi

# A client that fails stops the server too.
status=0
timeout 60 "$run" "$driver" "$server" "$fixture" "$work" -- false 2>"$work.err" || status=$?
pid=$(cat "$work/server.pid")
if [[ $status -ne 1 ]] || kill -0 "$pid" 2>/dev/null; then
  echo "failing client: status $status, server pid $pid" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
fi
rm -f "$work.err"
echo "time limits: OK"
