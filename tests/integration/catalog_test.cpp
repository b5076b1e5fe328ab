// Catalog functions, type information and SQLGetInfo through the unixODBC
// driver manager against a real server: tables, views and indexes over
// every SQL type, read back as an ODBC 3 application reads them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "odbc_app.h"
#include "support/odbc_environment.h"
#include "support/velora_server.h"

namespace {

VeloraServer g_server;

class CatalogServer : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("VELODBC_DIALOG", "none", 1);
    ASSERT_TRUE(g_server.Start()) << g_server.Error();
    UsePrivateOdbc("catalog_test", DataSourceSection("VelCat", "127.0.0.1", g_server.PortText()));
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelCat"))) << c.Diag();
    for (const char* sql : {
             "CREATE TABLE cat_types (id INTEGER PRIMARY KEY, c_char CHAR(8) NOT NULL, "
             "c_varchar VARCHAR(20), c_longvar LONGVARCHAR, c_binary BINARY(4), c_varbin VARBINARY(8), "
             "c_longvarb LONGVARBINARY, c_bit BIT, c_tinyint TINYINT, c_smallint SMALLINT, "
             "c_integer INTEGER, c_bigint BIGINT, c_real REAL, c_float FLOAT, c_numeric NUMERIC(10,2), "
             "c_date DATE, c_time TIME, c_timestamp TIMESTAMP)",
             "INSERT INTO cat_types (c_char) VALUES ('a'), ('b')",
             "CREATE UNIQUE INDEX cat_types_char ON cat_types (c_char)",
             "CREATE INDEX cat_types_pair ON cat_types (c_date, c_integer)",
             "CREATE VIEW cat_view AS SELECT id, c_char FROM cat_types",
             "CREATE TABLE cat_a (a VARCHAR(5))", "CREATE TABLE catba (a INTEGER)"}) {
      ASSERT_EQ(c.Execute(sql), SQL_SUCCESS) << sql;
    }
  }
  void TearDown() override { g_server.Stop(); }
};

SQLCHAR* S(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }
SQLSMALLINT L(const char* text) { return text ? SQL_NTS : 0; }

class Catalog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelCat"))) << c.Diag();
    s = c.Statement();
  }
  void TearDown() override { SQLFreeHandle(SQL_HANDLE_STMT, s); }

  // The given columns (from 1) of every row, NULL as "-"; closes the
  // cursor. A failed call gives one row: its code and diagnostics.
  std::vector<std::vector<std::string>> Table(SQLRETURN rc, const std::vector<int>& columns) {
    if (rc != SQL_SUCCESS) return {{"rc " + std::to_string(rc) + " " + DiagText(SQL_HANDLE_STMT, s)}};
    std::vector<std::vector<std::string>> rows;
    while (SQLFetch(s) == SQL_SUCCESS) {
      rows.emplace_back();
      for (int column : columns) {
        char value[256] = {0};
        SQLLEN length = 0;
        SQLGetData(s, static_cast<SQLUSMALLINT>(column), SQL_C_CHAR, value, sizeof value, &length);
        rows.back().push_back(length == SQL_NULL_DATA ? "-" : value);
      }
    }
    SQLFreeStmt(s, SQL_CLOSE);
    return rows;
  }
  // The same with "/" between values and " " between rows.
  std::string Rows(SQLRETURN rc, const std::vector<int>& columns) {
    std::string out;
    for (const auto& row : Table(rc, columns)) {
      out += out.empty() ? "" : " ";
      for (size_t i = 0; i < row.size(); ++i) out += (i ? "/" : "") + row[i];
    }
    return out;
  }

  OdbcConnection c;
  SQLHSTMT s = SQL_NULL_HSTMT;
};

