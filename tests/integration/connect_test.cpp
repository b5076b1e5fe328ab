// Connecting through the unixODBC driver manager to real servers: by data
// source name and by connection string, refusals, and each connection
// going to its own data source's server, and transactions seen from a
// second connection.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "odbc_app.h"

namespace {

std::string Out(const std::string& dsn, const VeloraServer& server, const std::string& user,
                const std::string& ask) {
  return "DSN=" + dsn + ";Server=127.0.0.1;Service=" + server.PortText() + ";User=" + user +
         ";Password=" + ask;
}

// The output string completes the input from the data source. VelPrompt
// asks for the password: with no way to show the prompt (no terminal
// here) the login goes on with an empty one, and the switch is echoed in
// lower case.
TEST(Connect, ConnectionStringIsCompletedFromTheDataSource) {
  const struct {
    std::string in, out;
  } rows[] = {{"DSN=VelOpen", Out("VelOpen", g_a, "public", "no")},
              {"DSN=VelPrompt", Out("VelPrompt", g_a, "public", "yes")},
              {"DSN=VelOther;Server=127.0.0.1;Service=" + g_a.PortText() + ";User=bob;Password=NO",
               Out("VelOther", g_a, "bob", "no")}};
  for (const auto& r : rows) {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(r.in))) << c.Diag();
    EXPECT_EQ(c.out, r.out);
  }
}

// A connection logs in again after its disconnect, and each connection
// talks to its own data source's server.
TEST(Connect, EachConnectionUsesItsOwnDataSourcesServer) {
  OdbcConnection first, second;
  ASSERT_TRUE(SQL_SUCCEEDED(first.Connect("VelOpen", "public", ""))) << first.Diag();
  EXPECT_EQ(SQLDisconnect(first.dbc()), SQL_SUCCESS) << first.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(first.Connect("VelOpen", "public", ""))) << first.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(second.DriverConnect("DSN=VelOther"))) << second.Diag();
  EXPECT_EQ(second.out, Out("VelOther", g_b, "public", "no"));
  ASSERT_EQ(first.Execute("CREATE TABLE only_on_a (a INTEGER)"), SQL_SUCCESS);
  EXPECT_EQ(second.Execute("INSERT INTO only_on_a VALUES (1)"), SQL_ERROR);
  EXPECT_EQ(first.Execute("INSERT INTO only_on_a VALUES (1)"), SQL_SUCCESS);
  OdbcConnection right;
  EXPECT_TRUE(SQL_SUCCEEDED(right.Connect("VelAuth", "alice", "wonderland"))) << right.Diag();
}

// Refusals and their first record; without a windowing system the message
// box is a line on standard error.
TEST(Connect, RefusalsGiveTheirStatesAndTexts) {
  std::fflush(stderr);
  FILE* err = std::tmpfile();
  const int saved = dup(2);
  dup2(fileno(err), 2);
  const struct {
    char call;  // C SQLConnect, D SQLDriverConnect, B SQLBrowseConnect
    std::string in, first;
  } rows[] = {{'C', "VelAuth", "28000 [QTX][Velora ODBC Server]"},  // wrong password
              {'C', "VelRefused", "08001 [QTX][Velora ODBC Client]connection failure\n"},
              {'D', "DRIVER=Velora;Server=127.0.0.1;Service=" + g_a.PortText(),
               "IM007 [QTX][Velora ODBC Client]missing data source name\n"},
              {'B', "DSN=VelOpen", "HYC00 [QTX][Velora ODBC Client]SQLBrowseConnect not implemented\n"}};
  for (const auto& r : rows) {
    OdbcConnection c;
    SQLCHAR out[256];
    SQLSMALLINT length = 0;
    SQLRETURN rc = r.call == 'C'   ? c.Connect(r.in, "alice", "wrong")
                   : r.call == 'D' ? c.DriverConnect(r.in)
                                   : SQLBrowseConnect(c.dbc(), (SQLCHAR*)r.in.c_str(), SQL_NTS, out,
                                                      sizeof out, &length);
    EXPECT_EQ(rc, SQL_ERROR) << r.in;
    EXPECT_EQ(c.Diag().substr(0, r.first.size()), r.first) << r.in;
  }
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  char text[4096] = {0};
  std::rewind(err);
  text[std::fread(text, 1, sizeof text - 1, err)] = 0;
  std::fclose(err);
  EXPECT_NE(std::string(text).find("VELODBC: Unable to connect to host. Host 127.0.0.1, Service " +
                                   std::to_string(g_refused)),
            std::string::npos)
      << text;
}

