// The catalog family: SQLTables, SQLColumns, SQLStatistics,
// SQLSpecialColumns, SQLPrimaryKeys, SQLForeignKeys and SQLGetTypeInfo.
// Each result set's columns (names, types, count) as ODBC 3 defines them
// (ODBC 2's names for the 2.0 library), the rows and their order, the
// search patterns and SQL_ATTR_METADATA_ID, and each argument's and
// state's SQLSTATE.
#include "conformance.h"

namespace {

SQLCHAR* T(const char* text) { return (SQLCHAR*)text; }
SQLSMALLINT L(const char* text) { return text ? SQL_NTS : 0; }
SQLRETURN Tab(SQLHSTMT s, const char* q, const char* o, const char* n, const char* t) {
  return SQLTables(s, T(q), L(q), T(o), L(o), T(n), L(n), T(t), L(t));
}
SQLRETURN Col(SQLHSTMT s, const char* table, const char* column) {
  return SQLColumns(s, 0, 0, 0, 0, T(table), L(table), T(column), L(column));
}
SQLRETURN Stat(SQLHSTMT s, const char* table, SQLUSMALLINT unique, SQLUSMALLINT accuracy = SQL_QUICK) {
  return SQLStatistics(s, 0, 0, 0, 0, T(table), L(table), unique, accuracy);
}
SQLRETURN Special(SQLHSTMT s, SQLUSMALLINT type, const char* table, SQLUSMALLINT scope = SQL_SCOPE_SESSION,
                  SQLUSMALLINT nullable = SQL_NULLABLE) {
  return SQLSpecialColumns(s, type, 0, 0, 0, 0, T(table), L(table), scope, nullable);
}
SQLRETURN Primary(SQLHSTMT s, const char* table) { return SQLPrimaryKeys(s, 0, 0, 0, 0, T(table), L(table)); }
SQLRETURN Foreign(SQLHSTMT s, const char* pk, const char* fk) {
  return SQLForeignKeys(s, 0, 0, 0, 0, T(pk), L(pk), 0, 0, 0, 0, T(fk), L(fk));
}

using CatalogCall = SQLRETURN (*)(SQLHSTMT s);

// The result set's columns as "NAME:t" (t: V varchar, C char, S smallint,
// I integer), or the call's failure.
std::string Shape(SQLHSTMT s, SQLRETURN rc) {
  if (rc != SQL_SUCCESS) return "rc " + std::to_string(rc) + ": " + Diag(SQL_HANDLE_STMT, s);
  SQLSMALLINT count = 0;
  SQLNumResultCols(s, &count);
  std::string out;
  for (SQLUSMALLINT i = 1; i <= count; ++i) {
    SQLCHAR name[64] = {0};
    SQLSMALLINT type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeCol(s, i, name, sizeof name, nullptr, &type, &size, &scale, &nullable);
    const char letter = type == SQL_VARCHAR || type == SQL_WVARCHAR ? 'V'
                        : type == SQL_CHAR || type == SQL_WCHAR     ? 'C'
                        : type == SQL_SMALLINT                      ? 'S'
                        : type == SQL_INTEGER                       ? 'I'
                                                                    : '?';
    out += (i > 1 ? " " : "") + std::string((char*)name) + ":" + letter;
  }
  SQLFreeStmt(s, SQL_CLOSE);
  return out;
}

struct ShapeCase {
  CatalogCall call;
  const char* odbc3;  // the columns an ODBC 3 application sees
  const char* odbc2;  // an ODBC 2 one
};

// clang-format off
const ShapeCase kShapes[] = {
    {[](SQLHSTMT s) { return Tab(s, 0, 0, "conf\\_cat\\_p", 0); }, "TABLE_CAT:V TABLE_SCHEM:V TABLE_NAME:V TABLE_TYPE:V REMARKS:V", "TABLE_QUALIFIER:V TABLE_OWNER:V TABLE_NAME:V TABLE_TYPE:V REMARKS:V"},
    {[](SQLHSTMT s) { return Col(s, "conf\\_cat\\_p", 0); }, "TABLE_CAT:V TABLE_SCHEM:V TABLE_NAME:V COLUMN_NAME:V DATA_TYPE:S TYPE_NAME:V COLUMN_SIZE:I BUFFER_LENGTH:I DECIMAL_DIGITS:S NUM_PREC_RADIX:S NULLABLE:S REMARKS:V COLUMN_DEF:V SQL_DATA_TYPE:S SQL_DATETIME_SUB:S CHAR_OCTET_LENGTH:I ORDINAL_POSITION:I IS_NULLABLE:V", "TABLE_QUALIFIER:V TABLE_OWNER:V TABLE_NAME:V COLUMN_NAME:V DATA_TYPE:S TYPE_NAME:V PRECISION:I LENGTH:I SCALE:S RADIX:S NULLABLE:S REMARKS:V"},
    {[](SQLHSTMT s) { return Stat(s, "conf_cat_p", SQL_INDEX_ALL); }, "TABLE_CAT:V TABLE_SCHEM:V TABLE_NAME:V NON_UNIQUE:S INDEX_QUALIFIER:V INDEX_NAME:V TYPE:S ORDINAL_POSITION:S COLUMN_NAME:V ASC_OR_DESC:C CARDINALITY:I PAGES:I FILTER_CONDITION:V", "TABLE_QUALIFIER:V TABLE_OWNER:V TABLE_NAME:V NON_UNIQUE:S INDEX_QUALIFIER:V INDEX_NAME:V TYPE:S SEQ_IN_INDEX:S COLUMN_NAME:V COLLATION:C CARDINALITY:I PAGES:I FILTER_CONDITION:V"},
    {[](SQLHSTMT s) { return Special(s, SQL_BEST_ROWID, "conf_cat_p"); }, "SCOPE:S COLUMN_NAME:V DATA_TYPE:S TYPE_NAME:V COLUMN_SIZE:I BUFFER_LENGTH:I DECIMAL_DIGITS:S PSEUDO_COLUMN:S", "SCOPE:S COLUMN_NAME:V DATA_TYPE:S TYPE_NAME:V PRECISION:I LENGTH:I SCALE:S PSEUDO_COLUMN:S"},
    {[](SQLHSTMT s) { return Primary(s, "conf_cat_p"); }, "TABLE_CAT:V TABLE_SCHEM:V TABLE_NAME:V COLUMN_NAME:V KEY_SEQ:S PK_NAME:V", "TABLE_QUALIFIER:V TABLE_OWNER:V TABLE_NAME:V COLUMN_NAME:V KEY_SEQ:S PK_NAME:V"},
    {[](SQLHSTMT s) { return Foreign(s, "conf_cat_p", 0); }, "PKTABLE_CAT:V PKTABLE_SCHEM:V PKTABLE_NAME:V PKCOLUMN_NAME:V FKTABLE_CAT:V FKTABLE_SCHEM:V FKTABLE_NAME:V FKCOLUMN_NAME:V KEY_SEQ:S UPDATE_RULE:S DELETE_RULE:S FK_NAME:V PK_NAME:V DEFERRABILITY:S", "PKTABLE_QUALIFIER:V PKTABLE_OWNER:V PKTABLE_NAME:V PKCOLUMN_NAME:V FKTABLE_QUALIFIER:V FKTABLE_OWNER:V FKTABLE_NAME:V FKCOLUMN_NAME:V KEY_SEQ:S UPDATE_RULE:S DELETE_RULE:S FK_NAME:V PK_NAME:V"},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_ALL_TYPES); }, "TYPE_NAME:V DATA_TYPE:S COLUMN_SIZE:I LITERAL_PREFIX:V LITERAL_SUFFIX:V CREATE_PARAMS:V NULLABLE:S CASE_SENSITIVE:S SEARCHABLE:S UNSIGNED_ATTRIBUTE:S FIXED_PREC_SCALE:S AUTO_UNIQUE_VALUE:S LOCAL_TYPE_NAME:V MINIMUM_SCALE:S MAXIMUM_SCALE:S SQL_DATA_TYPE:S SQL_DATETIME_SUB:S NUM_PREC_RADIX:I INTERVAL_PRECISION:S", "TYPE_NAME:V DATA_TYPE:S PRECISION:I LITERAL_PREFIX:V LITERAL_SUFFIX:V CREATE_PARAMS:V NULLABLE:S CASE_SENSITIVE:S SEARCHABLE:S UNSIGNED_ATTRIBUTE:S MONEY:S AUTO_INCREMENT:S LOCAL_TYPE_NAME:V MINIMUM_SCALE:S MAXIMUM_SCALE:S"},
};
// clang-format on

