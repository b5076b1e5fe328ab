// A real velora-server process on a free loopback port, and a protocol
// client that talks to it with the shared request classes.
#ifndef VELORA_TESTS_SERVER_HARNESS_H
#define VELORA_TESTS_SERVER_HARNESS_H

#include <gtest/gtest.h>
#include <signal.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/Elements.h"
#include "support/bytes.h"
#include "protocol/Request.h"

namespace srvtest {

class ServerProcess {
 public:
  ServerProcess();
  ~ServerProcess();
  // Starts the server with --port 0, --port-file and --database in a
  // fresh folder, plus extra; waits (at most 20 s) until it listens.
  bool Start(const std::vector<std::string>& extra = {});
  // Sends signal (SIGTERM by default) and waits; returns the exit status
  // (-1 if it had to be killed).
  int Stop(int signal = SIGTERM);
  int port() const { return port_; }
  const std::string& dir() const { return dir_; }
  std::string database() const { return dir_ + "/test.db"; }
  // The server's standard error so far.
  std::string Log();
  // Waits (at most 10 s) until the log contains text.
  bool WaitForLog(const std::string& text);

 private:
  void Drain(int fd);
  std::string dir_;
  int pid_ = -1;
  int port_ = 0;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string log_;
  bool eof_ = false;
};

// Runs "velora-server adduser --users file --password-stdin name" with the
// password on standard input; returns the exit status.
int AddUser(const std::string& users, const std::string& name, const std::string& password);

struct Param {
  uint16_t number;
  int16_t sqlType;
  std::string bytes;
  bool isNull = false;
};

struct Column {
  std::string name;
  int32_t sqlType = 0;
  uint32_t length = 0;
  uint32_t precision = 0;
  int16_t scale = 0;
  int32_t nullability = 0;
  std::string table;
};

struct Cell {
  uint16_t column = 0;
  bool isNull = true;
  std::string bytes;
};

constexpr int kCommFailure = -1000;

class Client {
 public:
  ~Client();
  bool Open(int port);
  void Close();
  // Sends the standard greeting (or block) and returns the status, or
  // kCommFailure.
  int Greet(const uint8_t* block = nullptr);
  // Sends the request's frame and decodes the reply into it; returns the
  // return code, or kCommFailure.
  int Exchange(Request* request);
  bool SendRaw(const std::string& bytes);
  // True when the server has closed the connection (reads end of stream
  // within 10 s).
  bool PeerClosed();

  // Open and a login that returns 0.
  bool OpenAndLogin(int port) { return Open(port) && Login() == 0; }
  // Greeting and connect request; rc.
  int Login(const std::string& dsn = "any", const std::string& user = "tester", const std::string& password = "");
  uint32_t Alloc();
  int ExecDirect(uint32_t id, const std::string& sql, const std::vector<Param>& params = {},
                 std::vector<Column>* columns = nullptr);
  int Prepare(uint32_t id, const std::string& sql, std::vector<Column>* columns = nullptr);
  int Execute(uint32_t id, const std::vector<Param>& params = {});
  int Fetch(uint32_t id, const std::vector<uint16_t>& wanted, std::vector<Cell>* row = nullptr);
  int GetData(uint32_t id, int16_t column, Cell* cell);
  int Free(uint32_t id, int option);
  int RowCount(uint32_t id, int32_t* count);
  int Transact(int type);
  int SetAutocommit(int mode);
  // The get-error reply for id: its SQLSTATE ("" on failure); the native
  // code and text go to the optional outputs.
  std::string State(uint32_t id, int* native = nullptr, std::string* text = nullptr);
  // Runs sql and fetches every column of every row as cells.
  std::vector<std::vector<Cell>> Query(uint32_t id, const std::string& sql, std::vector<Column>* columns = nullptr);
  // The description reply of a request that returns a result set.
  static std::vector<Column> Columns(Request* request);

  std::string version;
  uint16_t sizes[13] = {};

 private:
  int fd_ = -1;
};

// A started server and a logged-in client with one statement s.
class ServerSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(c.OpenAndLogin(server.port()));
    s = c.Alloc();
    ASSERT_NE(s, 0u);
  }
  ServerProcess server;
  Client c;
  uint32_t s = 0;
};

// Little-endian helpers.
uint16_t Get16(const std::string& s, size_t at);
uint32_t Get32(const std::string& s, size_t at);
void SetParams(Request* request, const std::vector<Param>& params);

}  // namespace srvtest

#endif
