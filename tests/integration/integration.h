// What every integration test has: real servers started once for the
// program, data sources naming them in a private unixODBC folder, and an
// ODBC 3 application's connection. The data sources: "VelOpen" (server A,
// any login), "VelOther" (server B), "VelAuth" (server C, alice /
// wonderland), "VelRefused" (a port nobody listens on), "VelPrompt"
// (server A, asks for the password), "VelPrefer" (server A, TLS=prefer),
// "VelKeys" (server C by ODBC's keys Port, UID and PWD), "VelWide" (server
// A through the ODBC 3.x library, driver Velora; all others use the ODBC
// 2.0 one, Velora ANSI). Server C also knows "semi" with the password
// " a;b}c", and the read-only user "reader" with "pages".
#ifndef VELORA_TESTS_INTEGRATION_INTEGRATION_H
#define VELORA_TESTS_INTEGRATION_INTEGRATION_H

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "support/velora_server.h"

extern VeloraServer g_a, g_b, g_c;
extern int g_refused;  // bound, never listening: nothing else can take it

// Every record of a handle as "STATE message" lines, without the
// "[unixODBC]" unixODBC puts before the records it copies at connect time.
std::string Diag(SQLSMALLINT type, SQLHANDLE handle);

// The given columns (from 1) of every row as text: NULL as "-", "/"
// between values, ";" between rows; or rc and the records when rc is not
// SQL_SUCCESS. Closes the cursor.
std::string Rows(SQLHSTMT s, SQLRETURN rc, const std::vector<int>& columns);

// An environment of an application declaring version (ODBC 3 unless told)
// with one connection handle; disconnects and frees.
struct OdbcConnection {
  explicit OdbcConnection(SQLULEN version = SQL_OV_ODBC3);
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;
  // SQLDriverConnect without a prompt; the output string is kept in out.
  SQLRETURN DriverConnect(const std::string& in);
  SQLRETURN Connect(const std::string& dsn, const std::string& user, const std::string& password);
  // A new statement handle, freed by the caller or with the connection.
  SQLHSTMT Statement();
  // SQLExecDirect on a statement of its own; the row count when asked for.
  SQLRETURN Execute(const std::string& sql, SQLLEN* rows = nullptr);
  std::string Diag() { return ::Diag(SQL_HANDLE_DBC, dbc); }

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  std::string out;
};

// A connection to VelOpen for each case.
class Open : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOpen"))) << c.Diag(); }
  OdbcConnection c;
};

#endif
