// What everyday applications do, through the unixODBC driver manager
// against real servers: connection strings that name the driver instead of
// a data source, SQLMoreResults, rowsets without a warning.
#include <gtest/gtest.h>

#include "odbc_app.h"
#include "servers.h"

// With DRIVER= everything comes from the string: the session uses the
// server's default data source, or the one Database= names, and the
// completed string says which.
TEST(Apps, ConnectionStringsWithoutADataSource) {
  const std::string at = ";Server=127.0.0.1;Service=" + Servers::A().PortText();
  const struct { std::string in, out, logged; } rows[] = {
      {"DRIVER={Velora}" + at + ";UID=carol;PWD=pw", "DRIVER={Velora}" + at + ";User=carol;Password=no;PWD=pw",
       "user \"carol\" logged in to data source \"\""},
      {"Driver=Velora;Database=reports" + at, "DRIVER=Velora;Database=reports" + at + ";User=public;Password=no",
       "user \"public\" logged in to data source \"reports\""}};
  for (const auto& r : rows) {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(r.in))) << r.in << c.Diag();
    EXPECT_EQ(c.Out(), r.out);
    EXPECT_TRUE(Servers::A().WaitForLog(r.logged)) << Servers::A().Log();
  }
}

// After a statement without a result set and after a SELECT, whose cursor
// it closes; a rowset size above 1 is taken without the server's warning.
TEST(Apps, MoreResultsAndRowsets) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect("VelOpen", "public", ""))) << c.Diag();
  SQLHSTMT s = c.Statement();
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"CREATE TABLE apps_rows (n INTEGER)", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLMoreResults(s), SQL_NO_DATA);
  EXPECT_EQ(SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS) << DiagText(SQL_HANDLE_STMT, s);
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"SELECT 1 UNION SELECT 2 UNION SELECT 3", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLMoreResults(s), SQL_NO_DATA);
  EXPECT_EQ(SQLFetch(s), SQL_ERROR);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new Servers("apps_test"));
  return RUN_ALL_TESTS();
}