// The rows of a call: the given columns as Rows() shows them.
struct RowsCase {
  CatalogCall call;
  std::vector<int> columns;
  const char* rows;
  Libraries libraries = kBoth;
  bool metadataId = false;  // SQL_ATTR_METADATA_ID on: the texts are identifiers
};

// clang-format off
const RowsCase kRows[] = {
    // Pattern values: "_" and "%", escaped with "\"; ordered by type, then name.
    {[](SQLHSTMT s) { return Tab(s, 0, 0, "conf\\_cat%", 0); }, {3, 4}, "conf_cat_b/TABLE;conf_cat_c/TABLE;conf_cat_p/TABLE;conf_catxp/TABLE;conf_cat_v/VIEW"},
    {[](SQLHSTMT s) { return Tab(s, 0, 0, "conf_cat_p", 0); }, {3}, "conf_cat_p;conf_catxp"},
    {[](SQLHSTMT s) { return Tab(s, 0, 0, "conf\\_cat\\_p", 0); }, {1, 2, 3, 4, 5}, "-/-/conf_cat_p/TABLE/-"},
    {[](SQLHSTMT s) { return Tab(s, 0, 0, "conf\\_cat%", "VIEW"); }, {3}, "conf_cat_v"},
    {[](SQLHSTMT s) { return Tab(s, 0, 0, "conf\\_cat\\_%", "'VIEW', 'TABLE'"); }, {3}, "conf_cat_b;conf_cat_c;conf_cat_p;conf_cat_v"},
    // The enumerations: no catalogs and no schemas; the table types.
    {[](SQLHSTMT s) { return Tab(s, SQL_ALL_CATALOGS, "", "", 0); }, {1}, ""},
    {[](SQLHSTMT s) { return Tab(s, "", SQL_ALL_SCHEMAS, "", 0); }, {2}, ""},
    {[](SQLHSTMT s) { return Tab(s, "", "", "", SQL_ALL_TABLE_TYPES); }, {1, 2, 3, 4}, "-/-/-/SYSTEM TABLE;-/-/-/TABLE;-/-/-/VIEW"},
    // Identifiers: "_" is itself, quotes are removed.
    {[](SQLHSTMT s) { return Tab(s, 0, 0, "conf_cat_p", 0); }, {3}, "conf_cat_p", kOdbc3Only, true},
    {[](SQLHSTMT s) { return Tab(s, 0, 0, "\"conf_cat_p\"", 0); }, {3}, "conf_cat_p", kOdbc3Only, true},
    {[](SQLHSTMT s) { return Col(s, "conf_cat_p", "%"); }, {4}, "", kOdbc3Only, true},
    {[](SQLHSTMT s) { return Col(s, "conf_cat_p ", "b"); }, {4}, "b", kOdbc3Only, true},
    // Columns by table, then position; ODBC 3's date code.
    {[](SQLHSTMT s) { return Col(s, "conf\\_cat\\_p", 0); }, {4, 5, 11, 17, 18}, "a/4/0/1/NO;b/12/0/2/NO;c/91/1/3/YES", kOdbc3Only},
    {[](SQLHSTMT s) { return Col(s, "conf\\_cat\\_p", 0); }, {4, 5, 11}, "a/4/0;b/12/0;c/9/1", kOdbc2Only},
    // ODBC 3's further columns: COLUMN_DEF, SQL_DATA_TYPE, SQL_DATETIME_SUB, CHAR_OCTET_LENGTH.
    {[](SQLHSTMT s) { return Col(s, "conf\\_cat\\_p", 0); }, {4, 14, 15, 16}, "a/4/-/-;b/12/-/20;c/9/1/-", kOdbc3Only},
    {[](SQLHSTMT s) { return Col(s, "conf\\_catxp", 0); }, {4, 13}, "x/-;y/5", kOdbc3Only},
    {[](SQLHSTMT s) { return Col(s, "conf_cat_p", "_"); }, {3, 4}, "conf_cat_p/a;conf_cat_p/b;conf_cat_p/c;conf_catxp/x;conf_catxp/y"},
    // Statistics: the table's row, then unique indexes, then by name and position.
    {[](SQLHSTMT s) { return Stat(s, "conf_catxp", SQL_INDEX_ALL); }, {3, 4, 6, 7, 8, 9}, "conf_catxp/-/-/0/-/-;conf_catxp/0/conf_cat_iu/3/1/x;conf_catxp/1/conf_cat_ia/3/1/x;conf_catxp/1/conf_cat_ia/3/2/y;conf_catxp/1/conf_cat_iz/3/1/y"},
    {[](SQLHSTMT s) { return Stat(s, "conf_catxp", SQL_INDEX_UNIQUE, SQL_ENSURE); }, {6, 9, 11}, "-/-/0;conf_cat_iu/x/-"},
    {[](SQLHSTMT s) { return Stat(s, "conf_cat_x%", SQL_INDEX_ALL); }, {3}, ""},  // not a pattern
    // The columns that identify a row; no automatically updated ones.
    {[](SQLHSTMT s) { return Special(s, SQL_BEST_ROWID, "conf_cat_p"); }, {1, 2, 3, 8}, "2/b/12/1;2/a/4/1"},
    {[](SQLHSTMT s) { return Special(s, SQL_ROWVER, "conf_cat_p"); }, {2}, ""},
    {[](SQLHSTMT s) { return Special(s, SQL_BEST_ROWID, "conf_catxp", SQL_SCOPE_CURROW); }, {1, 2, 3, 8}, OnPostgres() ? "" : "1/ROWID/-5/2"},
    {[](SQLHSTMT s) { return Special(s, SQL_BEST_ROWID, "conf_cat_%"); }, {2}, ""},
    // Keys: the table names are not patterns.
    {[](SQLHSTMT s) { return Primary(s, "conf_cat_p"); }, {1, 2, 3, 4, 5}, "-/-/conf_cat_p/b/1;-/-/conf_cat_p/a/2"},
    {[](SQLHSTMT s) { return Primary(s, "conf_cat_%"); }, {3}, ""},
    {[](SQLHSTMT s) { return Primary(s, "conf\\_cat\\_p"); }, {3}, ""},
    // Both ways: by foreign-key table for a primary-key table, by primary-key table for a foreign-key one.
    {[](SQLHSTMT s) { return Foreign(s, "conf_cat_p", 0); }, {3, 4, 7, 8, 9, 10}, "conf_cat_p/b/conf_cat_b/pb/1/2;conf_cat_p/a/conf_cat_b/pa/2/2;conf_cat_p/b/conf_cat_c/pb/1/0;conf_cat_p/a/conf_cat_c/pa/2/0"},
    {[](SQLHSTMT s) { return Foreign(s, 0, "conf_cat_c"); }, {3, 4, 7, 8, 9}, "conf_cat_p/b/conf_cat_c/pb/1;conf_cat_p/a/conf_cat_c/pa/2;conf_catxp/x/conf_cat_c/x/1"},
    {[](SQLHSTMT s) { return Foreign(s, "conf_catxp", "conf_cat_c"); }, {3, 7, 9, 11}, "conf_catxp/conf_cat_c/1/0"},
    {[](SQLHSTMT s) { return Foreign(s, "conf_catxp", "conf_cat_c"); }, {14}, OnPostgres() ? "7" : "-", kOdbc3Only},  // DEFERRABILITY: SQLite does not tell
    {[](SQLHSTMT s) { return Foreign(s, "conf_cat_c", 0); }, {3}, ""},
    {[](SQLHSTMT s) { return Foreign(s, "conf_cat_%", 0); }, {3}, ""},
    // Types: ordered by DATA_TYPE, the date codes of the application's version.
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_ALL_TYPES); }, {}, "ascending"},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_TYPE_DATE); }, {2, 16, 17}, "91/9/1", kOdbc3Only},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_TYPE_TIMESTAMP); }, {2, 16, 17}, "93/9/3", kOdbc3Only},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_DATE); }, {2}, "9", kOdbc2Only},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_INTEGER); }, {2}, "4"},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_INTEGER); }, {2, 16, 17, 18, 19}, "4/4/-/10/-", kOdbc3Only},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_WLONGVARCHAR); }, {2}, ""},
};
// clang-format on

