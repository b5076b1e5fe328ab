// The driver as an application meets it (its exported functions, linked
// statically) talking to the scripted fake server: login scripts, reply
// frames and diagnostics read back with SQLError.
#ifndef VELORA_TESTS_ODBC_DRIVER_SESSION_H
#define VELORA_TESTS_ODBC_DRIVER_SESSION_H

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fake_server.h"

struct Record {
  std::string state;
  SQLINTEGER native;
  std::string message;
};

// Every record of the handle, newest first, as SQLError returns them.
std::vector<Record> Errors(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt);

// Points unixODBC at a private odbc.ini holding content (a new file each
// time). unixODBC keeps what it has read for a while whichever file it
// came from, so every test of the program names its own data sources.
void UsePrivateIni(const std::string& content);

// The 80-byte greeting block.
std::string Greeting();
// A connect request frame for the three texts.
std::string ConnectFrame(const std::string& dsn, const std::string& user,
                         const std::string& password);
// The connect reply: return code, version text and thirteen sizes 1..13.
std::string ConnectReply(int rc = 0, const std::string& version = "Velora 1.0");
// A request frame: length, code, body.
std::string Frame(uint16_t code, const std::string& body);
// A reply frame holding only a return code.
std::string ReturnOnly(int rc);
// A get-error reply carrying one record.
std::string ErrorReply(const std::string& state, int native, const std::string& text);
// One column of a resultSetDescription.
std::string ColumnBytes(const std::string& name, uint32_t length, int nullable,
                        const std::string& owner, uint32_t precision, int16_t scale,
                        const std::string& table, int sqlType, int updatable);

// Allocates an environment and a connection through the driver's own
// exports; frees them at the end. Login() scripts the greeting and the
// connect request on server and connects by connection string.
class DriverSession : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Adds the login steps to server's script.
  void ScriptLogin(FakeServer& s, const std::string& dsn = "Sales",
                   const std::string& user = "public", const std::string& password = "");
  // SQLDriverConnect to server (whose script must already hold the login).
  SQLRETURN Connect(FakeServer& s, const std::string& extra = "");
  // Scripts an allocate-statement exchange giving id and allocates hstmt.
  std::string AllocReply(uint32_t id) { return ReplyFrame(U16(0) + U32(id)); }
  // SQLAllocStmt on the session's connection (whose script must allocate).
  SQLHSTMT Allocate() {
    SQLHSTMT s = nullptr;
    EXPECT_EQ(SQLAllocStmt(hdbc, &s), SQL_SUCCESS);
    return s;
  }

  std::vector<Record> ConnectionErrors() { return Errors(nullptr, hdbc, nullptr); }
  std::vector<Record> StatementErrors(SQLHSTMT s) { return Errors(nullptr, nullptr, s); }

  BoxCapture boxes;
  FakeServer server;
  SQLHENV henv = nullptr;
  SQLHDBC hdbc = nullptr;
  std::string out;
};

#endif
