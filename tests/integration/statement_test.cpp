// Statements through the unixODBC driver manager against a real server:
// row counts, prepared statements, transactions seen from a second
// connection, options the server enforces, cursor names, result-set
// description over every SQL type, and the server's errors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "odbc_app.h"
#include "servers.h"

namespace {

class Statements : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOpen"))) << c.Diag(); }
  // Rows the given connection sees in table: an UPDATE that changes nothing
  // reports how many rows it touched.
  static SQLLEN Visible(OdbcConnection& on, const std::string& table) {
    SQLLEN rows = -2;
    std::string diag;
    EXPECT_EQ(on.Execute("UPDATE " + table + " SET a = a", &rows, &diag), SQL_SUCCESS) << diag;
    return rows;
  }
  OdbcConnection c;
};

TEST_F(Statements, DefinitionsAndChangesReportTheirRowCounts) {
  SQLLEN rows = 0;
  ASSERT_EQ(c.Execute("CREATE TABLE counted (a INTEGER, b VARCHAR(10))", &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, -1);
  EXPECT_EQ(c.Execute("INSERT INTO counted VALUES (1, 'x'), (2, 'y'), (3, 'z')", &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(c.Execute("UPDATE counted SET b = 'w' WHERE a >= 2", &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(c.Execute("DELETE FROM counted WHERE a = 1", &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 1);
  // A SELECT has no row count of its own; applications still ask.
  EXPECT_EQ(c.Execute("SELECT a FROM counted", &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, -1);
}

TEST_F(Statements, PreparedStatementRunsTwice) {
  ASSERT_EQ(c.Execute("CREATE TABLE twice (a INTEGER)"), SQL_SUCCESS);
  SQLHSTMT s = c.Statement();
  ASSERT_EQ(SQLPrepare(s, (SQLCHAR*)"INSERT INTO twice VALUES (7)", SQL_NTS), SQL_SUCCESS);
  SQLSMALLINT columns = -1;
  EXPECT_EQ(SQLNumResultCols(s, &columns), SQL_SUCCESS);
  EXPECT_EQ(columns, 0);
  EXPECT_EQ(SQLExecute(s), SQL_SUCCESS) << DiagText(SQL_HANDLE_STMT, s);
  SQLLEN rows = 0;
  EXPECT_EQ(SQLRowCount(s, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(SQLExecute(s), SQL_SUCCESS) << DiagText(SQL_HANDLE_STMT, s);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
  EXPECT_EQ(Visible(c, "twice"), 2);
}

TEST_F(Statements, CommitAndRollbackAreSeenFromASecondConnection) {
  ASSERT_EQ(c.Execute("CREATE TABLE ledger (a INTEGER)"), SQL_SUCCESS);
  OdbcConnection other;
  ASSERT_TRUE(SQL_SUCCEEDED(other.DriverConnect("DSN=VelOpen"))) << other.Diag();
  ASSERT_EQ(SQLSetConnectAttr(c.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS)
      << c.Diag();
  SQLUINTEGER autocommit = 99;
  EXPECT_EQ(SQLGetConnectAttr(c.dbc(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(autocommit, SQL_AUTOCOMMIT_OFF);

  ASSERT_EQ(c.Execute("INSERT INTO ledger VALUES (1)"), SQL_SUCCESS);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, c.dbc(), SQL_ROLLBACK), SQL_SUCCESS) << c.Diag();
  EXPECT_EQ(Visible(other, "ledger"), 0);

  ASSERT_EQ(c.Execute("INSERT INTO ledger VALUES (2)"), SQL_SUCCESS);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, c.dbc(), SQL_COMMIT), SQL_SUCCESS) << c.Diag();
  EXPECT_EQ(Visible(other, "ledger"), 1);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, c.dbc(), SQL_COMMIT), SQL_SUCCESS) << c.Diag();

  // Through the environment: the driver manager asks each connection.
  ASSERT_EQ(c.Execute("INSERT INTO ledger VALUES (3)"), SQL_SUCCESS);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, c.env(), SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_EQ(Visible(other, "ledger"), 1);
  ASSERT_EQ(c.Execute("INSERT INTO ledger VALUES (4)"), SQL_SUCCESS);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, c.env(), SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(Visible(other, "ledger"), 2);
}

// Autocommit turned off before connecting (the driver manager replays it
// to the driver before the login) holds in the session: a rolled-back row
// never becomes visible.
TEST_F(Statements, AutocommitOffSetBeforeConnectingHolds) {
  ASSERT_EQ(c.Execute("CREATE TABLE early (a INTEGER)"), SQL_SUCCESS);
  OdbcConnection early;
  ASSERT_EQ(SQLSetConnectAttr(early.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(early.DriverConnect("DSN=VelOpen"))) << early.Diag();
  ASSERT_EQ(early.Execute("INSERT INTO early VALUES (1)"), SQL_SUCCESS);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, early.dbc(), SQL_ROLLBACK), SQL_SUCCESS) << early.Diag();
  EXPECT_EQ(Visible(c, "early"), 0);
}

TEST_F(Statements, ReadOnlyAccessModeReachesTheServer) {
  ASSERT_EQ(c.Execute("CREATE TABLE guarded (a INTEGER)"), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(c.dbc(), SQL_ATTR_ACCESS_MODE, (SQLPOINTER)SQL_MODE_READ_ONLY, 0),
            SQL_SUCCESS)
      << c.Diag();
  std::string diag;
  EXPECT_EQ(c.Execute("INSERT INTO guarded VALUES (1)", nullptr, &diag), SQL_ERROR);
  EXPECT_NE(diag.find("[QTX][Velora ODBC Server]"), std::string::npos) << diag;
  ASSERT_EQ(SQLSetConnectAttr(c.dbc(), SQL_ATTR_ACCESS_MODE, (SQLPOINTER)SQL_MODE_READ_WRITE, 0),
            SQL_SUCCESS);
  EXPECT_EQ(c.Execute("INSERT INTO guarded VALUES (1)", nullptr, &diag), SQL_SUCCESS) << diag;
}

TEST_F(Statements, StatementAttributesAreReadIntoWholeSqlulenVariables) {
  SQLHSTMT s = c.Statement();
  ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)5, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_MAX_ROWS, (SQLPOINTER)3, 0), SQL_SUCCESS)
      << DiagText(SQL_HANDLE_STMT, s);
  SQLULEN value;
  std::memset(&value, 0xEE, sizeof value);
  EXPECT_EQ(SQLGetStmtAttr(s, SQL_ATTR_QUERY_TIMEOUT, &value, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(value, 5u);
  std::memset(&value, 0xEE, sizeof value);
  EXPECT_EQ(SQLGetStmtAttr(s, SQL_ATTR_MAX_ROWS, &value, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(value, 3u);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
}

TEST_F(Statements, CursorNamesAreTheServersAndCanBeSet) {
  SQLHSTMT s = c.Statement();
  SQLCHAR name[64] = {0};
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQLGetCursorName(s, name, sizeof name, &length), SQL_SUCCESS)
      << DiagText(SQL_HANDLE_STMT, s);
  EXPECT_GT(length, 0);
  ASSERT_EQ(SQLSetCursorName(s, (SQLCHAR*)"orders_cursor", SQL_NTS), SQL_SUCCESS)
      << DiagText(SQL_HANDLE_STMT, s);
  ASSERT_EQ(SQLGetCursorName(s, name, sizeof name, &length), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "orders_cursor");
  EXPECT_EQ(SQLGetCursorName(s, name, 7, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "orders");
  EXPECT_EQ(length, 13);
  EXPECT_TRUE(HasState(SQL_HANDLE_STMT, s, "01004"));
  SQLFreeHandle(SQL_HANDLE_STMT, s);
}

TEST_F(Statements, SelectOverEveryTypeIsDescribed) {
  ASSERT_EQ(c.Execute("CREATE TABLE every_type (c_bit BIT, c_tinyint TINYINT, c_smallint SMALLINT, "
                      "c_integer INTEGER, c_bigint BIGINT, c_real REAL, c_float FLOAT, "
                      "c_numeric NUMERIC(10,2), c_char CHAR(10), c_varchar VARCHAR(20), "
                      "c_longvarchar LONGVARCHAR, c_binary BINARY(4), c_varbinary VARBINARY(8), "
                      "c_longvarbinary LONGVARBINARY, c_date DATE, c_time TIME, "
                      "c_timestamp TIMESTAMP)"),
            SQL_SUCCESS);
  struct Expected {
    const char* name;
    SQLSMALLINT type;  // as an ODBC 3 application sees it
    const char* typeName;
    SQLLEN isUnsigned;
  } expected[] = {
      {"c_bit", SQL_BIT, "BIT", SQL_TRUE},
      {"c_tinyint", SQL_TINYINT, "TINYINT", SQL_FALSE},
      {"c_smallint", SQL_SMALLINT, "SMALLINT", SQL_FALSE},
      {"c_integer", SQL_INTEGER, "INTEGER", SQL_FALSE},
      {"c_bigint", SQL_BIGINT, "BIGINT", SQL_FALSE},
      {"c_real", SQL_REAL, "REAL", SQL_FALSE},
      {"c_float", SQL_FLOAT, "FLOAT", SQL_FALSE},
      {"c_numeric", SQL_NUMERIC, "NUMERIC", SQL_FALSE},
      {"c_char", SQL_CHAR, "CHAR", SQL_TRUE},
      {"c_varchar", SQL_VARCHAR, "VARCHAR", SQL_TRUE},
      {"c_longvarchar", SQL_LONGVARCHAR, "LONGVARCHAR", SQL_TRUE},
      {"c_binary", SQL_BINARY, "BINARY", SQL_TRUE},
      {"c_varbinary", SQL_VARBINARY, "VARBINARY", SQL_TRUE},
      {"c_longvarbinary", SQL_LONGVARBINARY, "LONGVARBINARY", SQL_TRUE},
      {"c_date", SQL_TYPE_DATE, "DATE", SQL_TRUE},
      {"c_time", SQL_TYPE_TIME, "TIME", SQL_TRUE},
      {"c_timestamp", SQL_TYPE_TIMESTAMP, "TIMESTAMP", SQL_TRUE},
  };
  SQLHSTMT s = c.Statement();
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"SELECT * FROM every_type", SQL_NTS), SQL_SUCCESS)
      << DiagText(SQL_HANDLE_STMT, s);
  SQLSMALLINT count = 0;
  ASSERT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  ASSERT_EQ(count, 17);
  for (SQLUSMALLINT i = 1; i <= 17; ++i) {
    const Expected& e = expected[i - 1];
    SQLCHAR name[64];
    SQLSMALLINT nameLength = 0, type = 0, scale = -1, nullable = -1;
    SQLULEN size = 0;
    ASSERT_EQ(SQLDescribeCol(s, i, name, sizeof name, &nameLength, &type, &size, &scale, &nullable),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(name), e.name);
    EXPECT_EQ(type, e.type) << e.name;
    EXPECT_EQ(nullable, SQL_NULLABLE) << e.name;
    char typeName[32] = {0};
    SQLSMALLINT typeNameLength = 0;
    EXPECT_EQ(SQLColAttribute(s, i, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeNameLength,
                              nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ(typeName, e.typeName);
    SQLLEN number = -5;
    EXPECT_EQ(SQLColAttribute(s, i, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &number), SQL_SUCCESS);
    EXPECT_EQ(number, e.isUnsigned) << e.name;
    EXPECT_EQ(SQLColAttribute(s, i, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &number),
              SQL_SUCCESS);
    EXPECT_EQ(number, e.type) << e.name;
    char table[32] = {0};
    EXPECT_EQ(SQLColAttribute(s, i, SQL_DESC_TABLE_NAME, table, sizeof table, nullptr, nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ(table, "every_type");
    number = -5;
    EXPECT_EQ(SQLColAttribute(s, i, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &number),
              SQL_SUCCESS);
    EXPECT_GT(number, 0) << e.name;
    EXPECT_EQ(SQLColAttribute(s, i, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &number),
              SQL_SUCCESS);
  }
  SQLCHAR name[64];
  SQLULEN size = 0;
  SQLSMALLINT scale = 0;
  ASSERT_EQ(SQLDescribeCol(s, 8, name, sizeof name, nullptr, nullptr, &size, &scale, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(scale, 2);
  ASSERT_EQ(SQLDescribeCol(s, 10, name, sizeof name, nullptr, nullptr, &size, nullptr, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(size, 20u);
  SQLLEN count3 = 0;
  EXPECT_EQ(SQLColAttribute(s, 1, SQL_DESC_COUNT, nullptr, 0, nullptr, &count3), SQL_SUCCESS);
  EXPECT_EQ(count3, 17);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
}

TEST_F(Statements, ServerErrorsArriveWithTheirStatesAndPrefix) {
  SQLHSTMT s = c.Statement();
  EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)"SELECT * FROM no_such_table", SQL_NTS), SQL_ERROR);
  auto records = Diagnostics(SQL_HANDLE_STMT, s);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].state, "42S02");  // S0002 as an ODBC 3 application sees it
  EXPECT_EQ(DriverMessage(records[0].message).rfind("[QTX][Velora ODBC Server]", 0), 0u)
      << records[0].message;

  EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)"SELEKT 1", SQL_NTS), SQL_ERROR);
  records = Diagnostics(SQL_HANDLE_STMT, s);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].state, "42000");  // 37000

  EXPECT_EQ(SQLExecute(s), SQL_ERROR);  // nothing prepared: the server says so
  records = Diagnostics(SQL_HANDLE_STMT, s);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].state, "HY010");  // S1010
  SQLFreeHandle(SQL_HANDLE_STMT, s);
}

TEST_F(Statements, DescribingWithoutAResultSetIsRefused) {
  SQLHSTMT s = c.Statement();
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"CREATE TABLE plain (a INTEGER)", SQL_NTS), SQL_SUCCESS);
  SQLSMALLINT count = -1;
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 0);
  SQLCHAR name[16];
  EXPECT_EQ(SQLDescribeCol(s, 1, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_TRUE(HasState(SQL_HANDLE_STMT, s, "24000")) << DiagText(SQL_HANDLE_STMT, s);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new Servers("statement_test"));
  return RUN_ALL_TESTS();
}
