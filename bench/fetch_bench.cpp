// Benchmark (printed figures, no assertions): fetches rows of (INTEGER,
// VARCHAR(20), FLOAT, TIMESTAMP) through unixODBC from a velora-server of
// its own, once into bound columns and once with SQLGetData, and prints the
// rows per second, one row per request, in blocks and in streamed blocks
// side by side, beside
// the rate of a bare request/reply ping-pong of the same frame sizes over
// the same loopback; then the rate of 1, 2 and 4 connections fetching at
// once, each in a client process of its own, all of them together (the
// server's total).
//
//   fetch_bench [--rows N] [--server PATH] [--driver PATH] [--storage URI]
// (with a PostgreSQL URI: the same over SQLite and then over PostgreSQL)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

// The table: id, a 10-character name, a float and a timestamp per row.
void CreateDatabase(const std::string& path, long rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Fail("cannot create " + path);
  std::string sql =
      "CREATE TABLE bench (id INTEGER, name VARCHAR(20), amount FLOAT, at TIMESTAMP);"
      "INSERT INTO bench WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
      "WHERE i < " +
      std::to_string(rows) +
      ") "
      "SELECT i, printf('row-%06d', i), i * 1.25, "
      "datetime('2024-01-01 00:00:00', '+' || i || ' seconds') FROM n;";
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    Fail(std::string("creating the table: ") + (error ? error : "?"));
  }
  sqlite3_close(db);
}

const SQLCHAR kSelect[] = "SELECT id, name, amount, at FROM bench ORDER BY id";

// One pass over the table; returns rows per second.
double FetchRows(SQLHDBC dbc, bool bound, long* count) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ODBC_OK(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc);
  SQLINTEGER id = 0;
  char name[24];
  double amount = 0;
  SQL_TIMESTAMP_STRUCT at;
  SQLLEN lengths[4];
  if (bound) {
    ODBC_OK(SQLBindCol(stmt, 1, SQL_C_SLONG, &id, 0, &lengths[0]), SQL_HANDLE_STMT, stmt);
    ODBC_OK(SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &lengths[1]), SQL_HANDLE_STMT, stmt);
    ODBC_OK(SQLBindCol(stmt, 3, SQL_C_DOUBLE, &amount, 0, &lengths[2]), SQL_HANDLE_STMT, stmt);
    ODBC_OK(SQLBindCol(stmt, 4, SQL_C_TYPE_TIMESTAMP, &at, 0, &lengths[3]), SQL_HANDLE_STMT, stmt);
  }
  Clock::time_point start = Clock::now();
  ODBC_OK(SQLExecDirect(stmt, const_cast<SQLCHAR*>(kSelect), SQL_NTS), SQL_HANDLE_STMT, stmt);
  long rows = 0;
  long long checksum = 0;
  for (;;) {
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) OdbcFail("SQLFetch", SQL_HANDLE_STMT, stmt);
    if (!bound) {
      ODBC_OK(SQLGetData(stmt, 1, SQL_C_SLONG, &id, 0, &lengths[0]), SQL_HANDLE_STMT, stmt);
      ODBC_OK(SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &lengths[1]), SQL_HANDLE_STMT,
              stmt);
      ODBC_OK(SQLGetData(stmt, 3, SQL_C_DOUBLE, &amount, 0, &lengths[2]), SQL_HANDLE_STMT, stmt);
      ODBC_OK(SQLGetData(stmt, 4, SQL_C_TYPE_TIMESTAMP, &at, 0, &lengths[3]), SQL_HANDLE_STMT,
              stmt);
    }
    checksum += id;
    ++rows;
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (checksum != static_cast<long long>(rows) * (rows + 1) / 2) Fail("rows came back wrong");
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  *count = rows;
  return rows / seconds;
}

