// The parameter functions: SQLBindParameter, SQLNumParams,
// SQLDescribeParam, the data-at-execution sequence of SQLParamData and
// SQLPutData, and arrays of parameter sets (SQLParamOptions,
// SQL_ATTR_PARAMSET_SIZE) with their statuses.
#include <cstring>

#include "conformance.h"

namespace {

const SQLRETURN ok = SQL_SUCCESS, err = SQL_ERROR, info = SQL_SUCCESS_WITH_INFO, need = SQL_NEED_DATA;

// Executions with parameters 1 to n bound as text (nullptr: NULL), by
// SQLExecDirect and by SQLPrepare and SQLExecute. A call's output marker
// (out, bound as io) takes a value and leaves no result set.
struct ExecCase {
  const char* what;
  std::vector<const char*> values;
  const char* sql;
  const char* rows;  // Rows() of the first column, or the SQLSTATE (ODBC 3's form) of the failure
  Libraries libraries;
  SQLUSMALLINT out = 0;  // the output marker whose value is the outcome
  SQLSMALLINT io = SQL_PARAM_INPUT, type = SQL_VARCHAR;
  bool postgresOnly = false;
};

// clang-format off
const ExecCase kExecutions[] = {
    {"one marker, one binding", {"7"}, "SELECT ?", "7", kBoth},
    {"a NULL", {nullptr}, "SELECT ?", "-", kBoth},
    {"bindings beyond the markers are ignored", {"7", "8", "9"}, "SELECT ?", "7", kBoth},
    {"bindings of a text without markers are ignored", {"7", "8"}, "SELECT 1", "1", kBoth},
    {"markers in literals and comments are none", {"7"}, "SELECT '?', ? -- ?", "?", kBoth},
    {"a function's return value", {"x", "-7"}, "{?= call abs(?)}", "7", kBoth, 1, SQL_PARAM_OUTPUT, SQL_INTEGER},
    {"a return value bound input-output", {"x", "ab"}, " { ? = CALL upper(?)}", "AB", kBoth, 1, SQL_PARAM_INPUT_OUTPUT},
    {"a user function's return value", {"x", "7"}, "{?= call par_f(?)}", "8", kBoth, 1, SQL_PARAM_OUTPUT, SQL_INTEGER, true},
    {"a procedure's INOUT argument", {"4", "1"}, "{call par_p(?, ?)}", "8", kBoth, 2, SQL_PARAM_INPUT_OUTPUT, SQL_INTEGER, true},
    {"a procedure's OUT argument", {"4", "x"}, "{call par_q(?, ?)}", "12", kBoth, 2, SQL_PARAM_OUTPUT, SQL_INTEGER, true},
};
// clang-format on

class Params : public Conformance {
 protected:
  std::string Outcome(SQLRETURN rc, SQLUSMALLINT out = 0) {
    if (rc != SQL_SUCCESS) return FirstState(SQL_HANDLE_STMT, s);
    if (out == 0) return Rows(s, rc, {1});
    SQLSMALLINT columns = -1;
    EXPECT_EQ(ok, SQLNumResultCols(s, &columns));
    EXPECT_EQ(0, columns);
    EXPECT_EQ(err, SQLFetch(s));
    EXPECT_EQ(lib().State("24000"), FirstState(SQL_HANDLE_STMT, s));
    EXPECT_EQ(static_cast<SQLLEN>(std::strlen(text[out - 1])), ind[out - 1]);
    return text[out - 1];
  }
  char text[8][16] = {};
  SQLLEN ind[8] = {};
};

TEST_P(Params, ExecutionsSendTheirMarkersBindings) {
  if (OnPostgres()) {
    Exec("CREATE OR REPLACE FUNCTION par_f(a integer) RETURNS integer AS 'SELECT a + 1' LANGUAGE SQL");
    Exec("CREATE OR REPLACE PROCEDURE par_p(a integer, INOUT b integer) LANGUAGE SQL AS 'SELECT a * 2'");
    Exec("CREATE OR REPLACE PROCEDURE par_q(a integer, OUT b integer) LANGUAGE SQL AS 'SELECT a * 3'");
  }
  for (const ExecCase& row : kExecutions) {
    if (!lib().Holds(row.libraries) || (row.postgresOnly && !OnPostgres())) continue;
    SCOPED_TRACE(row.what);
    SQLFreeStmt(s, SQL_RESET_PARAMS);
    for (size_t i = 0; i < row.values.size(); ++i) {
      const bool out = i + 1 == row.out;
      ASSERT_EQ(ok, SQLBindParameter(s, static_cast<SQLUSMALLINT>(i + 1), out ? row.io : SQL_PARAM_INPUT, SQL_C_CHAR,
                                     out ? SQL_VARCHAR : row.type, 10, 0, text[i], sizeof text[i], &ind[i]));
    }
    const std::string expected = row.rows[0] == '0' ? lib().State(row.rows) : row.rows;
    // The same bindings once more after a text with more markers; a
    // prepared call runs twice.
    for (int run = 0; run < (row.out ? 3 : 2); ++run) {
      for (size_t i = 0; i < row.values.size(); ++i) {
        if (row.values[i] != nullptr) std::strcpy(text[i], row.values[i]);
        ind[i] = row.values[i] != nullptr ? SQL_NTS : SQL_NULL_DATA;
      }
      const std::string sql = ForStorage(row.sql);
      if (run == 1) {
        ASSERT_EQ(ok, SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS));
      }
      EXPECT_EQ(expected, Outcome(run == 0 ? Exec(row.sql) : SQLExecute(s), row.out)) << run;
      SQLFreeStmt(s, SQL_CLOSE);
    }
  }
}