// Autocommit turned off before connecting (the driver manager replays it
// to the driver before the login) holds in the session; rollback and
// commit, on the connection and through the environment, are seen from a
// second connection.
TEST(Connect, TransactionsOfAConnectionWithoutAutocommitSetBeforeConnecting) {
  OdbcConnection c, t;
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOpen"))) << c.Diag();
  ASSERT_EQ(c.Execute("CREATE TABLE ledger (a INTEGER)"), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(t.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(t.DriverConnect("DSN=VelOpen"))) << t.Diag();
  SQLUINTEGER autocommit = 99;
  EXPECT_EQ(SQLGetConnectAttr(t.dbc(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(autocommit, SQL_AUTOCOMMIT_OFF);
  const struct {
    SQLSMALLINT type;
    SQLSMALLINT end;
    SQLLEN visible;
  } rows[] = {{SQL_HANDLE_DBC, SQL_ROLLBACK, 0}, {SQL_HANDLE_DBC, SQL_COMMIT, 1},
              {SQL_HANDLE_ENV, SQL_ROLLBACK, 1}, {SQL_HANDLE_ENV, SQL_COMMIT, 2}};
  for (const auto& r : rows) {
    ASSERT_EQ(t.Execute("INSERT INTO ledger VALUES (1)"), SQL_SUCCESS);
    EXPECT_EQ(SQLEndTran(r.type, r.type == SQL_HANDLE_DBC ? t.dbc() : t.env(), r.end), SQL_SUCCESS)
        << t.Diag();
    SQLLEN rows = -2;  // an UPDATE that changes nothing counts the rows c sees
    EXPECT_EQ(c.Execute("UPDATE ledger SET a = a", &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, r.visible) << r.type << " " << r.end;
  }
}

// True when something accepts connections on the loopback port.
bool Listening(int port, bool bindToo = false) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  // The refused port stays bound while the program runs: nothing else can
  // take it, so no other server can appear there.
  EXPECT_FALSE(bindToo && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
  const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return accepted;
}

TEST(TestServers, TheRefusedPortCannotBeTakenByAnotherSocket) {
  EXPECT_FALSE(Listening(g_refused, true));
}

// A test program that dies without stopping its server (a crash, a kill
// at its time limit) takes the server with it.
TEST(TestServers, AServerEndsWithItsTestProgram) {
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  pid_t program = fork();
  if (program == 0) {
    VeloraServer* server = new VeloraServer;  // never stopped
    char line[512] = "0 0 none";
    if (server->Start()) {
      std::snprintf(line, sizeof line, "%d %d %s", server->Port(), static_cast<int>(server->Pid()),
                    server->Folder().c_str());
    }
    _exit(write(channel[1], line, sizeof line) > 0 ? 0 : 1);
  }
  close(channel[1]);
  char line[512] = {0};
  ssize_t got = read(channel[0], line, sizeof line - 1);
  close(channel[0]);
  waitpid(program, nullptr, 0);
  int port = 0, pid = 0;
  char folder[256] = {0};
  ASSERT_TRUE(got > 0 && std::sscanf(line, "%d %d %255s", &port, &pid, folder) == 3 && port > 0)
      << "the server did not start";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Listening(port) && std::chrono::steady_clock::now() < deadline) poll(nullptr, 0, 20);
  if (Listening(port)) {
    ADD_FAILURE() << "the server outlived its test program";
    kill(pid, SIGKILL);
  }
  EXPECT_EQ(std::system((std::string("rm -rf '") + folder + "'").c_str()), 0);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new Servers("connect_test"));
  return RUN_ALL_TESTS();
}
