// ODBC 3 application helpers for the integration tests.
#include "odbc_app.h"

std::string DriverMessage(const std::string& message) {
  const std::string prefix = "[unixODBC]";
  return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
}

std::vector<DiagRecord> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<DiagRecord> records;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {0};
    SQLCHAR message[SQL_MAX_MESSAGE_LENGTH + 1] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    records.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(message)});
  }
  return records;
}

std::string DiagText(SQLSMALLINT type, SQLHANDLE handle) {
  std::string text;
  for (const DiagRecord& r : Diagnostics(type, handle)) {
    text += r.state + " " + std::to_string(r.native) + " " + r.message + "\n";
  }
  return text;
}

bool HasState(SQLSMALLINT type, SQLHANDLE handle, const std::string& state) {
  for (const DiagRecord& r : Diagnostics(type, handle)) {
    if (r.state == state) return true;
  }
  return false;
}

OdbcConnection::OdbcConnection() {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
}

OdbcConnection::~OdbcConnection() {
  if (connected_) SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

SQLRETURN OdbcConnection::DriverConnect(const std::string& in) {
  SQLCHAR out[1024] = {0};
  SQLSMALLINT outLength = 0;
  SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, out, sizeof out,
                                  &outLength, SQL_DRIVER_NOPROMPT);
  out_ = reinterpret_cast<char*>(out);
  connected_ = SQL_SUCCEEDED(rc);
  return rc;
}

SQLRETURN OdbcConnection::Connect(const std::string& dsn, const std::string& user,
                                  const std::string& password) {
  SQLRETURN rc = SQLConnect(dbc_, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)user.c_str(), SQL_NTS,
                            (SQLCHAR*)password.c_str(), SQL_NTS);
  connected_ = SQL_SUCCEEDED(rc);
  return rc;
}

SQLRETURN OdbcConnection::Disconnect() {
  SQLRETURN rc = SQLDisconnect(dbc_);
  if (SQL_SUCCEEDED(rc)) connected_ = false;
  return rc;
}

SQLHSTMT OdbcConnection::Statement() {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return SQL_NULL_HSTMT;
  return stmt;
}

SQLRETURN OdbcConnection::Execute(const std::string& sql, SQLLEN* rows, std::string* diag) {
  SQLHSTMT stmt = Statement();
  if (!stmt) return SQL_ERROR;
  SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (diag) *diag = DiagText(SQL_HANDLE_STMT, stmt);
  if (rows && SQL_SUCCEEDED(rc)) SQLRowCount(stmt, rows);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return rc;
}
