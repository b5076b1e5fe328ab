#!/usr/bin/python3
# LibreOffice's ODBC bridge (sdbc:odbc), driven headless through UNO: browse
# tables, columns, keys and indexes through the data source VELORA_DSN, read
# every type of the fixture through a prepared query, then insert, delete and
# update a row as Base's grid does (a row set over a Base data source) and
# through an updatable result set of the bridge itself (the driver's
# SQLBulkOperations and SQLSetPos; Velora ANSI's only as far as the bridge
# goes over an ODBC 2.0 driver), each change checked from the other
# connection. Run by
# run_with_server.sh; exits 77 when LibreOffice is not installed.
import os
import re
import shutil
import subprocess
import sys
import time

soffice = shutil.which("soffice")
try:
    import uno
except ImportError:
    uno = None
if not soffice or not uno:
    print("SKIP: LibreOffice (soffice with python3-uno) is not installed", file=sys.stderr)
    sys.exit(77)
from com.sun.star.beans import PropertyValue

TEXT = "h\u00e9llo \u65e5\u672c \U0001F600"
ODBC3 = os.environ["VELORA_DRIVER"] == "Velora"
failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


def rows(rs, *cols):
    return [tuple(rs.getString(c) for c in cols) for _ in iter(rs.next, False)]


def connect(work):
    accept = f"pipe,name=velora_lo_{os.getpid()};urp;StarOffice.ComponentContext"
    # soffice.bin itself, in this process's group: the test's time limit
    # ends it too. Its first start with a new profile ends with 81 (restart).
    command = [os.path.join(os.path.dirname(os.path.realpath(soffice)), "soffice.bin"), "--headless", "--invisible",
               "--norestore", "--nologo", "--nodefault", f"-env:UserInstallation=file://{work}/lo-profile",
               f"--accept={accept}"]
    proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(120):
        if proc.poll() == 81:
            proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            return proc, resolver.resolve(f"uno:{accept}")
        except Exception:
            time.sleep(0.5)
    proc.kill()
    raise SystemExit("soffice did not accept a connection")


def browse(ctx, base, con):
    meta = base.getMetaData()
    tables = rows(meta.getTables(None, "%", "%", ("TABLE", "VIEW")), 3, 4)
    for want in [("all_types", "TABLE"), ("all_types_view", "VIEW"), ("lo_edit", "TABLE")]:
        check(f"table {want}", want in tables, True)
    # ORDINAL_POSITION is an ODBC 3 column.
    want = [(c, str(i)) for i, c in enumerate(("id", "name", "amount"), 1)]
    check("columns", rows(meta.getColumns(None, "%", "lo_edit", "%"), 4, *[17][:ODBC3]), [w[: 1 + ODBC3] for w in want])
    check("primary key", rows(meta.getPrimaryKeys(None, "%", "lo_edit"), 4, 5), [("id", "1")])
    idx = rows(meta.getIndexInfo(None, "%", "all_types", True, False), 6, 9)
    check("unique index", ("all_types_id", "id") in [(i.lower(), c) for i, c in idx], True)
    check("type info", len(rows(meta.getTypeInfo(), 1)) >= 10, True)
    # The bridge reads 511 bytes of a text, longer than the 2.0 library's fixed keyword list.
    check("keywords", not ODBC3 or re.fullmatch("[A-Z0-9_,]+", meta.getSQLKeywords()) is not None, True)


# (column, getter, expected) for the fixture's row 1.
TYPES = [("c_char", "getString", "abc"), ("c_varchar", "getString", "hello world"),
         ("c_longvar", "getString", "a longer text value"), ("c_binary", "getBytes", b"ABCD"),
         ("c_varbin", "getBytes", b"EF"), ("c_longvarb", "getBytes", b"HIJKL"), ("c_bit", "getBoolean", True),
         ("c_tinyint", "getShort", -12), ("c_smallint", "getShort", 1234), ("c_integer", "getInt", -123456),
         ("c_bigint", "getLong", 9000000000000000001), ("c_real", "getFloat", 2.5),
         ("c_float", "getDouble", -1234.625), ("c_numeric", "getString", "12345.67"),
         ("c_date", "getDate", (2024, 2, 29)), ("c_time", "getTime", (13, 45, 30)),
         ("c_timestamp", "getTimestamp", (2024, 2, 29, 13, 45, 30, 250000000))]


def plain(v):
    if hasattr(v, "value"):
        v = v.value  # ByteSequence
    for fields in (("Year", "Month", "Day", "Hours", "Minutes", "Seconds", "NanoSeconds"), ("Year", "Month", "Day"),
                   ("Hours", "Minutes", "Seconds")):
        if all(hasattr(v, f) for f in fields):
            return tuple(getattr(v, f) for f in fields)
    return v.rstrip() if isinstance(v, str) else v


