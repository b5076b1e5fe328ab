// Benchmark (printed figures; fails only on lost rows or timeouts): sixteen
// client processes (as sixteen applications would be), each with its own
// connection through unixODBC, run short write
// transactions against one velora-server database for a bounded time. One
// transaction in four reads before it writes and may meet a serialization
// failure (40001), which it rolls back and retries. Prints transactions per
// second, the latency spread and the failures; every committed row must be
// found afterwards and no statement may time out (HYT00).
//
//   load_bench [--rows TRANSACTIONS-PER-CLIENT] [--server PATH] [--driver PATH]
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

constexpr int kClients = 16;
constexpr int kSecondsAtMost = 60;

struct Totals {
  long committed = 0, retries = 0, timeouts = 0, errors = 0;
  std::vector<double> latencyMs;  // of each committed transaction
};

std::string State(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = "", text[256] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
  return reinterpret_cast<char*>(state);
}

// One transaction of client k with sequence number n: true once committed.
bool Transaction(SQLHDBC dbc, SQLHSTMT stmt, int k, long n, Totals* totals) {
  std::string insert =
      "INSERT INTO load VALUES (" + std::to_string(k) + ", " + std::to_string(n) + ")";
  std::string mine = "SELECT count(*) FROM load WHERE client = " + std::to_string(k);
  std::vector<std::string> steps = {insert, mine};
  if (n % 4 == 0) std::swap(steps[0], steps[1]);  // reads first
  for (const std::string& sql : steps) {
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (rc == SQL_SUCCESS) {
      SQLFreeStmt(stmt, SQL_CLOSE);
      continue;
    }
    std::string state = State(SQL_HANDLE_STMT, stmt);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
    if (state == "40001") {
      ++totals->retries;
    } else {
      ++(state == "HYT00" ? totals->timeouts : totals->errors);
      std::fprintf(stderr, "load_bench: client %d: %s: %s\n", k, sql.c_str(), state.c_str());
    }
    return false;
  }
  if (SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT) == SQL_SUCCESS) return true;
  ++totals->errors;
  std::fprintf(stderr, "load_bench: client %d: commit: %s\n", k,
               State(SQL_HANDLE_DBC, dbc).c_str());
  return false;
}