// SQLBindParameter's arguments.
struct BindCase {
  const char* what;
  SQLUSMALLINT ipar;
  SQLSMALLINT io, cType, sqlType;
  SQLULEN size;
  SQLSMALLINT digits;
  bool value, indicator;
  SQLLEN bufferLength;
  SQLRETURN rc;
  const char* state;
  Libraries libraries;
};

const BindCase kBind[] = {
    {"valid", 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, true, true, 16, ok, "", kBoth},
    {"parameter 0", 0, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, true, true, 16, err, "07009", kOdbc3Only},
    {"parameter 0", 0, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, true, true, 16, err, "S1093", kOdbc2Only},
    {"unknown C type", 1, SQL_PARAM_INPUT, 999, SQL_VARCHAR, 10, 0, true, true, 16, err, "HY003", kBoth},
    {"unknown SQL type", 1, SQL_PARAM_INPUT, SQL_C_CHAR, 999, 10, 0, true, true, 16, err, "HY004", kBoth},
    {"no value and no indicator", 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, false, false, 16, err, "HY009",
     kBoth},
    {"no value and an indicator", 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, false, true, 16, ok, "", kBoth},
    {"negative buffer length", 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, true, true, -5, err, "HY090", kBoth},
    {"scale beyond the precision", 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_NUMERIC, 5, 9, true, true, 16, err, "HY104",
     kOdbc3Only},
    {"scale beyond the precision", 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_NUMERIC, 5, 9, true, true, 16, err, "S1094",
     kOdbc2Only},
    {"unknown parameter type", 1, 99, SQL_C_CHAR, SQL_VARCHAR, 10, 0, true, true, 16, err, "HY105", kBoth},
};

TEST_P(Params, BindParameterArguments) {
  for (const BindCase& row : kBind) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.rc,
              SQLBindParameter(s, row.ipar, row.io, row.cType, row.sqlType, row.size, row.digits,
                               row.value ? text[0] : nullptr, row.bufferLength, row.indicator ? &ind[0] : nullptr));
    EXPECT_EQ(row.state[0] == 'S' ? row.state
              : row.state[0]      ? lib().State(row.state)
                                  : "",
              FirstState(SQL_HANDLE_STMT, s));
  }
}

// SQLNumParams and SQLDescribeParam's parameter numbers.
struct CountCase {
  const char* sql;  // null: nothing prepared
  SQLSMALLINT count;
  SQLUSMALLINT describe;  // a parameter number for SQLDescribeParam (0: none)
  SQLRETURN rc;
  const char* state;
};

const CountCase kCounts[] = {
    {nullptr, 0, 0, err, "HY010"},       {"SELECT 1", 0, 0, ok, ""},
    {"SELECT ?, ?", 2, 2, ok, ""},       {"SELECT '?', ?", 1, 1, ok, ""},
    {"SELECT ?, ?", 2, 3, err, "07009"}, {"SELECT ?", 1, 0, ok, ""},
    {"{?= call abs(?)}", 2, 2, ok, ""},  {"{?= call abs(?)}", 2, 3, err, "07009"},
};

