// Benchmark (printed figures, no assertions): fetches rows of (INTEGER,
// VARCHAR(20), FLOAT, TIMESTAMP) through unixODBC from a velora-server of
// its own, once into bound columns and once with SQLGetData, and prints the
// rows per second beside the rate of a bare request/reply ping-pong of the
// same frame sizes over the same loopback.
//
//   fetch_bench [--rows N] [--server PATH] [--driver PATH]
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

namespace {

using Clock = std::chrono::steady_clock;

// What a failure has to clean up: the server (stopped, never left running)
// and the work folder.
pid_t g_server = -1;
std::string g_dir;

void StopServer() {
  if (g_server <= 0) return;
  kill(g_server, SIGTERM);
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
  while (waitpid(g_server, nullptr, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(g_server, SIGKILL);
      waitpid(g_server, nullptr, 0);
      break;
    }
    poll(nullptr, 0, 20);
  }
  g_server = -1;
}

void RemoveDir() {
  if (g_dir.empty()) return;
  std::string cleanup = "rm -rf '" + g_dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "fetch_bench: could not remove %s\n", g_dir.c_str());
  g_dir.clear();
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "fetch_bench: %s\n", what.c_str());
  StopServer();
  RemoveDir();
  std::exit(1);
}

void OdbcFail(const char* call, SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0}, text[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
  Fail(std::string(call) + " failed: [" + reinterpret_cast<char*>(state) + "] " +
       reinterpret_cast<char*>(text));
}

#define ODBC_OK(call, type, handle) \
  do {                              \
    SQLRETURN rc_ = (call);         \
    if (!SQL_SUCCEEDED(rc_)) OdbcFail(#call, type, handle); \
  } while (0)

// The table: id, a 10-character name, a float and a timestamp per row.
void CreateDatabase(const std::string& path, long rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Fail("cannot create " + path);
  std::string sql =
      "CREATE TABLE bench (id INTEGER, name VARCHAR(20), amount FLOAT, at TIMESTAMP);"
      "INSERT INTO bench WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
      "WHERE i < " + std::to_string(rows) + ") "
      "SELECT i, printf('row-%06d', i), i * 1.25, "
      "datetime('2024-01-01 00:00:00', '+' || i || ' seconds') FROM n;";
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    Fail(std::string("creating the table: ") + (error ? error : "?"));
  }
  sqlite3_close(db);
}

// Starts the server on a free loopback port (g_server) and returns the
// port. The port file is a FIFO opened without blocking: the wait for the
// port is bounded, and a server that exits early is noticed at once.
int StartServer(const std::string& server, const std::string& dir, const std::string& db) {
  std::string portFile = dir + "/port";
  if (mkfifo(portFile.c_str(), 0600) != 0) Fail("mkfifo");
  int fifo = open(portFile.c_str(), O_RDONLY | O_NONBLOCK);
  if (fifo < 0) Fail("opening the port file");
  g_server = fork();
  if (g_server < 0) Fail("fork");
  if (g_server == 0) {
#ifdef __linux__
    // Interrupted or killed, the benchmark takes its server with it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    execl(server.c_str(), server.c_str(), "--address", "127.0.0.1", "--port", "0",
          "--port-file", portFile.c_str(), "--database", db.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string text;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
  while (text.find('\n') == std::string::npos) {
    if (Clock::now() > deadline) Fail("the server did not report its port within 20 seconds");
    if (waitpid(g_server, nullptr, WNOHANG) == g_server) {
      g_server = -1;
      Fail("the server exited before it listened (" + server + ")");
    }
    pollfd p{fifo, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0 || (p.revents & POLLIN) == 0) {
      // No writer yet (or one that has gone): wait for the next slice.
      continue;
    }
    char buffer[32];
    ssize_t n = read(fifo, buffer, sizeof buffer);
    if (n > 0) text.append(buffer, static_cast<size_t>(n));
  }
  close(fifo);
  int port = std::atoi(text.c_str());
  if (port <= 0 || port > 65535) Fail("the server reported no port: " + text);
  return port;
}

void WriteIni(const std::string& dir, const std::string& driver, int port) {
  std::string home = dir + "/home";
  mkdir(home.c_str(), 0700);
  FILE* inst = std::fopen((dir + "/odbcinst.ini").c_str(), "w");
  FILE* ini = std::fopen((dir + "/odbc.ini").c_str(), "w");
  if (inst == nullptr || ini == nullptr) Fail("cannot write the ini files");
  std::fprintf(inst, "[Velora ODBC]\nDriver = %s\nThreading = 3\n", driver.c_str());
  std::fprintf(ini, "[VeloraBench]\nDriver = Velora ODBC\nServer = 127.0.0.1\nService = %d\n", port);
  std::fclose(inst);
  std::fclose(ini);
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  setenv("HOME", home.c_str(), 1);
}

struct Odbc {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
};

Odbc Connect() {
  Odbc odbc;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &odbc.env);
  SQLSetEnvAttr(odbc.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, odbc.env, &odbc.dbc);
  SQLCHAR in[] = "DSN=VeloraBench;User=bench;Password=bench";
  ODBC_OK(SQLDriverConnect(odbc.dbc, nullptr, in, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, odbc.dbc);
  return odbc;
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
      ODBC_OK(SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &lengths[1]), SQL_HANDLE_STMT, stmt);
      ODBC_OK(SQLGetData(stmt, 3, SQL_C_DOUBLE, &amount, 0, &lengths[2]), SQL_HANDLE_STMT, stmt);
      ODBC_OK(SQLGetData(stmt, 4, SQL_C_TYPE_TIMESTAMP, &at, 0, &lengths[3]), SQL_HANDLE_STMT, stmt);
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
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("ping-pong connect");
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

}  // namespace

