#!/usr/bin/python3
# pyodbc with its default settings (no setdecoding/setencoding) against the
# Unicode driver: text with an accent, CJK and an emoji round-trips byte for
# byte as parameters and as literals, in a UTF-8 and (in a child) in the C
# locale; fast_executemany inserts 10,000 rows correctly, and texts of 1,000
# characters, integers and dates as the markers' types; the catalog calls
# work (procedures too); a static cursor reads its rows; the connection's
# query timeout stops an endless query; several statements in one request
# give their results in turn through nextset(). Run by run_with_server.sh,
# which sets VELORA_DSN and a
# UTF-8 locale.
import datetime
import os
import subprocess
import sys

import pyodbc

TEXT = "h\u00e9llo \u65e5\u672c \U0001F600"
failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


def text(cur, t, tag):
    cur.execute(f"CREATE TABLE {t} (id INTEGER PRIMARY KEY, t VARCHAR(100))")
    cur.execute(f"INSERT INTO {t} VALUES (1, ?)", TEXT)
    cur.execute(f"INSERT INTO {t} VALUES (2, '{TEXT}')")
    check("rows", [(r[0], r[1].encode()) for r in cur.execute(f"SELECT id, t FROM {t} ORDER BY id")],
          [(1, TEXT.encode()), (2, TEXT.encode())])
    check("literal", cur.execute(f"SELECT '{TEXT}'").fetchone()[0], TEXT)
    check("parameter", [r[0] for r in cur.execute(f"SELECT id FROM {t} WHERE t = ? ORDER BY id", TEXT)], [1, 2])
    check("name", cur.execute(f"SELECT t AS \"{TEXT}\" FROM {t}").description[0][0], TEXT)


def many(cur, t, tag):
    m = f"many_{tag}"
    cur.execute(f"CREATE TABLE {m} (id INTEGER, t VARCHAR(40))")
    cur.fast_executemany = True
    cur.executemany(f"INSERT INTO {m} VALUES (?, ?)", [(i, f"r{i}\u00e9") for i in range(10000)])
    check("many", tuple(cur.execute(f"SELECT COUNT(*), SUM(id), COUNT(DISTINCT t), MAX(t) FROM {m}").fetchone()),
          (10000, 49995000, 10000, "r9\u00e9"))  # "r9é" sorts last
    # fast_executemany sizes its buffers by SQLDescribeParam: long text must
    # not be refused, integers and dates go as such.
    w = f"wide_{tag}"
    cur.execute(f"CREATE TABLE {w} (id INTEGER, t VARCHAR(2000), u TEXT, d DATE)")
    rows = [(i, ("x\u00e9" * 500)[: 1000 - i], "y" * (1000 + i), datetime.date(2024, 1, 1 + i)) for i in range(3)]
    cur.executemany(f"INSERT INTO {w} (id, t, u, d) VALUES (?, ?, ?, ?)", rows)
    got = [tuple(r) for r in cur.execute(f"SELECT id, t, u, d FROM {w} ORDER BY id")]
    check("wide", [(r[0], r[1], r[2], str(r[3])[:10]) for r in got], [(r[0], r[1], r[2], str(r[3])) for r in rows])
    cur.execute(f"DELETE FROM {w}")
    cur.executemany(f"INSERT INTO {w} (id, t) VALUES (?, ?)", [(7, "z" * 1000)])
    check("where", int(cur.execute(f"SELECT COUNT(*) FROM {w} WHERE id = ? AND t = ?", 7, "z" * 1000).fetchone()[0]), 1)


def catalog(cur, t, tag):
    check("tables", [r.table_name for r in cur.tables(table=t)], [t])
    check("columns", [(r.column_name, r.type_name, r.ordinal_position, r.is_nullable)
                      for r in cur.columns(table=t, column="t")], [("t", "VARCHAR", 2, "YES")])
    check("type info", [(r.column_size, r.num_prec_radix) for r in cur.getTypeInfo(pyodbc.SQL_INTEGER)][:1],
          [(10, 10)])
    check("primary keys", [(r.column_name, r.key_seq) for r in cur.primaryKeys(t)], [("id", 1)])
    # PostgreSQL's functions with their arguments and return value; SQLite has none.
    pg = bool(os.environ.get("VEL_TEST_STORAGE"))
    if pg:
        cur.execute(f"CREATE FUNCTION add_{tag}(a INTEGER, b VARCHAR) RETURNS BIGINT LANGUAGE SQL AS 'SELECT 1::BIGINT'")
    check("procedures", [(r.procedure_name, r.procedure_type) for r in cur.procedures(procedure=f"add\\_{tag}")],
          [(f"add_{tag}", 2)][: 1 if pg else 0])
    check("procedure columns", [(r.column_name, r.column_type, r.data_type, r.ordinal_position)
                                for r in cur.procedureColumns(procedure=f"add\\_{tag}")],
          [("RETURN_VALUE", 5, -5, 0), ("a", 1, 4, 1), ("b", 1, 12, 2)][: 3 if pg else 0])


