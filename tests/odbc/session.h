// The driver as an application meets it (its exported functions, linked
// statically) against a FakeServer script: an environment and a connection
// allocated for each test and freed at its end, when the script must have
// run to its end; diagnostics read back with SQLError.
#ifndef VELORA_TESTS_ODBC_SESSION_H
#define VELORA_TESTS_ODBC_SESSION_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "odbc/frames.h"
#include "support/capture.h"

// The first diagnostic record of a handle as "STATE native message", then
// "+native" for every further one. A message's prefix "[QTX][Velora ODBC
// Client]" is shown as "C:", "[QTX][Velora ODBC Server]" as "S:".
inline std::string Diag(SQLHDBC hdbc, SQLHSTMT hstmt) {
  std::string text;
  SQLCHAR state[6] = {0}, message[512] = {0};
  SQLINTEGER native = 0;
  while (SQLError(nullptr, hdbc, hstmt, state, &native, message, sizeof message, nullptr) == SQL_SUCCESS) {
    std::string m = (char*)message;
    for (const char* who : {"Client]", "Server]"}) {
      if (m.rfind(std::string("[QTX][Velora ODBC ") + who, 0) == 0) m = who[0] + (":" + m.substr(25));
    }
    text += !text.empty() ? "+" + std::to_string(native) : (char*)state + (" " + std::to_string(native)) + " " + m;
  }
  return text;
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VELODBC_DIALOG", "none", 1);
    // A new, empty odbc.ini for every test (unixODBC caches what it read).
    close(mkstemp(ini));
    setenv("ODBCSYSINI", "/nonexistent", 1);
    setenv("ODBCINI", ini, 1);
    ASSERT_EQ(SQLAllocEnv(&henv), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocConnect(henv, &hdbc), SQL_SUCCESS);
  }
  void TearDown() override {
    SQLFreeConnect(hdbc);  // closes the socket: every script's ExpectEnd
    SQLFreeEnv(henv);
    EXPECT_TRUE(server.Finish()) << server.Error();
    unlink(ini);
  }
  // The greeting and connect request with their replies.
  FakeServer& ScriptLogin(const std::string& user = "public", const std::string& password = "") {
    return Talk(server, {{Greeting(), U16(0)}, {ConnectFrame(user, password), ConnectReply()}});
  }
  // The login, then a statement allocation answered with id 7.
  FakeServer& ScriptStatement() { return ScriptLogin().Expect(Frame(0, "")).Send(Alloc(7)); }
  static std::string Alloc(uint32_t id) { return ReplyFrame(U16(0) + U32(id)); }
  std::string In() { return "DSN=Sales;Server=127.0.0.1;Service=" + server.Port(); }
  // Starts the script (once) and connects by connection string.
  SQLRETURN Connect(const std::string& extra = "") {
    if (!started) server.Start();
    started = true;
    SQLCHAR buffer[512] = {0};
    SQLRETURN rc =
        SQLDriverConnect(hdbc, nullptr, M((In() + extra).c_str()), SQL_NTS, buffer, sizeof buffer, nullptr, 0);
    out = (char*)buffer;
    return rc;
  }
  // Ends the script (unless told), connects and allocates a statement
  // (the script must allocate).
  SQLHSTMT Open(bool end = true) {
    if (end) server.ExpectEnd();
    EXPECT_EQ(Connect(), SQL_SUCCESS);
    SQLHSTMT s = nullptr;
    EXPECT_EQ(SQLAllocStmt(hdbc, &s), SQL_SUCCESS);
    return s;
  }
  // A call's result and its first record: "ERROR 08S01 3047 C:...".
  static std::string Got(SQLRETURN rc, SQLHDBC c, SQLHSTMT s) {
    const std::string diag = Diag(c, s);
    const std::string name = rc == SQL_ERROR               ? "ERROR"
                             : rc == SQL_SUCCESS_WITH_INFO ? "INFO"
                             : rc == SQL_NO_DATA_FOUND     ? "NO_DATA"
                                                           : std::to_string(rc);
    return name + (diag.empty() ? "" : " " + diag);
  }
  std::string Conn(SQLRETURN rc) { return Got(rc, hdbc, nullptr); }
  static std::string Stmt(SQLRETURN rc, SQLHSTMT s) { return Got(rc, nullptr, s); }

  BoxCapture boxes;
  FakeServer server;
  SQLHENV henv = nullptr;
  SQLHDBC hdbc = nullptr;
  std::string out;
  bool started = false;
  char ini[32] = "/tmp/velora-session-XXXXXX";
};

#endif