// Client k: transactions numbered 1.. until rows of them are committed or
// the time is up.
void Client(int k, long rows, Clock::time_point end, Totals* totals) {
  Odbc odbc = Connect();
  ODBC_OK(SQLSetConnectAttr(odbc.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
          SQL_HANDLE_DBC, odbc.dbc);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ODBC_OK(SQLAllocHandle(SQL_HANDLE_STMT, odbc.dbc, &stmt), SQL_HANDLE_DBC, odbc.dbc);
  while (totals->committed < rows && Clock::now() < end) {
    Clock::time_point start = Clock::now();
    if (!Transaction(odbc.dbc, stmt, k, totals->committed + 1, totals)) continue;
    ++totals->committed;
    totals->latencyMs.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  Disconnect(&odbc);
}

// Runs client k in a process of its own, which writes its totals to file.
pid_t StartClient(int k, long rows, Clock::time_point end, const std::string& file) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  g_server = -1;  // a failing client leaves the server and folder alone
  g_dir.clear();
  Totals t;
  Client(k, rows, end, &t);
  FILE* out = std::fopen(file.c_str(), "w");
  if (!out) _exit(1);
  std::fprintf(out, "%ld %ld %ld %ld\n", t.committed, t.retries, t.timeouts, t.errors);
  for (double ms : t.latencyMs) std::fprintf(out, "%f\n", ms);
  std::fclose(out);
  _exit(0);
}

// Adds the totals client file holds; false when it has none.
bool ReadClient(const std::string& file, Totals* all, long* committed) {
  FILE* in = std::fopen(file.c_str(), "r");
  long c = 0, r = 0, t = 0, e = 0;
  bool ok = in && std::fscanf(in, "%ld %ld %ld %ld", &c, &r, &t, &e) == 4;
  double ms = 0;
  while (ok && std::fscanf(in, "%lf", &ms) == 1) all->latencyMs.push_back(ms);
  if (in) std::fclose(in);
  all->committed += c, all->retries += r, all->timeouts += t, all->errors += e;
  *committed = c;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  g_program = "load_bench";
  long rows = 300;
  std::string server = VEL_BENCH_SERVER, driver = VEL_BENCH_DRIVER;
  ParseOptions(argc, argv, &rows, &server, &driver);
  MakeWorkDir();
  std::string db = g_dir + "/bench.db";
  sqlite3* setup = nullptr;
  if (sqlite3_open(db.c_str(), &setup) != SQLITE_OK ||
      sqlite3_exec(setup, "CREATE TABLE load (client INTEGER, n INTEGER)", nullptr, nullptr,
                   nullptr) != SQLITE_OK)
    Fail("cannot create " + db);
  sqlite3_close(setup);
  int port = StartServer(server, g_dir, db);
  WriteIni(g_dir, driver, port);

  Totals totals;
  long committed[kClients] = {}, missing = 0;
  Clock::time_point start = Clock::now(), end = start + std::chrono::seconds(kSecondsAtMost);
  pid_t clients[kClients];
  auto file = [](int k) { return g_dir + "/client." + std::to_string(k); };
  for (int k = 0; k < kClients; ++k) clients[k] = StartClient(k, rows, end, file(k));
  for (int k = 0; k < kClients; ++k) {
    int status = 0;
    if (clients[k] < 0 || waitpid(clients[k], &status, 0) != clients[k] || status != 0 ||
        !ReadClient(file(k), &totals, &committed[k]))
      ++missing;
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  // Every committed transaction left exactly its row: numbers 1..committed.
  Odbc odbc = Connect();
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ODBC_OK(SQLAllocHandle(SQL_HANDLE_STMT, odbc.dbc, &stmt), SQL_HANDLE_DBC, odbc.dbc);
  long lost = 0;
  for (int k = 0; k < kClients; ++k) {
    std::string sql =
        "SELECT count(*), count(DISTINCT n), max(n) FROM load WHERE client = " + std::to_string(k);
    ODBC_OK(SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, stmt);
    SQLINTEGER count = 0, distinct = 0, highest = 0;
    SQLLEN ind = 0;
    if (SQLFetch(stmt) != SQL_SUCCESS) Fail("no count");
    SQLGetData(stmt, 1, SQL_C_SLONG, &count, 0, nullptr);
    SQLGetData(stmt, 2, SQL_C_SLONG, &distinct, 0, nullptr);
    SQLGetData(stmt, 3, SQL_C_SLONG, &highest, 0, &ind);
    SQLFreeStmt(stmt, SQL_CLOSE);
    if (count != committed[k] || distinct != count || (count > 0 && highest != count)) ++lost;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  Disconnect(&odbc);

  long all = totals.committed;
  std::vector<double>& l = totals.latencyMs;
  std::sort(l.begin(), l.end());
  auto at = [&](double q) { return l.empty() ? 0.0 : l[static_cast<size_t>(q * (l.size() - 1))]; };
  long slow = std::count_if(l.begin(), l.end(), [](double ms) { return ms > 1000; });
  std::printf("velora-server on 127.0.0.1:%d, %d clients, up to %ld transactions each, %.1f s\n",
              port, kClients, rows, seconds);
  std::printf("  committed %ld (%.0f/s); retried after 40001: %ld; HYT00: %ld; other errors: %ld\n",
              all, all / seconds, totals.retries, totals.timeouts, totals.errors);
  std::printf("  latency ms: median %.1f, p99 %.1f, max %.1f; over 1 s: %ld\n", at(0.5), at(0.99),
              at(1.0), slow);
  std::printf("  clients whose rows do not match their commits: %ld; clients that failed: %ld\n",
              lost, missing);
  StopServer();
  RemoveDir();
  return lost == 0 && missing == 0 && totals.timeouts == 0 && totals.errors == 0 ? 0 : 1;
}
