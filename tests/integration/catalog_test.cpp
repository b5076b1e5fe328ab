// Catalog functions and type information through the unixODBC driver
// manager against a real server: tables, views and indexes read back as an
// ODBC 3 application reads them, and the columns each type name makes.
#include <sstream>

#include "integration.h"

namespace {

SQLCHAR* S(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }
SQLSMALLINT L(const char* text) { return text ? SQL_NTS : 0; }

// On server B, which the other tests leave without tables.
class Catalog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOther"))) << c.Diag();
    for (const char* sql : {"CREATE TABLE cat_types (id INTEGER PRIMARY KEY, c_char CHAR(8), c_date DATE, n INT)",
                            "INSERT INTO cat_types (id, c_char) VALUES (1, 'a'), (2, 'b')",
                            "CREATE UNIQUE INDEX cat_types_char ON cat_types (c_char)",
                            "CREATE INDEX cat_types_pair ON cat_types (c_date, n)",
                            "CREATE VIEW cat_view AS SELECT id, c_char FROM cat_types",
                            "CREATE TABLE cat_a (a VARCHAR(5))", "CREATE TABLE catba (a INTEGER)"}) {
      ASSERT_EQ(c.Execute(sql), SQL_SUCCESS) << sql;
    }
  }
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOther"))) << c.Diag();
    s = c.Statement();
  }
  void TearDown() override { SQLFreeHandle(SQL_HANDLE_STMT, s); }

  std::string Rows(SQLRETURN rc, const std::vector<int>& columns) { return ::Rows(s, rc, columns); }

  OdbcConnection c;
  SQLHSTMT s = SQL_NULL_HSTMT;
};

// Each catalog call read back: tables by pattern and type, the enumeration
// of table types (there are no qualifiers and no owners, whatever the
// types say), index columns, row identifiers, single types (ODBC 3's date
// and time codes as ODBC 2's; wide types unknown). TYPE_NAME/DATA_TYPE/
// PRECISION/CREATE_PARAMS/MAXIMUM_SCALE of a type.
TEST_F(Catalog, EachCallReadBack) {
  auto tables = [&](const char* q, const char* o, const char* n, const char* t) {
    return Rows(SQLTables(s, S(q), L(q), S(o), L(o), S(n), L(n), S(t), L(t)), {1, 2, 3, 4});
  };
  auto stats = [&](SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
    return Rows(SQLStatistics(s, 0, 0, 0, 0, S("cat_types"), SQL_NTS, unique, accuracy), {4, 6, 7, 8, 9, 11});
  };
  auto special = [&](const char* table, SQLUSMALLINT type, SQLUSMALLINT scope) {
    return Rows(SQLSpecialColumns(s, type, 0, 0, 0, 0, S(table), SQL_NTS, scope, SQL_NULLABLE), {1, 2, 3, 8});
  };
  auto type = [&](SQLSMALLINT t) { return Rows(SQLGetTypeInfo(s, t), {1, 2, 3, 6, 15}); };
  // PostgreSQL has an index for each primary key and no row identifier.
  const std::string pkey = OnPostgres() ? ";0/cat_types_pkey/3/1/id/-" : "";
  const std::pair<std::string, std::string> kCases[] = {
      {tables(0, 0, 0, 0), "-/-/cat_a/TABLE;-/-/cat_types/TABLE;-/-/catba/TABLE;-/-/cat_view/VIEW"},
      {tables(0, 0, "cat_a", 0), "-/-/cat_a/TABLE;-/-/catba/TABLE"},
      {tables(0, 0, "cat\\_a", 0), "-/-/cat_a/TABLE"},
      {tables(0, 0, "CAT%", "'VIEW'"), "-/-/cat_view/VIEW"},
      {tables("", "", "", "%"), "-/-/-/SYSTEM TABLE;-/-/-/TABLE;-/-/-/VIEW"},
      {tables("%", "", "", "") + tables("", "%", "", "") + tables("%", "", "", "TABLE"), ""},
      // NON_UNIQUE/INDEX_NAME/TYPE/SEQ_IN_INDEX/COLUMN_NAME/CARDINALITY
      {stats(SQL_INDEX_ALL, SQL_ENSURE),
       "-/-/0/-/-/2;0/cat_types_char/3/1/c_char/-" + pkey + ";1/cat_types_pair/3/1/c_date/-;1/cat_types_pair/3/2/n/-"},
      {stats(SQL_INDEX_UNIQUE, SQL_QUICK), "-/-/0/-/-/-;0/cat_types_char/3/1/c_char/-" + pkey},
      // SCOPE/COLUMN_NAME/DATA_TYPE/PSEUDO_COLUMN
      {special("cat_types", SQL_BEST_ROWID, SQL_SCOPE_SESSION), "2/id/4/1"},
      {special("cat_a", SQL_BEST_ROWID, SQL_SCOPE_CURROW), OnPostgres() ? "" : "1/ROWID/-5/2"},
      {special("cat_a", SQL_BEST_ROWID, SQL_SCOPE_SESSION) + special("cat_view", SQL_BEST_ROWID, 0) +
           special("cat_types", SQL_ROWVER, 0),
       ""},
      {type(SQL_TYPE_DATE) + ";" + type(SQL_TYPE_TIME), "DATE/9/10/-/-;TIME/10/8/-/-"},
      {type(SQL_TYPE_TIMESTAMP) + type(SQL_WVARCHAR) + type(SQL_DECIMAL), "TIMESTAMP/11/29/-/9"},
  };
  for (const auto& k : kCases) EXPECT_EQ(k.first, k.second);
}

