// What the benchmarks share: a velora-server of their own on loopback, a
// private driver-manager setup, a connection, and failing cleanly (the
// server stopped, the work folder removed).
#ifndef VELORA_BENCH_BENCH_SUPPORT_H
#define VELORA_BENCH_BENCH_SUPPORT_H

#include <sql.h>
#include <sqlext.h>
#include <sys/types.h>

#include <chrono>
#include <string>

using Clock = std::chrono::steady_clock;

extern const char* g_program;  // names the benchmark in its messages
extern pid_t g_server;
extern std::string g_dir;

void StopServer();
void RemoveDir();
[[noreturn]] void Fail(const std::string& what);
void OdbcFail(const char* call, SQLSMALLINT type, SQLHANDLE handle);

#define ODBC_OK(call, type, handle)                         \
  do {                                                      \
    SQLRETURN rc_ = (call);                                 \
    if (!SQL_SUCCEEDED(rc_)) OdbcFail(#call, type, handle); \
  } while (0)

// The command line every benchmark takes: --rows N, --server PATH,
// --driver PATH and --storage URI (defaults: the values given); anything
// else fails.
void ParseOptions(int argc, char** argv, long* rows, std::string* server, std::string* driver,
                  std::string* storage = nullptr);

// Makes the work folder /tmp/PROGRAM.XXXXXX (g_dir).
void MakeWorkDir();
// db: an SQLite file, or a PostgreSQL URI; extra: one more server argument
// ("" for none).
int StartServer(const std::string& server, const std::string& dir, const std::string& db,
                const char* extra = "");
void WriteIni(const std::string& dir, const std::string& driver, int port);

struct Odbc {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
};
// Connects to the data source "VeloraBench" as an ODBC 3 application (on
// port when it is not 0: the driver manager keeps the first odbc.ini read).
Odbc Connect(int port = 0);
void Disconnect(Odbc* odbc);
// Runs sql on a statement of its own; fails the benchmark when it fails.
void ExecSql(SQLHDBC dbc, const std::string& sql);
// "SQLite" or "PostgreSQL" for a location StartServer takes.
bool IsPostgres(const std::string& location);

#endif
