// The statement family: SQLExecDirect and SQLPrepare/SQLExecute, the
// parameter counts and descriptions, SQLCancel outside execution,
// SQLFreeStmt, SQLCloseCursor, SQLRowCount, SQLMoreResults, the cursor
// names, SQLNativeSql and SQLEndTran/SQLTransact: outcomes and SQLSTATEs
// of each argument, and the states a call is allowed in and leaves the
// statement in (S1 allocated, S2/S3 prepared without/with a result set,
// S4 executed without a result set, S5 cursor open, S6 fetched).
#include <algorithm>
#include <functional>
#include <vector>

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

// A call on the fixture's statement s (a second statement t of the same
// connection for the cursor-name cases); "p" cases are prepared first.
using Call = std::function<SQLRETURN(SQLHSTMT s, SQLHSTMT t)>;
SQLCHAR* T(const char* text) { return (SQLCHAR*)text; }

struct CallCase {
  const char* name;
  const char* start;        // "S1" ... "S6"; a trailing "p": reached by SQLPrepare and SQLExecute
  std::vector<Call> calls;  // all but the last must succeed
  SQLRETURN rc;             // of the last call
  const char* state;        // ODBC 3's form; "" for none
  Libraries libraries = kBoth;
};

const Call kExecDirect = [](SQLHSTMT s, SQLHSTMT) { return SQLExecDirect(s, T("SELECT 1"), SQL_NTS); };
const Call kRun = [](SQLHSTMT s, SQLHSTMT) { return SQLExecute(s); };
const Call kFetch = [](SQLHSTMT s, SQLHSTMT) { return SQLFetch(s); };
// A count of s (SQLRowCount, SQLNumParams, SQLNumResultCols): 97 when it
// is not want (any count when want is -99).
template <typename T>
Call Is(SQLRETURN (*ask)(SQLHSTMT, T*), T want) {
  return [=](SQLHSTMT s, SQLHSTMT) {
    T n = -7;
    const SQLRETURN rc = ask(s, &n);
    return rc == SQL_SUCCESS && want != -99 && n != want ? SQLRETURN(97) : rc;
  };
}
Call Count(SQLLEN want = -99) { return Is<SQLLEN>(SQLRowCount, want); }
Call Params(SQLSMALLINT want) { return Is<SQLSMALLINT>(SQLNumParams, want); }
Call Cols(SQLSMALLINT want = -99) { return Is<SQLSMALLINT>(SQLNumResultCols, want); }
const Call kNumCols = Cols(), kNumParams = Params(0), kRowCount = Count();  // no markers in the texts below
const Call kCloseCursor = [](SQLHSTMT s, SQLHSTMT) { return SQLCloseCursor(s); };
const Call kClose = [](SQLHSTMT s, SQLHSTMT) { return SQLFreeStmt(s, SQL_CLOSE); };
const Call kCancel = [](SQLHSTMT s, SQLHSTMT) { return SQLCancel(s); };
const Call kMoreResults = [](SQLHSTMT s, SQLHSTMT) { return SQLMoreResults(s); };
const Call kSetName = [](SQLHSTMT s, SQLHSTMT) { return SQLSetCursorName(s, T("conf_c1"), SQL_NTS); };
Call Direct(const char* sql) {
  return [sql](SQLHSTMT s, SQLHSTMT) { return SQLExecDirect(s, T(sql), SQL_NTS); };
}
Call Prepare(const char* sql, SQLINTEGER length = SQL_NTS) {
  return [sql, length](SQLHSTMT s, SQLHSTMT) { return SQLPrepare(s, T(sql), length); };
}
Call Named(const char* name, SQLSMALLINT length = SQL_NTS, bool other = false) {
  return [=](SQLHSTMT s, SQLHSTMT t) { return SQLSetCursorName(other ? t : s, T(name), length); };
}
// SQLGetCursorName into a buffer of size bytes: 98 when the name read is
// not want ("*": any name but the empty one).
Call NameIs(SQLSMALLINT size, const char* want) {
  return [=](SQLHSTMT s, SQLHSTMT) {
    SQLCHAR name[32] = {0};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetCursorName(s, name, size, &length);
    const std::string got = (char*)name;
    const bool right = std::string(want) == "*" ? !got.empty() : got == want;
    return SQL_SUCCEEDED(rc) && !right ? SQLRETURN(98) : rc;
  };
}
Call Scroll(SQLUSMALLINT concurrency, SQLLEN keyset, SQLUSMALLINT rowset) {
  return [=](SQLHSTMT s, SQLHSTMT) { return SQLSetScrollOptions(s, concurrency, keyset, rowset); };
}
Call ColAttributes(SQLUSMALLINT column, SQLUSMALLINT field) {
  return [=](SQLHSTMT s, SQLHSTMT) { return SQLColAttributes(s, column, field, nullptr, 0, nullptr, nullptr); };
}
Call Describe(SQLUSMALLINT number) {
  return [number](SQLHSTMT s, SQLHSTMT) {
    SQLSMALLINT type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    return SQLDescribeParam(s, number, &type, &size, &scale, &nullable);
  };
}
Call Free(SQLUSMALLINT option) {
  return [option](SQLHSTMT s, SQLHSTMT) { return SQLFreeStmt(s, option); };
}
// The next row's first column is want (on t with sql: of sql's result).
Call FetchIs(SQLINTEGER want, const char* sql = nullptr) {
  return [=](SQLHSTMT s, SQLHSTMT t) {
    SQLHSTMT h = sql ? t : s;
    SQLINTEGER got = -1;
    SQLRETURN rc = sql ? SQLExecDirect(t, T(sql), SQL_NTS) : SQL_SUCCESS;
    if (SQL_SUCCEEDED(rc)) rc = SQLFetch(h);
    if (SQL_SUCCEEDED(rc)) rc = SQLGetData(h, 1, SQL_C_SLONG, &got, 0, nullptr);
    if (sql) SQLFreeStmt(t, SQL_CLOSE);
    return SQL_SUCCEEDED(rc) && got != want ? SQLRETURN(93) : rc;
  };
}
// Parameter n takes the values given, an array when more than one.
SQLINTEGER g_values[2][4];
Call Values(SQLUSMALLINT n, std::vector<SQLINTEGER> values) {
  return [=](SQLHSTMT s, SQLHSTMT) {
    std::copy(values.begin(), values.end(), g_values[n - 1]);
    if (values.size() > 1) SQLParamOptions(s, values.size(), nullptr);
    return SQLBindParameter(s, n, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, g_values[n - 1], 0, nullptr);
  };
}
// The call fails (SQL_ERROR).
Call Failing(Call call) {
  return [=](SQLHSTMT s, SQLHSTMT t) { return call(s, t) == SQL_ERROR ? SQL_SUCCESS : SQLRETURN(92); };
}
Call MaxRows(SQLULEN n) {
  return [=](SQLHSTMT s, SQLHSTMT) { return SQLSetStmtAttr(s, SQL_ATTR_MAX_ROWS, (SQLPOINTER)n, 0); };
}
// SQL_DIAG_ROW_COUNT of the last execution: 99 when it is not want.
Call DiagCount(SQLLEN want) {
  return [=](SQLHSTMT s, SQLHSTMT) {
    SQLLEN n = -1;
    const SQLRETURN rc = SQLGetDiagField(SQL_HANDLE_STMT, s, 0, SQL_DIAG_ROW_COUNT, &n, 0, nullptr);
    return rc == SQL_SUCCESS && n != want ? SQLRETURN(99) : rc;
  };
}
// Parameter 1: wide text "42" of SQL_C_DEFAULT (the C type its SQL type has).
const Call kWideDefault = [](SQLHSTMT s, SQLHSTMT) {
  static SQLWCHAR text[] = {u'4', u'2', 0};
  static SQLLEN nts = SQL_NTS;
  return SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_WVARCHAR, 20, 0, text, 0, &nts);
};
// Several statements: a count, a result set, a count; an error in the third.
const char kThree[] =
    "INSERT INTO conf_exec VALUES (3); SELECT v FROM conf_exec WHERE v = 3; DELETE FROM conf_exec WHERE v = 3";
