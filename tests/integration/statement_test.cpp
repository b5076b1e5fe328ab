// Statements through the unixODBC driver manager against a real server:
// row counts, transactions seen from a second connection, the description
// of a result set over every SQL type, and the server's errors.
#include "odbc_app.h"

namespace {

class Statements : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOpen"))) << c.Diag(); }
  // Rows c sees in table: an UPDATE that changes nothing reports how many
  // rows it touched.
  SQLLEN Visible(const std::string& table) {
    SQLLEN rows = -2;
    std::string diag;
    EXPECT_EQ(c.Execute("UPDATE " + table + " SET a = a", &rows, &diag), SQL_SUCCESS) << diag;
    return rows;
  }
  OdbcConnection c;
};

TEST_F(Statements, DefinitionsAndChangesReportTheirRowCounts) {
  const struct {
    const char* sql;
    SQLLEN rows;
  } rows[] = {{"CREATE TABLE counted (a INTEGER, b VARCHAR(10))", -1},
              {"INSERT INTO counted VALUES (1, 'x'), (2, 'y'), (3, 'z')", 3},
              {"UPDATE counted SET b = 'w' WHERE a >= 2", 2},
              {"DELETE FROM counted WHERE a = 1", 1},
              {"SELECT a FROM counted", -1}};  // no count of its own; applications still ask
  for (const auto& r : rows) {
    SQLLEN count = -2;
    std::string diag;
    EXPECT_EQ(c.Execute(r.sql, &count, &diag), SQL_SUCCESS) << diag;
    EXPECT_EQ(count, r.rows) << r.sql;
  }
}

// Autocommit turned off before connecting (the driver manager replays it
// to the driver before the login) holds in the session; rollback and
// commit, on the connection and through the environment, are seen from a
// second connection.
TEST_F(Statements, TransactionsOfAConnectionWithoutAutocommitSetBeforeConnecting) {
  ASSERT_EQ(c.Execute("CREATE TABLE ledger (a INTEGER)"), SQL_SUCCESS);
  OdbcConnection t;
  ASSERT_EQ(SQLSetConnectAttr(t.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(t.DriverConnect("DSN=VelOpen"))) << t.Diag();
  SQLUINTEGER autocommit = 99;
  EXPECT_EQ(SQLGetConnectAttr(t.dbc(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(autocommit, SQL_AUTOCOMMIT_OFF);
  const struct {
    SQLSMALLINT type;
    SQLSMALLINT end;
    SQLLEN visible;
  } rows[] = {{SQL_HANDLE_DBC, SQL_ROLLBACK, 0}, {SQL_HANDLE_DBC, SQL_COMMIT, 1},
              {SQL_HANDLE_ENV, SQL_ROLLBACK, 1}, {SQL_HANDLE_ENV, SQL_COMMIT, 2}};
  for (const auto& r : rows) {
    ASSERT_EQ(t.Execute("INSERT INTO ledger VALUES (1)"), SQL_SUCCESS);
    EXPECT_EQ(SQLEndTran(r.type, r.type == SQL_HANDLE_DBC ? t.dbc() : t.env(), r.end), SQL_SUCCESS)
        << t.Diag();
    EXPECT_EQ(Visible("ledger"), r.visible) << r.type << " " << r.end;
  }
}

TEST_F(Statements, SelectOverEveryTypeIsDescribed) {
  const struct {
    const char* name;
    SQLSMALLINT type;  // as an ODBC 3 application sees it
    const char *typeName, *size = "";
  } columns[] = {{"c_bit", SQL_BIT, "BIT"}, {"c_tinyint", SQL_TINYINT, "TINYINT"},
                 {"c_smallint", SQL_SMALLINT, "SMALLINT"}, {"c_integer", SQL_INTEGER, "INTEGER"},
                 {"c_bigint", SQL_BIGINT, "BIGINT"}, {"c_real", SQL_REAL, "REAL"},
                 {"c_float", SQL_FLOAT, "FLOAT"}, {"c_numeric", SQL_NUMERIC, "NUMERIC", "(10,2)"},
                 {"c_char", SQL_CHAR, "CHAR", "(10)"}, {"c_varchar", SQL_VARCHAR, "VARCHAR", "(20)"},
                 {"c_longvarchar", SQL_LONGVARCHAR, "LONGVARCHAR"},
                 {"c_binary", SQL_BINARY, "BINARY", "(4)"},
                 {"c_varbinary", SQL_VARBINARY, "VARBINARY", "(8)"},
                 {"c_longvarbinary", SQL_LONGVARBINARY, "LONGVARBINARY"},
                 {"c_date", SQL_TYPE_DATE, "DATE"}, {"c_time", SQL_TYPE_TIME, "TIME"},
                 {"c_timestamp", SQL_TYPE_TIMESTAMP, "TIMESTAMP"}};
  std::string create = "CREATE TABLE every_type (";
  for (const auto& col : columns) create += std::string(col.name) + " " + col.typeName + col.size + ",";
  create.back() = ')';
  ASSERT_EQ(c.Execute(create), SQL_SUCCESS);
  SQLHSTMT s = c.Statement();
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"SELECT * FROM every_type", SQL_NTS), SQL_SUCCESS)
      << Diag(SQL_HANDLE_STMT, s);
  SQLLEN count = 0;
  EXPECT_EQ(SQLColAttribute(s, 1, SQL_DESC_COUNT, nullptr, 0, nullptr, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 17);
  for (SQLUSMALLINT i = 1; i <= 17; ++i) {
    const auto& e = columns[i - 1];
    SQLCHAR name[64], typeName[32] = {0}, table[32] = {0};
    SQLSMALLINT type = 0, scale = -1, nullable = -1;
    SQLULEN size = 0;
    SQLLEN display = -5;
    ASSERT_EQ(SQLDescribeCol(s, i, name, sizeof name, nullptr, &type, &size, &scale, &nullable),
              SQL_SUCCESS);
    EXPECT_EQ(SQLColAttribute(s, i, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, nullptr, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(SQLColAttribute(s, i, SQL_DESC_TABLE_NAME, table, sizeof table, nullptr, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(SQLColAttribute(s, i, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &display),
              SQL_SUCCESS);
    EXPECT_EQ(std::string((char*)name) + " " + (char*)typeName + " " + (char*)table,
              std::string(e.name) + " " + e.typeName + " every_type");
    EXPECT_EQ(type, e.type) << e.name;
    EXPECT_EQ(nullable, SQL_NULLABLE) << e.name;
    EXPECT_GT(display, 0) << e.name;
    EXPECT_TRUE(i != 8 || (size == 10 && scale == 2)) << size << "," << scale;
    EXPECT_TRUE(i != 10 || size == 20) << size;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, s);
}

TEST_F(Statements, ServerErrorsArriveWithTheirStatesAndPrefix) {
  SQLHSTMT s = c.Statement();
  const struct {
    const char* sql;
    std::string first;
  } rows[] = {{"SELECT * FROM no_such_table", "42S02 [QTX][Velora ODBC Server]"},  // S0002
              {"SELEKT 1", "42000 [QTX][Velora ODBC Server]"}};                   // 37000
  for (const auto& r : rows) {
    EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)r.sql, SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, s).substr(0, r.first.size()), r.first);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, s);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new Servers("statement_test"));
  return RUN_ALL_TESTS();
}
