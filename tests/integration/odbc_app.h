// What the integration tests do as an ODBC 3 application (handles made with
// SQLAllocHandle, diagnostics read with SQLGetDiagRec), and the servers and
// data sources the test program shares: "VelOpen" (server A, any login),
// "VelOther" (server B), "VelAuth" (server C, alice / wonderland),
// "VelRefused" (a port nobody listens on), "VelPrompt" (server A, asks for
// the password). unixODBC reads only the build tree's private folder: the
// driver's odbcinst.ini (ODBCSYSINI), the program's odbc.ini (ODBCINI) and
// HOME inside it, so no ~/.odbcinst.ini is merged.
#ifndef VELORA_TESTS_INTEGRATION_ODBC_APP_H
#define VELORA_TESTS_INTEGRATION_ODBC_APP_H

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/velora_server.h"

// Every record of a handle, one "STATE message" line each, without the
// "[unixODBC]" unixODBC puts before the records it copies at connect time.
inline std::string Diag(SQLSMALLINT type, SQLHANDLE handle) {
  std::string text;
  SQLCHAR state[6] = {0}, message[SQL_MAX_MESSAGE_LENGTH + 1] = {0};
  SQLINTEGER native = 0;
  for (SQLSMALLINT i = 1; SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, message,
                                                      sizeof message, nullptr));
       ++i) {
    std::string m = (char*)message;
    text += std::string((char*)state) + " " + (m.rfind("[unixODBC]", 0) ? m : m.substr(10)) + "\n";
  }
  return text;
}

// An ODBC 3 environment with one connection handle; frees both.
class OdbcConnection {
 public:
  OdbcConnection() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  }
  ~OdbcConnection() {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  // SQLDriverConnect without a prompt; the output string is kept in out.
  SQLRETURN DriverConnect(const std::string& in) {
    SQLCHAR text[1024] = {0};
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, text,
                                    sizeof text, nullptr, SQL_DRIVER_NOPROMPT);
    out = (char*)text;
    return rc;
  }
  SQLRETURN Connect(const std::string& dsn, const std::string& user, const std::string& password) {
    return SQLConnect(dbc_, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)user.c_str(), SQL_NTS,
                      (SQLCHAR*)password.c_str(), SQL_NTS);
  }
  std::string Diag() { return ::Diag(SQL_HANDLE_DBC, dbc_); }
  // SQLExecDirect on a statement of its own; the row count when asked for.
  SQLRETURN Execute(const std::string& sql, SQLLEN* rows = nullptr) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (rows && SQL_SUCCEEDED(rc)) SQLRowCount(stmt, rows);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return rc;
  }
  SQLHENV env() const { return env_; }
  SQLHDBC dbc() const { return dbc_; }
  std::string out;

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
};

inline VeloraServer g_a, g_b, g_c;
inline int g_refused = 0;  // bound, never listening: nothing else can take it

class Servers : public ::testing::Environment {
 public:
  explicit Servers(const std::string& program) : program_(program) {}
  void SetUp() override {
    setenv("VELODBC_DIALOG", "none", 1);  // never a prompt on whoever's terminal
    g_c.AddUser("alice", "wonderland");
    ASSERT_TRUE(g_a.Start() && g_b.Start() && g_c.Start()) << g_a.Error() << g_b.Error() << g_c.Error();
    g_refused = UnusedLoopbackPort();
    std::string ini = VEL_ODBC_DIR "/" + program_ + ".odbc.ini";
    std::ofstream(ini) << Section("VelOpen", g_a.PortText()) << Section("VelOther", g_b.PortText())
                       << Section("VelAuth", g_c.PortText(), "alice")
                       << Section("VelRefused", std::to_string(g_refused))
                       << Section("VelPrompt", g_a.PortText(), "public", "Yes");
    setenv("ODBCSYSINI", VEL_ODBC_DIR, 1);
    setenv("ODBCINI", ini.c_str(), 1);
    setenv("HOME", VEL_ODBC_DIR "/home", 1);
  }
  void TearDown() override {
    g_a.Stop();
    g_b.Stop();
    g_c.Stop();
  }
  static std::string Section(const std::string& name, const std::string& service,
                             const std::string& user = "public", const std::string& ask = "no") {
    return "[" + name + "]\nDriver = Velora\nServer = 127.0.0.1\nService = " + service +
           "\nUser = " + user + "\nPassword = " + ask + "\n\n";
  }

 private:
  std::string program_;
};

#endif