// DATA_TYPE of every row in order: "ascending" or the codes.
std::string TypesInOrder(SQLHSTMT s) {
  std::string codes, sorted = "ascending";
  SQLSMALLINT code = 0, last = -32768;
  while (SQL_SUCCEEDED(SQLFetch(s))) {
    SQLGetData(s, 2, SQL_C_SSHORT, &code, 0, nullptr);
    if (code < last) sorted = "";
    last = code;
    codes += std::to_string(code) + ";";
  }
  SQLFreeStmt(s, SQL_CLOSE);
  return sorted.empty() ? codes : sorted;
}

// An argument or a state and its SQLSTATE: the call on a statement in
// start (S1 allocated, S5 a cursor open, S8 needing data).
struct CallCase {
  const char* name;
  const char* start;
  CatalogCall call;
  SQLRETURN rc;
  const char* state;  // ODBC 3's form; "" for none
  Libraries libraries = kBoth;
  bool metadataId = false;
};

// clang-format off
const CallCase kCalls[] = {
    {"tables, negative length", "S1", [](SQLHSTMT s) { return SQLTables(s, 0, 0, 0, 0, T("x"), -5, 0, 0); }, SQL_ERROR, "HY090"},
    {"columns, negative length", "S1", [](SQLHSTMT s) { return SQLColumns(s, 0, 0, 0, 0, T("x"), SQL_NTS, T("y"), -2); }, SQL_ERROR, "HY090"},
    {"statistics, negative length", "S1", [](SQLHSTMT s) { return SQLStatistics(s, 0, 0, T("x"), -7, T("x"), SQL_NTS, 0, 0); }, SQL_ERROR, "HY090"},
    {"statistics, no table", "S1", [](SQLHSTMT s) { return Stat(s, nullptr, SQL_INDEX_ALL); }, SQL_ERROR, "HY009"},
    {"statistics, uniqueness 5", "S1", [](SQLHSTMT s) { return Stat(s, "conf_cat_p", 5); }, SQL_ERROR, "HY100"},
    {"statistics, accuracy 5", "S1", [](SQLHSTMT s) { return Stat(s, "conf_cat_p", SQL_INDEX_ALL, 5); }, SQL_ERROR, "HY101"},
    {"special columns, no table", "S1", [](SQLHSTMT s) { return Special(s, SQL_BEST_ROWID, nullptr); }, SQL_ERROR, "HY009"},
    {"special columns, type 5", "S1", [](SQLHSTMT s) { return Special(s, 5, "conf_cat_p"); }, SQL_ERROR, "HY097"},
    {"special columns, scope 9", "S1", [](SQLHSTMT s) { return Special(s, SQL_BEST_ROWID, "conf_cat_p", 9); }, SQL_ERROR, "HY098"},
    {"special columns, nullable 9", "S1", [](SQLHSTMT s) { return Special(s, SQL_BEST_ROWID, "conf_cat_p", 0, 9); }, SQL_ERROR, "HY099"},
    {"special columns, negative length", "S1", [](SQLHSTMT s) { return SQLSpecialColumns(s, SQL_BEST_ROWID, 0, 0, 0, 0, T("x"), -5, 0, 0); }, SQL_ERROR, "HY090"},
    {"primary keys, no table", "S1", [](SQLHSTMT s) { return Primary(s, nullptr); }, SQL_ERROR, "HY009"},
    {"primary keys, negative length", "S1", [](SQLHSTMT s) { return SQLPrimaryKeys(s, 0, 0, 0, 0, T("x"), -5); }, SQL_ERROR, "HY090"},
    {"foreign keys, no table", "S1", [](SQLHSTMT s) { return Foreign(s, nullptr, nullptr); }, SQL_ERROR, "HY009"},
    {"foreign keys, negative length", "S1", [](SQLHSTMT s) { return SQLForeignKeys(s, 0, 0, 0, 0, T("x"), -5, 0, 0, 0, 0, 0, 0); }, SQL_ERROR, "HY090"},
    {"type information, no such type", "S1", [](SQLHSTMT s) { return SQLGetTypeInfo(s, 999); }, SQL_ERROR, "HY004"},
    {"type information, unknown type", "S1", [](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_GUID); }, SQL_SUCCESS, "", kOdbc3Only},
    // Identifiers may not be null.
    {"identifier tables, no table", "S1", [](SQLHSTMT s) { return Tab(s, 0, 0, 0, 0); }, SQL_ERROR, "HY009", kOdbc3Only, true},
    {"identifier columns, no column", "S1", [](SQLHSTMT s) { return Col(s, "conf_cat_p", 0); }, SQL_ERROR, "HY009", kOdbc3Only, true},
    {"identifier columns, no table", "S1", [](SQLHSTMT s) { return Col(s, 0, "a"); }, SQL_ERROR, "HY009", kOdbc3Only, true},
    // A catalog result set is a cursor like a query's.
    {"fetch after tables", "S1", [](SQLHSTMT s) -> SQLRETURN { return Tab(s, 0, 0, "conf\\_cat\\_p", 0) ? SQL_ERROR : SQLFetch(s); }, SQL_SUCCESS, ""},
    {"procedures, rows left", "S5", [](SQLHSTMT s) { return SQLProcedures(s, 0, 0, 0, 0, 0, 0); }, SQL_ERROR, "24000", kOdbc3Only},
    {"procedure columns, negative length", "S1", [](SQLHSTMT s) { return SQLProcedureColumns(s, 0, 0, 0, 0, T("x"), -5, 0, 0); }, SQL_ERROR, "HY090", kOdbc3Only},
    {"column privileges, negative length", "S1", [](SQLHSTMT s) { return SQLColumnPrivileges(s, 0, 0, 0, 0, T("x"), -5, 0, 0); }, SQL_ERROR, "HY090", kOdbc3Only},
    {"column privileges, rows left", "S5", [](SQLHSTMT s) { return SQLColumnPrivileges(s, 0, 0, 0, 0, T("x"), SQL_NTS, 0, 0); }, SQL_ERROR, "24000", kOdbc3Only},
    {"table privileges, rows left", "S5", [](SQLHSTMT s) { return SQLTablePrivileges(s, 0, 0, 0, 0, T("x"), SQL_NTS); }, SQL_ERROR, "24000", kOdbc3Only},
    {"execute with a catalog cursor open", "S1", [](SQLHSTMT s) -> SQLRETURN { return SQLGetTypeInfo(s, 0) ? SQL_ERROR : SQLExecDirect(s, T("SELECT 1"), SQL_NTS); }, SQL_ERROR, "24000"},
};
// clang-format on

