// Cursors that write back: SQLSetPos SQL_UPDATE, SQL_DELETE, SQL_ADD and
// SQL_REFRESH on one row and on the rowset, SQL_COLUMN_IGNORE,
// SQL_ATTR_ROW_OPERATION_PTR, SQLBulkOperations with bookmarks, positioned
// statements, keyset-driven cursors, optimistic concurrency against another
// connection's change, and the concurrencies a query or a user cannot have
// ("01S02", refused writes). The ODBC 2.0 library has no SQLBulkOperations.
#include "conformance.h"

namespace {

// A row: concurrency, SQLSetPos's row (0: the rowset) and operation; the
// name buffers after the fetch ("~": SQL_COLUMN_IGNORE, "@": SQL_DATA_AT_EXEC); the row operations
// ("PIP": SQL_ROW_PROCEED, SQL_ROW_IGNORE; "": none set); another
// connection's change between fetch and SetPos; the outcome, the row
// statuses (SQL_ROW_* digits), the table afterwards and the name buffers
// afterwards (when given). kPositioned (kForwardPositioned: over a
// forward-only cursor) runs `operations` (%s: the cursor's name) on another
// statement with the cursor on row irow.
struct EditCase {
  SQLULEN concurrency;
  SQLSETPOSIROW irow;
  SQLUSMALLINT op;
  const char* names;
  const char* operations;
  const char* between;
  SQLRETURN rc;
  const char* state;
  const char* statuses;
  const char* rows;
  Libraries libraries;
  const char* buffers = "";
};

constexpr SQLULEN kRowver = SQL_CONCUR_ROWVER, kValues = SQL_CONCUR_VALUES;
constexpr SQLRETURN kOk = SQL_SUCCESS, kInfo = SQL_SUCCESS_WITH_INFO;
// SQLBulkOperations: SQL_ADD (the rows of the arrays), and by the bookmarks of the rows fetched;
// a keyset-driven cursor's SQLFetchScroll again; a positioned statement.
constexpr SQLUSMALLINT kBulkAdd = 100 + SQL_ADD, kBulkUpdate = 100 + SQL_UPDATE_BY_BOOKMARK,
                       kBulkDelete = 100 + SQL_DELETE_BY_BOOKMARK, kBulkFetch = 100 + SQL_FETCH_BY_BOOKMARK,
                       kRefetch = 90, kPositioned = 91, kForwardPositioned = 92;
const char kDelete3[] = "DELETE FROM setpos_t WHERE id = 3",
           kUpdateAt[] = "UPDATE setpos_t SET name = 'p' WHERE CURRENT OF %s";
const char kChange2[] = "UPDATE setpos_t SET name = 'o' WHERE id = 2";
const char kDeleteFirst[] = "SQLSetPos SQL_DELETE";  // through the cursor itself
// Updated through the cursor itself first, on a table without a key (PostgreSQL: found by its ctid).
const char kUpdateFirst[] = "SQLSetPos SQL_UPDATE";
// PostgreSQL only: a row the cursor locked (autocommit off) cannot be updated elsewhere (lock timeout).
const char kLockedElsewhere[] = "UPDATE setpos_t SET name = 'o' WHERE id = 2";
// clang-format off
const EditCase kEdits[] = {
    {kRowver, 2, SQL_UPDATE, "axc", "", "", kOk, "", "020", "1/a;2/x;3/c", kBoth},
    {kValues, 0, SQL_UPDATE, "xyz", "", "", kOk, "", "222", "1/x;2/y;3/z", kBoth},
    {kRowver, 1, SQL_UPDATE, "~bc", "", "", kOk, "", "200", "1/a;2/b;3/c", kBoth},
    // Data at execution, asked row by row with the row's buffer ("pp", "qq", "rr" for rowset rows 1, 2, 3).
    {kRowver, 1, SQL_UPDATE, "@bc", "", "", kOk, "", "200", "1/pp;2/b;3/c", kBoth},
    {kRowver, 3, SQL_ADD, "ab@", "", "", kOk, "", "004", "1/a;2/b;3/c;4/rr", kBoth},
    {kValues, 0, SQL_UPDATE, "@y@", "", "", kOk, "", "222", "1/pp;2/y;3/rr", kBoth},
    {kRowver, 0, SQL_UPDATE, "@@@", "PIP", "", kOk, "", "202", "1/pp;2/b;3/rr", kOdbc3Only},
    {kValues, 0, kBulkAdd, "d@f", "", "", kOk, "", "444", "1/a;2/b;3/c;4/d;5/qq;6/f", kOdbc3Only},
    {kRowver, 0, SQL_UPDATE, "xyz", "PIP", "", kOk, "", "202", "1/x;2/b;3/z", kOdbc3Only},
    {kRowver, 0, SQL_UPDATE, "xyz", "PIP", "", kOk, "", "222", "1/x;2/y;3/z", kOdbc2Only},  // no row operations in 2.0
    {kRowver, 1, SQL_DELETE, "abc", "", "", kOk, "", "100", "2/b;3/c", kBoth},
    {kValues, 0, SQL_DELETE, "abc", "", "", kOk, "", "111", "", kBoth},
    {kRowver, 3, SQL_ADD, "abd", "", "", kOk, "", "004", "1/a;2/b;3/c;4/d", kBoth},
    {kValues, 0, kBulkAdd, "def", "", "", kOk, "", "444", "1/a;2/b;3/c;4/d;5/e;6/f", kOdbc3Only},
    {kRowver, 0, kBulkAdd, "def", "PIP", "", kOk, "", "404", "1/a;2/b;3/c;4/d;6/f", kOdbc3Only},
    // Changed or deleted by another connection since read: not overwritten.
    {kRowver, 2, SQL_UPDATE, "axc", "", kChange2, kInfo, "01001", "050", "1/a;2/o;3/c", kBoth},
    {kValues, 0, SQL_UPDATE, "xyz", "", kChange2, kInfo, "01001", "252", "1/x;2/o;3/z", kBoth},
    {kRowver, 3, SQL_DELETE, "abc", "", kDelete3, kInfo, "01001", "005", "1/a;2/b", kBoth},
    {SQL_CONCUR_READ_ONLY, 1, SQL_UPDATE, "xbc", "", "", SQL_ERROR, "HYC00", "000", "1/a;2/b;3/c", kBoth},
    // Positioning: a row of the rowset; the operation (the driver manager answers for it).
    {SQL_CONCUR_READ_ONLY, 1, SQL_POSITION, "abc", "", "", kOk, "", "000", "1/a;2/b;3/c", kBoth},
    {SQL_CONCUR_READ_ONLY, 4, SQL_POSITION, "abc", "", "", SQL_ERROR, "HY107", "000", "1/a;2/b;3/c", kBoth},
    {SQL_CONCUR_READ_ONLY, 0, SQL_POSITION, "abc", "", "", SQL_ERROR, "HY109", "000", "1/a;2/b;3/c", kBoth},
    {SQL_CONCUR_READ_ONLY, 1, 9, "abc", "", "", SQL_ERROR, "HY092", "000", "1/a;2/b;3/c", kBoth},
    // SQL_REFRESH reads the rows again by their keys; a static cursor without keys holds its rows.
    {kRowver, 0, SQL_REFRESH, "xyz", "", kChange2, kOk, "", "000", "1/a;2/o;3/c", kBoth, "aoc"},
    {kValues, 0, SQL_REFRESH, "xyz", "", kDelete3, kOk, "", "001", "1/a;2/b", kBoth, "abz"},
    {SQL_CONCUR_READ_ONLY, 2, SQL_REFRESH, "xyz", "", kChange2, kOk, "", "000", "1/a;2/o;3/c", kBoth, "xbz"},
    {kRowver, 0, kBulkUpdate, "xyz", "PIP", "", kOk, "", "202", "1/x;2/b;3/z", kOdbc3Only},
    {kValues, 0, kBulkDelete, "abc", "IPP", "", kOk, "", "011", "1/a", kOdbc3Only},
    {kRowver, 0, kBulkUpdate, "axc", "", kChange2, kInfo, "01001", "252", "1/a;2/o;3/c", kOdbc3Only},
    {kRowver, 0, kBulkFetch, "xyz", "", kChange2, kOk, "", "000", "1/a;2/o;3/c", kOdbc3Only, "aoc"},
    {SQL_CONCUR_READ_ONLY, 0, kBulkFetch, "xyz", "", kChange2, kOk, "", "000", "1/a;2/o;3/c", kOdbc3Only, "abc"},
    // Keyset-driven: others' updates show, deletes are SQL_ROW_DELETED, rows added are not in the keyset.
    {SQL_CONCUR_READ_ONLY, 0, kRefetch, "xyz", "", kChange2, kOk, "", "020", "1/a;2/o;3/c", kBoth, "aoc"},
    {kRowver, 0, kRefetch, "xyz", "", kDelete3, kOk, "", "001", "1/a;2/b", kBoth, "abz"},
    {kValues, 0, kRefetch, "xyz", "", "INSERT INTO setpos_t VALUES (0, 'n')", kOk, "", "000", "0/n;1/a;2/b;3/c", kBoth, "abc"},
    {kRowver, 2, kPositioned, "abc", kUpdateAt, "", kOk, "", "000", "1/a;2/p;3/c", kBoth},
    {kValues, 3, kPositioned, "abc", "delete from setpos_t where current of %s", "", kOk, "", "000", "1/a;2/b", kBoth},
    {kRowver, 0, kForwardPositioned, "abc", kUpdateAt, "", kOk, "", "000", "1/a;2/b;3/p", kBoth},  // the last row fetched
    {kRowver, 1, kPositioned, "abc", "DELETE FROM setpos_t WHERE CURRENT OF other", "", SQL_ERROR, "34000", "000", "1/a;2/b;3/c", kBoth},
    {SQL_CONCUR_READ_ONLY, 1, kPositioned, "abc", kUpdateAt, "", SQL_ERROR, "24000", "000", "1/a;2/b;3/c", kBoth},
    {kRowver, 2, SQL_DELETE, "abc", "", kDeleteFirst, SQL_ERROR, "HY109", "010", "1/a;3/c", kBoth},
    {kValues, 2, SQL_UPDATE, "axc", "", kDeleteFirst, SQL_ERROR, "HY109", "010", "1/a;3/c", kBoth},
    {kRowver, 2, SQL_REFRESH, "abc", "", kDeleteFirst, SQL_ERROR, "HY109", "010", "1/a;3/c", kBoth},
    {kValues, 2, SQL_UPDATE, "axc", "", kUpdateFirst, kOk, "", "020", "1/a;2/x;3/c", kBoth},
    {SQL_CONCUR_LOCK, 2, SQL_UPDATE, "axc", "", kLockedElsewhere, kOk, "", "020", "1/a;2/x;3/c", kBoth},
    {kRowver, 2, SQL_DELETE, "axc", "", kUpdateFirst, kOk, "", "010", "1/a;3/c", kBoth},
};
// clang-format on

class SetPos : public Conformance {
 protected:
  void Fill(bool keyed = true) {
    Exec("DROP TABLE IF EXISTS setpos_t");
    ASSERT_EQ(SQL_SUCCESS, Exec(std::string("CREATE TABLE setpos_t (id INTEGER") + (keyed ? " PRIMARY KEY" : "") +
                                ", name VARCHAR(20))"));
    ASSERT_EQ(SQL_SUCCESS, Exec("INSERT INTO setpos_t VALUES (1, 'a'), (2, 'b'), (3, 'c')"));
  }
  // A static cursor of three-row rowsets over sql with concurrency; the
  // execution's outcome.
  SQLRETURN Open(SQLHSTMT stmt, SQLULEN concurrency, const char* sql, SQLULEN type = SQL_CURSOR_STATIC) {
    SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0);
    return Exec(stmt, sql);
  }
  // sql run on another connection.
  SQLRETURN Elsewhere(const char* sql) {
    OdbcConnection other(lib().version);
    if (!SQL_SUCCEEDED(other.DriverConnect(std::string("DSN=") + lib().dsn))) return SQL_ERROR;
    if (OnPostgres()) other.Execute("SET lock_timeout = 1000");  // a locked row waits a second at most
    return other.Execute(sql);
  }
  // sql (%s: the cursor's name) on another statement with cursor on rowset row irow; *state its SQLSTATE.
  SQLRETURN Positioned(SQLHSTMT cursor, SQLSETPOSIROW irow, const char* sql, std::string* state) {
    SQLCHAR name[32] = {};
    SQLSetPos(cursor, irow, SQL_POSITION, SQL_LOCK_NO_CHANGE);
    SQLGetCursorName(cursor, name, sizeof name, nullptr);
    std::string text = sql;
    SQLHSTMT other = c.Statement();
    const SQLRETURN rc =
        Exec(other, text.find("%s") == text.npos ? text : text.replace(text.find("%s"), 2, (char*)name));
    *state = FirstState(SQL_HANDLE_STMT, other);
    return SQLFreeHandle(SQL_HANDLE_STMT, other), rc;
  }
  std::string Table() {
    SQLHSTMT t = c.Statement();
    const std::string rows = Rows(t, Exec(t, "SELECT id, name FROM setpos_t ORDER BY id"), {1, 2});
    return SQLFreeHandle(SQL_HANDLE_STMT, t), rows;
  }
};

