// Allocation-failure sweep over a whole session against a real server:
// connect, allocate, execute, prepare, describe, free, disconnect, with the
// 1st, 2nd, ... allocation failing. Every call either succeeds or fails with
// SQL_ERROR and a memory diagnostic (when one can still be queued); nothing
// crashes or leaks (AddressSanitizer checks the leaks).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <string>

#include "base/Alloc.h"
#include "support/capture.h"
#include "support/velora_server.h"

namespace {

bool MemoryRecordsOnly(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, std::string* seen) {
  for (int i = 0; i < 10; ++i) {
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR message[512];
    if (SQLError(env, dbc, stmt, state, &native, message, sizeof message, nullptr) != SQL_SUCCESS) {
      return true;
    }
    *seen += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message) + "\n";
    if (native != 3008) return false;
  }
  return true;
}

// Runs the session; returns false (with why) when a call did something
// other than succeed or fail cleanly. *completed tells whether every call
// succeeded.
bool Session(const std::string& port, bool* completed, std::string* why) {
  *completed = false;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  bool ok = true;
  auto step = [&](SQLRETURN rc, const char* name) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return true;
    ResetAllocFailure();
    std::string seen;
    if (rc != SQL_ERROR || !MemoryRecordsOnly(env, dbc, stmt, &seen)) {
      ok = false;
      *why = std::string(name) + " rc " + std::to_string(rc) + ": " + seen;
    }
    return false;
  };
  // Parameters: one converted at execution, one given in a piece.
  auto Need = [](SQLRETURN rc) { return rc == SQL_NEED_DATA ? SQL_SUCCESS : rc; };
  SQLINTEGER a = 0x4241;
  SQLLEN atExec = SQL_DATA_AT_EXEC;
  SQLPOINTER token = nullptr;
  const std::string in = "DSN=Sweep;Server=127.0.0.1;Service=" + port;
  if (step(SQLAllocEnv(&env), "SQLAllocEnv") && step(SQLAllocConnect(env, &dbc), "SQLAllocConnect") &&
      step(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                            SQL_DRIVER_NOPROMPT),
           "SQLDriverConnect") &&
      step(SQLAllocStmt(dbc, &stmt), "SQLAllocStmt") &&
      step(SQLExecDirect(stmt, (SQLCHAR*)"CREATE TABLE IF NOT EXISTS sweep (a INTEGER, b VARCHAR(9))",
                         SQL_NTS),
           "SQLExecDirect") &&
      step(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, nullptr), "SQLBindParameter") &&
      step(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 9, 0, &a, 0, &atExec), "SQLBindParameter") &&
      step(Need(SQLExecDirect(stmt, (SQLCHAR*)"INSERT INTO sweep VALUES (?, ?)", SQL_NTS)), "SQLExecDirect ?") &&
      step(Need(SQLParamData(stmt, &token)), "SQLParamData") && step(SQLPutData(stmt, &a, 2), "SQLPutData") &&
      step(SQLParamData(stmt, &token), "SQLParamData") && step(SQLFreeStmt(stmt, SQL_RESET_PARAMS), "SQLFreeStmt") &&
      step(SQLPrepare(stmt, (SQLCHAR*)"SELECT a, b FROM sweep", SQL_NTS), "SQLPrepare") &&
      step(SQLColAttributes(stmt, 2, SQL_COLUMN_TYPE_NAME, nullptr, 0, nullptr, nullptr),
           "SQLColAttributes") &&
      step(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 4), "SQLSetStmtOption") &&
      step(SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, 1), "SQLSetConnectOption") &&
      step(SQLTransact(env, dbc, SQL_COMMIT), "SQLTransact") &&
      step(SQLFreeStmt(stmt, SQL_DROP), "SQLFreeStmt") && step(SQLDisconnect(dbc), "SQLDisconnect")) {
    *completed = true;
  }
  ResetAllocFailure();
  if (dbc) SQLFreeConnect(dbc);
  if (env) SQLFreeEnv(env);
  return ok;
}

TEST(AllocationSweep, EveryFailureIsReportedAndNothingLeaks) {
  setenv("VELODBC_DIALOG", "none", 1);
  const std::string folder = "/tmp/velora-sweep-" + std::to_string(getpid());
  mkdir(folder.c_str(), 0700);
  setenv("ODBCSYSINI", folder.c_str(), 1);
  setenv("ODBCINI", (folder + "/odbc.ini").c_str(), 1);
  VeloraServer server;
  ASSERT_TRUE(server.Start()) << server.Error();
  BoxCapture boxes;  // failed exchanges show their boxes
  bool completed = false;
  std::string why;
  int n = 0;
  for (; n < 3000 && !completed; ++n) {
    SetAllocFailAfter(n);
    ASSERT_TRUE(Session(server.PortText(), &completed, &why)) << "failing allocation " << n << ": " << why;
  }
  EXPECT_TRUE(completed) << "the session never ran without failures";
  EXPECT_GT(n, 10);
  std::string remove = "rm -rf '" + folder + "'";
  EXPECT_EQ(std::system(remove.c_str()), 0);
}

}  // namespace