TEST_F(Catalog, TablesByPatternTypeAndTheEnumerations) {
  const struct {
    const char *qualifier, *owner, *name, *type;
    std::string rows;  // TABLE_QUALIFIER/TABLE_OWNER/TABLE_NAME/TABLE_TYPE
  } kCases[] = {
      {nullptr, nullptr, nullptr, nullptr,
       "-/-/cat_a/TABLE -/-/cat_types/TABLE -/-/catba/TABLE -/-/cat_view/VIEW"},
      {nullptr, nullptr, "cat_a", nullptr, "-/-/cat_a/TABLE -/-/catba/TABLE"},
      {nullptr, nullptr, "cat\\_a", nullptr, "-/-/cat_a/TABLE"},
      {nullptr, nullptr, "CAT%", "'VIEW'", "-/-/cat_view/VIEW"},
      {nullptr, nullptr, "%types", "TABLE, VIEW", "-/-/cat_types/TABLE"},
      // Table types; no qualifiers and no owners exist, whatever the types.
      {"", "", "", "%", "-/-/-/SYSTEM TABLE -/-/-/TABLE -/-/-/VIEW"},
      {"%", "", "", "", ""},
      {"", "%", "", "", ""},
      {"%", "", "", "TABLE", ""},
  };
  for (const auto& k : kCases) {
    EXPECT_EQ(Rows(SQLTables(s, S(k.qualifier), L(k.qualifier), S(k.owner), L(k.owner), S(k.name),
                             L(k.name), S(k.type), L(k.type)),
                   {1, 2, 3, 4}),
              k.rows)
        << (k.name ? k.name : "<null>") << " " << (k.type ? k.type : "<null>");
  }
}

TEST_F(Catalog, ColumnsOfEverySqlTypeAndOfAView) {
  EXPECT_EQ(Rows(SQLColumns(s, nullptr, 0, nullptr, 0, S("cat_types"), SQL_NTS, nullptr, 0),
                 {4, 5, 6, 7, 8, 9, 11}),
            "id/4/INTEGER/10/4/0/0 c_char/1/CHAR/8/8/-/0 c_varchar/12/VARCHAR/20/20/-/1 "
            "c_longvar/-1/LONGVARCHAR/1000000000/1000000000/-/1 c_binary/-2/BINARY/4/4/-/1 "
            "c_varbin/-3/VARBINARY/8/8/-/1 c_longvarb/-4/LONGVARBINARY/1000000000/1000000000/-/1 "
            "c_bit/-7/BIT/1/1/0/1 c_tinyint/-6/TINYINT/3/1/0/1 c_smallint/5/SMALLINT/5/2/0/1 "
            "c_integer/4/INTEGER/10/4/0/1 c_bigint/-5/BIGINT/19/20/0/1 c_real/7/REAL/7/4/-/1 "
            "c_float/6/FLOAT/15/8/-/1 c_numeric/2/NUMERIC/10/12/2/1 c_date/9/DATE/10/6/-/1 "
            "c_time/10/TIME/8/6/-/1 c_timestamp/11/TIMESTAMP/19/16/0/1");
  EXPECT_EQ(Rows(SQLColumns(s, nullptr, 0, nullptr, 0, S("cat%"), SQL_NTS, S("c\\_t%"), SQL_NTS), {3, 4}),
            "cat_types/c_tinyint cat_types/c_time cat_types/c_timestamp");
  EXPECT_EQ(Rows(SQLColumns(s, nullptr, 0, nullptr, 0, S("cat_view"), SQL_NTS, nullptr, 0), {3, 4, 5}),
            "cat_view/id/4 cat_view/c_char/1");
}

TEST_F(Catalog, StatisticsListTheTableRowAndEveryIndexColumn) {
  // NON_UNIQUE/INDEX_NAME/TYPE/SEQ_IN_INDEX/COLUMN_NAME/CARDINALITY
  const std::vector<int> columns = {4, 6, 7, 8, 9, 11};
  EXPECT_EQ(Rows(SQLStatistics(s, nullptr, 0, nullptr, 0, S("cat_types"), SQL_NTS, SQL_INDEX_ALL, SQL_ENSURE),
                 columns),
            "-/-/0/-/-/2 0/cat_types_char/3/1/c_char/- 1/cat_types_pair/3/1/c_date/- "
            "1/cat_types_pair/3/2/c_integer/-");
  EXPECT_EQ(Rows(SQLStatistics(s, nullptr, 0, nullptr, 0, S("cat_types"), SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK),
                 columns),
            "-/-/0/-/-/- 0/cat_types_char/3/1/c_char/-");
}

TEST_F(Catalog, SpecialColumnsGiveTheKeyOrTheRowIdAndNoRowVersions) {
  const struct {
    const char* table;
    SQLUSMALLINT type, scope;
    std::string rows;  // SCOPE/COLUMN_NAME/DATA_TYPE/PSEUDO_COLUMN
  } kCases[] = {
      {"cat_types", SQL_BEST_ROWID, SQL_SCOPE_SESSION, "2/id/4/1"},
      {"cat_a", SQL_BEST_ROWID, SQL_SCOPE_CURROW, "1/ROWID/-5/2"},
      {"cat_a", SQL_BEST_ROWID, SQL_SCOPE_SESSION, ""},
      {"cat_view", SQL_BEST_ROWID, SQL_SCOPE_CURROW, ""},
      {"cat_types", SQL_ROWVER, SQL_SCOPE_CURROW, ""},
  };
  for (const auto& k : kCases) {
    EXPECT_EQ(Rows(SQLSpecialColumns(s, k.type, nullptr, 0, nullptr, 0, S(k.table), SQL_NTS, k.scope,
                                     SQL_NULLABLE),
                   {1, 2, 3, 8}),
              k.rows)
        << k.table << " " << k.type << " " << k.scope;
  }
}