def timeout(cur, t, tag):
    # The connection's timeout applies to cursors made after it is set; the
    # server stops an endless query and the connection goes on.
    cur.connection.timeout = 1
    endless = cur.connection.cursor()
    try:
        endless.execute("WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT COUNT(*) FROM r")
        failures.append("timeout: the endless query finished")
    except pyodbc.Error as e:
        check("timeout state", e.args[0], "HYT00")
    check("after timeout", endless.execute("SELECT 7").fetchone()[0], 7)


def scroll(cur, t, tag):
    # SQL_CURSOR_TYPE set on the connection: later statements are static.
    cnxn = pyodbc.connect(f"DSN={os.environ['VELORA_DSN']}", autocommit=True)
    cnxn.set_attr(6, 3)
    c = cnxn.cursor()
    c.execute(f"SELECT id FROM {t} ORDER BY id")
    # (Debian's pyodbc has no scroll(): its rows are read forward here.)
    got = [c.fetchone()[0]] + [r[0] for r in c.fetchall()]
    check("static cursor", got, [1, 2])
    cnxn.close()


def several(cur, t, tag):
    # A count, a result set and a count in turn, one marker list across the
    # statements; an error in the third after the first two ran (and stay).
    cur.execute(f"CREATE TABLE {t}_s (id INTEGER); INSERT INTO {t}_s VALUES (?); SELECT id FROM {t}_s"
                f" WHERE id = ?; UPDATE {t}_s SET id = ? WHERE id = 1", 1, 1, 5)
    check("results in turn", [(cur.nextset(), cur.rowcount), (cur.nextset(), [tuple(r) for r in cur]),
                              (cur.nextset(), cur.rowcount), cur.nextset()], [(True, 1), (True, [(1,)]), (True, 1), False])
    cur.execute(f"INSERT INTO {t}_s VALUES (2); DELETE FROM {t}_s WHERE id = 5; SELECT * FROM nowhere")
    try:
        check("third fails", (cur.nextset(), cur.nextset()), None)
    except pyodbc.Error as e:
        check("third fails", e.args[0], "42S02")
    check("two ran", [r[0] for r in cur.execute(f"SELECT id FROM {t}_s")], [2])
    check("info", [cur.connection.getinfo(i) for i in (pyodbc.SQL_MULT_RESULT_SETS, pyodbc.SQL_BATCH_SUPPORT,
                                                       pyodbc.SQL_BATCH_ROW_COUNT, pyodbc.SQL_PARAM_ARRAY_SELECTS)],
          [True, 3, 2, 1])


def intervals(cur, t, tag):
    # PostgreSQL's intervals are ODBC's interval types, sent as text.
    if not os.environ.get("VEL_TEST_STORAGE"):
        return
    cur.execute(f"CREATE TABLE {t}_i (d INTERVAL DAY TO SECOND, m INTERVAL YEAR TO MONTH)")
    cur.execute(f"INSERT INTO {t}_i VALUES (?, ?)", "1 02:03:04.5", "3-02")
    # pyodbc reads a type it does not know only through an output converter
    # (README): the value's bytes are ODBC's text of the interval.
    for sql_type in (110, 107):  # SQL_INTERVAL_DAY_TO_SECOND, SQL_INTERVAL_YEAR_TO_MONTH
        cur.connection.add_output_converter(sql_type, bytes.decode)
    check("interval values", list(cur.execute(f"SELECT d, m FROM {t}_i").fetchone()), ["1 02:03:04.5", "3-02"])

def main():
    tag = "c" if "--child" in sys.argv else "utf8"
    cur = pyodbc.connect(f"DSN={os.environ['VELORA_DSN']}", autocommit=True).cursor()
    for group in (text, many, catalog, scroll, several, timeout, intervals):
        try:
            group(cur, f"uni_{tag}", tag)
        except (pyodbc.Error, AttributeError) as e:
            failures.append(f"{tag} {group.__name__}: {e}")
    if tag == "utf8":
        child = subprocess.run([sys.executable, __file__, "--child"], env=dict(os.environ, LC_ALL="C", LANG="C"),
                               capture_output=True, text=True, errors="backslashreplace")
        failures.extend(f"C locale: {line}" for line in (child.stdout + child.stderr).splitlines())
    for f in failures:
        print(f.encode("ascii", "backslashreplace").decode())
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
