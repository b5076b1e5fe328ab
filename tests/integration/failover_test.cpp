// Several servers for one data source, through the driver manager: the
// driver goes on to the next server of the list, spreads connections with
// LoadBalance=yes, reports every server's reason when none answers, and a
// server stopped with SIGTERM finishes the statement it runs while the
// next login goes to the other server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <cstring>
#include <memory>
#include <thread>

#include "integration.h"

namespace {

// Two servers on one database (an SQLite file, or one PostgreSQL schema).
class TwoServers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first.Start({"-v"})) << first.Error();
    second.UseLocation(first.Location());
    ASSERT_TRUE(second.Start()) << second.Error();
  }
  std::string List(const std::string& tail = "") const {
    return "DSN=VelOpen;Server=127.0.0.1:" + first.PortText() + ", localhost:" + second.PortText() + tail;
  }
  VeloraServer first, second;
};

std::string ServerName(const OdbcConnection& c) {
  char name[64] = "";
  SQLGetInfo(c.dbc, SQL_SERVER_NAME, name, sizeof name, nullptr);
  return name;
}

// Which servers answer, in order, and what the application sees: the
// completed string and SQL_SERVER_NAME name the server that answered; the
// data source VelFailover lists the refused port first; every server down
// gives the last failure's state and each server's reason.
TEST(Failover, NextServerAnswersAndFailuresNameEveryServer) {
  const std::string a = g_a.PortText(), refused = std::to_string(g_refused);
  // A port whose connections the kernel completes and nobody answers (a
  // hung server): it may take only its share of the login timeout.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at = {};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof at;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&at), size) | listen(silent, 4) |
                getsockname(silent, reinterpret_cast<sockaddr*>(&at), &size),
            0);
  const std::string hung = std::to_string(ntohs(at.sin_port));
  // found: in the completed string, else in the record
  // clang-format off
  const struct { std::string in, found; } rows[] = {
      {"DSN=VelFailover", "Server=localhost;Service=" + a + ";"},
      {"DSN=VelOpen;Server=localhost:" + a + ",127.0.0.1:" + refused, "Server=localhost;Service=" + a + ";"},
      {"DSN=VelOpen;Server=[::1]:" + refused + ",127.0.0.1;Service=" + a, "Server=127.0.0.1;Service=" + a + ";"},
      {"DSN=VelOpen;Server=127.0.0.1:" + hung + ",localhost:" + a, "Server=localhost;Service=" + a + ";"},
      {"DSN=VelOpen;Server=127.0.0.1:" + refused + ",[::1]:" + refused + ";LoadBalance=yes",
       "08001 [QTX][Velora ODBC Client]no server answered: "},
  };
  // clang-format on
  for (const auto& r : rows) {
    OdbcConnection c;
    SQLSetConnectAttr(c.dbc, SQL_ATTR_LOGIN_TIMEOUT, (SQLPOINTER)5, 0);
    const SQLRETURN rc = c.DriverConnect(r.in);
    if (r.found[0] != '0') {
      ASSERT_TRUE(SQL_SUCCEEDED(rc)) << r.in << c.Diag();
      EXPECT_NE(c.out.find(r.found), std::string::npos) << c.out;
      EXPECT_EQ(ServerName(c), r.found.substr(7, r.found.find(';') - 7));
      continue;
    }
    const std::string diag = c.Diag();
    EXPECT_EQ(diag.find(r.found), 0u) << diag;
    for (const std::string host : {"127.0.0.1", "[::1]"})
      EXPECT_NE(diag.find(host + ":" + refused + ": connection failure (errno 10061"), std::string::npos) << diag;
  }
  close(silent);
}

