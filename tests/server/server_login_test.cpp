// Login: the greeting and its status codes, the connect request, users
// file authentication, the adduser subcommand, data sources.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "server_harness.h"

namespace srvtest {
namespace {

TEST(ServerLogin, AcceptsGreetingAndReportsVersionAndValueSizes) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  Client c;
  ASSERT_TRUE(c.OpenAndLogin(server.port()));
  EXPECT_NE(c.version.find("Velora ODBC Server"), std::string::npos);
  EXPECT_NE(c.version.find("SQLite 3."), std::string::npos);
  const uint16_t expected[13] = {10, 1, 6, 12, 8, 8, 4, 12, 4, 2, 6, 16, 1};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(c.sizes[i], expected[i]) << i;
  EXPECT_TRUE(server.WaitForLog("connection started"));
  // A second connect on the same connection is refused.
  std::unique_ptr<Request> again(Request::CreateRequest(5));
  EXPECT_EQ(c.Exchange(again.get()), -1);
  EXPECT_EQ(c.State(0), "08002");
}

struct GreetingCase {
  const char* block;
  size_t length;
  int status;
};

TEST(ServerLogin, RefusesBadGreetingsWithTheirStatusAndCloses) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  const GreetingCase cases[] = {
      {"X\x06 WIN32 iso8859-1", 18, 1},         // not "L"
      {"L\x05 WIN32 iso8859-1", 18, 2},         // protocol byte
      {"L\x06 WIN32 utf-8", 15, 4},             // character set
      {"L\x06WIN32 iso8859-1", 17, 1},          // blank missing
      {"L\x06 WIN32iso8859-1", 17, 1},          // one word only
      {"L\x06 WIN32 iso8859-1\0junk", 23, 1},   // bytes after the text
  };
  for (const GreetingCase& g : cases) {
    uint8_t block[80] = {};
    std::memcpy(block, g.block, g.length);
    Client c;
    ASSERT_TRUE(c.Open(server.port()));
    EXPECT_EQ(c.Greet(block), g.status) << g.block;
    EXPECT_TRUE(c.PeerClosed());
  }
  // A standard greeting still works afterwards.
  Client ok;
  ASSERT_TRUE(ok.Open(server.port()));
  EXPECT_EQ(ok.Login(), 0);
}

TEST(ServerLogin, TooManyConnectionsGetsStatus3) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--max-clients", "1"}));
  Client first;
  ASSERT_TRUE(first.OpenAndLogin(server.port()));
  Client second;
  ASSERT_TRUE(second.Open(server.port()));
  EXPECT_EQ(second.Greet(), 3);
  EXPECT_TRUE(second.PeerClosed());
  // After the first logs out there is room again.
  std::unique_ptr<Request> out(Request::CreateRequest(8));
  EXPECT_EQ(first.Exchange(out.get()), 0);
  EXPECT_TRUE(first.PeerClosed());
  ASSERT_TRUE(server.WaitForLog("logged out"));
  Client third;
  ASSERT_TRUE(third.Open(server.port()));
  EXPECT_EQ(third.Login(), 0);
}

TEST(ServerLogin, UsersFileChecksPasswords) {
  ServerProcess server;
  std::string users = server.dir() + "/users";
  ASSERT_EQ(AddUser(users, "alice", "s3cret word"), 0);
  ASSERT_EQ(AddUser(users, "bob", "other"), 0);
  ASSERT_EQ(AddUser(users, "alice", "new one"), 0);  // replaces her line
  ASSERT_NE(AddUser(users, "bad:name", "x"), 0);
  std::ifstream in(users);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("s3cret"), std::string::npos);  // hashes only
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);

  ASSERT_TRUE(server.Start({"--users", users}));
  {
    Client c;
    ASSERT_TRUE(c.Open(server.port()));
    EXPECT_EQ(c.Login("db", "alice", "s3cret word"), -1);
    int native = -1;
    std::string text;
    EXPECT_EQ(c.State(0, &native, &text), "28000");
    EXPECT_FALSE(text.empty());
    // Still not logged in: statements are refused.
    std::unique_ptr<Request> alloc(Request::CreateRequest(0));
    EXPECT_EQ(c.Exchange(alloc.get()), -1);
    EXPECT_EQ(c.State(0), "08003");
  }
  {
    Client c;
    ASSERT_TRUE(c.Open(server.port()));
    EXPECT_EQ(c.Login("db", "nobody", "new one"), -1);
    EXPECT_EQ(c.State(0), "28000");
  }
  Client ok;
  ASSERT_TRUE(ok.Open(server.port()));
  EXPECT_EQ(ok.Login("db", "alice", "new one"), 0);
  EXPECT_NE(ok.Alloc(), 0u);
}

