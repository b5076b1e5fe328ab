// Type information, procedures and privileges through the unixODBC driver
// manager against a real server: the columns each type name makes, and
// what the routines and rights read back as (the other catalog functions'
// rules are tests/conformance/catalog_test.cpp's).
#include <map>
#include <sstream>

#include "integration.h"

namespace {

SQLCHAR* S(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }
SQLSMALLINT L(const char* text) { return text ? SQL_NTS : 0; }

// On server B, which the other tests leave without tables.
class Catalog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOther"))) << c.Diag();
    s = c.Statement();
  }
  void TearDown() override { SQLFreeHandle(SQL_HANDLE_STMT, s); }

  std::string Rows(SQLRETURN rc, const std::vector<int>& columns) { return ::Rows(s, rc, columns); }

  OdbcConnection c;
  SQLHSTMT s = SQL_NULL_HSTMT;
};

// Per DATA_TYPE: a value written between the type's literal prefix and
// suffix, and how it reads back as text.
const std::map<std::string, std::pair<std::string, std::string>> kSamples = {
    {"-7", {"1", "1"}},
    {"-6", {"7", "7"}},
    {"-5", {"7", "7"}},
    {"-4", {"AB", "AB"}},
    {"-3", {"AB", "AB"}},
    {"-2", {"AB", "AB000000000000000000"}},
    {"-1", {"ab", "ab"}},
    {"1", {"ab", "ab        "}},
    {"2", {"1.5", "1.5"}},
    {"4", {"7", "7"}},
    {"5", {"7", "7"}},
    {"6", {"1.5", "1.5"}},
    {"7", {"1.5", "1.5"}},
    {"9", {"2024-01-02", "2024-01-02"}},
    {"10", {"03:04:05", "03:04:05"}},
    {"11", {"2024-01-02 03:04:05", "2024-01-02 03:04:05"}},
    {"12", {"ab", "ab"}},
    {"101", {"3", "3"}},
    {"102", {"3", "3"}},
    {"103", {"3", "3"}},
    {"104", {"3", "3"}},
    {"105", {"3", "3"}},
    {"106", {"3.5", "3.5"}},
    {"107", {"1-2", "1-02"}},
    {"108", {"1 2", "1 02"}},
    {"109", {"1 2:03", "1 02:03"}},
    {"110", {"1 2:03:04.5", "1 02:03:04.5"}},
    {"111", {"2:03", "2:03"}},
    {"112", {"2:03:04.5", "2:03:04.5"}},
    {"113", {"3:04.5", "3:04.5"}}};

