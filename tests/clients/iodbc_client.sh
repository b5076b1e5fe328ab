#!/usr/bin/env bash
# Both libraries under iODBC (Debian's libiodbc2), with iODBC's own private
# ini files (ODBCINI, ODBCINSTINI): an iodbctest session with each (non-ASCII
# text and an emoji each way, a server error), then the wide-character
# client linked to iODBC with each connection form. Run by
# run_with_server.sh.
#   iodbc_client.sh WIDE_LIBRARY ANSI_LIBRARY WIDE_CLIENT
set -euo pipefail
wide=$1 ansi=$2 client=$3
port=$(sed -n 's/^Service = //p' "$ODBCINI")
dir=$VELORA_WORK/iodbc
mkdir -p "$dir"
export ODBCINSTINI=$dir/odbcinst.ini ODBCINI=$dir/odbc.ini
printf '[ODBC Drivers]\nVelora = Installed\nVelora ANSI = Installed\n\n' >"$ODBCINSTINI"
printf '[%s]\nDriver = %s\nSetup = %s\nThreading = 0\n\n' Velora "$wide" "$wide" \
  "Velora ANSI" "$ansi" "$ansi" >>"$ODBCINSTINI"
printf '[ODBC Data Sources]\nVeloraW = Velora\nVeloraA = Velora ANSI\n\n' >"$ODBCINI"
printf '[%s]\nDriver = %s\nServer = 127.0.0.1\nService = %s\nUser = tester\n\n' \
  VeloraW Velora "$port" VeloraA "Velora ANSI" "$port" >>"$ODBCINI"

status=0
# The 2.0 library names the missing table's state as ODBC 2 does.
for dsn in VeloraA:S0002 VeloraW:42S02; do
  state=${dsn#*:} dsn=${dsn%:*}
  out=$dir/$dsn.out
  iodbctest "DSN=$dsn;PWD=secret" >"$out" 2>&1 <<'SQL' || true
CREATE TABLE iodbc_text (t VARCHAR(40))
INSERT INTO iodbc_text VALUES ('héllo 日本 😀')
SELECT t || '!' AS t FROM iodbc_text
SELECT c_varchar FROM all_types WHERE id = 1
SELECT * FROM no_such_table
DROP TABLE iodbc_text
quit
SQL
  for expected in 'héllo 日本 😀!' 'hello world' 'no_such_table' "SQLSTATE=$state"; do
    if ! grep -qF -- "$expected" "$out"; then
      echo "iodbctest with $dsn: no \"$expected\" in its output:" >&2
      cat "$out" >&2
      status=1
    fi
  done
done
"$client" "DSN=VeloraW;UID=tester;PWD=secret" \
  "DRIVER={Velora};Server=127.0.0.1;Service=$port;UID=tester;PWD=secret" || status=1
[[ $status -ne 0 ]] || echo "iODBC client: OK"
exit "$status"