TEST_P(SetPos, WritesRowsBack) {
  for (const EditCase& row : kEdits) {
    if (!lib().Holds(row.libraries) || (row.between == kLockedElsewhere && !OnPostgres())) continue;
    SCOPED_TRACE(std::string(row.names) + " " + std::to_string(row.op) + " " + row.between);
    Fill(row.between != kUpdateFirst);
    const bool locking = row.concurrency == SQL_CONCUR_LOCK;  // in a transaction, so that the lock lasts
    SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)(locking ? SQL_AUTOCOMMIT_OFF : SQL_AUTOCOMMIT_ON), 0);
    SQLHSTMT s2 = c.Statement();
    SQLINTEGER ids[3] = {};
    SQLCHAR names[3][21] = {};
    SQLLEN idLengths[3] = {}, nameLengths[3] = {};
    SQLUSMALLINT statuses[3] = {}, operations[3] = {};
    SQLSetStmtAttr(s2, SQL_ATTR_ROW_STATUS_PTR, statuses, 0);
    const bool marked = row.op > kBulkAdd;
    SQLUINTEGER marks[3] = {};
    if (marked) SQLSetStmtAttr(s2, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0);
    const bool positioned = row.op == kPositioned || row.op == kForwardPositioned;
    if (positioned) SQLSetCursorName(s2, (SQLCHAR*)"edits", SQL_NTS);
    const SQLULEN type = row.op == kRefetch             ? SQL_CURSOR_KEYSET_DRIVEN
                         : row.op == kForwardPositioned ? SQL_CURSOR_FORWARD_ONLY
                                                        : SQL_CURSOR_STATIC;
    ASSERT_TRUE(SQL_SUCCEEDED(Open(s2, row.concurrency, "SELECT id, name FROM setpos_t ORDER BY id", type)));
    SQLBindCol(s2, 1, SQL_C_SLONG, ids, 0, idLengths);
    SQLBindCol(s2, 2, SQL_C_CHAR, names, sizeof names[0], nameLengths);
    if (marked) SQLBindCol(s2, 0, SQL_C_VARBOOKMARK, marks, sizeof marks[0], nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(s2, SQL_FETCH_FIRST, 0));
    for (int i = 0; i < 3; ++i) {
      names[i][0] = row.names[i] == '~' ? 'z' : row.names[i];
      nameLengths[i] = row.names[i] == '~' ? SQL_COLUMN_IGNORE : row.names[i] == '@' ? SQL_DATA_AT_EXEC : SQL_NTS;
      operations[i] = row.operations[0] && row.operations[i] == 'I' ? SQL_ROW_IGNORE : SQL_ROW_PROCEED;
    }
    if (row.op == SQL_ADD) ids[row.irow - 1] = 4;
    for (int i = 0; i < 3 && row.op == kBulkAdd; ++i) ids[i] = 4 + i;
    if (row.operations[0] && !positioned) SQLSetStmtAttr(s2, SQL_ATTR_ROW_OPERATION_PTR, operations, 0);
    ASSERT_EQ(locking ? SQL_ERROR : SQL_SUCCESS,
              row.between == kDeleteFirst   ? SQLSetPos(s2, row.irow, SQL_DELETE, SQL_LOCK_NO_CHANGE)
              : row.between == kUpdateFirst ? SQLSetPos(s2, row.irow, SQL_UPDATE, SQL_LOCK_NO_CHANGE)
              : row.between[0]              ? Elsewhere(row.between)
                                            : SQL_SUCCESS);
    std::string state;
    SQLRETURN rc = row.op >= kBulkAdd   ? SQLBulkOperations(s2, row.op - 100)
                   : row.op == kRefetch ? SQLFetchScroll(s2, SQL_FETCH_FIRST, 0)
                   : positioned         ? Positioned(s2, row.irow, row.operations, &state)
                                        : SQLSetPos(s2, row.irow, row.op, SQL_LOCK_NO_CHANGE);
    for (SQLPOINTER token = nullptr; rc == SQL_NEED_DATA && (rc = SQLParamData(s2, &token)) == SQL_NEED_DATA;) {
      char piece = char('p' + (static_cast<SQLCHAR*>(token) - names[0]) / sizeof names[0]);  // in two pieces
      SQLPutData(s2, &piece, 1), SQLPutData(s2, &piece, 1);
    }
    EXPECT_EQ(row.rc, rc) << Diag(SQL_HANDLE_STMT, s2);
    EXPECT_EQ(row.state[0] ? lib().State(row.state) : "", positioned ? state : FirstState(SQL_HANDLE_STMT, s2));
    EXPECT_EQ(row.statuses, std::to_string(statuses[0]) + std::to_string(statuses[1]) + std::to_string(statuses[2]));
    const std::string buffers{char(names[0][0]), char(names[1][0]), char(names[2][0])};
    EXPECT_EQ(row.buffers[0] ? row.buffers : buffers, buffers);
    SQLFreeHandle(SQL_HANDLE_STMT, s2);
    SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);  // commits
    EXPECT_EQ(row.rows, Table());
  }
}