class CatalogFamily : public Conformance {
 protected:
  void SetUp() override {
    Conformance::SetUp();
    SQLHSTMT setup = c.Statement();
    for (const char* sql :
         {"DROP VIEW IF EXISTS conf_cat_v", "DROP TABLE IF EXISTS conf_cat_b", "DROP TABLE IF EXISTS conf_cat_c",
          "DROP TABLE IF EXISTS conf_cat_p", "DROP TABLE IF EXISTS conf_catxp",
          "CREATE TABLE conf_cat_p (a INTEGER NOT NULL, b VARCHAR(5) NOT NULL, c DATE, PRIMARY KEY (b, a))",
          "INSERT INTO conf_cat_p VALUES (1, 'x', NULL)", "CREATE TABLE conf_catxp (x INTEGER, y INTEGER DEFAULT 5)",
          "CREATE INDEX conf_cat_iz ON conf_catxp (y)", "CREATE UNIQUE INDEX conf_cat_iu ON conf_catxp (x)",
          "CREATE INDEX conf_cat_ia ON conf_catxp (x, y)",
          "CREATE TABLE conf_cat_c (id INTEGER PRIMARY KEY, x INTEGER REFERENCES conf_catxp (x) ON DELETE CASCADE, pa "
          "INTEGER, pb VARCHAR(5), FOREIGN KEY (pb, pa) REFERENCES conf_cat_p (b, a) ON UPDATE CASCADE)",
          "CREATE TABLE conf_cat_b (pa INTEGER, pb VARCHAR(5), FOREIGN KEY (pb, pa) REFERENCES conf_cat_p ON UPDATE "
          "SET NULL)",
          "CREATE VIEW conf_cat_v AS SELECT a FROM conf_cat_p"}) {
      ASSERT_TRUE(SQL_SUCCEEDED(Exec(setup, sql))) << sql << Diag(SQL_HANDLE_STMT, setup);
      SQLFreeStmt(setup, SQL_CLOSE);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, setup);
  }
  void MetadataId(bool on) {
    if (lib().odbc3) SQLSetStmtAttr(s, SQL_ATTR_METADATA_ID, (SQLPOINTER)(SQLULEN)(on ? SQL_TRUE : SQL_FALSE), 0);
  }
  // A fresh statement s in start.
  ::testing::AssertionResult Reach(const std::string& start) {
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s);
    SQLRETURN rc = SQL_SUCCESS;
    // S5 executed with rows, S5e without.
    if (start[1] == '5')
      rc = SQLExecDirect(s, T(start == "S5" ? "SELECT a FROM conf_cat_p" : "SELECT a FROM conf_cat_p WHERE a < 0"),
                         SQL_NTS);
    if (start == "S8") {
      static SQLLEN atExec = SQL_DATA_AT_EXEC;
      SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 5, 0, (SQLPOINTER)1, 0, &atExec);
      rc = SQLExecDirect(s, T("SELECT a FROM conf_cat_p WHERE b = ?"), SQL_NTS);
      if (rc == SQL_NEED_DATA) rc = SQL_SUCCESS;
    }
    if (rc == SQL_SUCCESS) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << start << ": " << Diag(SQL_HANDLE_STMT, s);
  }
};

