// The ODBC 3.x library (driver Velora, data source VelWide) through the
// driver manager, for an application declaring ODBC 3 and one declaring 2:
// the same session, with each record's SQLSTATE in the application's form.
#include <string>

#include "integration.h"

namespace {

std::string Field(SQLHSTMT s, SQLSMALLINT field) {
  SQLCHAR text[64] = {0};
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLGetDiagField(SQL_HANDLE_STMT, s, 1, field, text, sizeof text, &length);
  return SQL_SUCCEEDED(rc) ? reinterpret_cast<char*>(text) : "rc " + std::to_string(rc);
}

TEST(Odbc3Library, ServesApplicationsOfBothVersions) {
  const struct {
    SQLULEN version;
    const char *missingTable, *classOrigin, *syntax, *badColumn;
  } rows[] = {{SQL_OV_ODBC3, "42S02", "ISO 9075", "42000", "07009"},
              {SQL_OV_ODBC2, "S0002", "ODBC 3.0", "37000", "S1002"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.version);
    OdbcConnection c(r.version);
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelWide"))) << c.Diag();
    SQLCHAR version[16] = {0};
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_DRIVER_ODBC_VER, version, sizeof version, nullptr));
    EXPECT_STREQ("03.80", reinterpret_cast<char*>(version));
    SQLUSMALLINT keys = SQL_FALSE;  // offered by this server's login
    EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(c.dbc, SQL_API_SQLFOREIGNKEYS, &keys));
    EXPECT_EQ(SQL_TRUE, keys);

    SQLHSTMT s = c.Statement();
    EXPECT_EQ("42", Rows(s, SQLExecDirect(s, (SQLCHAR*)"SELECT 6 * 7", SQL_NTS), {1}));
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(s, (SQLCHAR*)"SELECT * FROM no_such_table", SQL_NTS));
    EXPECT_EQ(r.missingTable, Field(s, SQL_DIAG_SQLSTATE)) << Diag(SQL_HANDLE_STMT, s);
    EXPECT_EQ(r.classOrigin, Field(s, SQL_DIAG_CLASS_ORIGIN));
    EXPECT_EQ("ODBC 3.0", Field(s, SQL_DIAG_SUBCLASS_ORIGIN));
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(s, (SQLCHAR*)"SELEC 1", SQL_NTS));
    EXPECT_EQ(r.syntax, Diag(SQL_HANDLE_STMT, s).substr(0, 5));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)"SELECT 1", SQL_NTS)));
    SQLCHAR name[8];
    EXPECT_EQ(SQL_ERROR, SQLDescribeCol(s, 2, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(r.badColumn, Diag(SQL_HANDLE_STMT, s).substr(0, 5));
    SQLFreeHandle(SQL_HANDLE_STMT, s);
  }
}

// Attributes, a forward-only cursor by SQLFetchScroll, descriptor fields
// of a column, and the refusals, each in the application's form.
TEST(Odbc3Library, AttributesCursorsAndColumns) {
  const struct {
    SQLULEN version;
    const char *notCapable, *fetchType, *noCursor;
  } rows[] = {{SQL_OV_ODBC3, "HYC00", "HY106", "24000"}, {SQL_OV_ODBC2, "S1C00", "S1106", "24000"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.version);
    OdbcConnection c(r.version);
    SQLUINTEGER dead = 9;
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelWide"))) << c.Diag();
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(c.dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr));
    EXPECT_EQ(SQL_CD_FALSE, dead);
    SQLHSTMT s = c.Statement();
    SQLULEN scrollable = 9;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(s, SQL_ATTR_CURSOR_SCROLLABLE, &scrollable, 0, nullptr));
    EXPECT_EQ(SQL_NONSCROLLABLE, scrollable);
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(s, SQL_ATTR_MAX_ROWS, (SQLPOINTER)2, 0));

    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, (SQLCHAR*)"SELECT 6 * 7 AS answer UNION SELECT 1 UNION SELECT 2", SQL_NTS));
    SQLCHAR name[16] = {0};
    SQLLEN count = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(s, 1, SQL_DESC_NAME, name, sizeof name, nullptr, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(s, 1, SQL_DESC_COUNT, nullptr, 0, nullptr, &count));
    EXPECT_STREQ("answer", reinterpret_cast<char*>(name));
    SQLWCHAR wide[8] = {0};
    SQLSMALLINT bytes = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLColAttributeW(s, 1, SQL_DESC_NAME, wide, sizeof wide, &bytes, nullptr));
    EXPECT_EQ(u"answer", std::u16string(reinterpret_cast<char16_t*>(wide)));
    EXPECT_EQ(12, bytes);
    EXPECT_EQ(1, count);
    // Claimed (the server offers cursors that write back); a read-only cursor refuses it.
    EXPECT_EQ(SQL_ERROR, SQLBulkOperations(s, SQL_ADD));
    EXPECT_EQ(r.notCapable, Diag(SQL_HANDLE_STMT, s).substr(0, 5));
    EXPECT_EQ(SQL_SUCCESS, SQLFetchScroll(s, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(s, SQL_FETCH_FIRST, 0));
    EXPECT_EQ(r.fetchType, Diag(SQL_HANDLE_STMT, s).substr(0, 5));
    EXPECT_EQ(SQL_SUCCESS, SQLFetchScroll(s, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(s, SQL_FETCH_NEXT, 0));  // two rows at most
    EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(s));
    EXPECT_EQ(SQL_ERROR, SQLCloseCursor(s));
    EXPECT_EQ(r.noCursor, Diag(SQL_HANDLE_STMT, s).substr(0, 5));
    // Date and time columns: verbose type SQL_DATETIME and the subtype.
    ASSERT_EQ(
        SQL_SUCCESS,
        SQLExecDirect(s, (SQLCHAR*)"CREATE TABLE IF NOT EXISTS dt3 (d DATE, t TIME, s TIMESTAMP, i INTEGER)", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, (SQLCHAR*)"SELECT d, t, s, i FROM dt3", SQL_NTS));
    for (SQLUSMALLINT col = 1; col <= 4; ++col) {
      SQLLEN type = 0, code = 9;
      EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(s, col, SQL_DESC_TYPE, nullptr, 0, nullptr, &type));
      EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(s, col, SQL_DESC_DATETIME_INTERVAL_CODE, nullptr, 0, nullptr, &code));
      EXPECT_EQ(col < 4 ? SQL_DATETIME : SQL_INTEGER, type) << col;
      EXPECT_EQ(col < 4 ? col : 0, code) << col;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, s);
  }
}

