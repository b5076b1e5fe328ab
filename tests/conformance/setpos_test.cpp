// Cursors that write back: SQLSetPos SQL_UPDATE, SQL_DELETE and SQL_ADD
// on one row and on the rowset, SQL_COLUMN_IGNORE, SQL_ATTR_ROW_OPERATION_PTR,
// optimistic concurrency against another connection's change, and the
// concurrencies a query or a user cannot have ("01S02", refused writes).
// The ODBC 2.0 library's cursors only position.
#include <cstring>

#include "conformance.h"

namespace {

constexpr SQLUSMALLINT kAll = 0;
constexpr SQLUSMALLINT I = SQL_ROW_IGNORE, P = SQL_ROW_PROCEED;

struct EditCase {
  const char* name;
  SQLULEN concurrency;
  SQLSETPOSIROW irow;
  SQLUSMALLINT op;
  const char* names[3];        // the name buffers after the fetch; "~": SQL_COLUMN_IGNORE
  SQLUSMALLINT operations[3];  // SQL_ATTR_ROW_OPERATION_PTR; all 0: none set
  const char* between;         // another connection's change between fetch and SetPos
  SQLRETURN rc;
  const char* state;
  const char* statuses;  // the row statuses after the call (SQL_ROW_* digits)
  const char* rows;      // the table after the call
  Libraries libraries;
};

const char* const kSame[3] = {"a", "b", "c"};
#define SAME \
  { kSame[0], kSame[1], kSame[2] }
const EditCase kEdits[] = {
    {"update one",
     SQL_CONCUR_ROWVER,
     2,
     SQL_UPDATE,
     {"a", "x", "c"},
     {},
     "",
     SQL_SUCCESS,
     "",
     "020",
     "1/a;2/x;3/c",
     kOdbc3Only},
    {"update all",
     SQL_CONCUR_VALUES,
     kAll,
     SQL_UPDATE,
     {"x", "y", "z"},
     {},
     "",
     SQL_SUCCESS,
     "",
     "222",
     "1/x;2/y;3/z",
     kOdbc3Only},
    {"update ignored column",
     SQL_CONCUR_ROWVER,
     1,
     SQL_UPDATE,
     {"~", "b", "c"},
     {},
     "",
     SQL_SUCCESS,
     "",
     "200",
     "1/a;2/b;3/c",
     kOdbc3Only},
    {"row operations",
     SQL_CONCUR_ROWVER,
     kAll,
     SQL_UPDATE,
     {"x", "y", "z"},
     {P, I, P},
     "",
     SQL_SUCCESS,
     "",
     "202",
     "1/x;2/b;3/z",
     kOdbc3Only},
    {"delete one", SQL_CONCUR_ROWVER, 1, SQL_DELETE, SAME, {}, "", SQL_SUCCESS, "", "100", "2/b;3/c", kOdbc3Only},
    {"delete all", SQL_CONCUR_VALUES, kAll, SQL_DELETE, SAME, {}, "", SQL_SUCCESS, "", "111", "", kOdbc3Only},
    {"add one",
     SQL_CONCUR_ROWVER,
     3,
     SQL_ADD,
     {"a", "b", "d"},
     {},
     "",
     SQL_SUCCESS,
     "",
     "004",
     "1/a;2/b;3/c;4/d",
     kOdbc3Only},
    {"changed since read: rowver",
     SQL_CONCUR_ROWVER,
     2,
     SQL_UPDATE,
     {"a", "x", "c"},
     {},
     "UPDATE setpos_t SET name = 'o' WHERE id = 2",
     SQL_SUCCESS_WITH_INFO,
     "01001",
     "050",
     "1/a;2/o;3/c",
     kOdbc3Only},
    {"changed since read: values",
     SQL_CONCUR_VALUES,
     kAll,
     SQL_UPDATE,
     {"x", "y", "z"},
     {},
     "UPDATE setpos_t SET name = 'o' WHERE id = 2",
     SQL_SUCCESS_WITH_INFO,
     "01001",
     "252",
     "1/x;2/o;3/z",
     kOdbc3Only},
    {"deleted since read",
     SQL_CONCUR_ROWVER,
     3,
     SQL_DELETE,
     SAME,
     {},
     "DELETE FROM setpos_t WHERE id = 3",
     SQL_SUCCESS_WITH_INFO,
     "01001",
     "005",
     "1/a;2/b",
     kOdbc3Only},
    {"read-only cursor",
     SQL_CONCUR_READ_ONLY,
     1,
     SQL_UPDATE,
     {"x", "b", "c"},
     {},
     "",
     SQL_ERROR,
     "HYC00",
     "000",
     "1/a;2/b;3/c",
     kBoth},
    {"2.0 cursors position",
     SQL_CONCUR_ROWVER,
     1,
     SQL_UPDATE,
     {"x", "b", "c"},
     {},
     "",
     SQL_ERROR,
     "HYC00",
     "000",
     "1/a;2/b;3/c",
     kOdbc2Only},
};
#undef SAME

class SetPos : public Conformance {
 protected:
  void SetUp() override {
    Conformance::SetUp();
    Fill();
  }
  void Fill() {
    Exec("DROP TABLE IF EXISTS setpos_t");
    ASSERT_EQ(SQL_SUCCESS, Exec("CREATE TABLE setpos_t (id INTEGER PRIMARY KEY, name VARCHAR(20))"));
    ASSERT_EQ(SQL_SUCCESS, Exec("INSERT INTO setpos_t VALUES (1, 'a'), (2, 'b'), (3, 'c')"));
  }
  // A static cursor of three-row rowsets over sql with concurrency; the
  // execution's outcome.
  SQLRETURN Open(SQLHSTMT stmt, SQLULEN concurrency, const char* sql) {
    SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0);
    return Exec(stmt, sql);
  }
  std::string Table() {
    SQLHSTMT t = c.Statement();
    const std::string rows = Rows(t, Exec(t, "SELECT id, name FROM setpos_t ORDER BY id"), {1, 2});
    SQLFreeHandle(SQL_HANDLE_STMT, t);
    return rows;
  }
  SQLULEN Concurrency(SQLHSTMT stmt) {
    SQLULEN value = 0;
    SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &value, 0, nullptr);
    return value;
  }
};