TEST_P(Params, NumParamsAndDescribeParamNumbers) {
  for (const CountCase& row : kCounts) {
    SCOPED_TRACE(row.sql ? row.sql : "nothing prepared");
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    ASSERT_EQ(ok, SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s));
    if (row.sql != nullptr) {
      ASSERT_EQ(ok, SQLPrepare(s, (SQLCHAR*)row.sql, SQL_NTS));
    }
    SQLSMALLINT count = -1, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLRETURN rc = SQLNumParams(s, &count);
    if (rc == ok && row.describe != 0) rc = SQLDescribeParam(s, row.describe, &type, &size, &digits, &nullable);
    EXPECT_EQ(row.rc, rc);
    // Beyond the markers "S1093" is ODBC 2's number (S1002 is a column's).
    const std::string state = row.state;
    EXPECT_EQ(state == "07009" && !lib().odbc3 ? "S1093" : lib().State(state), FirstState(SQL_HANDLE_STMT, s));
    if (rc == ok && row.describe == 0 && row.sql != nullptr && row.count > 0) {
      // Parameter 0 is never one (the driver manager says so, in ODBC 3's words).
      EXPECT_EQ(err, SQLDescribeParam(s, 0, &type, &size, &digits, &nullable));
      EXPECT_EQ(lib().State("07009"), FirstState(SQL_HANDLE_STMT, s));
    }
    if (row.rc == ok) {
      EXPECT_EQ(row.count, count);
    }
  }
}

// Data at execution: a program of calls on "SELECT ?" with parameter 1
// bound at execution (as SQL_C_CHAR, or SQL_C_LONG where the case says).
enum SeqOp : char {
  kExec = 'e',       // SQLExecDirect
  kParamData = 'd',  // SQLParamData
  kPut = 'u',        // SQLPutData("abc", length)
  kPutNull = 'n',    // SQLPutData(null, length)
  kCols = 'c',       // SQLNumResultCols
  kCancel = 'x',     // SQLCancel
};
struct SeqStep {
  SeqOp op;
  SQLRETURN rc = SQL_SUCCESS;
  SQLLEN length = 0;
  const char* state = "";
};
struct SeqCase {
  const char* what;
  std::vector<SeqStep> steps;
  const char* value = nullptr;  // the column's value fetched at the end, or null
  Libraries libraries = kBoth;
  SQLSMALLINT cType = SQL_C_CHAR;
};

// clang-format off
const SeqCase kSequences[] = {
    {"pieces make the value", {{kExec, need}, {kParamData, need}, {kPut, ok, 2}, {kPut, ok, 1}, {kParamData}}, "aba"},
    {"SQL_NTS and SQL_NULL_DATA", {{kExec, need}, {kParamData, need}, {kPut, ok, SQL_NULL_DATA}, {kParamData}}, "-"},
    {"SQLPutData before SQLParamData", {{kExec, need}, {kPut, err, 2, "HY010"}}},
    {"SQLPutData without an execution", {{kPut, err, 2, "HY010"}}},
    {"SQLParamData without an execution", {{kParamData, err, 0, "HY010"}}},
    {"another function while data is needed", {{kExec, need}, {kCols, err, 0, "HY010"}, {kCancel}, {kPut, err, 2, "HY010"}}},
    {"a negative length", {{kExec, need}, {kParamData, need}, {kPut, err, -7, "HY090"}}},
    {"no data and a length", {{kExec, need}, {kParamData, need}, {kPutNull, err, 2, "HY009"}}, nullptr, kOdbc3Only},
    {"a NULL then more pieces", {{kExec, need}, {kParamData, need}, {kPut, ok, SQL_NULL_DATA}, {kPut, err, 2, "HY020"}}, nullptr, kOdbc3Only},
    {"a number in pieces", {{kExec, need}, {kParamData, need}, {kPut, ok, 4}, {kPut, err, 4, "HY019"}}, nullptr, kOdbc3Only, SQL_C_LONG},
};
// clang-format on