const char kThirdFails[] =
    "DELETE FROM conf_exec WHERE v > 3; INSERT INTO conf_exec VALUES (4); SELECT * FROM conformance_no_such_table";

// SQLNativeSql: the text with its escapes translated, from the ODBC 3.x
// library; the 2.0 library does not offer it.
SQLHDBC g_dbc = SQL_NULL_HDBC;  // the connection of the case running
Call Native(SQLCHAR* text, SQLINTEGER length, SQLINTEGER size = 64, const char* want = nullptr) {
  return [=](SQLHSTMT, SQLHSTMT) {
    SQLCHAR out[64] = "";
    SQLINTEGER got = 0;
    const SQLRETURN rc = SQLNativeSql(g_dbc, text, length, out, size, &got);
    return want && (std::string((char*)out) != want || got != 17) ? SQLRETURN(96) : rc;
  };
}

// clang-format off
const CallCase kCalls[] = {
    // Arguments of the text.
    {"null text", "S1", {[](SQLHSTMT s, SQLHSTMT) { return SQLExecDirect(s, nullptr, SQL_NTS); }}, SQL_ERROR, "HY009"},
    {"null text to prepare", "S1", {[](SQLHSTMT s, SQLHSTMT) { return SQLPrepare(s, nullptr, SQL_NTS); }}, SQL_ERROR, "HY009"},
    {"negative length", "S1", {[](SQLHSTMT s, SQLHSTMT) { return SQLExecDirect(s, T("SELECT 1"), -5); }}, SQL_ERROR, "HY090"},
    {"negative length to prepare", "S1", {Prepare("SELECT 1", -5)}, SQL_ERROR, "HY090"},
    {"a length cuts the text", "S1", {Prepare("SELECT 1 nonsense", 8), kRun, kFetch, kFetch}, SQL_NO_DATA, ""},
    // Execution without what it needs.
    {"execute unprepared", "S1", {kRun}, SQL_ERROR, "HY010"},
    {"marker not bound", "S1", {Prepare("SELECT ?"), kRun}, SQL_ERROR, "07002", kOdbc3Only},
    {"marker not bound", "S1", {Prepare("SELECT ?"), kRun}, SQL_ERROR, "07001", kOdbc2Only},
    {"marker not bound, direct", "S1", {Direct("SELECT ?")}, SQL_ERROR, "07002", kOdbc3Only},
    {"marker not bound, direct", "S1", {Direct("SELECT ?")}, SQL_ERROR, "07001", kOdbc2Only},
    // A searched UPDATE or DELETE that touches no row: SQL_NO_DATA in ODBC 3.
    {"update of no row", "S1", {Direct("UPDATE conf_exec SET v = 3 WHERE v < 0")}, SQL_NO_DATA, "", kOdbc3Only},
    {"delete of no row", "S1", {Direct("DELETE FROM conf_exec WHERE v < 0")}, SQL_NO_DATA, "", kOdbc3Only},
    {"update of no row, prepared", "S1", {Prepare("UPDATE conf_exec SET v = 3 WHERE v < 0"), kRun}, SQL_NO_DATA, "", kOdbc3Only},
    {"update of no row", "S1", {Direct("UPDATE conf_exec SET v = 3 WHERE v < 0")}, SQL_SUCCESS, "", kOdbc2Only},
    {"update of no row counts 0", "S1", {Direct("UPDATE conf_exec SET v = 3 WHERE v < 0"), Count(0)}, SQL_SUCCESS, ""},
    {"update counts its rows", "S1", {Direct("UPDATE conf_exec SET v = v"), Count(2)}, SQL_SUCCESS, ""},
    {"the header counts them too", "S1", {Direct("UPDATE conf_exec SET v = v"), DiagCount(2)}, SQL_SUCCESS, "", kOdbc3Only},
    {"max rows limits the rows", "S1", {MaxRows(1), Direct("SELECT v FROM conf_exec"), kFetch, kFetch}, SQL_NO_DATA, ""},
    {"wide text of the default C type", "S1", {kWideDefault, Direct("SELECT ?"), FetchIs(42)}, SQL_SUCCESS, "", kOdbc3Only},
    // The states each call is allowed in.
    {"direct with a cursor open", "S6", {kExecDirect}, SQL_ERROR, "24000"},
    {"direct with a cursor open, not fetched", "S5", {kExecDirect}, SQL_ERROR, "24000"},
    {"prepare with a cursor open", "S5", {Prepare("SELECT 1")}, SQL_ERROR, "24000"},
    {"execute with a cursor open", "S5p", {kRun}, SQL_ERROR, "24000"},
    {"execute with a cursor open, fetched", "S6p", {kRun}, SQL_ERROR, "24000"},
    {"execute again", "S4p", {kRun}, SQL_SUCCESS, ""},
    {"execute after a direct execution", "S4", {kRun}, SQL_ERROR, "HY010"},
    {"fetch unexecuted", "S3", {kFetch}, SQL_ERROR, "HY010"},
    {"fetch without a result set", "S4", {kFetch}, SQL_ERROR, "24000"},
    {"fetch allocated", "S1", {kFetch}, SQL_ERROR, "HY010"},
    {"columns allocated", "S1", {kNumCols}, SQL_ERROR, "HY010"},
    {"columns prepared", "S3", {kNumCols}, SQL_SUCCESS, ""},
    {"markers allocated", "S1", {kNumParams}, SQL_ERROR, "HY010"},
    {"markers prepared", "S3", {kNumParams}, SQL_SUCCESS, ""},
    {"row count allocated", "S1", {kRowCount}, SQL_ERROR, "HY010"},
    {"row count prepared", "S2", {kRowCount}, SQL_ERROR, "HY010"},
    {"row count with a cursor", "S6", {kRowCount}, SQL_SUCCESS, ""},
    {"cursor name with a cursor open", "S5", {kSetName}, SQL_ERROR, "24000"},
    {"scroll options", "S1", {Scroll(SQL_CONCUR_READ_ONLY, SQL_SCROLL_STATIC, 1)}, SQL_SUCCESS, ""},
    {"scroll options, optimistic keyset", "S1", {Scroll(SQL_CONCUR_ROWVER, SQL_SCROLL_KEYSET_DRIVEN, 1)}, SQL_SUCCESS, ""},
    {"scroll options, concurrency 9", "S1", {Scroll(9, SQL_SCROLL_STATIC, 1)}, SQL_ERROR, "HY108"},
    {"scroll options, rowset 0", "S1", {Scroll(SQL_CONCUR_READ_ONLY, SQL_SCROLL_STATIC, 0)}, SQL_ERROR, "HY107"},
    {"column attributes", "S5", {ColAttributes(1, SQL_COLUMN_TYPE)}, SQL_SUCCESS, ""},
    {"column attributes, column 9", "S5", {ColAttributes(9, SQL_COLUMN_TYPE)}, SQL_ERROR, "07009"},
    {"column attributes, field 9999", "S5", {ColAttributes(1, 9999)}, SQL_ERROR, "HY091", kOdbc3Only},
    {"column attributes, field 9999", "S5", {ColAttributes(1, 9999)}, SQL_SUCCESS, "", kOdbc2Only},
    // Closing: SQLFreeStmt, SQLCloseCursor, SQLMoreResults, SQLCancel.
    {"close without a cursor", "S1", {kClose}, SQL_SUCCESS, ""},
    {"close, then execute the prepared", "S6p", {kClose, kRun, kFetch}, SQL_SUCCESS, ""},
    {"close, then execute the direct", "S6", {kClose, kRun}, SQL_ERROR, "HY010"},
    {"close cursor without one", "S1", {kCloseCursor}, SQL_ERROR, "24000", kOdbc3Only},
    {"close cursor executed", "S4", {kCloseCursor}, SQL_ERROR, "24000", kOdbc3Only},
    {"close cursor, then fetch", "S5", {kCloseCursor, kFetch}, SQL_ERROR, "HY010", kOdbc3Only},
    {"bad option", "S1", {Free(99)}, SQL_ERROR, "HY092"},
    {"unbind", "S6", {Free(SQL_UNBIND), kFetch}, SQL_SUCCESS, ""},
    {"reset parameters", "S1", {Prepare("SELECT ?"), Free(SQL_RESET_PARAMS), Params(1)}, SQL_SUCCESS, ""},
    {"more results after an update", "S4", {kMoreResults}, SQL_NO_DATA, ""},
    {"more results closes the cursor", "S5", {kMoreResults, kFetch}, SQL_ERROR, "HY010"},
    {"cancel with nothing running", "S1", {kCancel}, SQL_SUCCESS, ""},
    {"cancel closes the cursor (ODBC 2)", "S5", {kCancel, kFetch}, SQL_ERROR, "HY010", kOdbc2Only},
    // Several statements in one text: each one's outcome in turn.
    {"several: a count first", "S1", {Direct(kThree), Cols(0), Count(1)}, SQL_SUCCESS, ""},
    {"several: a result set next", "S1", {Direct(kThree), kMoreResults, Cols(1), FetchIs(3)}, SQL_SUCCESS, ""},
    {"several: a count last", "S1", {Direct(kThree), kMoreResults, kMoreResults, Cols(0), Count(1)}, SQL_SUCCESS, ""},
    {"several: then no more", "S1", {Direct(kThree), kMoreResults, kMoreResults, kMoreResults}, SQL_NO_DATA, ""},
    {"several prepared, run again", "S1", {Prepare(kThree), kRun, kMoreResults, kMoreResults, kMoreResults, kRun, Count(1)}, SQL_SUCCESS, ""},
    {"several: the third fails there", "S1", {Direct(kThirdFails), kMoreResults, kMoreResults}, SQL_ERROR, "42S02"},
    {"several: the two before it ran", "S1", {Direct(kThirdFails), kMoreResults, Failing(kMoreResults), FetchIs(1, "SELECT COUNT(*) FROM conf_exec WHERE v = 4")}, SQL_SUCCESS, "42S02"},
    {"several: closing runs the rest", "S1", {Direct("DELETE FROM conf_exec WHERE v = 6; INSERT INTO conf_exec VALUES (6)"), kClose, FetchIs(1, "SELECT COUNT(*) FROM conf_exec WHERE v = 6")}, SQL_SUCCESS, ""},
    {"several: one list of markers", "S1", {Prepare("SELECT ? FROM conf_exec WHERE v = 1; SELECT v FROM conf_exec WHERE v = ?"), Values(1, {7}), Values(2, {2}), kRun, FetchIs(7), kMoreResults, FetchIs(2)}, SQL_SUCCESS, ""},
    // An array on a query: a result set per parameter set.
    {"array on a query", "S1", {Prepare("SELECT v FROM conf_exec WHERE v = ?"), Values(1, {2, 1}), kRun, FetchIs(2), kMoreResults, FetchIs(1)}, SQL_SUCCESS, ""},
    {"array on a query, direct", "S1", {Values(1, {2, 1}), Direct("SELECT v FROM conf_exec WHERE v = ?"), kMoreResults, FetchIs(1)}, SQL_SUCCESS, ""},
    {"array on a query: then no more", "S1", {Values(1, {2, 1}), Direct("SELECT v FROM conf_exec WHERE v = ?"), kMoreResults, kMoreResults}, SQL_NO_DATA, ""},
    {"cancel with nothing running", "S1", {kCancel}, SQL_SUCCESS, ""},
    {"cancel closes the cursor (ODBC 2)", "S5", {kCancel, kFetch}, SQL_ERROR, "HY010", kOdbc2Only},
    // Markers.
    {"two markers", "S1", {Prepare("SELECT ?, ? FROM conf_exec WHERE v = ?"), Params(3)}, SQL_SUCCESS, ""},
    {"describe a marker", "S1", {Prepare("SELECT v FROM conf_exec WHERE v = ?"), Describe(1)}, SQL_SUCCESS, ""},
    {"describe marker 0", "S1", {Prepare("SELECT v FROM conf_exec WHERE v = ?"), Describe(0)}, SQL_ERROR, "07009", kOdbc3Only},
    {"describe beyond the markers", "S1", {Prepare("SELECT v FROM conf_exec WHERE v = ?"), Describe(2)}, SQL_ERROR, "S1093", kOdbc2Only},
    {"describe beyond the markers", "S1", {Prepare("SELECT v FROM conf_exec WHERE v = ?"), Describe(2)}, SQL_ERROR, "07009", kOdbc3Only},
    {"describe allocated", "S1", {Describe(1)}, SQL_ERROR, "HY010"},
    // Cursor names.
    {"name read back", "S1", {Named("conf_c1"), NameIs(32, "conf_c1")}, SQL_SUCCESS, ""},
    {"name cut", "S1", {Named("conf_c1"), NameIs(5, "conf")}, SQL_SUCCESS_WITH_INFO, "01004"},
    {"name buffer negative", "S1", {Named("conf_c1"), NameIs(-1, "")}, SQL_ERROR, "HY090"},
    {"a name is made up", "S1", {NameIs(32, "*")}, SQL_SUCCESS, ""},
    {"name taken by another statement", "S1", {Named("conf_c2", SQL_NTS, true), Named("conf_c2")}, SQL_ERROR, "3C000"},
    {"name of the driver's form", "S1", {Named("SQLCUR7")}, SQL_ERROR, "34000"},
    {"name of the driver's form", "S1", {Named("SQL_CUR7")}, SQL_ERROR, "34000"},
    {"name by its length", "S1", {Named("conf_c3xyz", 7), NameIs(32, "conf_c3")}, SQL_SUCCESS, ""},
    // SQLNativeSql: not offered by the 2.0 library, whose SQLGetFunctions
    // does not claim it (the driver manager answers for the driver).
    {"native text", "S1", {Native(T("SELECT 1"), SQL_NTS)}, SQL_ERROR, "IM001", kOdbc2Only},
    {"native text translated", "S1", {Native(T("SELECT {fn UCASE('a')}"), SQL_NTS, 64, "SELECT upper('a')")}, SQL_SUCCESS, "", kOdbc3Only},
    {"native text cut", "S1", {Native(T("SELECT {fn UCASE('a')}"), SQL_NTS, 7, "SELECT")}, SQL_SUCCESS_WITH_INFO, "01004", kOdbc3Only},
    {"native text by length", "S1", {Native(T("SELECT {fn UCASE('a')}) junk"), 22, 64, "SELECT upper('a')")}, SQL_SUCCESS, "", kOdbc3Only},
    {"native null text", "S1", {Native(nullptr, SQL_NTS)}, SQL_ERROR, "HY009", kOdbc3Only},
    {"native negative length", "S1", {Native(T("SELECT 1"), -5)}, SQL_ERROR, "HY090", kOdbc3Only},
    {"native negative buffer", "S1", {Native(T("SELECT 1"), SQL_NTS, -1)}, SQL_ERROR, "HY090", kOdbc3Only},
    {"native bad escape", "S1", {Native(T("SELECT {fn NO_SUCH()}"), SQL_NTS)}, SQL_ERROR, "42000", kOdbc3Only},
};
// clang-format on