def read_types(ctx, base, con):
    names = ", ".join(c for c, _, _ in TYPES)
    ps = con.prepareStatement(f"SELECT {names} FROM all_types WHERE id = ? AND c_varchar = ?")
    ps.setInt(1, 1), ps.setString(2, "hello world")
    rs = ps.executeQuery()
    check("row", rs.next(), True)
    for i, (col, getter, want) in enumerate(TYPES, 1):
        check(col, plain(getattr(rs, getter)(i)), want)
    check("one row", rs.next(), False)
    ps.setInt(1, 2), ps.setString(2, "x")
    check("no row", ps.executeQuery().next(), False)
    ps = base.prepareStatement("SELECT name FROM lo_base WHERE name = ?")
    ps.setString(1, TEXT)
    rs = ps.executeQuery()
    check("non-ASCII parameter", rs.next() and rs.getString(1), TEXT)


def edit(rs, table, other):
    rs.moveToInsertRow()
    for i, setter, value in [(1, "updateInt", 3), (2, "updateString", "added \u65e5"), (3, "updateDouble", 7.5)]:
        getattr(rs, setter)(i, value)
    rs.insertRow(), rs.moveToCurrentRow()
    check(f"{table}: second", rs.absolute(2) and rs.getInt(1), 2)
    rs.deleteRow()
    check(f"{table}: first", rs.first() and rs.getInt(1), 1)
    rs.updateString(2, "ch\u00e2nged \u00e9")
    rs.updateRow()  # the bridge: SQLBulkOperations(SQL_UPDATE_BY_BOOKMARK)
    got = rows(other.createStatement().executeQuery(f"SELECT id, name, amount FROM {table} ORDER BY id"), 1, 2, 3)
    check(f"{table}: after editing", [(int(i), n, float(a)) for i, n, a in got],
          [(1, "ch\u00e2nged \u00e9", 1.25), (3, "added \u65e5", 7.5)])


def base_grid(ctx, base, con):
    rs = ctx.ServiceManager.createInstanceWithContext("com.sun.star.sdb.RowSet", ctx)
    base.getTables().refresh()
    rs.ActiveConnection, rs.CommandType, rs.Command = base, 0, "lo_base"  # a table
    rs.execute()
    edit(rs, "lo_base", con)


def cursor(ctx, base, con):
    st = con.createStatement()
    for name, value in [("ResultSetType", 1004), ("ResultSetConcurrency", 1008), ("UseBookmarks", True)]:
        st.setPropertyValue(name, value)  # scroll-insensitive, updatable, as Base's row set asks
    rs = st.executeQuery("SELECT id, name, amount FROM lo_edit ORDER BY id")
    check("cursor concurrency", rs.ResultSetConcurrency, 1008)
    # The bridge writes through SQLBulkOperations whenever the driver manager
    # has it, and unixODBC answers it for an ODBC 2.0 driver with "Driver does
    # not support this function": Velora ANSI's rows are edited through
    # SQLSetPos by other programs (tests/conformance/setpos_test.cpp).
    if ODBC3:
        edit(rs, "lo_edit", base)


def main():
    proc, ctx = connect(os.environ["VELORA_WORK"])
    try:
        url, info = f"sdbc:odbc:{os.environ['VELORA_DSN']}", (PropertyValue(Name="CharSet", Value="UTF-8"),)
        manager = ctx.ServiceManager.createInstanceWithContext("com.sun.star.sdbc.DriverManager", ctx)
        con = manager.getConnectionWithInfo(url, info)
        for table in ("lo_edit", "lo_base"):
            con.createStatement().executeUpdate(
                f"CREATE TABLE {table} (id INTEGER PRIMARY KEY, name VARCHAR(40), amount NUMERIC(10,2))")
            ps = con.prepareStatement(f"INSERT INTO {table} VALUES (?, ?, ?)")
            for row in [(1, "first", 1.25), (2, TEXT, 2.5)]:
                for i, (setter, value) in enumerate(zip(("setInt", "setString", "setDouble"), row), 1):
                    getattr(ps, setter)(i, value)
                ps.executeUpdate()
        source = ctx.ServiceManager.createInstanceWithContext("com.sun.star.sdb.DatabaseContext", ctx).createInstance()
        source.URL, source.Info = url, info
        base = source.getConnection("", "")
        for step in (browse, read_types, base_grid, cursor):
            try:
                step(ctx, base, con)
            except Exception as e:  # a UNO exception names the driver's message
                failures.append(f"{step.__name__}: {type(e).__name__}: {getattr(e, 'Message', e)}")
        base.close()
        con.close()
    finally:
        try:
            ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx).terminate()
            proc.wait(10)
        except Exception:
            proc.kill()
    for f in failures:
        print(f, file=sys.stderr)
    print(f"LibreOffice over {os.environ['VELORA_DRIVER']}: {'FAILED' if failures else 'OK'}")
    return 1 if failures else 0


sys.exit(main())
