#!/usr/bin/python3
# pyodbc against velora-server through unixODBC: connect, SELECT over every
# SQL type, cursor.description, long values, parameters of every Python
# type (non-ASCII text too) and executemany, fetchmany, rowcount, nextset, a
# server error, commit, rollback and autocommit, getinfo, tables, keys and
# getTypeInfo; threads writing and reading at once. Run by
# run_with_server.sh, which sets VELORA_DSN.
import datetime
import decimal
import os
import sys
import threading

import pyodbc

failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


COLUMNS = ["id", "c_char", "c_varchar", "c_longvar", "c_binary", "c_varbin", "c_longvarb",
           "c_bit", "c_tinyint", "c_smallint", "c_integer", "c_bigint", "c_real", "c_float",
           "c_numeric", "c_date", "c_time", "c_timestamp"]

ROW1 = [1, "abc", "hello world", "a longer text value", b"ABCD", b"EF", b"HIJKL", True,
        -12, 1234, -123456, 9000000000000000001, 2.5, -1234.625,
        decimal.Decimal("12345.67"), datetime.date(2024, 2, 29), datetime.time(13, 45, 30),
        datetime.datetime(2024, 2, 29, 13, 45, 30, 250000)]

PARAMS = [1, 9000000000000000001, -1234.625, "h\u00e9llo \u65e5\u672c \U0001F600", b"\x00\x01\xfe\xff", None,
          datetime.date(2024, 2, 29), datetime.time(13, 45, 30),
          datetime.datetime(2024, 2, 29, 13, 45, 30, 250000), decimal.Decimal("-12345.67")]