TEST_P(Params, DataAtExecutionSequences) {
  for (const SeqCase& row : kSequences) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(row.what);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    ASSERT_EQ(ok, SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s));
    SQLLEN atExec = SQL_DATA_AT_EXEC;
    SQLINTEGER number = 42;
    ASSERT_EQ(
        ok, SQLBindParameter(s, 1, SQL_PARAM_INPUT, row.cType, row.cType == SQL_C_LONG ? SQL_INTEGER : SQL_VARCHAR, 10,
                             0, reinterpret_cast<SQLPOINTER>(1), 0, &atExec));
    int n = 0;
    for (const SeqStep& step : row.steps) {
      SCOPED_TRACE("step " + std::to_string(++n));
      SQLRETURN rc = err;
      SQLPOINTER token = nullptr;
      SQLSMALLINT cols = 0;
      switch (step.op) {
        case kExec:
          rc = Exec("SELECT ?");
          break;
        case kParamData:
          rc = SQLParamData(s, &token);
          if (rc == need) {
            EXPECT_EQ(reinterpret_cast<SQLPOINTER>(1), token);
          }
          break;
        case kPut:
          rc = SQLPutData(s, row.cType == SQL_C_LONG ? static_cast<SQLPOINTER>(&number) : (SQLPOINTER) "abc",
                          step.length);
          break;
        case kPutNull:
          rc = SQLPutData(s, nullptr, step.length);
          break;
        case kCols:
          rc = SQLNumResultCols(s, &cols);
          break;
        case kCancel:
          rc = SQLCancel(s);
          break;
      }
      EXPECT_EQ(step.rc, rc);
      if (step.rc == err) {
        EXPECT_EQ(lib().State(step.state), FirstState(SQL_HANDLE_STMT, s));
      }
    }
    if (row.value != nullptr) {
      EXPECT_EQ(row.value, Rows(s, SQL_SUCCESS, {1}));
    }
  }
}

// Arrays of parameter sets into a table whose column takes no NULL: the
// statuses, the count processed and the outcome.
struct ArrayCase {
  const char* what;
  std::vector<const char*> values;  // one a set (nullptr: NULL, which fails)
  SQLSMALLINT boundParameters;      // bindings (the text has one marker)
  bool statuses;                    // with a status array
  SQLRETURN rc;
  std::vector<SQLUSMALLINT> status;
  SQLULEN processed;
  const char* rows;  // the table afterwards
};

const SQLUSMALLINT kOk = SQL_PARAM_SUCCESS, kErr = SQL_PARAM_ERROR, kUnused = SQL_PARAM_UNUSED;
const ArrayCase kArrays[] = {
    {"every set", {"1", "2", "3"}, 1, true, ok, {kOk, kOk, kOk}, 3, "1;2;3"},
    {"bindings beyond the marker", {"1", "2"}, 2, true, ok, {kOk, kOk}, 2, "1;2"},
    {"a failing set with statuses", {"1", nullptr, "3"}, 1, true, info, {kOk, kErr, kOk}, 3, "1;3"},
    {"a failing set without statuses", {"1", nullptr, "3"}, 1, false, err, {}, 2, "1"},
};

TEST_P(Params, ArraysOfParameterSets) {
  SQLHSTMT t = c.Statement();
  for (const ArrayCase& row : kArrays) {
    if (!lib().odbc3 && row.statuses && row.rc != ok) continue;  // ODBC 2 has no statuses
    SCOPED_TRACE(row.what);
    Exec(t, "DROP TABLE IF EXISTS conformance_params");
    ASSERT_EQ(ok, Exec(t, "CREATE TABLE conformance_params (v VARCHAR(10) NOT NULL)"));
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    ASSERT_EQ(ok, SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s));
    const SQLULEN sets = row.values.size();
    char values[4][8] = {};
    SQLLEN lengths[4] = {};
    SQLUSMALLINT status[4] = {99, 99, 99, 99};
    SQLULEN processed = 0;
    for (size_t i = 0; i < sets; ++i) {
      if (row.values[i] != nullptr) std::strcpy(values[i], row.values[i]);
      lengths[i] = row.values[i] != nullptr ? SQL_NTS : SQL_NULL_DATA;
    }
    for (SQLUSMALLINT p = 1; p <= row.boundParameters; ++p)
      ASSERT_EQ(ok, SQLBindParameter(s, p, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 8, 0, values, 8, lengths));
    if (lib().odbc3) {
      SQLSetStmtAttr(s, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(sets), 0);
      SQLSetStmtAttr(s, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
      if (row.statuses) SQLSetStmtAttr(s, SQL_ATTR_PARAM_STATUS_PTR, status, 0);
    } else {
      ASSERT_EQ(ok, SQLParamOptions(s, sets, &processed));
    }
    EXPECT_EQ(row.rc, Exec("INSERT INTO conformance_params (v) VALUES (?)")) << FirstState(SQL_HANDLE_STMT, s);
    if (lib().odbc3 && row.statuses) {
      EXPECT_EQ(row.status, std::vector<SQLUSMALLINT>(status, status + sets));
    }
    // ODBC 2's count is the set being executed, or the one that failed.
    if (lib().odbc3 || row.rc != err) {
      EXPECT_EQ(row.processed, processed);
    }
    EXPECT_EQ(row.rows, Rows(t, Exec(t, "SELECT v FROM conformance_params ORDER BY v"), {1}));
  }
  SQLFreeHandle(SQL_HANDLE_STMT, t);
}

