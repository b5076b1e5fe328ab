// What the integration tests do as an ODBC 3 application: handles made
// with SQLAllocHandle, diagnostics read with SQLGetDiagRec, small helpers
// to connect and execute.
#ifndef VELORA_TESTS_INTEGRATION_ODBC_APP_H
#define VELORA_TESTS_INTEGRATION_ODBC_APP_H

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

struct DiagRecord {
  std::string state;
  SQLINTEGER native = 0;
  std::string message;
};

// The driver's own message: unixODBC puts "[unixODBC]" before the records
// it copies at connect time.
std::string DriverMessage(const std::string& message);

// Every diagnostic record of a handle, in SQLGetDiagRec order.
std::vector<DiagRecord> Diagnostics(SQLSMALLINT type, SQLHANDLE handle);
// "STATE native message" lines of every record, for failure messages.
std::string DiagText(SQLSMALLINT type, SQLHANDLE handle);
// True when some record has state.
bool HasState(SQLSMALLINT type, SQLHANDLE handle, const std::string& state);

// An ODBC 3 environment with one connection handle; frees both.
class OdbcConnection {
 public:
  OdbcConnection();
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // SQLDriverConnect with NOPROMPT; the output string is kept in Out().
  SQLRETURN DriverConnect(const std::string& in);
  SQLRETURN Connect(const std::string& dsn, const std::string& user, const std::string& password);
  SQLRETURN Disconnect();
  std::string Diag() { return DiagText(SQL_HANDLE_DBC, dbc_); }

  // A new statement handle (null on failure); freed by the caller or with
  // the connection.
  SQLHSTMT Statement();
  // SQLExecDirect on a fresh statement that is then freed; returns the
  // execution's code and, when given, the row count and diagnostics.
  SQLRETURN Execute(const std::string& sql, SQLLEN* rows = nullptr, std::string* diag = nullptr);

  SQLHENV env() const { return env_; }
  SQLHDBC dbc() const { return dbc_; }
  const std::string& Out() const { return out_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string out_;
};

#endif