class Statements : public Conformance {
 protected:
  void SetUp() override {
    Conformance::SetUp();
    SQLHSTMT setup = c.Statement();
    SQLExecDirect(setup, T("DROP TABLE IF EXISTS conf_exec"), SQL_NTS);
    SQLExecDirect(setup, T("CREATE TABLE conf_exec (v INTEGER)"), SQL_NTS);
    SQLExecDirect(setup, T("INSERT INTO conf_exec VALUES (1)"), SQL_NTS);
    SQLExecDirect(setup, T("INSERT INTO conf_exec VALUES (2)"), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, setup);
  }
  // Brings a fresh statement s into start.
  ::testing::AssertionResult Reach(const std::string& start) {
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s);
    const bool prepared = start.size() > 2 && start[2] == 'p';
    const char* sql = start.compare(0, 2, "S2") == 0 || start.compare(0, 2, "S4") == 0 ? "UPDATE conf_exec SET v = v"
                                                                                       : "SELECT v FROM conf_exec";
    SQLRETURN rc = SQL_SUCCESS;
    if (start.compare(0, 2, "S1") == 0) return ::testing::AssertionSuccess();
    if (start.compare(0, 2, "S2") == 0 || start.compare(0, 2, "S3") == 0 || prepared) {
      rc = SQLPrepare(s, T(sql), SQL_NTS);
      if (SQL_SUCCEEDED(rc) && prepared) rc = SQLExecute(s);
    } else {
      rc = SQLExecDirect(s, T(sql), SQL_NTS);
    }
    if (SQL_SUCCEEDED(rc) && start.compare(0, 2, "S6") == 0) rc = SQLFetch(s);
    if (SQL_SUCCEEDED(rc)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << start << ": " << Diag(SQL_HANDLE_STMT, s);
  }
};

