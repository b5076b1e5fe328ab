#!/usr/bin/env bash
# unixODBC's isql and iusql against velora-server: a table made and filled,
# SELECTs over every SQL type, a server error, `help` (SQLTables) and `help
# TABLE` (SQLColumns), non-ASCII text and a connection without a data source
# must print exactly the expected output. Run by
# run_with_server.sh.
#   isql_client.sh EXPECTED_FILE
set -euo pipefail
expected=$1
actual="$VELORA_WORK/isql.out"
isql -b -v -m30 "$VELORA_DSN" tester secret >"$actual" 2>&1 <<'SQL'
CREATE TABLE isql_made (a INTEGER, b VARCHAR(10))
INSERT INTO isql_made VALUES (1, 'one')
INSERT INTO isql_made VALUES (2, 'two')
SELECT a, b FROM isql_made
CREATE TABLE isql_text (t VARCHAR(40))
INSERT INTO isql_text VALUES ('héllo 日本 😀')
SELECT t FROM isql_text
SELECT id, c_char, c_varchar, c_longvar, c_binary, c_varbin, c_longvarb FROM all_types ORDER BY id
SELECT id, c_bit, c_tinyint, c_smallint, c_integer, c_bigint, c_real, c_float, c_numeric FROM all_types ORDER BY id
SELECT id, c_date, c_time, c_timestamp FROM all_types ORDER BY id
help
help all_types_view
SELECT * FROM no_such_table
SQL
# iusql (whose wide calls unixODBC turns into narrow ones for this driver)
# reads the text back; isql reads it without a data source. The connect's
# "data truncated" is iusql's missing connection string output buffer.
# iusql's own strncpy of a buffer onto itself is none of the driver's
# business: the sanitizer build's runtime is told not to check it.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:replace_str=0:intercept_strlen=0:intercept_strchr=0:intercept_strndup=0" \
  iusql -b -v -m30 "$VELORA_DSN" tester secret >>"$actual" 2>&1 <<<"SELECT t FROM isql_text"
port=$(sed -n 's/^Service = //p' "$ODBCINI")
isql -k -b -v "DRIVER={$VELORA_DRIVER};Server=127.0.0.1;Service=$port;UID=tester;PWD=secret" >>"$actual" 2>&1 <<<"SELECT t FROM isql_text"
# Over PostgreSQL its byte columns are all LONGVARBINARY and its messages
# its own.
if [[ -n ${VEL_TEST_STORAGE:-} ]]; then
  patch -s -o "$VELORA_WORK/expected.txt" "$expected" "$(dirname "$0")/isql_postgres.patch"
  expected=$VELORA_WORK/expected.txt
fi
if ! diff -u "$expected" "$actual"; then
  echo "isql output differs from $expected" >&2
  exit 1
fi
echo "isql client: OK"
