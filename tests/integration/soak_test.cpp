// Restarts under load: sixteen clients run short transactions (a row of
// their own, committed, or rolled back every third time) while a server
// is killed (SIGKILL) and started again twenty times, alone or beside a
// second server on the same database that the clients' server list also
// names. Afterwards every committed row is there, no rolled-back row is,
// and every other row belongs to a commit whose answer the kill cut off.
// The figures go to the test's output.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "integration.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 16, kRestarts = 20;

struct Outcomes {
  std::mutex lock;
  std::set<std::pair<int, int>> committed, rolledBack, unknown;
  int failures = 0;
  Clock::time_point lastCommit;
};

class Soak : public ::testing::TestWithParam<bool> {
 protected:
  std::string Servers() {
    std::lock_guard<std::mutex> hold(lock);
    return "DRIVER={Velora};Server=127.0.0.1:" + first.PortText() +
           (GetParam() ? ",127.0.0.1:" + second.PortText() + ";LoadBalance=yes" : "");
  }
  // One client's work until stop: its rows are (client, serial).
  void Client(int client) {
    for (int serial = 0; !stop;) {
      OdbcConnection c;
      SQLSetConnectAttr(c.dbc, SQL_ATTR_LOGIN_TIMEOUT, (SQLPOINTER)2, 0);
      if (!SQL_SUCCEEDED(c.DriverConnect(Servers()))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
      SQLHSTMT s = c.Statement();
      for (bool alive = true; alive && !stop; ++serial) {
        const std::string sql =
            "INSERT INTO soak VALUES (" + std::to_string(client) + ", " + std::to_string(serial) + ")";
        const bool commit = serial % 3 != 0;
        alive = SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS));
        const SQLRETURN ended =
            alive ? SQLEndTran(SQL_HANDLE_DBC, c.dbc, commit ? SQL_COMMIT : SQL_ROLLBACK) : SQL_ERROR;
        std::lock_guard<std::mutex> hold(outcomes.lock);
        if (SQL_SUCCEEDED(ended)) {
          (commit ? outcomes.committed : outcomes.rolledBack).insert({client, serial});
          if (commit) outcomes.lastCommit = Clock::now();
          continue;
        }
        const std::string state = Diag(SQL_HANDLE_DBC, c.dbc) + Diag(SQL_HANDLE_STMT, s);
        EXPECT_EQ(state.substr(0, 2), "08") << state;  // the connection broke, nothing else
        ++outcomes.failures;
        if (alive && commit) outcomes.unknown.insert({client, serial});  // the commit's answer was cut off
        alive = false;
      }
    }
  }
  std::mutex lock;
  VeloraServer first, second;
  std::atomic<bool> stop{false};
  Outcomes outcomes;
};

TEST_P(Soak, KilledServersLoseNoCommittedRowAndShowNoOther) {
  ASSERT_TRUE(first.Start()) << first.Error();
  second.UseLocation(first.Location());
  ASSERT_TRUE(!GetParam() || second.Start()) << second.Error();
  {
    OdbcConnection setup;
    ASSERT_TRUE(SQL_SUCCEEDED(setup.DriverConnect(Servers()))) << setup.Diag();
    ASSERT_EQ(SQL_SUCCESS, setup.Execute("CREATE TABLE soak (client INTEGER, serial INTEGER)"));
  }
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) clients.emplace_back([this, i] { Client(i); });
  double worst = 0, total = 0;
  for (int round = 0; round < kRestarts; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    first.Stop(SIGKILL);
    const Clock::time_point killed = Clock::now();
    {
      std::lock_guard<std::mutex> hold(lock);
      ASSERT_TRUE(first.Start()) << first.Error();
    }
    // Recovered: a commit after the kill (bounded: ten seconds).
    for (int wait = 0; wait < 500; ++wait) {
      {
        std::lock_guard<std::mutex> hold(outcomes.lock);
        if (outcomes.lastCommit > killed) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::unique_lock<std::mutex> hold(outcomes.lock);
    const double seconds = std::chrono::duration<double>(outcomes.lastCommit - killed).count();
    hold.unlock();
    EXPECT_GT(seconds, 0) << "no commit within ten seconds of restart " << round;
    worst = std::max(worst, seconds), total += seconds;
  }
  stop = true;
  for (auto& t : clients) t.join();
  OdbcConnection check;
  ASSERT_TRUE(SQL_SUCCEEDED(check.DriverConnect(Servers()))) << check.Diag();
  SQLHSTMT s = check.Statement();
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, (SQLCHAR*)"SELECT client, serial FROM soak", SQL_NTS));
  std::set<std::pair<int, int>> rows;
  for (SQLINTEGER client = 0, serial = 0; SQLFetch(s) == SQL_SUCCESS; rows.insert({client, serial})) {
    SQLGetData(s, 1, SQL_C_SLONG, &client, 0, nullptr);
    SQLGetData(s, 2, SQL_C_SLONG, &serial, 0, nullptr);
  }
  for (const auto& row : outcomes.committed)
    EXPECT_EQ(rows.count(row), 1u) << "lost " << row.first << "/" << row.second;
  for (const auto& row : rows)
    EXPECT_TRUE(outcomes.committed.count(row) || outcomes.unknown.count(row))
        << "shown " << row.first << "/" << row.second;
  std::printf(
      "soak (%s, %s): %zu commits, %zu rollbacks, %zu commits cut off, %d broken connections; recovery %.3f s on "
      "average, %.3f s at worst\n",
      OnPostgres() ? "PostgreSQL" : "SQLite", GetParam() ? "two servers" : "one server", outcomes.committed.size(),
      outcomes.rolledBack.size(), outcomes.unknown.size(), outcomes.failures, total / kRestarts, worst);
}

INSTANTIATE_TEST_SUITE_P(Servers, Soak, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Two" : "One"; });

}  // namespace
