// Query timeouts the server enforces and SQLCancel from another thread: a
// query that would run for minutes and a writer waiting for another
// session's write (SQLite's writer queue, PostgreSQL's row lock) are each
// stopped by either, and the connection and its transaction go on.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "integration.h"

namespace {

const char kEndless[] = "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT count(*) FROM r";
const char kContended[] = "UPDATE contended SET v = 2 WHERE n = 1";
// Its first row comes at once, the second never: a fetch runs endlessly.
const char kEndlessFetch[] =
    "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT n FROM r WHERE n = 1 OR n < 0";

// Runs sql on s on a thread of its own; with cancel, the driver's own
// SQLCancel (unixODBC's touches the records without locks, see
// threads_test.cpp) goes to it every 20 ms until it returns. A query
// timeout of 20 s bounds what a cancel fails to stop. Returns the return
// code and the first record's state and text.
std::string RunStopped(OdbcConnection& c, SQLHSTMT s, const char* sql, bool cancel) {
  void* driver = dlopen("libveldrv32.so", RTLD_NOW | RTLD_NOLOAD);
  const auto fn = reinterpret_cast<SQLRETURN (*)(SQLHSTMT)>(driver ? dlsym(driver, "SQLCancel") : nullptr);
  SQLHSTMT own = s;
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_DRIVER_HSTMT, &own, sizeof own, nullptr));
  EXPECT_TRUE(fn != nullptr);
  SQLSetStmtAttr(s, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)(SQLULEN)(cancel ? 20 : 1), 0);
  std::atomic<bool> done{false};
  SQLRETURN rc = SQL_SUCCESS;
  std::thread runner([&] {
    rc = SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS);
    while (rc == SQL_SUCCESS && !cancel) rc = SQLFetch(s);  // timed out in a fetch
    done = true;
  });
  for (int k = 0; cancel && fn && !done && k < 1500; ++k) {
    EXPECT_EQ(SQL_SUCCESS, fn(own));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  runner.join();
  if (driver) dlclose(driver);
  const std::string diag = Diag(SQL_HANDLE_STMT, s);
  SQLFreeStmt(s, SQL_CLOSE);
  return std::to_string(rc) + " " + diag.substr(0, diag.find('\n'));
}

TEST_F(Open, TimeoutAndCancelStopTheServersWorkAndTheSessionGoesOn) {
  OdbcConnection writer;
  ASSERT_TRUE(SQL_SUCCEEDED(writer.DriverConnect("DSN=VelOpen"))) << writer.Diag();
  ASSERT_EQ(SQL_SUCCESS, c.Execute("DROP TABLE IF EXISTS contended"));
  ASSERT_EQ(SQL_SUCCESS, c.Execute("CREATE TABLE contended (n INTEGER PRIMARY KEY, v INTEGER)"));
  ASSERT_EQ(SQL_SUCCESS, c.Execute("INSERT INTO contended VALUES (1, 0)"));
  ASSERT_EQ(SQL_SUCCESS, c.Execute("CREATE TEMP TABLE kept (n INTEGER)"));
  SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
  SQLSetConnectAttr(writer.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
  // clang-format off
  const struct { const char* sql; bool cancel; const char* expected; } cases[] = {
      {kEndless, false, "-1 HYT00 [QTX][Velora ODBC Server]timeout expired"},
      {kEndlessFetch, false, "-1 HYT00 [QTX][Velora ODBC Server]timeout expired"},
      {kEndless, true, "-1 HY008 [QTX][Velora ODBC Server]operation canceled"},
      {kContended, false, "-1 HYT00 [QTX][Velora ODBC Server]timeout expired"},
      {kContended, true, "-1 HY008 [QTX][Velora ODBC Server]operation canceled"},
  };
  // clang-format on
  int round = 0;
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.sql) + (k.cancel ? " cancelled" : " timed out"));
    // The long query follows a row written in the same transaction; the
    // contended writer waits for the other connection, which holds the row
    // (and SQLite's write turn) until it rolls back.
    if (k.sql != kContended)
      ASSERT_EQ(SQL_SUCCESS, c.Execute("INSERT INTO kept VALUES (" + std::to_string(++round) + ")"));
    else
      ASSERT_EQ(SQL_SUCCESS, writer.Execute("UPDATE contended SET v = 1 WHERE n = 1")) << writer.Diag();
    SQLHSTMT s = c.Statement();
    EXPECT_EQ(k.expected, RunStopped(c, s, k.sql, k.cancel));
    EXPECT_EQ("1/" + std::to_string(round),
              Rows(s, SQLExecDirect(s, (SQLCHAR*)"SELECT min(n), count(*) FROM kept", SQL_NTS), {1, 2}));
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, writer.dbc, SQL_ROLLBACK));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT)) << c.Diag();
  }
  EXPECT_TRUE(g_a.WaitForLog("stopped, not finished: operation canceled")) << g_a.Log();
}

}  // namespace