// Applications build CREATE TABLE from a type's name and parameters: each
// must make a column of that very type, which takes a literal of the type
// and gives it back described as the type; through both libraries (the
// 3.x one adds the wide, interval and ODBC 3 date and time codes).
TEST_F(Catalog, EveryTypeNameAndItsParametersMakeAColumnOfThatType) {
  const auto odbc2 = [](int type) { return type >= 91 && type <= 93 ? type - 82 : type; };  // the manager's codes
  for (const char* dsn : {"DSN=VelOther", "DSN=VelOtherWide"}) {
    OdbcConnection conn;
    ASSERT_TRUE(SQL_SUCCEEDED(conn.DriverConnect(dsn))) << conn.Diag();
    SQLHSTMT st = conn.Statement();
    std::istringstream types(::Rows(st, SQLGetTypeInfo(st, SQL_ALL_TYPES), {1, 6, 2, 4, 5}));
    int n = 0;
    for (std::string name, params, code, prefix, suffix;
         std::getline(types, name, '/') && std::getline(types, params, '/') && std::getline(types, code, '/') &&
         std::getline(types, prefix, '/') && std::getline(types, suffix, ';');) {
      const std::string sizes = params == "-" ? "" : params.find(',') == std::string::npos ? "(10)" : "(10,2)";
      const std::string table = std::string(dsn).substr(4) + std::to_string(n++), what = dsn + (" " + name);
      ASSERT_EQ(conn.Execute("CREATE TABLE " + table + " (c " + name + sizes + ")"), SQL_SUCCESS) << what;
      EXPECT_EQ(::Rows(st, SQLColumns(st, 0, 0, 0, 0, S(table.c_str()), SQL_NTS, 0, 0), {5}), code) << what;
      const auto found = kSamples.find(std::to_string(odbc2(std::stoi(code))));
      if (found == kSamples.end()) {
        ADD_FAILURE() << "no sample of type " << code;
        continue;
      }
      const auto& sample = found->second;
      const std::string insert = "INSERT INTO " + table + " VALUES (" + (prefix == "-" ? "" : prefix) + sample.first +
                                 (suffix == "-" ? "" : suffix) + ")",
                        select = "SELECT c FROM " + table;
      EXPECT_EQ(SQLExecDirect(st, S(insert.c_str()), SQL_NTS), SQL_SUCCESS) << insert << Diag(SQL_HANDLE_STMT, st);
      SQLSMALLINT type = 0;
      const SQLRETURN rc = SQLExecDirect(st, S(select.c_str()), SQL_NTS);
      SQLDescribeCol(st, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr);
      EXPECT_EQ(std::to_string(odbc2(type)), std::to_string(odbc2(std::stoi(code)))) << what;
      EXPECT_EQ(::Rows(st, rc, {1}), sample.second) << what;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    // PostgreSQL has no TINYINT, BINARY, VARBINARY; its 13 intervals are the 3.x library's.
    EXPECT_EQ(n, !OnPostgres() ? 17 : std::string(dsn) == "DSN=VelOther" ? 14 : 27) << dsn;
  }
}

// Procedures and privileges through the 3.x library (server A, any login
// as "proc"): PostgreSQL's functions and procedures with their columns in
// ODBC's order (return value, parameters, result columns), SQLite's none;
// the rights of the user on a table and its columns in ODBC's order (PostgreSQL's
// own grants filtered to that user's rows here). ODBC 2 applications get
// ODBC 2's column names; the 2.0 library refuses all four.
TEST(Routines, ProceduresAndPrivileges) {
  OdbcConnection c, odbc2(SQL_OV_ODBC2), ansi;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect("VelWide", "proc", "x"))) << c.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(odbc2.Connect("VelWide", "proc", "x"))) << odbc2.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(ansi.DriverConnect("DSN=VelOpen"))) << ansi.Diag();
  const bool pg = OnPostgres();
  for (const char* sql : {"CREATE TABLE proc_t (a INTEGER, b VARCHAR(5))",
                          "CREATE FUNCTION proc_f(x INTEGER, INOUT y TEXT, OUT z BIGINT) LANGUAGE SQL AS 'SELECT y, 1'",
                          "CREATE FUNCTION proc_g(n NUMERIC) RETURNS SETOF DATE LANGUAGE SQL AS 'SELECT CURRENT_DATE'",
                          "CREATE PROCEDURE proc_p(x INTEGER) LANGUAGE SQL AS 'SELECT 1'"}) {
    if (pg || std::string(sql).find("TABLE") != std::string::npos) {
      ASSERT_EQ(c.Execute(sql), SQL_SUCCESS) << sql;
    }
  }
  SQLHSTMT s = c.Statement(), s2 = odbc2.Statement(), s3 = ansi.Statement();
  auto procs = [&](const char* name) {
    return Rows(s, SQLProcedures(s, 0, 0, 0, 0, S(name), SQL_NTS), {3, 4, 5, 6, 8});
  };
  auto cols = [&](const char* name, const char* column) {
    return Rows(s, SQLProcedureColumns(s, 0, 0, 0, 0, S(name), SQL_NTS, S(column), L(column)), {3, 4, 5, 6, 7, 8, 18});
  };
  auto own = [&](SQLRETURN rc, const std::vector<int>& columns) {  // the rows naming user "proc"
    std::string all = Rows(s, rc, columns) + ";", mine;
    for (size_t at = 0, end; (end = all.find(';', at)) != std::string::npos; at = end + 1)
      if (all.find("/proc/", at) < end) mine += (mine.empty() ? "" : ";") + all.substr(at, end - at);
    return mine;
  };
  auto names = [](SQLHSTMT h, SQLRETURN rc) {
    std::string out = rc == SQL_SUCCESS ? "" : "rc " + std::to_string(rc);
    SQLSMALLINT n = 0;
    SQLNumResultCols(h, &n);
    for (SQLUSMALLINT i = 1; i <= n; ++i) {
      SQLCHAR name[64] = "";
      SQLDescribeCol(h, i, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr);
      out += (i > 1 ? "," : "") + std::string(reinterpret_cast<char*>(name));
    }
    SQLFreeStmt(h, SQL_CLOSE);
    return out;
  };
  const std::pair<std::string, std::string> kCases[] = {
      // PROCEDURE_NAME/NUM_INPUT_PARAMS/NUM_OUTPUT_PARAMS/NUM_RESULT_SETS/PROCEDURE_TYPE
      {procs("proc\\_%"), pg ? "proc_f/2/1/0/2;proc_g/1/0/1/2;proc_p/1/0/0/1" : ""},
      {procs("PROC_P"), pg ? "proc_p/1/0/0/1" : ""},
      // PROCEDURE_NAME/COLUMN_NAME/COLUMN_TYPE/DATA_TYPE/TYPE_NAME/COLUMN_SIZE/ORDINAL_POSITION
      {cols("proc_f", nullptr), pg ? "proc_f/x/1/4/INTEGER/10/1;proc_f/y/2/-1/LONGVARCHAR/1000000000/2;"
                                     "proc_f/z/3/-5/BIGINT/19/1"
                                   : ""},
      {cols("proc_g", "%"), pg ? "proc_g/n/1/2/NUMERIC/16/1;proc_g/proc_g/3/91/DATE/10/1" : ""},
      {cols("proc%", "x"), pg ? "proc_f/x/1/4/INTEGER/10/1;proc_p/x/1/4/INTEGER/10/1" : ""},
      // TABLE_NAME/GRANTOR/GRANTEE/PRIVILEGE/IS_GRANTABLE, then with COLUMN_NAME
      {own(SQLTablePrivileges(s, 0, 0, 0, 0, S("proc\\_t"), SQL_NTS), {3, 4, 5, 6, 7}),
       "proc_t/-/proc/DELETE/NO;proc_t/-/proc/INSERT/NO;proc_t/-/proc/REFERENCES/NO;proc_t/-/proc/SELECT/NO;"
       "proc_t/-/proc/UPDATE/NO"},
      {own(SQLColumnPrivileges(s, 0, 0, 0, 0, S("PROC_T"), SQL_NTS, S("b"), SQL_NTS), {3, 4, 6, 7}),
       "proc_t/b/proc/INSERT;proc_t/b/proc/REFERENCES;proc_t/b/proc/SELECT;proc_t/b/proc/UPDATE"},
      {Rows(s, SQLColumnPrivileges(s, 0, 0, 0, 0, S("proc%"), SQL_NTS, 0, 0), {3}), ""},
      {names(s, SQLProcedures(s, 0, 0, 0, 0, S("none"), SQL_NTS)),
       "PROCEDURE_CAT,PROCEDURE_SCHEM,PROCEDURE_NAME,NUM_INPUT_PARAMS,NUM_OUTPUT_PARAMS,NUM_RESULT_SETS,REMARKS,"
       "PROCEDURE_TYPE"},
      {names(s, SQLProcedureColumns(s, 0, 0, 0, 0, S("none"), SQL_NTS, 0, 0)),
       "PROCEDURE_CAT,PROCEDURE_SCHEM,PROCEDURE_NAME,COLUMN_NAME,COLUMN_TYPE,DATA_TYPE,TYPE_NAME,COLUMN_SIZE,"
       "BUFFER_LENGTH,DECIMAL_DIGITS,NUM_PREC_RADIX,NULLABLE,REMARKS,COLUMN_DEF,SQL_DATA_TYPE,SQL_DATETIME_SUB,"
       "CHAR_OCTET_LENGTH,ORDINAL_POSITION,IS_NULLABLE"},
      {names(s2, SQLProcedureColumns(s2, 0, 0, 0, 0, S("none"), SQL_NTS, 0, 0)),
       "PROCEDURE_QUALIFIER,PROCEDURE_OWNER,PROCEDURE_NAME,COLUMN_NAME,COLUMN_TYPE,DATA_TYPE,TYPE_NAME,PRECISION,"
       "LENGTH,SCALE,RADIX,NULLABLE,REMARKS"},
      {names(s2, SQLColumnPrivileges(s2, 0, 0, 0, 0, S("none"), SQL_NTS, 0, 0)),
       "TABLE_QUALIFIER,TABLE_OWNER,TABLE_NAME,COLUMN_NAME,GRANTOR,GRANTEE,PRIVILEGE,IS_GRANTABLE"},
      {names(s, SQLTablePrivileges(s, 0, 0, 0, 0, S("none"), SQL_NTS)),
       "TABLE_CAT,TABLE_SCHEM,TABLE_NAME,GRANTOR,GRANTEE,PRIVILEGE,IS_GRANTABLE"},
      {[&] {
         const SQLRETURN rc = SQLProcedures(s3, 0, 0, 0, 0, S("%"), SQL_NTS);
         return std::to_string(rc) + Diag(SQL_HANDLE_STMT, s3).substr(0, 5);
       }(),
       "-1IM001"},  // the driver manager refuses what SQLGetFunctions denies
  };
  for (const auto& k : kCases) EXPECT_EQ(k.first, k.second);
  for (SQLUSMALLINT f :
       {SQL_API_SQLPROCEDURES, SQL_API_SQLPROCEDURECOLUMNS, SQL_API_SQLTABLEPRIVILEGES, SQL_API_SQLCOLUMNPRIVILEGES}) {
    SQLUSMALLINT wide = 0, two = 1;
    SQLGetFunctions(c.dbc, f, &wide);
    SQLGetFunctions(ansi.dbc, f, &two);
    EXPECT_EQ(wide * 10 + two, 10) << f;
  }
}

}  // namespace