// Catalog results as each version's application knows them (ODBC 3's
// names, codes and further columns), the row count of the last change as
// a diagnostic field, and SQL_C_DEFAULT of a wide parameter as wide text.
TEST(Odbc3Library, CatalogColumnsRowCountsAndWideDefaults) {
  const struct {
    SQLULEN version;
    const char *column, *type;
  } rows[] = {{SQL_OV_ODBC3, "4/5/4/-/-/1/NO;12/-/12/-/20/2/YES;91/-/9/1/-/3/YES", "4/4/-/10/-"},
              {SQL_OV_ODBC2, "4;12;9", "4"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.version);
    OdbcConnection c(r.version);
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelWide"))) << c.Diag();
    ASSERT_EQ(SQL_SUCCESS, c.Execute("DROP TABLE IF EXISTS cat3"));
    ASSERT_EQ(SQL_SUCCESS, c.Execute("CREATE TABLE cat3 (a INTEGER NOT NULL DEFAULT 5, b VARCHAR(20), d DATE)"));
    SQLHSTMT s = c.Statement();
    // The columns' values (their names are tests/conformance/catalog_test.cpp's).
    const bool odbc3 = r.version == SQL_OV_ODBC3;
    const std::vector<int> more = {5, 13, 14, 15, 16, 17, 18}, typeMore = {2, 16, 17, 18, 19};
    EXPECT_EQ(r.column, Rows(s, SQLColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat3", SQL_NTS, nullptr, 0),
                             odbc3 ? more : std::vector<int>{5}));
    EXPECT_EQ(r.type, Rows(s, SQLGetTypeInfo(s, SQL_INTEGER), odbc3 ? typeMore : std::vector<int>{2}));
    // Foreign keys: NO ACTION as ODBC 3's own code, and DEFERRABILITY
    // (which SQLite does not tell).
    for (const char* sql :
         {"DROP TABLE IF EXISTS cat3f", "DROP TABLE IF EXISTS cat3p", "CREATE TABLE cat3p (id INTEGER PRIMARY KEY)",
          "CREATE TABLE cat3f (p INTEGER REFERENCES cat3p (id))"})
      ASSERT_EQ(SQL_SUCCESS, c.Execute(sql)) << sql;
    EXPECT_EQ(
        odbc3 ? (OnPostgres() ? "3/3/7" : "3/3/-") : "1/1",
        Rows(s,
             SQLForeignKeys(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat3p", SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0),
             odbc3 ? std::vector<int>{10, 11, 14} : std::vector<int>{10, 11}));

    SQLWCHAR wide[] = {u'h', 0xE9, 0};
    SQLLEN nts = SQL_NTS, changed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_WVARCHAR, 20, 0, wide, 0, &nts));
    for (int a = 1; a <= 3; ++a) {
      const std::string insert = "INSERT INTO cat3 (a, b) VALUES (" + std::to_string(a) + ", ?)";
      ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, (SQLCHAR*)insert.c_str(), SQL_NTS)) << Diag(SQL_HANDLE_STMT, s);
    }
    SQLFreeStmt(s, SQL_RESET_PARAMS);
    EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(s, (SQLCHAR*)"UPDATE cat3 SET a = a + 1 WHERE b = 'h\xc3\xa9'", SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, s, 0, SQL_DIAG_ROW_COUNT, &changed, 0, nullptr));
    EXPECT_EQ(3, changed);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
  }
}

}  // namespace