TEST_F(Catalog, TypeInformationForAllAndSingleTypes) {
  EXPECT_EQ(Rows(SQLGetTypeInfo(s, SQL_ALL_TYPES), {2}),
            "-7 -6 -5 -4 -3 -2 -1 1 2 4 5 6 7 9 10 11 12");
  const struct {
    SQLSMALLINT type;
    std::string rows;  // TYPE_NAME/DATA_TYPE/PRECISION/CREATE_PARAMS/MAXIMUM_SCALE
  } kCases[] = {
      {SQL_VARCHAR, "VARCHAR/12/65535/max length/-"},
      {SQL_LONGVARCHAR, "TEXT/-1/1000000000/-/-"},
      {SQL_NUMERIC, "NUMERIC/2/16/precision,scale/16"},
      // The ODBC 3 codes of the date and time types answer as ODBC 2's.
      {SQL_TYPE_DATE, "DATE/9/10/-/-"},
      {SQL_TYPE_TIME, "TIME/10/8/-/-"},
      {SQL_TYPE_TIMESTAMP, "TIMESTAMP/11/29/-/9"},
      {SQL_WVARCHAR, ""},
      {SQL_DECIMAL, ""},
  };
  for (const auto& k : kCases) EXPECT_EQ(Rows(SQLGetTypeInfo(s, k.type), {1, 2, 3, 6, 15}), k.rows);
}

// Applications build CREATE TABLE from a type's name and parameters: each
// must make a column of that very type.
TEST_F(Catalog, EveryTypeNameAndItsParametersMakeAColumnOfThatType) {
  const auto types = Table(SQLGetTypeInfo(s, SQL_ALL_TYPES), {1, 2, 6});
  int n = 0;
  for (const auto& row : types) {
    const std::string& params = row.at(2);
    const std::string sizes = params == "-" ? "" : params == "precision,scale" ? "(10,2)" : "(10)";
    const std::string table = "made" + std::to_string(n++);
    ASSERT_EQ(c.Execute("CREATE TABLE " + table + " (c " + row[0] + sizes + ")"), SQL_SUCCESS) << row[0];
    EXPECT_EQ(Rows(SQLColumns(s, nullptr, 0, nullptr, 0, S(table.c_str()), SQL_NTS, nullptr, 0), {5}), row[1])
        << row[0];
  }
  EXPECT_EQ(n, 17);
}

TEST_F(Catalog, GetInfoAnswersForTheConnectionAndLeavesNoRecord) {
  const struct {
    SQLUSMALLINT type;
    std::string value;
  } kCases[] = {
      {SQL_DBMS_NAME, "Velora"},  {SQL_SERVER_NAME, "127.0.0.1"}, {SQL_DATA_SOURCE_NAME, "VelCat"},
      {SQL_DESCRIBE_PARAMETER, "N"}, {SQL_CATALOG_NAME, "N"},     {SQL_SEARCH_PATTERN_ESCAPE, "\\"},
  };
  for (const auto& k : kCases) {
    char value[64] = {0};
    EXPECT_EQ(SQLGetInfo(c.dbc(), k.type, value, sizeof value, nullptr), SQL_SUCCESS) << k.type;
    EXPECT_EQ(value, k.value);
    EXPECT_TRUE(Diagnostics(SQL_HANDLE_DBC, c.dbc()).empty()) << c.Diag();
  }
  char version[64] = {0};
  EXPECT_EQ(SQLGetInfo(c.dbc(), SQL_DBMS_VER, version, sizeof version, nullptr), SQL_SUCCESS);
  EXPECT_EQ(std::string(version).rfind("Velora ODBC Server ", 0), 0u) << version;
  SQLUSMALLINT txn = 99;
  EXPECT_EQ(SQLGetInfo(c.dbc(), SQL_TXN_CAPABLE, &txn, sizeof txn, nullptr), SQL_SUCCESS);
  EXPECT_EQ(txn, SQL_TC_NONE);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new CatalogServer);
  return RUN_ALL_TESTS();
}