// One pass over the table (bound columns) on each of n connections at
// once, each in a client process of its own (as separate applications
// would: no driver manager or driver state is shared); returns the rows
// per second of all of them together, from the moment all are connected
// to the last one's end.
double ParallelFetch(int n, int port) {
  int ready[2], go[2], done[2];
  if (pipe(ready) != 0 || pipe(go) != 0 || pipe(done) != 0) Fail("pipe");
  std::vector<pid_t> children;
  for (int i = 0; i < n; ++i) {
    const pid_t child = fork();
    if (child < 0) Fail("fork");
    if (child == 0) {
      g_server = -1;  // a failing child leaves the server and the folder to the parent
      g_dir.clear();
      Odbc odbc = Connect(port);
      char byte = 'r';
      if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1) _exit(1);
      long count = 0;
      FetchRows(odbc.dbc, true, &count);
      Disconnect(&odbc);
      _exit(write(done[1], &count, sizeof count) == sizeof count ? 0 : 1);
    }
    children.push_back(child);
  }
  close(ready[1]);
  close(done[1]);
  char byte = 0;
  for (int i = 0; i < n; ++i)
    if (read(ready[0], &byte, 1) != 1) Fail("a client process did not connect");
  Clock::time_point start = Clock::now();
  std::string gos(static_cast<size_t>(n), 'g');
  if (write(go[1], gos.data(), gos.size()) != static_cast<ssize_t>(gos.size())) Fail("pipe");
  long total = 0;
  for (int i = 0; i < n; ++i) {
    long count = 0;
    if (read(done[0], &count, sizeof count) != sizeof count) Fail("a client process failed");
    total += count;
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (pid_t child : children) waitpid(child, nullptr, 0);
  for (int fd : {ready[0], go[0], go[1], done[0]}) close(fd);
  return total / seconds;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, char* data, size_t size) {
  while (size > 0) {
    ssize_t n = recv(fd, data, size, 0);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// A bare ping-pong over loopback: request frames of requestSize bytes,
// answered by reply frames of replySize bytes, one write each; returns
// round trips per second.
double PingPong(size_t requestSize, size_t replySize, long rounds) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    Fail("ping-pong listener");
  }
  std::thread peer([&] {
    int fd = accept(listener, nullptr, nullptr);
    std::string request(requestSize, '\0'), reply(replySize, 'r');
    while (ReadAll(fd, &request[0], requestSize) && WriteAll(fd, reply.data(), replySize)) {
    }
    close(fd);
  });
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    Fail("ping-pong connect");
  std::string request(requestSize, 'q'), reply(replySize, '\0');
  Clock::time_point start = Clock::now();
  for (long i = 0; i < rounds; ++i) {
    if (!WriteAll(fd, request.data(), requestSize) || !ReadAll(fd, &reply[0], replySize)) {
      Fail("ping-pong exchange");
    }
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  close(fd);
  peer.join();
  close(listener);
  return rounds / seconds;
}

// Creates the table over PostgreSQL through a connection of the server.
void CreatePostgresTable(long rows) {
  Odbc odbc = Connect();
  ExecSql(odbc.dbc, "DROP TABLE IF EXISTS bench");
  ExecSql(odbc.dbc,
          "CREATE TABLE bench AS SELECT CAST(i AS INTEGER) AS id, CAST('row-' || lpad(CAST(i AS "
          "TEXT), 6, "
          "'0') AS VARCHAR(20)) AS name, CAST(i * 1.25 AS FLOAT) AS amount, TIMESTAMP '2024-01-01' "
          "+ i * "
          "INTERVAL '1 second' AS at FROM generate_series(1, " +
              std::to_string(rows) + ") i");
  Disconnect(&odbc);
}

// The fetch figures over one storage.
void Measure(const std::string& server, const std::string& driver, const std::string& db, long rows,
             double pingRate) {
  const std::string dir = g_dir;
  // The three fetch modes of the driver: a server that does not offer
  // blocks gets one fetch request per row; one that offers blocks but not
  // the stream gets one block request after the other; one that offers
  // both has the next block asked for while the rows of one are taken.
  const char* const kModes[] = {"--no-block-fetch", "--no-stream", ""};
  const int kConnections[] = {1, 2, 4};
  double boundRate[3], getDataRate[3], together[3][3];
  long fetched = 0;
  int port = 0;
  for (int mode = 0; mode < 3; ++mode) {
    port = StartServer(server, dir, db, kModes[mode]);
    WriteIni(dir, driver, port);
    if (mode == 0 && IsPostgres(db)) CreatePostgresTable(rows);
    Odbc odbc = Connect(port);
    boundRate[mode] = FetchRows(odbc.dbc, true, &fetched);
    getDataRate[mode] = FetchRows(odbc.dbc, false, &fetched);
    Disconnect(&odbc);
    for (int k = 0; k < 3; ++k) together[k][mode] = ParallelFetch(kConnections[k], port);
    StopServer();
  }
  std::printf("velora-server on 127.0.0.1:%d over %s, %ld rows per pass, rows/s:\n", port,
              IsPostgres(db) ? "PostgreSQL" : "SQLite", fetched);
  std::printf(
      "                                     one row per request  blocks of rows  streamed "
      "blocks\n");
  std::printf("  bound columns (SQLBindCol, SQLFetch):  %12.0f  %14.0f  %15.0f\n", boundRate[0],
              boundRate[1], boundRate[2]);
  std::printf("  SQLGetData (SQLFetch, 4 x SQLGetData): %12.0f  %14.0f  %15.0f\n", getDataRate[0],
              getDataRate[1], getDataRate[2]);
  std::printf("  one row per request: %.1f%% of the loopback round-trip rate (bound)\n",
              100.0 * boundRate[0] / pingRate);
  std::printf(
      "connections fetching at once, a client process each (bound), server's total rows/s:\n");
  for (int k = 0; k < 3; ++k) {
    std::printf("  %d connection%s", kConnections[k], k == 0 ? ": " : "s:");
    for (int mode = 0; mode < 3; ++mode)
      std::printf(" %11.0f (%4.2f x one)", together[k][mode],
                  together[k][mode] / together[0][mode]);
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  g_program = "fetch_bench";
  long rows = 100000;
  std::string server = VEL_BENCH_SERVER, driver = VEL_BENCH_DRIVER, storage;
  ParseOptions(argc, argv, &rows, &server, &driver, &storage);

  MakeWorkDir();
  std::string db = g_dir + "/bench.db";
  std::printf("fetch_bench: creating %ld rows of (INTEGER, VARCHAR(20), FLOAT, TIMESTAMP)\n", rows);
  CreateDatabase(db, rows);
  // The frames of one fetch: a 6-byte header, the statement id (4) and a
  // vector of four column numbers (2 + 8); a 4-byte header, the return code
  // (2), the row count (2) and four values of 7 bytes each plus their data:
  // 4 (INTEGER), 11 ("row-000001" and its NUL), 8 (FLOAT), 16 (TIMESTAMP).
  const size_t requestSize = 6 + 4 + 2 + 2 * 4;
  const size_t replySize = 4 + 2 + 2 + 4 * 7 + 4 + 11 + 8 + 16;
  double pingRate = PingPong(requestSize, replySize, rows);

  std::printf("  bare ping-pong (%zu-byte request, %zu-byte reply): %10.0f round trips/s\n",
              requestSize, replySize, pingRate);
  // SQLite, then the PostgreSQL database --storage names (its table
  // "bench" made again).
  Measure(server, driver, db, rows, pingRate);
  if (!storage.empty()) Measure(server, driver, storage, rows, pingRate);
  RemoveDir();
  return 0;
}