TEST_F(TwoServers, FirstStoppedThenSpreadOverBoth) {
  int served[2] = {0, 0};
  for (int i = 0; i < 100; ++i) {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(List(";LoadBalance=yes")))) << c.Diag();
    ++served[c.out.find(";Service=" + first.PortText() + ";") != std::string::npos ? 0 : 1];
  }
  EXPECT_GT(served[0], 0);
  EXPECT_GT(served[1], 0);
  EXPECT_EQ(first.Stop(), 0);
  OdbcConnection c;
  SQLSetConnectAttr(c.dbc, SQL_ATTR_LOGIN_TIMEOUT, (SQLPOINTER)5, 0);
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(List()))) << c.Diag();
  EXPECT_EQ(ServerName(c), "localhost");
}

// SIGTERM during a statement: the statement finishes and answers; a
// client of that server alone reads why it is refused; a client with the
// list goes on to the other server; then the first server stops.
TEST_F(TwoServers, DrainingServerFinishesItsStatementAndSendsLoginsOn) {
  OdbcConnection busy;
  ASSERT_TRUE(SQL_SUCCEEDED(busy.DriverConnect(List()))) << busy.Diag();
  const std::string sql = OnPostgres() ? "SELECT count(*) FROM generate_series(1, 3000000)"
                                       : "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                                         "3000000) SELECT count(*) FROM n";
  std::string counted;
  std::thread running([&] {
    SQLHSTMT s = busy.Statement();
    counted = Rows(s, SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS), {1});
  });
  ASSERT_TRUE(first.WaitForLog("request 10"));
  kill(first.Pid(), SIGTERM);
  ASSERT_TRUE(first.WaitForLog("draining"));
  OdbcConnection alone, listed;
  EXPECT_EQ(alone.DriverConnect("DSN=VelOpen;Server=127.0.0.1;Service=" + first.PortText()), SQL_ERROR);
  EXPECT_EQ(alone.Diag().rfind("08004 [QTX][Velora ODBC Server]the server is stopping", 0), 0u) << alone.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(listed.DriverConnect(List()))) << listed.Diag();
  EXPECT_EQ(ServerName(listed), "localhost");
  running.join();
  EXPECT_EQ(counted, "3000000");
  EXPECT_TRUE(first.WaitForLog("stopped"));
  SQLHSTMT after = SQL_NULL_HSTMT;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, busy.dbc, &after), SQL_ERROR);
  EXPECT_EQ(busy.Diag().substr(0, 5), "08S01");
}

// An idle connection whose server was killed is made again on the next
// server of its list.
TEST_F(TwoServers, IdleConnectionMovesToTheNextServer) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(List(";ConnectRetryCount=2;ConnectRetryInterval=0")))) << c.Diag();
  SQLHSTMT p = c.Statement();
  ASSERT_EQ(SQLPrepare(p, (SQLCHAR*)"SELECT 3", SQL_NTS), SQL_SUCCESS);
  first.Stop(SIGKILL);
  EXPECT_EQ(Rows(p, SQLExecute(p), {1}), "3");
  EXPECT_EQ(ServerName(c), "localhost");
}

