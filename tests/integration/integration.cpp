// The integration program's servers, data sources and application helpers.
// unixODBC reads only the build tree's private folder: the driver's
// odbcinst.ini (ODBCSYSINI), this program's odbc.ini (ODBCINI) and HOME
// inside it (no ~/.odbcinst.ini merged). unixODBC keeps what it reads from
// its first call, so all of this happens before any ODBC call.
#include "integration.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

VeloraServer g_a, g_b, g_c;
int g_refused = 0;

std::string Diag(SQLSMALLINT type, SQLHANDLE handle) {
  std::string text;
  SQLCHAR state[6] = {0}, message[SQL_MAX_MESSAGE_LENGTH + 1] = {0};
  SQLINTEGER native = 0;
  for (SQLSMALLINT i = 1;
       SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, nullptr)); ++i) {
    const std::string m = reinterpret_cast<char*>(message);
    text += reinterpret_cast<char*>(state) + (" " + (m.rfind("[unixODBC]", 0) ? m : m.substr(10))) + "\n";
  }
  return text;
}

std::string Rows(SQLHSTMT s, SQLRETURN rc, const std::vector<int>& columns) {
  if (rc != SQL_SUCCESS) return "rc " + std::to_string(rc) + " " + Diag(SQL_HANDLE_STMT, s);
  std::string out;
  std::vector<char> value(3 << 20);  // a megabyte of data at execution and more
  for (const char* row = ""; SQLFetch(s) == SQL_SUCCESS; row = ";") {
    out += row;
    for (size_t i = 0; i < columns.size(); ++i) {
      SQLLEN length = 0;
      SQLGetData(s, static_cast<SQLUSMALLINT>(columns[i]), SQL_C_CHAR, value.data(), static_cast<SQLLEN>(value.size()),
                 &length);
      size_t kept = std::min(value.size(), static_cast<size_t>(length));
      out += (i ? "/" : "") + (length == SQL_NULL_DATA ? "-" : std::string(value.data(), kept));
    }
  }
  SQLFreeStmt(s, SQL_CLOSE);
  return out;
}

OdbcConnection::OdbcConnection(SQLULEN version) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(version), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
}

OdbcConnection::~OdbcConnection() {
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

SQLRETURN OdbcConnection::DriverConnect(const std::string& in) {
  SQLCHAR text[1024] = {0};
  SQLSMALLINT length = 0;  // iODBC 3.52 writes it even when it is not given
  SQLRETURN rc =
      SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, text, sizeof text, &length, SQL_DRIVER_NOPROMPT);
  out = reinterpret_cast<char*>(text);
  return rc;
}

SQLRETURN OdbcConnection::Connect(const std::string& dsn, const std::string& user, const std::string& password) {
  return SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)user.c_str(), SQL_NTS, (SQLCHAR*)password.c_str(),
                    SQL_NTS);
}

SQLHSTMT OdbcConnection::Statement() {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  return stmt;
}

SQLRETURN OdbcConnection::Execute(const std::string& sql, SQLLEN* rows) {
  SQLHSTMT stmt = Statement();
  SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)ForStorage(sql).c_str(), SQL_NTS);
  if (rows && SQL_SUCCEEDED(rc)) SQLRowCount(stmt, rows);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return rc;
}

namespace {
std::string Section(const std::string& name, int port, const std::string& user = "public",
                    const std::string& ask = "no", const std::string& driver = "Velora ANSI") {
  return "[" + name + "]\nDriver = " + driver + "\nServer = 127.0.0.1\nService = " + std::to_string(port) +
         "\nUser = " + user + "\nPassword = " + ask + "\n\n";
}
}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("VELODBC_DIALOG", "none", 1);  // never a prompt on whoever's terminal
  g_c.AddUser("alice", "wonderland");
  g_c.AddUser("semi", " a;b}c");
  g_c.AddUser("reader", "pages", "--read-only");
  for (VeloraServer* server : {&g_a, &g_b, &g_c}) {
    if (!server->Start()) return std::fprintf(stderr, "no server: %s\n", server->Error().c_str()), 1;
  }
  g_refused = UnusedLoopbackPort();
  // One odbc.ini per program and storage: the programs that share this
  // main (integration_test, conformance_test) run at the same time.
  std::string program = argv[0];
  program = program.substr(program.find_last_of('/') + 1);
  const std::string ini = VEL_ODBC_DIR "/" + program + std::string(OnPostgres() ? ".pg" : "") + ".odbc.ini";
  std::ofstream(ini) << Section("VelOpen", g_a.Port()) << Section("VelOther", g_b.Port())
                     << Section("VelAuth", g_c.Port(), "alice") << Section("VelRefused", g_refused)
                     << Section("VelPrompt", g_a.Port(), "public", "Yes")
                     << Section("VelPrefer", g_a.Port(), "public", "no\nTLS = prefer")
                     << Section("VelWide", g_a.Port(), "public", "no", "Velora")
                     << Section("VelOtherWide", g_b.Port(), "public", "no", "Velora")
                     << "[VelKeys]\nDriver = Velora ANSI\nServer = 127.0.0.1\nPort = " << g_c.Port()
                     << "\nUID = alice\nPWD = wonderland\n\n"
                     << "[VelFailover]\nDriver = Velora ANSI\nServer = 127.0.0.1:" << g_refused
                     << ", localhost:" << g_a.Port() << "\n\n";
  setenv("ODBCSYSINI", VEL_ODBC_DIR, 1);
  setenv("ODBCINI", ini.c_str(), 1);
  setenv("HOME", VEL_ODBC_DIR "/home", 1);
  const int rc = RUN_ALL_TESTS();
  for (VeloraServer* server : {&g_a, &g_b, &g_c}) server->Stop();
  return rc;
}
