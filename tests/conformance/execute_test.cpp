// SQLExecDirect and SQLPrepare/SQLExecute: outcomes and SQLSTATEs of the
// statement text, and the states a call leaves the statement in.
#include "conformance.h"

namespace {

struct ExecuteCase {
  const char* sql;
  SQLRETURN rc;
  const char* state;  // ODBC 3's form; "" for none
  Libraries libraries;
};

const ExecuteCase kExecute[] = {
    {"SELECT 1", SQL_SUCCESS, "", kBoth},
    {"SELEC 1", SQL_ERROR, "42000", kBoth},
    {"SELECT * FROM conformance_no_such_table", SQL_ERROR, "42S02", kBoth},
};

class Execute : public Conformance {};

TEST_P(Execute, DirectAndPreparedGiveOneOutcome) {
  for (const ExecuteCase& row : kExecute) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(row.sql);
    EXPECT_EQ(row.rc, Exec(row.sql));
    EXPECT_EQ(row.state[0] ? lib().State(row.state) : "", FirstState(SQL_HANDLE_STMT, s));
    SQLFreeStmt(s, SQL_CLOSE);
    const SQLRETURN prepared = SQLPrepare(s, (SQLCHAR*)ForStorage(row.sql).c_str(), SQL_NTS);
    const SQLRETURN rc = SQL_SUCCEEDED(prepared) ? SQLExecute(s) : prepared;
    EXPECT_EQ(row.rc, rc);
    EXPECT_EQ(row.state[0] ? lib().State(row.state) : "", FirstState(SQL_HANDLE_STMT, s));
    SQLFreeStmt(s, SQL_CLOSE);
  }
}

// Escape clauses are rewritten outside quoted text and comments only, as
// each storage's SQL quotes; SQL_NOSCAN_ON leaves them to the storage.
enum Storages { kAnyStorage, kSqliteOnly, kPostgresOnly };
struct EscapeCase {
  const char* sql;
  const char* result;  // the value and the label of the one column; "error" when refused
  Storages storages;
  SQLULEN noscan = SQL_NOSCAN_OFF;
};

const EscapeCase kEscapes[] = {
    {"SELECT {fn UCASE('a')} AS v", "A|v", kAnyStorage},
    {"SELECT {fn UCASE('a')} AS v", "error", kAnyStorage, SQL_NOSCAN_ON},
    {"SELECT '{fn UCASE(''a'')}' AS v", "{fn UCASE('a')}|v", kAnyStorage},
    {"SELECT '\\' || {fn UCASE('a')} AS v", "\\A|v", kAnyStorage},
    {"SELECT 'x' AS \"{fn UCASE('a')}\"", "x|{fn UCASE('a')}", kAnyStorage},
    {"SELECT 'x' AS \"a\"\"{zz}\"", "x|a\"{zz}", kAnyStorage},
    {"SELECT 'x' AS v -- {zz}\n", "x|v", kAnyStorage},
    {"SELECT 'x' AS v /* {zz} */", "x|v", kAnyStorage},
    {"SELECT 'x' AS [{fn UCASE('a')}]", "x|{fn UCASE('a')}", kSqliteOnly},
    {"SELECT 'x' AS `{fn UCASE('a')}`", "x|{fn UCASE('a')}", kSqliteOnly},
    {"SELECT $q${fn UCASE('a')}$q$ AS v", "{fn UCASE('a')}|v", kPostgresOnly},
    {"SELECT $${zz}$$ || $_1${fn UCASE('a')}$_1$ AS v", "{zz}{fn UCASE('a')}|v", kPostgresOnly},
    {"SELECT E'\\'{fn UCASE(''a'')}' AS v", "'{fn UCASE('a')}|v", kPostgresOnly},
    {"SELECT 'x' AS v /* /* */ {zz} */", "x|v", kPostgresOnly},
    {"SELECT (ARRAY[{fn UCASE('a')}])[1] AS v", "A|v", kPostgresOnly},
};

TEST_P(Execute, EscapesOutsideQuotesOnly) {
  for (const EscapeCase& row : kEscapes) {
    if (row.storages == (OnPostgres() ? kSqliteOnly : kPostgresOnly)) continue;
    SCOPED_TRACE(row.sql);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(s, SQL_ATTR_NOSCAN, (SQLPOINTER)row.noscan, 0)));
    std::string result = "error";
    if (SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)row.sql, SQL_NTS))) {
      SQLCHAR label[64] = {0};
      SQLDescribeCol(s, 1, label, sizeof label, nullptr, nullptr, nullptr, nullptr, nullptr);
      result = Rows(s, SQL_SUCCESS, {1}) + "|" + reinterpret_cast<char*>(label);
    }
    EXPECT_EQ(row.result, result);
    SQLFreeStmt(s, SQL_CLOSE);
  }
}

VEL_CONFORMANCE_SUITE(Execute);

}  // namespace
