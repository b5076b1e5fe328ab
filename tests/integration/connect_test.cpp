// Connecting through the unixODBC driver manager to real servers: by data
// source name and by connection string, refusals, and each connection
// going to its own data source's server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "odbc_app.h"
#include "servers.h"

namespace {

// Captures what the process writes to standard error (where message boxes
// go without a windowing system) while it lives.
class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = dup(2);
    dup2(fileno(file_), 2);
  }
  ~StderrCapture() {
    Restore();
    std::fclose(file_);
  }
  std::string Text() {
    Restore();
    std::string out;
    std::rewind(file_);
    char buffer[1024];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) out.append(buffer, n);
    return out;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  FILE* file_;
  int saved_ = -1;
};

std::string Expected(const std::string& dsn, const VeloraServer& server, const std::string& user,
                     const std::string& password) {
  return "DSN=" + dsn + ";Server=127.0.0.1;Service=" + server.PortText() + ";User=" + user +
         ";Password=" + password;
}

TEST(Connect, ByDataSourceNameAndDisconnectAndAgain) {
  OdbcConnection c;
  // An ODBC 3 application on a 2.x driver gets the driver manager's 01000
  // warning with an otherwise successful connect.
  SQLRETURN rc = c.Connect("VelOpen", "public", "");
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << c.Diag();
  EXPECT_EQ(c.Disconnect(), SQL_SUCCESS) << c.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect("VelOpen", "public", ""))) << c.Diag();
  EXPECT_EQ(c.Execute("CREATE TABLE connect_again (a INTEGER)"), SQL_SUCCESS);
}

TEST(Connect, ByConnectionStringReturnsTheCompletedString) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOpen"))) << c.Diag();
  EXPECT_EQ(c.Out(), Expected("VelOpen", Servers::A(), "public", "no"));
}

// The data source's "Password" switch asks for the password; with no way
// to show the prompt (no terminal here) the login goes on with an empty
// one, and the output string echoes the switch in lower case.
TEST(Connect, DataSourceThatAsksForThePasswordWithoutAPrompt) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelPrompt"))) << c.Diag();
  EXPECT_EQ(c.Out(), Expected("VelPrompt", Servers::A(), "public", "yes"));
}

TEST(Connect, ConnectionStringKeysOverrideTheDataSource) {
  OdbcConnection c;
  std::string in = "DSN=VelOther;Server=127.0.0.1;Service=" + Servers::A().PortText() +
                   ";User=bob;Password=NO";
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(in))) << c.Diag();
  EXPECT_EQ(c.Out(), Expected("VelOther", Servers::A(), "bob", "no"));
}

TEST(Connect, EachConnectionUsesItsOwnDataSourcesServer) {
  OdbcConnection first, second;
  ASSERT_TRUE(SQL_SUCCEEDED(first.DriverConnect("DSN=VelOpen"))) << first.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(second.DriverConnect("DSN=VelOther"))) << second.Diag();
  EXPECT_EQ(second.Out(), Expected("VelOther", Servers::B(), "public", "no"));
  ASSERT_EQ(first.Execute("CREATE TABLE only_on_a (a INTEGER)"), SQL_SUCCESS);
  std::string diag;
  EXPECT_EQ(second.Execute("INSERT INTO only_on_a VALUES (1)", nullptr, &diag), SQL_ERROR);
  EXPECT_EQ(first.Execute("INSERT INTO only_on_a VALUES (1)"), SQL_SUCCESS);
}

TEST(Connect, WrongPasswordIsRefusedByTheServer) {
  OdbcConnection c;
  EXPECT_EQ(c.Connect("VelAuth", "alice", "wrong"), SQL_ERROR);
  auto records = Diagnostics(SQL_HANDLE_DBC, c.dbc());
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].state, "28000");
  EXPECT_EQ(DriverMessage(records[0].message).rfind("[QTX][Velora ODBC Server]", 0), 0u)
      << records[0].message;

  OdbcConnection right;
  EXPECT_TRUE(SQL_SUCCEEDED(right.Connect("VelAuth", "alice", "wonderland"))) << right.Diag();
}

TEST(Connect, RefusedPortIsConnectionFailureWithItsMessageBox) {
  OdbcConnection c;
  StderrCapture box;
  SQLRETURN rc = c.Connect("VelRefused", "public", "");
  std::string shown = box.Text();
  EXPECT_EQ(rc, SQL_ERROR);
  auto records = Diagnostics(SQL_HANDLE_DBC, c.dbc());
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].state, "08001");
  EXPECT_EQ(DriverMessage(records[0].message), "[QTX][Velora ODBC Client]connection failure");
  // Without a windowing system the box is a line on standard error.
  EXPECT_NE(shown.find("VELODBC: Unable to connect to host. Host 127.0.0.1, Service " +
                       std::to_string(Servers::RefusedPort())),
            std::string::npos)
      << shown;
}

TEST(Connect, BrowseConnectIsNotImplemented) {
  OdbcConnection c;
  SQLCHAR out[256];
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLBrowseConnect(c.dbc(), (SQLCHAR*)"DSN=VelOpen", SQL_NTS, out, sizeof out, &length),
            SQL_ERROR);
  auto records = Diagnostics(SQL_HANDLE_DBC, c.dbc());
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].state, "HYC00");  // S1C00
  EXPECT_EQ(DriverMessage(records[0].message), "[QTX][Velora ODBC Client]SQLBrowseConnect not implemented");
}

// True when something accepts connections on the loopback port.
bool Listening(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return accepted;
}

// The refused port stays refused while the program runs: nothing else
// can bind it, so no other server can appear there.
TEST(TestServers, TheRefusedPortCannotBeTakenByAnotherSocket) {
  int other = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(Servers::RefusedPort()));
  EXPECT_NE(bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(other);
  EXPECT_FALSE(Listening(Servers::RefusedPort()));
}

// A test program that dies without stopping its server (a crash, a kill
// at its time limit) takes the server with it.
TEST(TestServers, AServerEndsWithItsTestProgram) {
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  pid_t program = fork();
  if (program == 0) {
    close(channel[0]);
    VeloraServer* server = new VeloraServer;  // never stopped
    char line[512] = "0 0 none";
    if (server->Start()) {
      std::snprintf(line, sizeof line, "%d %d %s", server->Port(), static_cast<int>(server->Pid()),
                    server->Folder().c_str());
    }
    ssize_t ignored = write(channel[1], line, sizeof line);
    (void)ignored;
    _exit(0);
  }
  close(channel[1]);
  char line[512] = {0};
  ssize_t got = read(channel[0], line, sizeof line - 1);
  close(channel[0]);
  int status = 0;
  waitpid(program, &status, 0);
  ASSERT_GT(got, 0);
  int port = 0, pid = 0;
  char folder[256] = {0};
  ASSERT_EQ(std::sscanf(line, "%d %d %255s", &port, &pid, folder), 3);
  ASSERT_GT(port, 0) << "the server did not start";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool listening = true;
  while (listening && std::chrono::steady_clock::now() < deadline) {
    listening = Listening(port);
    if (listening) poll(nullptr, 0, 20);
  }
  EXPECT_FALSE(listening) << "the server outlived its test program";
  if (listening) kill(pid, SIGKILL);  // it outlived the program: end it here
  std::string remove = std::string("rm -rf '") + folder + "'";
  EXPECT_EQ(std::system(remove.c_str()), 0);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new Servers("connect_test"));
  return RUN_ALL_TESTS();
}