// Applications build CREATE TABLE from a type's name and parameters: each
// must make a column of that very type.
TEST_F(Catalog, EveryTypeNameAndItsParametersMakeAColumnOfThatType) {
  std::istringstream types(Rows(SQLGetTypeInfo(s, SQL_ALL_TYPES), {1, 6, 2}));
  int n = 0;
  for (std::string name, params, code;
       std::getline(types, name, '/') && std::getline(types, params, '/') && std::getline(types, code, ';');) {
    const std::string sizes = params == "-" ? "" : params == "max length" || params == "length" ? "(10)" : "(10,2)";
    const std::string table = "made" + std::to_string(n++);
    ASSERT_EQ(c.Execute("CREATE TABLE " + table + " (c " + name + sizes + ")"), SQL_SUCCESS) << name;
    EXPECT_EQ(Rows(SQLColumns(s, 0, 0, 0, 0, S(table.c_str()), SQL_NTS, 0, 0), {5}), code) << name;
  }
  EXPECT_EQ(n, OnPostgres() ? 14 : 17);  // PostgreSQL has no TINYINT, BINARY, VARBINARY
}

// A composite primary key (in another order than its columns) and two
// two-column foreign keys to it, one naming the key's columns and one
// naming none (the primary key). PostgreSQL names constraints; SQLite
// keeps no names. The driver manager asks SQLGetFunctions at connect.
TEST_F(Catalog, PrimaryAndForeignKeys) {
  for (const char* sql : {"CREATE TABLE key_parent (a INTEGER NOT NULL, b VARCHAR(5) NOT NULL, PRIMARY KEY (b, a))",
                          "CREATE TABLE key_child (id INTEGER PRIMARY KEY, pa INTEGER, pb VARCHAR(5), CONSTRAINT "
                          "key_child_fk FOREIGN KEY (pb, pa) REFERENCES key_parent (b, a) ON DELETE CASCADE)",
                          "CREATE TABLE key_other (x INTEGER, y VARCHAR(5), FOREIGN KEY (y, x) REFERENCES key_parent "
                          "ON UPDATE SET NULL)"}) {
    ASSERT_EQ(c.Execute(sql), SQL_SUCCESS) << sql;
  }
  SQLUSMALLINT keys[2] = {};
  ASSERT_EQ(SQLGetFunctions(c.dbc, SQL_API_SQLPRIMARYKEYS, &keys[0]), SQL_SUCCESS);
  ASSERT_EQ(SQLGetFunctions(c.dbc, SQL_API_SQLFOREIGNKEYS, &keys[1]), SQL_SUCCESS);
  EXPECT_EQ(keys[0] + keys[1], 2);
  auto primary = [&](const char* table) {
    return Rows(SQLPrimaryKeys(s, 0, 0, 0, 0, S(table), L(table)), {1, 3, 4, 5, 6});
  };
  auto foreign = [&](const char* pk, const char* fk) {
    return Rows(SQLForeignKeys(s, 0, 0, 0, 0, S(pk), L(pk), 0, 0, 0, 0, S(fk), L(fk)), {3, 4, 7, 8, 9, 10, 11, 12, 13});
  };
  const bool pg = OnPostgres();
  const std::string pkName = pg ? "key_parent_pkey" : "-";
  const std::string child = "key_parent/b/key_child/pb/1/1/0/" + std::string(pg ? "key_child_fk/" : "-/") + pkName +
                            ";key_parent/a/key_child/pa/2/1/0/" + (pg ? "key_child_fk/" : "-/") + pkName;
  const std::string other = "key_parent/b/key_other/y/1/2/1/" + std::string(pg ? "key_other_y_x_fkey/" : "-/") +
                            pkName + ";key_parent/a/key_other/x/2/2/1/" + (pg ? "key_other_y_x_fkey/" : "-/") + pkName;
  const std::pair<std::string, std::string> kCases[] = {
      {primary("key_parent"), "-/key_parent/b/1/" + pkName + ";-/key_parent/a/2/" + pkName},
      {primary("KEY\\_P%") + primary("key_other"), "-/key_parent/b/1/" + pkName + ";-/key_parent/a/2/" + pkName},
      {foreign("key_parent", nullptr), child + ";" + other},
      {foreign(nullptr, "key_other"), other},
      {foreign("key_parent", "key_c%"), child},
      {foreign("key_child", nullptr) + foreign("nothing", "key_child"), ""},
  };
  for (const auto& k : kCases) EXPECT_EQ(k.first, k.second);
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
