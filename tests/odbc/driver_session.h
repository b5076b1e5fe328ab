// The driver as an application meets it (its exported functions, linked
// statically) talking to the scripted fake server: login scripts, reply
// frames and diagnostics read back with SQLError.
#ifndef VELORA_TESTS_ODBC_DRIVER_SESSION_H
#define VELORA_TESTS_ODBC_DRIVER_SESSION_H

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/capture.h"
#include "support/fake_server.h"

// The first diagnostic record of a handle as "STATE native message", then
// "+1" for every further one.
inline std::string Diag(SQLHDBC hdbc, SQLHSTMT hstmt) {
  std::string text;
  SQLCHAR state[6] = {0}, message[512] = {0};
  SQLINTEGER native = 0;
  while (SQLError(nullptr, hdbc, hstmt, state, &native, message, sizeof message, nullptr) ==
         SQL_SUCCESS) {
    text += !text.empty() ? "+1" : (char*)state + (" " + std::to_string(native)) + " " + (char*)message;
  }
  return text;
}

// Points unixODBC at a private odbc.ini holding content (a new file each
// time): unixODBC keeps what it has read for a while whichever file it
// came from, so every test names its own data sources.
inline std::string IniFolder() { return "/tmp/velora-session-test-" + std::to_string(getpid()); }
inline void UsePrivateIni(const std::string& content) {
  static int serial = 0;
  mkdir(IniFolder().c_str(), 0700);
  std::string ini = IniFolder() + "/odbc" + std::to_string(serial++) + ".ini";
  std::ofstream(ini) << content;
  setenv("ODBCSYSINI", IniFolder().c_str(), 1);
  setenv("ODBCINI", ini.c_str(), 1);
}

// A request frame: length, code, body.
inline std::string Frame(uint16_t code, const std::string& body) {
  return U32(static_cast<uint32_t>(body.size())) + U16(code) + body;
}
inline std::string ReturnOnly(int rc) { return ReplyFrame(U16(static_cast<uint16_t>(rc))); }
// A get-error reply carrying one record.
inline std::string ErrorReply(const std::string& state, int native, const std::string& text) {
  return ReplyFrame(U16(0) + Text16(state) + U16(static_cast<uint16_t>(native)) + Text16(text) +
                    Text16("server.cpp") + U16(12));
}
// The 80-byte greeting block.
inline std::string Greeting() { return ("L\x06 WIN32 iso8859-1" + std::string(80, '\0')).substr(0, 80); }
inline std::string ConnectFrame(const std::string& user, const std::string& password,
                                const std::string& dsn = "Sales") {
  return Frame(5, Text16(dsn) + Text16(user) + Text16(password));
}
// The connect reply: return code, version text and thirteen sizes 1..13.
inline std::string ConnectReply(int rc = 0) {
  std::string body = U16(static_cast<uint16_t>(rc)) + Text16("Velora 1.0");
  for (uint16_t i = 1; i <= 13; ++i) body += U16(i);
  return ReplyFrame(body);
}
// One column of a result-set description.
inline std::string Column(const std::string& name, uint32_t length, int nullable, int sqlType,
                          uint32_t precision = 10, int16_t scale = 0, int updatable = 0) {
  return Text16(name) + U32(length) + U16(static_cast<uint16_t>(nullable)) + Text16("dbo") +
         U32(precision) + U16(static_cast<uint16_t>(scale)) + Text16("SALES") +
         U16(static_cast<uint16_t>(sqlType)) + U16(static_cast<uint16_t>(updatable));
}

// An environment and a connection allocated through the driver's exports,
// freed at the end, when the server's script must have run to its end.
class DriverSession : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VELODBC_DIALOG", "none", 1);
    UsePrivateIni("");
    ASSERT_EQ(SQLAllocEnv(&henv), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocConnect(henv, &hdbc), SQL_SUCCESS);
  }
  void TearDown() override {
    SQLFreeConnect(hdbc);  // closes the socket: every script's ExpectEnd
    SQLFreeEnv(henv);
    EXPECT_TRUE(server.Finish()) << server.Error();
    EXPECT_EQ(std::system(("rm -rf '" + IniFolder() + "'").c_str()), 0);
  }
  // The greeting and connect request with their replies.
  FakeServer& ScriptLogin(const std::string& user = "public", const std::string& password = "") {
    return server.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame(user, password)).Send(ConnectReply());
  }
  // The login, then a statement allocation answered with id 7.
  FakeServer& ScriptStatement() { return ScriptLogin().Expect(Frame(0, "")).Send(Alloc(7)); }
  static std::string Alloc(uint32_t id) { return ReplyFrame(U16(0) + U32(id)); }
  std::string In() { return "DSN=Sales;Server=127.0.0.1;Service=" + server.Port(); }
  // Starts the script (once) and connects by connection string.
  SQLRETURN Connect(const std::string& extra = "") {
    if (!started) server.Start();
    started = true;
    std::string in = In() + extra;
    SQLCHAR buffer[512] = {0};
    SQLRETURN rc = SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, buffer,
                                    sizeof buffer, nullptr, SQL_DRIVER_NOPROMPT);
    out = (char*)buffer;
    return rc;
  }
  // Connects and allocates a statement (the script must allocate).
  SQLHSTMT Open() {
    EXPECT_EQ(Connect(), SQL_SUCCESS);
    SQLHSTMT s = nullptr;
    EXPECT_EQ(SQLAllocStmt(hdbc, &s), SQL_SUCCESS);
    return s;
  }
  std::string ConnDiag() { return Diag(hdbc, nullptr); }
  // A call's result ("ERROR", "INFO" or the number) and the first record.
  static std::string Got(SQLRETURN rc, SQLHDBC c, SQLHSTMT s) {
    return (rc == SQL_ERROR ? "ERROR " : rc == SQL_SUCCESS_WITH_INFO ? "INFO " : std::to_string(rc) + " ") +
           Diag(c, s);
  }
  std::string Conn(SQLRETURN rc) { return Got(rc, hdbc, nullptr); }
  static std::string Stmt(SQLRETURN rc, SQLHSTMT s) { return Got(rc, nullptr, s); }

  BoxCapture boxes;
  FakeServer server;
  SQLHENV henv = nullptr;
  SQLHDBC hdbc = nullptr;
  std::string out;
  bool started = false;
};

#endif
