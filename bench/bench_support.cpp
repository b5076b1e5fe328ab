// The benchmarks' shared server, setup and failure handling.
#include "bench_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// What a failure has to clean up: the server (stopped, never left running)
// and the work folder.
const char* g_program = "bench";
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
  if (std::system(cleanup.c_str()) != 0)
    std::fprintf(stderr, "%s: could not remove %s\n", g_program, g_dir.c_str());
  g_dir.clear();
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", g_program, what.c_str());
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

void MakeWorkDir() {
  std::string pattern = std::string("/tmp/") + g_program + ".XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) Fail("mkdtemp");
  g_dir = pattern;
}

// Starts the server on a free loopback port (g_server) and returns the
// port. The port file is a FIFO opened without blocking: the wait for the
// port is bounded, and a server that exits early is noticed at once.
int StartServer(const std::string& server, const std::string& dir, const std::string& db,
                const char* extra) {
  std::string portFile = dir + "/port";
  unlink(portFile.c_str());  // a server started before this one left it
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
    execl(server.c_str(), server.c_str(), "--address", "127.0.0.1", "--port", "0", "--port-file",
          portFile.c_str(), IsPostgres(db) ? "--storage" : "--database", db.c_str(),
          extra[0] != '\0' ? extra : nullptr, static_cast<char*>(nullptr));
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
  std::fprintf(inst, "[Velora ODBC]\nDriver = %s\nThreading = 0\n", driver.c_str());
  std::fprintf(ini, "[VeloraBench]\nDriver = Velora ODBC\nServer = 127.0.0.1\nService = %d\n",
               port);
  std::fclose(inst);
  std::fclose(ini);
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  setenv("HOME", home.c_str(), 1);
}

Odbc Connect(int port) {
  Odbc odbc;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &odbc.env);
  SQLSetEnvAttr(odbc.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, odbc.env, &odbc.dbc);
  std::string in = "DSN=VeloraBench;User=bench;Password=bench";
  if (port != 0) in += ";Service=" + std::to_string(port);
  SQLCHAR* text = reinterpret_cast<SQLCHAR*>(&in[0]);
  ODBC_OK(
      SQLDriverConnect(odbc.dbc, nullptr, text, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
      SQL_HANDLE_DBC, odbc.dbc);
  return odbc;
}

bool IsPostgres(const std::string& location) {
  return location.compare(0, 13, "postgresql://") == 0 ||
         location.compare(0, 11, "postgres://") == 0;
}

void ExecSql(SQLHDBC dbc, const std::string& sql) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ODBC_OK(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc);
  ODBC_OK(SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, stmt);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

void Disconnect(Odbc* odbc) {
  SQLDisconnect(odbc->dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, odbc->dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, odbc->env);
}

void ParseOptions(int argc, char** argv, long* rows, std::string* server, std::string* driver,
                  std::string* storage) {
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rows") == 0)
      *rows = std::atol(argv[i + 1]);
    else if (std::strcmp(argv[i], "--server") == 0)
      *server = argv[i + 1];
    else if (std::strcmp(argv[i], "--driver") == 0)
      *driver = argv[i + 1];
    else if (storage && std::strcmp(argv[i], "--storage") == 0)
      *storage = argv[i + 1];
    else
      Fail(std::string("unknown option ") + argv[i]);
  }
  if (*rows < 1) Fail("--rows must be positive");
}
