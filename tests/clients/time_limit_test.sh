#!/usr/bin/env bash
# A client that never finishes must not hang the test or leave its server
# running: run_with_server.sh ends it at its time limit, fails, and stops
# the server. A client that fails stops the server too.
#   time_limit_test.sh RUN_WITH_SERVER DRIVER_SO SERVER_EXE FIXTURE_SQL WORKDIR
set -uo pipefail
run=$1 work=$5
fail() { echo "$1" >&2; cat "$work.err" >&2; kill "$(cat "$work/server.pid")" 2>/dev/null; exit 1; }

VELORA_CLIENT_SECONDS=2 timeout 60 "$run" "${@:2}" -- sleep 600 2>"$work.err"
status=$?
[[ $status -eq 124 ]] || fail "expected the client's time limit (status 124), got $status"
grep -q "did not finish within 2 seconds" "$work.err" || fail "no time-limit message"
! kill -0 "$(cat "$work/server.pid")" 2>/dev/null || fail "the server is still running"

timeout 60 "$run" "${@:2}" -- false 2>"$work.err"
status=$?
[[ $status -eq 1 ]] || fail "failing client: status $status"
! kill -0 "$(cat "$work/server.pid")" 2>/dev/null || fail "the server of the failing client is still running"
rm -f "$work.err"
echo "time limits: OK"
