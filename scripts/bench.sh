#!/usr/bin/env bash
# The fetch and insert benchmarks over both storages: SQLite, then a
# private PostgreSQL cluster (scripts/pg-cluster.sh) in build/plain/bench-postgres,
# stopped at the end, also on failure. Build build/plain first.
#   scripts/bench.sh [--rows N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/plain
cluster=$build/bench-postgres
trap '"$root/scripts/pg-cluster.sh" stop "$cluster"' EXIT
uri=$("$root/scripts/pg-cluster.sh" start "$cluster")
"$build/bench/fetch_bench" --storage "$uri" "$@"
"$build/bench/insert_bench" --storage "$uri" "$@"
