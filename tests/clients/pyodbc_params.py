#!/usr/bin/python3
# pyodbc with parameters against velora-server through unixODBC:
# execute(sql, params) and executemany with every Python type pyodbc binds,
# read back equal. Run by run_with_server.sh, which sets VELORA_DSN.
import datetime
import decimal
import os
import sys

import pyodbc

failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


VALUES = [1, 9000000000000000001, -1234.625, "h\u00e9llo \u20ac \U0001F600", b"\x00\x01\xfe\xff", None,
          datetime.date(2024, 2, 29), datetime.time(13, 45, 30),
          datetime.datetime(2024, 2, 29, 13, 45, 30, 250000), decimal.Decimal("-12345.67")]


def main():
    cn = pyodbc.connect(f"DSN={os.environ['VELORA_DSN']};User=tester;Password=secret", autocommit=True)
    # Texts come back as UTF-8, as they were sent.
    cn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8")
    cur = cn.cursor()
    cur.execute("CREATE TABLE p (i INTEGER, b BIGINT, f FLOAT, s VARCHAR(40), y VARBINARY(8),"
                " n INTEGER, d DATE, t TIME, ts TIMESTAMP, m NUMERIC(10,2))")
    cur.execute("INSERT INTO p VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", *VALUES)
    check("execute row", list(cur.execute("SELECT * FROM p").fetchone()), VALUES)
    cur.executemany("INSERT INTO p (i, s) VALUES (?, ?)", [(k, f"r\u00f6w {k}") for k in range(2, 12)])
    check("executemany", [tuple(r) for r in cur.execute("SELECT i, s FROM p WHERE i >= ? ORDER BY i", 2)],
          [(k, f"r\u00f6w {k}") for k in range(2, 12)])
    check("NULL parameter", cur.execute("SELECT i FROM p WHERE n IS NULL AND s = ?", "r\u00f6w 3").fetchone()[0], 3)
    cn.close()
    for failure in failures:
        print("FAIL", failure)
    print("pyodbc parameters:", "OK" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