TEST(ServerLogin, FrameTraceNeverShowsThePassword) {
  ServerProcess server;
  std::string users = server.dir() + "/users";
  ASSERT_EQ(AddUser(users, "tester", "zq8Wx7"), 0);
  ASSERT_TRUE(server.Start({"--users", users, "--trace-frames"}));
  Client c;
  ASSERT_TRUE(c.Open(server.port()));
  ASSERT_EQ(c.Login("any", "tester", "zq8Wx7"), 0);
  ASSERT_NE(c.Alloc(), 0u);  // its reply is traced after the connect request's
  ASSERT_TRUE(server.WaitForLog("reply to"));
  std::string log = server.Log();
  EXPECT_NE(log.find("74 65 73"), std::string::npos);  // the user name is shown
  EXPECT_EQ(log.find("zq8Wx7"), std::string::npos);
  EXPECT_EQ(log.find("7A 71 38 57 78 37"), std::string::npos);
  EXPECT_NE(log.find("******"), std::string::npos);
}

TEST(ServerLogin, NamesFromClientsStayOnTheirLogLine) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  Client c;
  ASSERT_TRUE(c.Open(server.port()));
  ASSERT_EQ(c.Login("db\r\nvelora-server: stopped", "x\nvelora-server: forged"), 0);
  ASSERT_TRUE(server.WaitForLog("velora-server: stopped\" ("));  // the end of the line
  std::string log = server.Log();
  EXPECT_EQ(log.find("\nvelora-server: forged"), std::string::npos);
  EXPECT_EQ(log.find("\nvelora-server: stopped"), std::string::npos);
  EXPECT_NE(log.find("x?velora-server: forged"), std::string::npos);
}

TEST(ServerLogin, UsersFileOthersMayWriteIsRefused) {
  ServerProcess server;
  std::string users = server.dir() + "/users";
  ASSERT_EQ(AddUser(users, "alice", "pw"), 0);
  ASSERT_EQ(chmod(users.c_str(), 0666), 0);
  EXPECT_FALSE(server.Start({"--users", users}));
  EXPECT_NE(server.Log().find("may be written by others"), std::string::npos);
  EXPECT_EQ(server.Stop(), 1);
  // Readable by others: the server starts and says so.
  ServerProcess readable;
  std::string shared = readable.dir() + "/users";
  ASSERT_EQ(AddUser(shared, "alice", "pw"), 0);
  ASSERT_EQ(chmod(shared.c_str(), 0644), 0);
  ASSERT_TRUE(readable.Start({"--users", shared}));
  EXPECT_NE(readable.Log().find("may be read by others"), std::string::npos);
  Client c;
  ASSERT_TRUE(c.Open(readable.port()));
  EXPECT_EQ(c.Login("db", "alice", "pw"), 0);
}

TEST(ServerLogin, WithoutUsersFileRefusesNonLoopbackAddress) {
  ServerProcess server;
  EXPECT_FALSE(server.Start({"--address", "0.0.0.0"}));
  EXPECT_NE(server.Log().find("only a loopback address"), std::string::npos);
  EXPECT_EQ(server.Stop(), 1);
}

