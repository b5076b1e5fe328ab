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

}  // namespace
