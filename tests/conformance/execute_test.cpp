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

VEL_CONFORMANCE_SUITE(Execute);

}  // namespace
