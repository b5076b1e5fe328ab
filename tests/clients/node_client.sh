#!/usr/bin/env bash
# Builds Node.js's npm package odbc from source against unixODBC's headers
# into PREFIX (in the build tree, once; never globally), then runs
# node_client.js. Exit 77 (skipped) only when npm cannot reach its
# registry for a package not built yet.
#   node_client.sh PREFIX
set -euo pipefail
prefix=$1
mkdir -p "$prefix"
(
  # One build at a time (the SQLite and PostgreSQL runs share PREFIX).
  flock 9
  [[ ! -f $prefix/node_modules/odbc/package.json ]] || exit 0
  timeout 60 npm ping >/dev/null 2>&1 || { echo "SKIP: npm cannot reach its registry for odbc" >&2; exit 77; }
  # The headers of the installed Node.js when it has them (no download).
  [[ ! -f /usr/include/node/node.h ]] || export npm_config_nodedir=/usr
  npm_config_build_from_source=true timeout 500 npm install --prefix "$prefix" --no-audit --no-fund \
    --no-save odbc@2.6.0 >"$prefix/npm.log" 2>&1 || { tail -30 "$prefix/npm.log" >&2; exit 1; }
) 9>"$prefix/.lock"
NODE_PATH="$prefix/node_modules" exec node "$(dirname "$0")/node_client.js"