// The execution warns "01S02" (else succeeds) and the concurrency reads back as used.
struct DowngradeCase {
  SQLULEN asked;
  const char* sql;
  const char* state;
  SQLULEN used;
  Libraries libraries;
  SQLULEN type = SQL_CURSOR_STATIC;  // asked; a keyset-driven cursor without a key is static
};

// clang-format off
const DowngradeCase kDowngrades[] = {
    {kRowver, "SELECT id, name FROM setpos_t", "", kRowver, kBoth},
    {kValues, "SELECT a.id FROM setpos_t a JOIN setpos_t b ON a.id = b.id", "01S02", SQL_CONCUR_READ_ONLY, kBoth},
    {kRowver, "SELECT id + 1 FROM setpos_t", "01S02", SQL_CONCUR_READ_ONLY, kBoth},
    {kRowver, "SELECT 1", "01S02", SQL_CONCUR_READ_ONLY, kBoth},
    {SQL_CONCUR_READ_ONLY, "SELECT 1", "01S02", SQL_CONCUR_READ_ONLY, kBoth, SQL_CURSOR_KEYSET_DRIVEN},
};
// clang-format on

TEST_P(SetPos, QueriesWithoutAKeyAreReadOnly) {
  Fill();
  for (const DowngradeCase& row : kDowngrades) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(row.sql);
    SQLHSTMT s2 = c.Statement();
    EXPECT_EQ(row.state[0] ? kInfo : kOk, Open(s2, row.asked, row.sql, row.type)) << Diag(SQL_HANDLE_STMT, s2);
    EXPECT_EQ(row.state, FirstState(SQL_HANDLE_STMT, s2));
    SQLULEN used = 0, type = 0;
    SQLGetStmtAttr(s2, SQL_ATTR_CONCURRENCY, &used, 0, nullptr);
    SQLGetStmtAttr(s2, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
    EXPECT_EQ(row.used, used);
    EXPECT_EQ(SQL_CURSOR_STATIC, type);
    SQLFreeHandle(SQL_HANDLE_STMT, s2);
  }
}