TEST_P(Statements, ArgumentsAndStatesAsOdbcSays) {
  SQLHSTMT other = c.Statement();
  g_dbc = c.dbc;
  for (const CallCase& row : kCalls) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(std::string(row.name) + " from " + row.start);
    ASSERT_TRUE(Reach(row.start));
    SQLFreeStmt(other, SQL_CLOSE);
    SQLSetCursorName(other, T("conf_other"), SQL_NTS);
    for (size_t i = 0; i + 1 < row.calls.size(); ++i) {
      const SQLRETURN rc = row.calls[i](s, other);
      ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << "call " << i << ": " << Diag(SQL_HANDLE_STMT, s);
    }
    EXPECT_EQ(row.rc, row.calls.back()(s, other)) << Diag(SQL_HANDLE_STMT, s);
    const std::string state = FirstState(SQL_HANDLE_STMT, s);
    EXPECT_EQ(row.state[0] ? lib().State(row.state) : "", state.empty() ? FirstState(SQL_HANDLE_DBC, c.dbc) : state);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, other);
}

// SQLEndTran (SQLTransact in ODBC 2): with autocommit on, every statement
// is its own transaction; off, a rollback undoes and a commit keeps; a
// commit closes or keeps an open cursor as SQL_CURSOR_COMMIT_BEHAVIOR says.
TEST_P(Statements, TransactionsAsOdbcSays) {
  auto end = [this](SQLSMALLINT type) {
    return lib().odbc3 ? SQLEndTran(SQL_HANDLE_DBC, c.dbc, type) : SQLTransact(SQL_NULL_HENV, c.dbc, type);
  };
  EXPECT_EQ(SQL_SUCCESS, end(SQL_COMMIT));  // nothing to commit in autocommit
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0));
  ASSERT_EQ(SQL_SUCCESS, Exec("INSERT INTO conf_exec VALUES (3)"));
  EXPECT_EQ(SQL_SUCCESS, end(SQL_ROLLBACK));
  SQLFreeStmt(s, SQL_CLOSE);
  SQLHSTMT q = c.Statement();
  EXPECT_EQ("2", Rows(q, Exec(q, "SELECT COUNT(*) FROM conf_exec"), {1}));
  ASSERT_EQ(SQL_SUCCESS, Exec("INSERT INTO conf_exec VALUES (3)"));
  EXPECT_EQ(SQL_SUCCESS, end(SQL_COMMIT));
  SQLFreeStmt(s, SQL_CLOSE);
  EXPECT_EQ("3", Rows(q, Exec(q, "SELECT COUNT(*) FROM conf_exec"), {1}));
  SQLUSMALLINT behavior = 99;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_CURSOR_COMMIT_BEHAVIOR, &behavior, sizeof behavior, nullptr));
  ASSERT_EQ(SQL_SUCCESS, Exec("SELECT v FROM conf_exec ORDER BY v"));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s));
  EXPECT_EQ(SQL_SUCCESS, end(SQL_COMMIT));
  const SQLRETURN fetched = SQLFetch(s);
  if (behavior == SQL_CB_PRESERVE) {
    EXPECT_EQ(SQL_SUCCESS, fetched) << Diag(SQL_HANDLE_STMT, s);
  } else {
    // Closed (or deleted): no cursor to fetch from, as the driver or the
    // driver manager (which follows the behaviour itself) says.
    EXPECT_EQ(SQL_ERROR, fetched);
    const std::string state = FirstState(SQL_HANDLE_STMT, s);
    EXPECT_TRUE(state == lib().State("24000") || state == lib().State("HY010")) << state;
  }
  SQLFreeStmt(s, SQL_CLOSE);
  EXPECT_EQ(SQL_ERROR, end(7));
  EXPECT_EQ(lib().State("HY012"), FirstState(SQL_HANDLE_DBC, c.dbc));
  SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
}

VEL_CONFORMANCE_SUITE(Statements);

VEL_CONFORMANCE_SUITE(Execute);

}  // namespace
