#!/usr/bin/python3
# pandas through the velora SQLAlchemy dialect (clients/python): to_sql
# writes a frame with a column of every type pandas maps (integers of
# each width, floats, booleans, text with non-ASCII characters, dates,
# times, timestamps, decimals, bytes; NULLs among them), read_sql reads it
# back equal, by table and by a query with a parameter. The engine is
# named by a URL of each form (velora+pyodbc:// with host and port,
# velora:// with a data source). Run by run_with_server.sh.
import datetime
import decimal
import os
import sys

import pandas as pd
import sqlalchemy as sa

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "clients", "python"))
from sqlalchemy.dialects import registry  # noqa: E402

registry.register("velora", "sqlalchemy_velora.pyodbc", "VeloraDialect_pyodbc")
registry.register("velora.pyodbc", "sqlalchemy_velora.pyodbc", "VeloraDialect_pyodbc")

with open(os.environ["ODBCINI"]) as ini:
    port = next(line.split("=")[1].strip() for line in ini if line.startswith("Service"))
urls = [f"velora+pyodbc://tester@127.0.0.1:{port}/", f"velora://tester@/?dsn={os.environ['VELORA_DSN']}"]
text = ["h\u00e9llo \u65e5\u672c \U0001F600", "plain", None]
frame = pd.DataFrame({
    "i16": pd.Series([-32768, 7, 32767], dtype="int16"),
    "i32": pd.Series([-2147483648, 0, 2147483647], dtype="int32"),
    "i64": pd.Series([-9007199254740993, 1, 9007199254740993], dtype="int64"),
    "n64": pd.array([1, None, 3], dtype="Int64"),
    "f32": pd.Series([1.5, -0.25, 3.0], dtype="float32"),
    "f64": [1.0e300, -2.5, None],
    "b": [True, False, True],
    "t": text,
    "d": [datetime.date(2024, 2, 29), datetime.date(1999, 12, 31), None],
    "tm": [datetime.time(13, 45, 30), datetime.time(0, 0), None],
    "ts": pd.to_datetime(["2024-02-29 13:45:30.250", "1970-01-01", None]),
    "dec": [decimal.Decimal("12345.67"), decimal.Decimal("-0.01"), None],
    "bin": [b"\x00\x01\xfe\xff", b"", None],
})
types = {"dec": sa.Numeric(10, 2), "bin": sa.LargeBinary}
failures = []
for n, url in enumerate(urls):
    engine = sa.create_engine(url)
    table = f"frame_{n}"
    frame.to_sql(table, engine, index=False, dtype=types, if_exists="replace")
    for how, back in (("table", pd.read_sql_table(table, engine)),
                      ("query", pd.read_sql(sa.text(f"SELECT * FROM {table} WHERE i32 >= :low ORDER BY i16"),
                                            engine, params={"low": -2147483648}))):
        if list(back.columns) != list(frame.columns) or len(back) != len(frame):
            failures.append(f"{url} {how}: columns {list(back.columns)}, {len(back)} rows")
            continue
        for column in frame.columns:
            want, got = list(frame[column]), list(back[column])
            if column == "bin":
                got = [None if v is None else bytes(v) for v in got]
            if column == "ts":
                got = list(pd.to_datetime(back[column]))
            if column == "dec":
                got = [None if v is None or pd.isna(v) else decimal.Decimal(str(v)).quantize(decimal.Decimal("0.01"))
                       for v in got]
            if column == "d":
                got = [None if v is None or pd.isna(v) else pd.Timestamp(v).date() for v in got]
            same = all((pd.isna(w) and (g is None or pd.isna(g))) if w is None or (not isinstance(w, bytes) and pd.isna(w))
                       else w == g for w, g in zip(want, got))
            if not same:
                failures.append(f"{url} {how} {column}: got {got!r}, want {want!r}")
    # executemany through fast_executemany: many rows at once, appended.
    many = pd.DataFrame({"i": range(5000), "t": [f"r{i}\u00e9" for i in range(5000)]})
    many.to_sql(f"many_{n}", engine, index=False, chunksize=2000, if_exists="replace")
    got = pd.read_sql(sa.text(f"SELECT COUNT(*) AS n, SUM(i) AS s, MAX(t) AS m FROM many_{n}"), engine)
    if [int(got.n[0]), int(got.s[0]), got.m[0]] != [5000, 12497500, "r9\u00e9"]:  # "r9é" sorts last
        failures.append(f"{url} many: {got.to_dict('records')}")
    if os.environ.get("VEL_TEST_STORAGE"):  # PostgreSQL's intervals arrive as timedelta
        got = pd.read_sql(sa.text("SELECT CAST('-1 day -02:03:04.5' AS interval) AS d"), engine).d[0]
        if got != -pd.Timedelta("1 days 02:03:04.5"):
            failures.append(f"{url} interval: {got!r}")
    engine.dispose()
for f in failures:
    print("FAIL", f)
sys.exit(1 if failures else 0)