TEST(ServerLogin, DataSourcesSelectDatabases) {
  ServerProcess server;
  std::string other = server.dir() + "/other.db";
  ASSERT_TRUE(server.Start({"--datasource", "Other=" + other}));
  {
    Client c;
    ASSERT_TRUE(c.Open(server.port()));
    ASSERT_EQ(c.Login("Other"), 0);
    uint32_t s = c.Alloc();
    ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE only_in_other (x)"), 0);
  }
  Client d;
  ASSERT_TRUE(d.Open(server.port()));
  ASSERT_EQ(d.Login("AnythingElse"), 0);
  uint32_t s = d.Alloc();
  EXPECT_EQ(d.ExecDirect(s, "SELECT * FROM only_in_other"), -1);
  EXPECT_EQ(d.State(s), "S0002");
  ASSERT_EQ(d.ExecDirect(s, "CREATE TABLE only_in_default (x)"), 0);
  // Another data source's database, or any other file, is out of reach.
  EXPECT_EQ(d.ExecDirect(s, "ATTACH '" + other + "' AS o"), -1);
  EXPECT_EQ(d.State(s), "42000");
  std::string copy = server.dir() + "/copy.db";
  EXPECT_EQ(d.ExecDirect(s, "VACUUM INTO '" + copy + "'"), -1);
  EXPECT_EQ(d.State(s), "42000");
  EXPECT_NE(access(copy.c_str(), F_OK), 0);
  EXPECT_EQ(d.ExecDirect(s, "VACUUM"), 0);
  EXPECT_EQ(d.ExecDirect(s, "ATTACH ':memory:' AS scratch"), 0);
}

TEST(ServerLogin, UnopenableDatabaseFailsTheConnect) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--datasource", "Broken=/nonexistent/dir/x.db"}));
  Client c;
  ASSERT_TRUE(c.Open(server.port()));
  EXPECT_EQ(c.Login("Broken"), -1);
  EXPECT_EQ(c.State(0), "08001");
}

TEST(ServerLogin, StopsCleanlyOnSigtermAndSigint) {
  for (int signal : {SIGTERM, SIGINT}) {
    ServerProcess server;
    ASSERT_TRUE(server.Start());
    Client c;
    ASSERT_TRUE(c.OpenAndLogin(server.port()));
    EXPECT_EQ(server.Stop(signal), 0) << signal;
    EXPECT_NE(server.Log().find("stopped"), std::string::npos);
    EXPECT_TRUE(c.PeerClosed());
  }
}

}  // namespace
}  // namespace srvtest

namespace srvtest {
namespace {

TEST(ServerLogin, StopsWhileAClientRunsAnEndlessQuery) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"-v"}));
  Client c;
  ASSERT_TRUE(c.OpenAndLogin(server.port()));
  uint32_t s = c.Alloc();
  std::unique_ptr<Request> r(Request::CreateRequest(10));
  r->SetStatementId(s);
  r->Get<StatementElement>()->value.SetString(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n");
  r->Get<ParameterDataSetElement>()->SetList(new (std::nothrow) ParameterDataList());
  int status = 0;
  ASSERT_TRUE(r->BuildFrame(&status));
  ASSERT_TRUE(c.SendRaw(std::string(reinterpret_cast<const char*>(r->FrameBytes()), r->FrameLength())));
  ASSERT_TRUE(server.WaitForLog("request 10"));
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace srvtest

namespace srvtest {
namespace {

std::string RunCommand(const std::string& arguments, int* status) {
  std::string command = std::string(VEL_SERVER_PATH) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[256];
  size_t n;
  while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  int raw = pipe ? pclose(pipe) : -1;
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

TEST(ServerCommandLine, HelpAndBadOptions) {
  int status = -1;
  std::string out = RunCommand("--help", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("--port-file"), std::string::npos);
  EXPECT_NE(out.find("adduser"), std::string::npos);
  out = RunCommand("--port 70000", &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(out.find("invalid port"), std::string::npos);
  out = RunCommand("--bogus", &status);
  EXPECT_EQ(status, 2);
  out = RunCommand("--datasource nameonly", &status);
  EXPECT_EQ(status, 2);
  out = RunCommand("adduser --users /nonexistent/dir/users --password-stdin bob </dev/null", &status);
  EXPECT_EQ(status, 1);
  out = RunCommand("adduser bob", &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace srvtest
