// The ODBC 3.x library (driver Velora, data source VelWide) through the
// driver manager for an application declaring ODBC 2: each record's
// SQLSTATE and origin in that application's form (an ODBC 3 application's
// are tests/conformance's).
#include <string>

#include "integration.h"

namespace {

std::string Field(SQLHSTMT s, SQLSMALLINT field) {
  SQLCHAR text[64] = {0};
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLGetDiagField(SQL_HANDLE_STMT, s, 1, field, text, sizeof text, &length);
  return SQL_SUCCEEDED(rc) ? reinterpret_cast<char*>(text) : "rc " + std::to_string(rc);
}

TEST(Odbc3Library, ServesAnOdbc2Application) {
  OdbcConnection c(SQL_OV_ODBC2);
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelWide"))) << c.Diag();
  SQLHSTMT s = c.Statement();
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(s, (SQLCHAR*)"SELECT * FROM no_such_table", SQL_NTS));
  EXPECT_EQ("S0002", Field(s, SQL_DIAG_SQLSTATE)) << Diag(SQL_HANDLE_STMT, s);
  EXPECT_EQ("ODBC 3.0/ODBC 3.0", Field(s, SQL_DIAG_CLASS_ORIGIN) + "/" + Field(s, SQL_DIAG_SUBCLASS_ORIGIN));
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(s, (SQLCHAR*)"SELEC 1", SQL_NTS));
  EXPECT_EQ("37000", Diag(SQL_HANDLE_STMT, s).substr(0, 5));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)"SELECT 1", SQL_NTS)));
  SQLCHAR name[8];
  EXPECT_EQ(SQL_ERROR, SQLDescribeCol(s, 2, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ("S1002", Diag(SQL_HANDLE_STMT, s).substr(0, 5));
  EXPECT_EQ(SQL_SUCCESS, SQLFetchScroll(s, SQL_FETCH_NEXT, 0));
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(s, SQL_FETCH_FIRST, 0));
  EXPECT_EQ("S1106", Diag(SQL_HANDLE_STMT, s).substr(0, 5));
  // ODBC 2's date code in the catalog.
  ASSERT_EQ(SQL_SUCCESS, c.Execute("DROP TABLE IF EXISTS cat3"));
  ASSERT_EQ(SQL_SUCCESS, c.Execute("CREATE TABLE cat3 (a INTEGER, d DATE)"));
  SQLFreeStmt(s, SQL_CLOSE);
  EXPECT_EQ("4;9", Rows(s, SQLColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat3", SQL_NTS, nullptr, 0), {5}));
  SQLFreeHandle(SQL_HANDLE_STMT, s);
}

}  // namespace