// A read-only user's cursor writes nothing.
TEST_P(SetPos, ReadOnlyUserCannotWrite) {
  if (!lib().odbc3) return;
  OdbcConnection reader;
  ASSERT_TRUE(SQL_SUCCEEDED(reader.DriverConnect(
      "DRIVER={Velora};Server=127.0.0.1;Service=" + std::to_string(g_c.Port()) + ";UID=reader;PWD=pages")));
  OdbcConnection owner;
  ASSERT_TRUE(SQL_SUCCEEDED(owner.DriverConnect("DSN=VelKeys")));
  owner.Execute("DROP TABLE IF EXISTS setpos_t");
  ASSERT_EQ(SQL_SUCCESS, owner.Execute("CREATE TABLE setpos_t (id INTEGER PRIMARY KEY, name VARCHAR(20))"));
  ASSERT_EQ(SQL_SUCCESS, owner.Execute("INSERT INTO setpos_t VALUES (1, 'a')"));
  SQLHSTMT r = reader.Statement();
  SQLCHAR name[21] = "x";
  SQLLEN length = SQL_NTS;
  ASSERT_TRUE(SQL_SUCCEEDED(Open(r, SQL_CONCUR_ROWVER, "SELECT name FROM setpos_t")));
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(r, SQL_FETCH_FIRST, 0));
  SQLBindCol(r, 1, SQL_C_CHAR, name, sizeof name, &length);
  EXPECT_EQ(SQL_ERROR, SQLSetPos(r, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
  const std::string state = FirstState(SQL_HANDLE_STMT, r);
  EXPECT_TRUE(state == "42000" || state == "28000" || state == "25000") << Diag(SQL_HANDLE_STMT, r);
  SQLFreeHandle(SQL_HANDLE_STMT, r);
  SQLHSTMT t = owner.Statement();
  EXPECT_EQ("a", Rows(t, Exec(t, "SELECT name FROM setpos_t"), {1}));
}

VEL_CONFORMANCE_SUITE(SetPos);

}  // namespace
