// Helpers of the driver session tests.
#include "driver_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>

std::vector<Record> Errors(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt) {
  std::vector<Record> records;
  for (int i = 0; i < 20; ++i) {
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR message[512] = {0};
    SQLSMALLINT length = 0;
    if (SQLError(henv, hdbc, hstmt, state, &native, message, sizeof message, &length) !=
        SQL_SUCCESS) {
      break;
    }
    records.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(message)});
  }
  return records;
}

std::string PrivateIniFolder() { return "/tmp/velora-session-test-" + std::to_string(getpid()); }

void UsePrivateIni(const std::string& content) {
  static std::atomic<int> serial{0};
  std::string folder = PrivateIniFolder();
  mkdir(folder.c_str(), 0700);
  std::string ini = folder + "/odbc" + std::to_string(serial++) + ".ini";
  std::ofstream(ini) << content;
  setenv("ODBCSYSINI", folder.c_str(), 1);
  setenv("ODBCINI", ini.c_str(), 1);
}

std::string Greeting() {
  std::string block = std::string("L") + '\x06' + " WIN32 iso8859-1";
  block.resize(80, '\0');
  return block;
}

std::string Frame(uint16_t code, const std::string& body) {
  return U32(static_cast<uint32_t>(body.size())) + U16(code) + body;
}

std::string ConnectFrame(const std::string& dsn, const std::string& user,
                         const std::string& password) {
  return Frame(5, Text16(dsn) + Text16(user) + Text16(password));
}

std::string ConnectReply(int rc, const std::string& version) {
  std::string body = U16(static_cast<uint16_t>(rc)) + Text16(version);
  for (uint16_t i = 1; i <= 13; ++i) body += U16(i);
  return ReplyFrame(body);
}

std::string ReturnOnly(int rc) { return ReplyFrame(U16(static_cast<uint16_t>(rc))); }

std::string ErrorReply(const std::string& state, int native, const std::string& text) {
  return ReplyFrame(U16(0) + Text16(state) + U16(static_cast<uint16_t>(native)) + Text16(text) +
                    Text16("server.cpp") + U16(12));
}

std::string ColumnBytes(const std::string& name, uint32_t length, int nullable,
                        const std::string& owner, uint32_t precision, int16_t scale,
                        const std::string& table, int sqlType, int updatable) {
  return Text16(name) + U32(length) + U16(static_cast<uint16_t>(nullable)) + Text16(owner) +
         U32(precision) + U16(static_cast<uint16_t>(scale)) + Text16(table) +
         U16(static_cast<uint16_t>(sqlType)) + U16(static_cast<uint16_t>(updatable));
}

void DriverSession::SetUp() {
  setenv("VELODBC_DIALOG", "none", 1);
  // Data-source keys come from a private, empty odbc.ini unless a test
  // writes its own.
  UsePrivateIni("");
  ASSERT_EQ(SQLAllocEnv(&henv), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(henv, &hdbc), SQL_SUCCESS);
}

void DriverSession::TearDown() {
  // Freeing closes the socket without a word to the server, which ends
  // every script's ExpectEnd.
  SQLFreeConnect(hdbc);
  SQLFreeEnv(henv);
  EXPECT_TRUE(server.Finish()) << server.Error();
  std::string remove = "rm -rf '" + PrivateIniFolder() + "'";
  EXPECT_EQ(std::system(remove.c_str()), 0);
}

void DriverSession::ScriptLogin(FakeServer& s, const std::string& dsn, const std::string& user,
                                const std::string& password) {
  s.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame(dsn, user, password)).Send(ConnectReply());
}

SQLRETURN DriverSession::Connect(FakeServer& s, const std::string& extra) {
  s.Start();
  std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + s.Port() + extra;
  SQLCHAR buffer[512] = {0};
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, buffer,
                                  sizeof buffer, &length, SQL_DRIVER_NOPROMPT);
  out = reinterpret_cast<char*>(buffer);
  return rc;
}