TEST_P(CatalogFamily, ResultColumnsAsOdbcDefines) {
  for (const ShapeCase& row : kShapes) {
    EXPECT_EQ(lib().odbc3 ? row.odbc3 : row.odbc2, Shape(s, row.call(s)));
  }
}

TEST_P(CatalogFamily, RowsAndTheirOrder) {
  for (const RowsCase& row : kRows) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(row.rows);
    MetadataId(row.metadataId);
    const SQLRETURN rc = row.call(s);
    EXPECT_EQ(row.rows, row.columns.empty() ? TypesInOrder(s) : Rows(s, rc, row.columns));
    MetadataId(false);
  }
}

TEST_P(CatalogFamily, ArgumentsAndStatesAsOdbcSays) {
  std::vector<CallCase> cases(std::begin(kCalls), std::end(kCalls));
  // Every function: "HY010" while a statement needs data, "24000" over a cursor
  // with rows left (from S6 on the driver manager answers); one without rows is closed.
  for (const ShapeCase& row : kShapes) {
    cases.push_back({"needing data", "S8", row.call, SQL_ERROR, "HY010"});
    cases.push_back({"rows left", "S5", row.call, SQL_ERROR, "24000"});
    cases.push_back({"no rows left", "S5e", row.call, SQL_SUCCESS, ""});
  }
  for (const CallCase& row : cases) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(std::string(row.name) + " from " + row.start);
    ASSERT_TRUE(Reach(row.start));
    MetadataId(row.metadataId);
    EXPECT_EQ(row.rc, row.call(s)) << Diag(SQL_HANDLE_STMT, s);
    EXPECT_EQ(row.state[0] ? lib().State(row.state) : "", FirstState(SQL_HANDLE_STMT, s));
  }
}

VEL_CONFORMANCE_SUITE(CatalogFamily);

}  // namespace