int main(int argc, char** argv) {
  long rows = 100000;
  std::string server = VEL_BENCH_SERVER, driver = VEL_BENCH_DRIVER;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rows") == 0) rows = std::atol(argv[i + 1]);
    else if (std::strcmp(argv[i], "--server") == 0) server = argv[i + 1];
    else if (std::strcmp(argv[i], "--driver") == 0) driver = argv[i + 1];
    else Fail(std::string("unknown option ") + argv[i]);
  }
  if (rows < 1) Fail("--rows must be positive");

  char dirTemplate[] = "/tmp/fetch_bench.XXXXXX";
  if (mkdtemp(dirTemplate) == nullptr) Fail("mkdtemp");
  g_dir = dirTemplate;
  const std::string dir = g_dir;
  std::string db = dir + "/bench.db";
  std::printf("fetch_bench: creating %ld rows of (INTEGER, VARCHAR(20), FLOAT, TIMESTAMP)\n", rows);
  CreateDatabase(db, rows);
  int port = StartServer(server, dir, db);
  WriteIni(dir, driver, port);

  Odbc odbc = Connect();
  long fetched = 0;
  double boundRate = FetchRows(odbc.dbc, true, &fetched);
  double getDataRate = FetchRows(odbc.dbc, false, &fetched);
  SQLDisconnect(odbc.dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, odbc.dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, odbc.env);

  // The frames of one fetch: a 6-byte header, the statement id (4) and a
  // vector of four column numbers (2 + 8); a 4-byte header, the return code
  // (2), the row count (2) and four values of 7 bytes each plus their data:
  // 4 (INTEGER), 11 ("row-000001" and its NUL), 8 (FLOAT), 16 (TIMESTAMP).
  const size_t requestSize = 6 + 4 + 2 + 2 * 4;
  const size_t replySize = 4 + 2 + 2 + 4 * 7 + 4 + 11 + 8 + 16;
  double pingRate = PingPong(requestSize, replySize, rows);

  std::printf("velora-server on 127.0.0.1:%d, %ld rows per pass\n", port, fetched);
  std::printf("  bound columns (SQLBindCol, SQLFetch):        %10.0f rows/s\n", boundRate);
  std::printf("  SQLGetData (SQLFetch, 4 x SQLGetData):       %10.0f rows/s\n", getDataRate);
  std::printf("  bare ping-pong (%zu-byte request, %zu-byte reply): %10.0f round trips/s\n",
              requestSize, replySize, pingRate);
  std::printf("  driver + server cost: %.1f%% of the loopback round-trip rate (bound)\n",
              100.0 * boundRate / pingRate);

  StopServer();
  RemoveDir();
  return 0;
}
