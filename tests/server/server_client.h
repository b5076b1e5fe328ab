// A protocol client for a real velora-server (tests/support/velora_server.h):
// the driver's own connection and request classes, with bounded waits.
#ifndef VELORA_TESTS_SERVER_CLIENT_H
#define VELORA_TESTS_SERVER_CLIENT_H

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/ClibConnection.h"
#include "protocol/Requests.h"
#include "support/bytes.h"
#include "support/velora_server.h"

// clang-format off
struct Param { uint16_t number; int16_t sqlType; std::string bytes; bool isNull = false; };
struct Cell { bool isNull = true; std::string bytes; };
// clang-format on
using Rows = std::vector<std::vector<Cell>>;

constexpr int kCommFailure = -1000;

class Client {
 public:
  bool Open(int port);
  // Sends the greeting block (80 bytes, zero-padded); its status, or
  // kCommFailure.
  int Greet(const std::string& text = "L\x06 WIN32 iso8859-1");
  // Sends the request and decodes the reply into it: the return code, or
  // kCommFailure.
  int Exchange(Request* request);
  bool SendRaw(const std::string& bytes) { return connection.Write(bytes.data(), static_cast<uint32_t>(bytes.size())); }
  // True when the server closes the connection within ten seconds.
  bool PeerClosed();
  // Greeting and connect request: the return code (-2000 - status for a
  // refused greeting).
  int Login(const std::string& dsn = "any", const std::string& user = "tester", const std::string& password = "");
  int Connect(int port, const std::string& dsn = "any", const std::string& user = "tester",
              const std::string& password = "") {
    return Open(port) ? Login(dsn, user, password) : kCommFailure;
  }
  bool OpenAndLogin(int port) { return Connect(port) == 0; }
  uint32_t Alloc();
  // A request of code for statement id whose other number elements (if
  // any) are value; the request stays readable in *out.
  int Call(uint16_t code, uint32_t id, int32_t value = 0, std::unique_ptr<Request>* out = nullptr);
  // Exec direct (or prepare, or execute) with parameters; the result's SQL
  // types go to types.
  int Exec(uint32_t id, const std::string& sql, const std::vector<Param>& params = {},
           std::vector<int>* types = nullptr, uint16_t code = Msg::kExecDirect);
  int Execute(uint32_t id, const std::vector<Param>& params = {}) {
    return Exec(id, "", params, nullptr, Msg::kExecute);
  }
  int Fetch(uint32_t id, const std::vector<uint16_t>& wanted, std::vector<Cell>* row = nullptr);
  // The get-error reply for id: its SQLSTATE ("" on failure).
  std::string State(uint32_t id, int* native = nullptr);
  // A call's return code and then id's SQLSTATE: "-1 37000", "0 00000".
  std::string Outcome(int rc, uint32_t id) { return std::to_string(rc) + " " + State(id); }
  // Runs sql and fetches every column of every row; fetches columns from
  // a result set open on id when sql is empty.
  Rows Query(uint32_t id, const std::string& sql, size_t columns = 0);

  ClibConnection connection;
  std::string version;
  uint16_t sizes[13] = {};
  int fetchType = -1;  // the login's offers
  int catalogType = -1;
  int streamType = -1;
  int describeType = -1;
  uint64_t cancelKey = 0;
};

// A started server (with args) and a logged-in client with one statement s.
class ServerSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Start(args)) << server.Error();
    ASSERT_TRUE(c.OpenAndLogin(server.Port()));
    ASSERT_NE(s = c.Alloc(), 0u);
  }
  std::vector<std::string> args;
  VeloraServer server;
  Client c;
  uint32_t s = 0;
};

// A TCP connection from 127.0.0.from to the loopback port; -1 if none.
int ConnectFrom(int from, int port);

// Idle connections to a loopback port, sending nothing: count of them, half
// from 127.0.0.1, the others from 127.0.0.2 to .5; each one closed by the
// server is reopened a round (20 ms) later, until the flood is destroyed
// (or a minute has passed).
class IdleFlood {
 public:
  IdleFlood(int port, int count);
  ~IdleFlood();
  int Reopened() const { return reopened_; }

 private:
  std::atomic<bool> going_{true};
  std::atomic<int> reopened_{0};
  std::thread thread_;
};

#endif