// NUMERIC and DECIMAL parameters keep every digit and their scale, read back
// as text: an SQL_C_NUMERIC structure at the application descriptor's scale
// (apdScale; -1: the structure's), or text sent as DECIMAL.
struct NumericCase {
  const char* what;
  bool text;
  SQLCHAR sign;
  SQLSCHAR scale;
  const char* digits;
  SQLSMALLINT apdScale;
  SQLULEN size;
  SQLSMALLINT decimalDigits;
  const char* rows;
  const char* onSqlite = nullptr;  // SQLite holds no exact decimals: up to 15 digits are REAL
};

const std::string k38(38, '9'), k39 = "340282366920938463463374607431768211455";  // 2^128 - 1
const NumericCase kNumerics[] = {
    {"the structure's scale", false, 1, 2, "770", -1, 12, 2, "7.70", "7.7"},
    {"the descriptor's scale", false, 1, 0, "770", 1, 12, 2, "77.00", "77.0"},
    {"38 nines", false, 1, 0, k38.c_str(), -1, 38, 0, k38.c_str()},
    {"the largest magnitude, 39 digits", false, 1, 0, k39.c_str(), -1, 39, 0, k39.c_str()},
    {"negative", false, 0, 3, "12345", -1, 10, 3, "-12.345"},
    {"scale 0", false, 1, 0, "42", -1, 10, 0, "42"},
    {"scale beyond the digits", false, 1, 5, "12", -1, 10, 5, "0.00012"},
    {"a negative scale", false, 1, -2, "12", -1, 10, 0, "1200"},
    {"30 digits of text", true, 0, 0, "-0123456789012345678901234.5678900", -1, 40, 7,
     "-123456789012345678901234.5678900"},
    {"text padded to the decimal digits", true, 0, 0, "7.7", -1, 10, 2, "7.70", "7.7"},
};

TEST_P(Params, NumericValuesKeepTheirDigits) {
  for (const NumericCase& row : kNumerics) {
    if (!row.text && !lib().odbc3) continue;  // SQL_C_NUMERIC is ODBC 3's
    SCOPED_TRACE(row.what);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    ASSERT_EQ(ok, SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s));
    SQL_NUMERIC_STRUCT n = {row.size > 38 ? SQLCHAR{38} : static_cast<SQLCHAR>(row.size), row.scale, row.sign, {}};
    for (const char* d = row.digits; *d != 0 && !row.text; ++d)  // n.val = n.val * 10 + digit
      for (unsigned i = 0, carry = unsigned(*d - '0'); i < 16; ++i, carry >>= 8)
        n.val[i] = SQLCHAR(carry += n.val[i] * 10u);
    SQLLEN length = row.text ? SQL_NTS : sizeof n;
    SQLPOINTER value = row.text ? (SQLPOINTER)row.digits : &n;
    ASSERT_EQ(ok, SQLBindParameter(s, 1, SQL_PARAM_INPUT, row.text ? SQL_C_CHAR : SQL_C_NUMERIC,
                                   row.text ? SQL_DECIMAL : SQL_NUMERIC, row.size, row.decimalDigits, value, sizeof n,
                                   &length));
    if (row.apdScale >= 0) {
      SQLHDESC apd = SQL_NULL_HDESC;
      SQLGetStmtAttr(s, SQL_ATTR_APP_PARAM_DESC, &apd, SQL_IS_POINTER, nullptr);
      SQLSetDescField(apd, 1, SQL_DESC_PRECISION, reinterpret_cast<SQLPOINTER>(12), 0);
      SQLSetDescField(apd, 1, SQL_DESC_SCALE, reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(row.apdScale)), 0);
      SQLSetDescField(apd, 1, SQL_DESC_DATA_PTR, &n, 0);
    }
    EXPECT_EQ(OnPostgres() || !row.onSqlite ? row.rows : row.onSqlite, Outcome(Exec("SELECT CAST(? AS VARCHAR(60))")));
  }
}

VEL_CONFORMANCE_SUITE(Params);

}  // namespace