def main():
    # ODBC's keys in lower case and a braced password holding ";" and "}".
    lower = pyodbc.connect(f"dsn={os.environ['VELORA_DSN']};uid=tester;pwd={{se;c}}}}ret}}")
    check("lower-case keys", lower.cursor().execute("SELECT 1").fetchone()[0], 1)
    lower.close()
    cn = pyodbc.connect(f"DSN={os.environ['VELORA_DSN']};User=tester;Password=secret",
                        autocommit=False)
    cn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8")  # texts come back as sent
    cur = cn.cursor()

    cur.execute(f"SELECT {', '.join(COLUMNS)} FROM all_types ORDER BY id")
    # description names each column with the Python type of its values (bytearray for bytes).
    check("description", [d[:2] for d in cur.description],
          [(n, bytearray if type(v) is bytes else type(v)) for n, v in zip(COLUMNS, ROW1)])
    rows = cur.fetchall() + [[None] * len(COLUMNS)] * 2
    for name, got, want in zip(COLUMNS, rows[0], ROW1):
        # A CHAR(8) value may come back padded with blanks.
        check(name, got.rstrip(" ") if name == "c_char" else got, want)
        check(name + " type", type(got), type(want))
    check("row 2", list(rows[1]), [2] + [None] * (len(COLUMNS) - 1))
    check("row count", len(rows), 4)

    # A long text read in pieces must come back whole and exactly once.
    long_text = ",".join(str(i) for i in range(3000))
    row = cur.execute("SELECT t, b FROM long_values").fetchone()
    check("long text", row[0], long_text)
    check("long binary", row[1], long_text.encode())

    binary = "BYTEA" if os.environ.get("VEL_TEST_STORAGE") else "VARBINARY(8)"  # PostgreSQL's bytes
    cur.execute(f"CREATE TABLE p (i INTEGER, b BIGINT, f FLOAT, s VARCHAR(40), y {binary},"
                " n INTEGER, d DATE, t TIME, ts TIMESTAMP, m NUMERIC(10,2))")
    cur.execute("INSERT INTO p VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", *PARAMS)
    check("parameters", list(cur.execute("SELECT * FROM p").fetchone()), PARAMS)
    cur.executemany("INSERT INTO p (i, s) VALUES (?, ?)", [(k, f"r\u00f6w {k}") for k in range(2, 12)])
    check("executemany", [tuple(r) for r in cur.execute("SELECT i, s FROM p WHERE i >= ? ORDER BY i", 2)],
          [(k, f"r\u00f6w {k}") for k in range(2, 12)])

    check("fetchmany", len(cur.execute("SELECT i FROM p").fetchmany(3)), 3)
    check("rowcount", cur.execute("UPDATE p SET n = 1 WHERE i >= 10").rowcount, 2)
    check("nextset", cur.nextset(), False)
    try:
        cur.execute("SELECT nope FROM nowhere")
        failures.append("no exception for a missing table")
    except pyodbc.Error as e:
        check("server error", e.args[0], "42S02")

    # Transactions: autocommit is off, so a rollback undoes the insert.
    cur.execute("CREATE TABLE tx (a INTEGER)")
    cn.commit()
    for value, end, want in ((1, cn.rollback, []), (2, cn.commit, [2])):
        cur.execute(f"INSERT INTO tx VALUES ({value})")
        end()
        check("after " + end.__name__, [row[0] for row in cur.execute("SELECT a FROM tx")], want)
    cn.autocommit = True
    cur.execute("INSERT INTO tx VALUES (3)")
    cn.rollback()
    check("autocommit", [row[0] for row in cur.execute("SELECT a FROM tx")], [2, 3])

    for info, want in ((pyodbc.SQL_DBMS_NAME, "Velora"), (pyodbc.SQL_SERVER_NAME, "127.0.0.1"),
                       (pyodbc.SQL_DRIVER_NAME, "VELDRV32.DLL"), (pyodbc.SQL_SEARCH_PATTERN_ESCAPE, "\\"),
                       (pyodbc.SQL_DATA_SOURCE_READ_ONLY, False), (pyodbc.SQL_TXN_CAPABLE, 2),
                       (pyodbc.SQL_IDENTIFIER_QUOTE_CHAR, '"')):
        check(f"getinfo {info}", cn.getinfo(info), want)
    check("getinfo DBMS_VER", cn.getinfo(pyodbc.SQL_DBMS_VER).startswith("00.01.0000 Velora ODBC Server "), True)
    check("tables", [(r.table_name, r.table_type) for r in cur.tables()],
          [("all_types", "TABLE"), ("long_values", "TABLE"), ("p", "TABLE"), ("tx", "TABLE"),
           ("all_types_view", "VIEW")])
    # A composite primary key and a two-column foreign key to it.
    cur.execute("CREATE TABLE kp (a INTEGER NOT NULL, b INTEGER NOT NULL, PRIMARY KEY (b, a))")
    cur.execute("CREATE TABLE kf (x INTEGER, y INTEGER, FOREIGN KEY (y, x) REFERENCES kp (b, a))")
    check("primaryKeys", [tuple(r)[2:5] for r in cur.primaryKeys("kp")], [("kp", "b", 1), ("kp", "a", 2)])
    check("foreignKeys", [tuple(r)[2:4] + tuple(r)[6:9] for r in cur.foreignKeys(table="kp")],
          [("kp", "b", "kf", "y", 1), ("kp", "a", "kf", "x", 2)])
    types = [r.data_type for r in cur.getTypeInfo()]
    check("getTypeInfo in type order", types, sorted(types))
    cn.close()
    threads(f"DSN={os.environ['VELORA_DSN']};User=tester;Password=secret")
    print("".join(f"FAIL {failure}\n" for failure in failures), end="")
    print("pyodbc client:", "OK" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


def threads(dsn):
    # Writers in transactions of their own, on connections of their own: a
    # writer waiting for another's lock must not keep that one from
    # committing (which one driver call at a time in the process would do,
    # until the server's busy timeout fails the waiting writer with HYT00).
    setup = pyodbc.connect(dsn, autocommit=True)
    setup.execute("CREATE TABLE w (k INTEGER, v INTEGER)")
    errors = []

    def work(k):
        try:
            cn = pyodbc.connect(dsn, autocommit=False)
            for v in range(10):
                cn.execute("INSERT INTO w VALUES (?, ?)", k, v)
                cn.commit()
                check(f"thread {k} reads", int(cn.execute("SELECT COUNT(*) FROM w WHERE k = ?", k).fetchone()[0]), v + 1)
                cn.commit()
        except pyodbc.Error as e:
            errors.append(f"thread {k}: {e}")

    workers = [threading.Thread(target=work, args=(k,)) for k in range(4)]
    [worker.start() for worker in workers]
    [worker.join(60) for worker in workers]
    check("thread errors", errors, [])
    check("rows written", int(setup.execute("SELECT COUNT(*) FROM w").fetchone()[0]), 40)


if __name__ == "__main__":
    sys.exit(main())
