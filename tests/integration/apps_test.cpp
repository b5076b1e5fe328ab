// What everyday applications do, through the unixODBC driver manager
// against real servers: connection strings that name the driver instead of
// a data source, SQLMoreResults after a result set and after a statement
// without one, and rowsets of several rows without a warning.
#include <gtest/gtest.h>

#include <string>

#include "odbc_app.h"
#include "servers.h"

namespace {

// With DRIVER= everything comes from the string: the session uses the
// server's default data source, or the one Database= names, and the
// completed string says which.
TEST(Apps, ConnectionStringsWithoutADataSource) {
  const std::string where = ";Server=127.0.0.1;Service=" + Servers::A().PortText();
  const struct {
    std::string in, out, logged;
  } rows[] = {
      {"DRIVER={Velora}" + where + ";UID=carol;PWD=pw", "DRIVER={Velora}" + where + ";User=carol;Password=no;PWD=pw",
       "user \"carol\" logged in to data source \"\""},
      {"Driver=Velora;Database=reports" + where, "DRIVER=Velora;Database=reports" + where + ";User=public;Password=no",
       "user \"public\" logged in to data source \"reports\""},
  };
  for (const auto& r : rows) {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(r.in))) << r.in << c.Diag();
    EXPECT_EQ(c.Out(), r.out);
    EXPECT_TRUE(Servers::A().WaitForLog(r.logged)) << Servers::A().Log();
    EXPECT_EQ(c.Execute("SELECT 1"), SQL_SUCCESS) << c.Diag();
  }
}

TEST(Apps, MoreResultsEndsEveryStatementAndRowsetsNeedNoWarning) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect("VelOpen", "public", ""))) << c.Diag();
  ASSERT_EQ(c.Execute("CREATE TABLE apps_rows (n INTEGER)"), SQL_SUCCESS);
  SQLHSTMT s = c.Statement();
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"INSERT INTO apps_rows VALUES (1), (2), (3)", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLMoreResults(s), SQL_NO_DATA);
  // Above 1 the server fetches row by row all the same: no 01S02.
  EXPECT_EQ(SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS)
      << DiagText(SQL_HANDLE_STMT, s);
  SQLINTEGER n[2] = {0, 0};
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(s, 1, SQL_C_SLONG, n, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"SELECT n FROM apps_rows ORDER BY n", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(s, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << DiagText(SQL_HANDLE_STMT, s);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(n[0] * 10 + n[1], 12);
  // The cursor is closed: no more rows, and the statement runs again.
  EXPECT_EQ(SQLMoreResults(s), SQL_NO_DATA);
  EXPECT_EQ(SQLFetch(s), SQL_ERROR);
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"SELECT n FROM apps_rows ORDER BY n", SQL_NTS), SQL_SUCCESS)
      << DiagText(SQL_HANDLE_STMT, s);
  EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(n[0], 3);
  EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_NEXT, 0), SQL_NO_DATA);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new Servers("apps_test"));
  return RUN_ALL_TESTS();
}
