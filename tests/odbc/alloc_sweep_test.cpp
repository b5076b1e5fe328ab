// Allocation-failure sweep over a whole session against a real server:
// connect, allocate, execute, parameters, prepare, describe, fetch (bound,
// in pieces, a value read on the previous row), options, commit, free,
// disconnect, with the 1st, 2nd, ... allocation failing, in plaintext and
// over TLS. Every call either
// succeeds or fails with SQL_ERROR and only memory diagnostics (native
// 3008); nothing crashes or leaks (AddressSanitizer checks the leaks).
#include "base/Alloc.h"
#include "odbc/session.h"
#include "support/velora_server.h"

namespace {

// Runs the session; returns what went wrong ("" when every call succeeded
// or failed cleanly); *completed tells whether every call succeeded.
std::string Session(const std::string& in, bool once, bool* completed) {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  std::string why;
  auto step = [&](SQLRETURN rc, const char* name) {
    if (SQL_SUCCEEDED(rc)) return true;
    ResetAllocFailure();
    SQLCHAR state[6] = {0}, message[512] = {0};
    SQLINTEGER native = 0;
    bool clean = rc == SQL_ERROR;
    int records = 0;
    // The records of the statement, the connection and the environment.
    const SQLHANDLE handles[3][3] = {{nullptr, nullptr, stmt}, {nullptr, dbc, nullptr}, {env, nullptr, nullptr}};
    for (const auto& h : handles) {
      for (; clean && SQLError(h[0], h[1], h[2], state, &native, message, sizeof message, nullptr) == SQL_SUCCESS;
           ++records) {
        clean = native == 3008;
      }
    }
    if (!clean || (once && env && records == 0)) {  // no environment: nowhere to queue
      why = std::string(name) + " rc " + std::to_string(rc) + ": " + (char*)state + " " + (char*)message;
    }
    return false;
  };
  // Parameters: one converted at execution, one given in a piece.
  auto Need = [](SQLRETURN rc) { return rc == SQL_NEED_DATA ? SQL_SUCCESS : rc; };
  SQLINTEGER a = 0x4241;
  SQLLEN atExec = SQL_DATA_AT_EXEC;
  SQLPOINTER token = nullptr;
  char piece[2];
#define STEP(call) step(call, #call)
  *completed = STEP(SQLAllocEnv(&env)) && STEP(SQLAllocConnect(env, &dbc)) &&
               STEP(SQLDriverConnect(dbc, nullptr, M(in.c_str()), SQL_NTS, nullptr, 0, nullptr, 0)) &&
               STEP(SQLAllocStmt(dbc, &stmt)) &&
               STEP(SQLExecDirect(stmt, M("CREATE TABLE IF NOT EXISTS sweep (a INTEGER, b VARCHAR(9))"), SQL_NTS)) &&
               STEP(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, nullptr)) &&
               STEP(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 9, 0, &a, 0, &atExec)) &&
               STEP(Need(SQLExecDirect(stmt, M("INSERT INTO sweep VALUES (?, ?)"), SQL_NTS))) &&
               STEP(Need(SQLParamData(stmt, &token))) && STEP(SQLPutData(stmt, &a, 2)) &&
               STEP(SQLParamData(stmt, &token)) && STEP(SQLFreeStmt(stmt, SQL_RESET_PARAMS)) &&
               STEP(SQLPrepare(stmt, M("SELECT a, b FROM sweep"), SQL_NTS)) &&
               STEP(SQLColAttributes(stmt, 2, SQL_COLUMN_TYPE_NAME, nullptr, 0, nullptr, nullptr)) &&
               STEP(SQLBindCol(stmt, 1, SQL_C_SLONG, &a, 0, nullptr)) && STEP(SQLExecute(stmt)) &&
               STEP(SQLFetch(stmt)) && STEP(SQLGetData(stmt, 2, SQL_C_CHAR, piece, 2, nullptr)) &&  // in pieces
               STEP(SQLGetData(stmt, 2, SQL_C_CHAR, piece, 2, nullptr)) && STEP(SQLFetch(stmt)) &&
               STEP(SQLFreeStmt(stmt, SQL_CLOSE)) && STEP(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 4)) &&
               STEP(SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, 1)) && STEP(SQLTransact(env, dbc, SQL_COMMIT)) &&
               STEP(SQLFreeStmt(stmt, SQL_DROP)) && !(stmt = nullptr) && STEP(SQLDisconnect(dbc));
#undef STEP
  ResetAllocFailure();
  if (dbc) SQLFreeConnect(dbc);
  if (env) SQLFreeEnv(env);
  return why;
}

using AllocationSweep = SessionTest;  // an empty odbc.ini: no data-source keys

TEST_F(AllocationSweep, EveryFailureIsReportedAndNothingLeaks) {
  VeloraServer velora;
  const std::string stem = velora.Folder() + "/cert";
  ASSERT_TRUE(MakeTestCertificate(stem, "localhost"));
  ASSERT_TRUE(velora.Start({"--tls-cert", stem + ".pem", "--tls-key", stem + ".key"})) << velora.Error();
  // Every allocation from the n-th on failing, or only the n-th (when the
  // failed call can still queue its memory diagnostic).
  for (int round = 0; round < 4; ++round) {
    const bool once = round & 1;
    const std::string in =
        "DSN=Sweep;Server=127.0.0.1;Service=" + velora.PortText() + (round & 2 ? ";TLS=require" : "");
    bool completed = false;
    int n = 0;
    for (; n < 3000 && !completed; ++n) {
      const unsigned long before = AllocCount();
      once ? SetAllocFailOnce(n) : SetAllocFailAfter(n);
      ASSERT_EQ(Session(in, once, &completed), "") << "allocation " << n << " " << in;
      // A single failure may be absorbed: done once allocation n is never reached.
      if (once) completed = completed && AllocCount() - before <= static_cast<unsigned long>(n);
    }
    EXPECT_TRUE(completed) << "the session never ran without failures";
    EXPECT_GT(n, 10);
  }
}

}  // namespace