// A server restarted (SIGKILL) between two statements of a connection
// (plaintext or encrypted):
// with ConnectRetryCount=1 an idle one (autocommit, or its transaction
// committed: "done") is logged in again and its prepared statement runs
// under its cursor name;
// one with a transaction or a cursor open, or without the key, gets
// "08S01".
TEST(Reconnect, IdleConnectionOutlivesARestartOnlyWithTheKey) {
  VeloraServer server;
  const std::string stem = server.Folder() + "/cert";
  ASSERT_TRUE(MakeTestCertificate(stem, "localhost"));
  const std::vector<std::string> tls = {"--tls-cert", stem + ".pem", "--tls-key", stem + ".key"};
  ASSERT_TRUE(server.Start(tls)) << server.Error();
  const std::string port = server.PortText();
  // clang-format off
  const struct { const char *driver, *retry, *state, *found; } rows[] = {
      {"Velora", "1", "idle", "2"},
      {"Velora", "0", "idle", "rc -1 08S01"},
      {"Velora", "1;TLS=require", "open", "rc -1 08S01"},
      {"Velora", "0", "open", "rc -1 08S01"},
      {"Velora", "1", "done", "2"},
      {"Velora", "1", "cursor", "rc -1 08S01"},
      {"Velora", "0", "cursor", "rc -1 08S01"},
      {"Velora ANSI", "1;TLS=require", "idle", "2"},
      {"Velora ANSI", "0", "idle", "rc -1 08S01"},
      {"Velora ANSI", "1", "open", "rc -1 08S01"},
      {"Velora ANSI", "1", "cursor", "rc -1 08S01"},
  };
  // clang-format on
  std::vector<std::unique_ptr<OdbcConnection>> connections;
  std::vector<SQLHSTMT> prepared;
  for (const auto& r : rows) {
    connections.emplace_back(new OdbcConnection);
    OdbcConnection& c = *connections.back();
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(std::string("DRIVER={") + r.driver +
                                              "};Server=127.0.0.1;Service=" + port + ";ConnectRetryCount=" + r.retry)))
        << c.Diag();
    if (r.state[0] == 'o' || r.state[0] == 'd')
      SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
    SQLHSTMT s = c.Statement(), p = c.Statement();
    ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"SELECT 1", SQL_NTS), SQL_SUCCESS);
    if (r.state[0] != 'c') SQLFreeStmt(s, SQL_CLOSE);
    if (r.state[0] == 'd') SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT);
    ASSERT_EQ(SQLPrepare(p, (SQLCHAR*)"SELECT 1 + 1", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLSetCursorName(p, (SQLCHAR*)"kept", SQL_NTS), SQL_SUCCESS);
    prepared.push_back(p);
  }
  server.Stop(SIGKILL);
  ASSERT_TRUE(server.Start({"--port", port, tls[0], tls[1], tls[2], tls[3]})) << server.Error();
  for (size_t i = 0; i < prepared.size(); ++i) {
    const std::string found = Rows(prepared[i], SQLExecute(prepared[i]), {1});
    EXPECT_EQ(found.substr(0, std::strlen(rows[i].found)), rows[i].found)
        << rows[i].driver << " " << rows[i].retry << " " << rows[i].state << ": " << found;
    SQLCHAR name[16] = "";
    SQLGetCursorName(prepared[i], name, sizeof name, nullptr);
    EXPECT_EQ(std::string((char*)name), found == "2" ? "kept" : "") << rows[i].driver;
  }
}

}  // namespace

// What psql reads from uri with query (one value per line).
static std::string Psql(const std::string& uri, const std::string& query) {
  std::string out;
  FILE* p = popen(("psql -qAtX '" + uri + "' -c \"" + query + "\" 2>&1").c_str(), "r");
  char buffer[256];
  while (p && fgets(buffer, sizeof buffer, p)) out += buffer;
  if (p) pclose(p);
  return out;
}

// Sets c's access mode through the driver manager.
static SQLRETURN AccessMode(OdbcConnection& c, SQLULEN mode) {
  return SQLSetConnectAttr(c.dbc, SQL_ATTR_ACCESS_MODE, (SQLPOINTER)mode, 0);
}