TEST_P(SetPos, WritesRowsBack) {
  for (const EditCase& row : kEdits) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(row.name);
    Fill();
    SQLHSTMT s2 = c.Statement();
    SQLINTEGER ids[3] = {};
    SQLCHAR names[3][21] = {};
    SQLLEN idLengths[3] = {}, nameLengths[3] = {};
    SQLUSMALLINT statuses[3] = {}, operations[3] = {};
    SQLSetStmtAttr(s2, SQL_ATTR_ROW_STATUS_PTR, statuses, 0);
    ASSERT_TRUE(SQL_SUCCEEDED(Open(s2, row.concurrency, "SELECT id, name FROM setpos_t ORDER BY id")));
    SQLBindCol(s2, 1, SQL_C_SLONG, ids, 0, idLengths);
    SQLBindCol(s2, 2, SQL_C_CHAR, names, sizeof names[0], nameLengths);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(s2, SQL_FETCH_FIRST, 0));
    for (int i = 0; i < 3; ++i) {
      const bool ignore = std::strcmp(row.names[i], "~") == 0;
      std::strcpy((char*)names[i], ignore ? "zz" : row.names[i]);
      nameLengths[i] = ignore ? SQL_COLUMN_IGNORE : SQL_NTS;
      operations[i] = row.operations[i];
    }
    if (row.op == SQL_ADD) ids[row.irow - 1] = 4;
    if (row.operations[0] + row.operations[1] + row.operations[2] != 0)
      SQLSetStmtAttr(s2, SQL_ATTR_ROW_OPERATION_PTR, operations, 0);
    if (row.between[0]) {
      OdbcConnection other(lib().version);
      ASSERT_TRUE(SQL_SUCCEEDED(other.DriverConnect(std::string("DSN=") + lib().dsn)));
      ASSERT_EQ(SQL_SUCCESS, other.Execute(row.between));
    }
    EXPECT_EQ(row.rc, SQLSetPos(s2, row.irow, row.op, SQL_LOCK_NO_CHANGE)) << Diag(SQL_HANDLE_STMT, s2);
    EXPECT_EQ(row.state[0] ? lib().State(row.state) : "", FirstState(SQL_HANDLE_STMT, s2));
    std::string got;
    for (SQLUSMALLINT status : statuses) got += std::to_string(status);
    if (lib().odbc3) {
      EXPECT_EQ(row.statuses, got);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, s2);
    EXPECT_EQ(row.rows, Table());
  }
}

struct DowngradeCase {
  const char* name;
  SQLULEN asked;
  const char* sql;
  SQLRETURN rc;  // of the execution
  const char* state;
  SQLULEN used;  // SQL_ATTR_CONCURRENCY afterwards
  Libraries libraries;
};

const DowngradeCase kDowngrades[] = {
    {"one table with a key", SQL_CONCUR_ROWVER, "SELECT id, name FROM setpos_t", SQL_SUCCESS, "", SQL_CONCUR_ROWVER,
     kOdbc3Only},
    {"a join", SQL_CONCUR_VALUES, "SELECT a.id FROM setpos_t a JOIN setpos_t b ON a.id = b.id", SQL_SUCCESS_WITH_INFO,
     "01S02", SQL_CONCUR_READ_ONLY, kOdbc3Only},
    {"a computed column", SQL_CONCUR_ROWVER, "SELECT id + 1 FROM setpos_t", SQL_SUCCESS_WITH_INFO, "01S02",
     SQL_CONCUR_READ_ONLY, kOdbc3Only},
    {"no table", SQL_CONCUR_ROWVER, "SELECT 1", SQL_SUCCESS_WITH_INFO, "01S02", SQL_CONCUR_READ_ONLY, kOdbc3Only},
    {"2.0 library", SQL_CONCUR_ROWVER, "SELECT id, name FROM setpos_t", SQL_SUCCESS, "", SQL_CONCUR_READ_ONLY,
     kOdbc2Only},
};

TEST_P(SetPos, QueriesWithoutAKeyAreReadOnly) {
  for (const DowngradeCase& row : kDowngrades) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(row.name);
    SQLHSTMT s2 = c.Statement();
    EXPECT_EQ(row.rc, Open(s2, row.asked, row.sql)) << Diag(SQL_HANDLE_STMT, s2);
    EXPECT_EQ(row.state, FirstState(SQL_HANDLE_STMT, s2));
    EXPECT_EQ(row.used, Concurrency(s2));
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
