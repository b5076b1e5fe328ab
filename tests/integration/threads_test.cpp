// Concurrent callers through the unixODBC driver manager, which the build's
// registration (Threading = 0) lets call the driver from every thread at
// once: threads with connections of their own, threads sharing one
// connection, and SQLCancel from another thread during a fetch loop.
#include <dlfcn.h>

#include <atomic>
#include <thread>

#include "integration.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 15;
constexpr int kRows = 40;

// Runs body(0) ... body(n - 1) on n threads at once and waits for them.
template <typename Body>
void OnThreads(int n, Body body) {
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) threads.emplace_back(body, i);
  for (std::thread& t : threads) t.join();
}

// Executes s (prepared) and fetches its integer first column: the values
// joined with ",", then "|" and the final return code with its records.
std::string Fetch(SQLHSTMT s, SQLRETURN rc) {
  SQLINTEGER value = 0;
  SQLLEN length = 0;
  SQLBindCol(s, 1, SQL_C_LONG, &value, 0, &length);
  std::string out;
  while (rc == SQL_SUCCESS && (rc = SQLFetch(s)) == SQL_SUCCESS) out += std::to_string(value) + ",";
  out += "|" + std::to_string(rc) + (rc == SQL_NO_DATA ? "" : " " + Diag(SQL_HANDLE_STMT, s));
  SQLFreeStmt(s, SQL_CLOSE);
  return out;
}

std::string Numbers(int from, int count, int step = 1) {
  std::string out;
  for (int k = 0; k < count; ++k) out += std::to_string(from + k * step) + ",";
  return out;
}

SQLHSTMT Prepared(OdbcConnection& c, const std::string& sql) {
  SQLHSTMT s = c.Statement();
  EXPECT_EQ(SQL_SUCCESS, SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag(SQL_HANDLE_STMT, s);
  return s;
}

// Each thread inserts into a table of its own session through a prepared
// statement with a bound parameter, reads everything back, and gets the
// records of its own failure (naming its own table), never another's.
TEST(Threads, ConnectionsOfTheirOwnWorkInParallel) {
  OnThreads(kThreads, [](int i) {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOpen"))) << c.Diag();
    const std::string table = "own" + std::to_string(i);
    ASSERT_EQ(SQL_SUCCESS, c.Execute("CREATE TEMP TABLE " + table + " (n INTEGER)")) << c.Diag();
    SQLHSTMT insert = Prepared(c, "INSERT INTO " + table + " VALUES (?)");
    SQLHSTMT select = Prepared(c, "SELECT n FROM " + table + " ORDER BY n");
    SQLHSTMT wrong = c.Statement();
    SQLINTEGER n = 0;
    SQLBindParameter(insert, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &n, 0, nullptr);
    for (int round = 0; round < kRounds; ++round) {
      n = i * 1000 + round;
      ASSERT_EQ(SQL_SUCCESS, SQLExecute(insert)) << Diag(SQL_HANDLE_STMT, insert);
      EXPECT_EQ(Numbers(i * 1000, round + 1) + "|100", Fetch(select, SQLExecute(select)));
      const std::string missing = "missing_" + table;
      EXPECT_EQ(SQL_ERROR, SQLExecDirect(wrong, (SQLCHAR*)("SELECT * FROM " + missing).c_str(), SQL_NTS));
      const std::string records = Diag(SQL_HANDLE_STMT, wrong);
      EXPECT_TRUE(records.rfind("42S02 ", 0) == 0 && records.find(missing) != std::string::npos) << records;
    }
  });
}

// Threads with statements of their own on one connection take turns on
// its socket; every result is whole and right.
TEST_F(Open, ThreadsShareOneConnection) {
  ASSERT_EQ(SQL_SUCCESS, c.Execute("CREATE TEMP TABLE shared (n INTEGER)"));
  for (int k = 0; k < kRows; ++k)
    ASSERT_EQ(SQL_SUCCESS, c.Execute("INSERT INTO shared VALUES (" + std::to_string(k) + ")"));
  OnThreads(4, [this](int i) {
    SQLHSTMT s = Prepared(c, "SELECT n FROM shared WHERE n % 4 = " + std::to_string(i) + " ORDER BY n");
    for (int round = 0; round < kRounds; ++round) EXPECT_EQ(Numbers(i, kRows / 4, 4) + "|100", Fetch(s, SQLExecute(s)));
    SQLFreeHandle(SQL_HANDLE_STMT, s);
  });
}

// SQLCancel from another thread stops a call waiting for its reply, or
// waits for the call in progress and then closes the cursor: a fetch loop
// either completes or stops with the server's or the driver's error, the rows it got are right, and the connection
// works on afterwards. The canceller calls the driver's own SQLCancel on the driver's handle: unixODBC's SQLCancel
// clears the statement's records without its locks while the failing fetch fills them, which corrupts the driver
// manager's heap now and then.
TEST_F(Open, CancelFromAnotherThreadStopsAFetchLoopCleanly) {
  ASSERT_EQ(SQL_SUCCESS, c.Execute("CREATE TEMP TABLE cancelled (n INTEGER)"));
  for (int k = 0; k < kRows; ++k)
    ASSERT_EQ(SQL_SUCCESS, c.Execute("INSERT INTO cancelled VALUES (" + std::to_string(k) + ")"));
  SQLHSTMT s = Prepared(c, "SELECT n FROM cancelled ORDER BY n");
  void* driver = dlopen("libveldrv32.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(driver, nullptr) << dlerror();
  const auto cancel = reinterpret_cast<SQLRETURN (*)(SQLHSTMT)>(dlsym(driver, "SQLCancel"));
  SQLHSTMT own = s;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_DRIVER_HSTMT, &own, sizeof own, nullptr));
  ASSERT_TRUE(cancel && own != s);
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    for (int k = 0; k < 100000 && !done; ++k) {
      EXPECT_EQ(SQL_SUCCESS, cancel(own));
      std::this_thread::yield();
    }
  });
  for (int round = 0; round < kRounds; ++round) {
    const std::string got = Fetch(s, SQLExecute(s));
    const size_t end = got.find('|');
    EXPECT_EQ(Numbers(0, kRows).substr(0, end), got.substr(0, end)) << got;
    // A cancel landing between the failed fetch and the reading of its
    // records clears them, as every call on the statement does: "|-1 ".
    EXPECT_TRUE(got.compare(end, std::string::npos, "|100") == 0 || got.compare(end, 10, "|-1 24000 ") == 0 ||
                got.compare(end, 10, "|-1 HY008 ") == 0 || got.compare(end, std::string::npos, "|-1 ") == 0)
        << got;
  }
  done = true;
  canceller.join();
  dlclose(driver);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
  SQLHSTMT after = Prepared(c, "SELECT n FROM cancelled ORDER BY n");
  EXPECT_EQ(Numbers(0, kRows) + "|100", Fetch(after, SQLExecute(after)));
}

}  // namespace