// A primary and its streaming standby (the test command starts the
// standby): read-only sessions, by the user's right or the access mode,
// run their statements on the standby, writes on the primary, and the
// read-only user's session never reaches the primary (the server's
// PostgreSQL sessions carry an application name of this test's own).
// Through both libraries a session moves with its access mode, prepared
// statements with it, but not inside a transaction.
TEST(Standby, ReadOnlySessionsReadOnTheStandby) {
  const char* standbyUri = std::getenv("VEL_TEST_STANDBY");
  if (!standbyUri || !OnPostgres()) GTEST_SKIP() << "no standby";
  const std::string name = "standby_t" + std::to_string(getpid()), tag = "&application_name=" + name;
  const std::string primary = TestStorage() + tag, standby = standbyUri + tag;
  VeloraServer server;
  server.UseLocation(primary);
  server.AddUser("reader", "r", "--read-only");
  server.AddUser("writer", "w");
  ASSERT_TRUE(server.Start({"--read-storage", standby})) << server.Error();
  const std::string at = "};Server=127.0.0.1;Service=" + server.PortText() + ";UID=";
  OdbcConnection writer, reader, moved[2];
  ASSERT_TRUE(SQL_SUCCEEDED(writer.DriverConnect("DRIVER={Velora ANSI" + at + "writer;PWD=w"))) << writer.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(reader.DriverConnect("DRIVER={Velora ANSI" + at + "reader;PWD=r"))) << reader.Diag();
  const SQLCHAR* recovery = (const SQLCHAR*)"SELECT pg_is_in_recovery()";
  const auto side = [&](OdbcConnection& c) {  // "1": the statement ran on the standby
    SQLHSTMT s = c.Statement();
    const std::string found = Rows(s, SQLExecDirect(s, (SQLCHAR*)recovery, SQL_NTS), {1});
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return found;
  };
  EXPECT_EQ(side(reader), "1");
  EXPECT_EQ(side(writer), "0");
  EXPECT_EQ(writer.Execute("CREATE TABLE " + name + " (n INTEGER)"), SQL_SUCCESS) << writer.Diag();
  const char* drivers[] = {"Velora ANSI", "Velora"};
  for (int i = 0; i < 2; ++i) {
    OdbcConnection& m = moved[i];
    ASSERT_TRUE(SQL_SUCCEEDED(m.DriverConnect("DRIVER={" + std::string(drivers[i]) + at + "writer;PWD=w")));
    SQLHSTMT p = m.Statement();
    EXPECT_EQ(AccessMode(m, SQL_MODE_READ_ONLY), SQL_SUCCESS) << m.Diag();
    ASSERT_EQ(SQLPrepare(p, (SQLCHAR*)recovery, SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(Rows(p, SQLExecute(p), {1}), "1") << drivers[i];
    EXPECT_EQ(AccessMode(m, SQL_MODE_READ_WRITE), SQL_SUCCESS) << m.Diag();
    EXPECT_EQ(Rows(p, SQLExecute(p), {1}), "0") << drivers[i];  // prepared again on the primary
    EXPECT_EQ(side(m), "0") << drivers[i];
    EXPECT_EQ(m.Execute("INSERT INTO " + name + " VALUES (1)"), SQL_SUCCESS) << m.Diag();
    // The read opens a transaction on the primary: no move until it ends.
    SQLSetConnectAttr(m.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
    EXPECT_EQ(side(m), "0") << drivers[i];
    EXPECT_EQ(AccessMode(m, SQL_MODE_READ_ONLY), SQL_ERROR);
    EXPECT_EQ(m.Diag().rfind("HY011 [QTX][Velora ODBC Server]the access mode cannot change while a transaction", 0), 0u)
        << m.Diag();
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, m.dbc, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(AccessMode(m, SQL_MODE_READ_ONLY), SQL_SUCCESS) << m.Diag();
    EXPECT_EQ(Rows(p, SQLExecute(p), {1}), "1") << drivers[i];
    SQLSetConnectAttr(m.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
    SQLSetStmtAttr(p, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)1, 0);  // the standby's session has the limit too
    EXPECT_EQ(Rows(p, SQLExecDirect(p, (SQLCHAR*)"SELECT pg_sleep(30)", SQL_NTS), {1}).substr(0, 11), "rc -1 HYT00");
  }
  EXPECT_EQ(writer.Execute("DROP TABLE " + name), SQL_SUCCESS) << writer.Diag();
  const std::string sessions = "SELECT count(*) FROM pg_stat_activity WHERE application_name = '" + name + "'";
  EXPECT_EQ(Psql(standbyUri, sessions), "3\n");     // the reader's and the moved ones'
  EXPECT_EQ(Psql(TestStorage(), sessions), "3\n");  // the writers' sessions, never the reader's
}
