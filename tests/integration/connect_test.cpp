// Through the unixODBC driver manager, as an ODBC 3 application, to real
// servers: connecting by data source name and by connection string,
// refusals, each connection going to its own data source's server, and
// transactions seen from a second connection. The data sources: "VelOpen"
// (server A, any login), "VelOther" (server B), "VelAuth" (server C,
// alice / wonderland), "VelRefused" (a port nobody listens on),
// "VelPrompt" (server A, asks for the password). unixODBC reads only the
// build tree's private folder: the driver's odbcinst.ini (ODBCSYSINI), this
// program's odbc.ini (ODBCINI) and HOME inside it (no ~/.odbcinst.ini).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "support/velora_server.h"

namespace {

VeloraServer g_a, g_b, g_c;
int g_refused = 0;  // bound, never listening: nothing else can take it

// An ODBC 3 environment with one connection handle; frees both.
class OdbcConnection {
 public:
  OdbcConnection() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  }
  ~OdbcConnection() {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  // The first record as "STATE message", without the "[unixODBC]" unixODBC
  // puts before the records it copies at connect time.
  std::string Diag() {
    SQLCHAR state[6] = {0}, message[SQL_MAX_MESSAGE_LENGTH + 1] = {0};
    SQLINTEGER native = 0;
    SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, message, sizeof message, nullptr);
    std::string m = (char*)message;
    return (char*)state + (" " + (m.rfind("[unixODBC]", 0) ? m : m.substr(10)));
  }
  // SQLDriverConnect without a prompt; the output string is kept in out.
  SQLRETURN DriverConnect(const std::string& in) {
    SQLCHAR text[1024] = {0};
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, text,
                                    sizeof text, nullptr, SQL_DRIVER_NOPROMPT);
    out = (char*)text;
    return rc;
  }
  SQLRETURN Connect(const std::string& dsn, const std::string& user, const std::string& password) {
    return SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)user.c_str(), SQL_NTS,
                      (SQLCHAR*)password.c_str(), SQL_NTS);
  }
  // SQLExecDirect on a statement of its own; the row count when asked for.
  SQLRETURN Execute(const std::string& sql, SQLLEN* rows = nullptr) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (rows && SQL_SUCCEEDED(rc)) SQLRowCount(stmt, rows);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return rc;
  }
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  std::string out;
};

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
  } rows[] = {{"DSN=VelPrompt", Out("VelPrompt", g_a, "public", "yes")},
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
  OdbcConnection first, second, right;
  ASSERT_TRUE(SQL_SUCCEEDED(first.Connect("VelOpen", "public", ""))) << first.Diag();
  EXPECT_EQ(SQLDisconnect(first.dbc), SQL_SUCCESS) << first.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(first.Connect("VelOpen", "public", ""))) << first.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(second.DriverConnect("DSN=VelOther"))) << second.Diag();
  EXPECT_EQ(second.out, Out("VelOther", g_b, "public", "no"));
  ASSERT_EQ(first.Execute("CREATE TABLE only_on_a (a INTEGER)"), SQL_SUCCESS);
  EXPECT_EQ(second.Execute("INSERT INTO only_on_a VALUES (1)"), SQL_ERROR);
  EXPECT_EQ(first.Execute("INSERT INTO only_on_a VALUES (1)"), SQL_SUCCESS);
  EXPECT_TRUE(SQL_SUCCEEDED(right.Connect("VelAuth", "alice", "wonderland"))) << right.Diag();
}

// Refusals with their first record. The refused port stays bound (never
// listening) while the program runs, so no other server can appear there.
TEST(Connect, RefusalsGiveTheirStatesAndTexts) {
  const struct {
    char call;  // C SQLConnect, D SQLDriverConnect, B SQLBrowseConnect
    std::string in, first;
  } rows[] = {{'C', "VelAuth", "28000 [QTX][Velora ODBC Server]"},  // wrong password
              {'C', "VelRefused", "08001 [QTX][Velora ODBC Client]connection failure"},
              {'B', "DSN=VelOpen", "HYC00 [QTX][Velora ODBC Client]SQLBrowseConnect not implemented"}};
  for (const auto& r : rows) {
    OdbcConnection c;
    SQLCHAR out[256];
    SQLSMALLINT length = 0;
    SQLRETURN rc = r.call == 'C'   ? c.Connect(r.in, "alice", "wrong")
                   : r.call == 'D' ? c.DriverConnect(r.in)
                                   : SQLBrowseConnect(c.dbc, (SQLCHAR*)r.in.c_str(), SQL_NTS, out,
                                                      sizeof out, &length);
    EXPECT_EQ(rc, SQL_ERROR) << r.in;
    EXPECT_EQ(c.Diag().substr(0, r.first.size()), r.first) << r.in;
  }
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {AF_INET, htons(static_cast<uint16_t>(g_refused)), {htonl(INADDR_LOOPBACK)}, {}};
  EXPECT_NE(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
}

// Autocommit turned off before connecting (the driver manager replays it
// to the driver before the login) holds in the session; rollback and
// commit, on the connection and through the environment, are seen from a
// second connection.
TEST(Connect, TransactionsOfAConnectionWithoutAutocommitSetBeforeConnecting) {
  OdbcConnection c, t;
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOpen"))) << c.Diag();
  ASSERT_EQ(c.Execute("CREATE TABLE ledger (a INTEGER)"), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(t.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(t.DriverConnect("DSN=VelOpen"))) << t.Diag();
  const struct {
    SQLSMALLINT type, end;
    SQLLEN visible;
  } rows[] = {{SQL_HANDLE_DBC, SQL_ROLLBACK, 0}, {SQL_HANDLE_DBC, SQL_COMMIT, 1},
              {SQL_HANDLE_ENV, SQL_ROLLBACK, 1}, {SQL_HANDLE_ENV, SQL_COMMIT, 2}};
  for (const auto& r : rows) {
    ASSERT_EQ(t.Execute("INSERT INTO ledger VALUES (1)"), SQL_SUCCESS);
    EXPECT_EQ(SQLEndTran(r.type, r.type == SQL_HANDLE_DBC ? t.dbc : t.env, r.end), SQL_SUCCESS)
        << t.Diag();
    SQLLEN rows = -2;  // an UPDATE that changes nothing counts the rows c sees
    EXPECT_EQ(c.Execute("UPDATE ledger SET a = a", &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, r.visible) << r.type << " " << r.end;
  }
}

std::string Section(const std::string& name, const std::string& service,
                    const std::string& user = "public", const std::string& ask = "no") {
  return "[" + name + "]\nDriver = Velora\nServer = 127.0.0.1\nService = " + service +
         "\nUser = " + user + "\nPassword = " + ask + "\n\n";
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("VELODBC_DIALOG", "none", 1);  // never a prompt on whoever's terminal
  g_c.AddUser("alice", "wonderland");
  for (VeloraServer* server : {&g_a, &g_b, &g_c}) {
    if (!server->Start()) return std::fprintf(stderr, "no server: %s\n", server->Error().c_str()), 1;
  }
  g_refused = UnusedLoopbackPort();
  const std::string ini = VEL_ODBC_DIR "/connect_test.odbc.ini";
  std::ofstream(ini) << Section("VelOpen", g_a.PortText()) << Section("VelOther", g_b.PortText())
                     << Section("VelAuth", g_c.PortText(), "alice")
                     << Section("VelRefused", std::to_string(g_refused))
                     << Section("VelPrompt", g_a.PortText(), "public", "Yes");
  setenv("ODBCSYSINI", VEL_ODBC_DIR, 1);
  setenv("ODBCINI", ini.c_str(), 1);
  setenv("HOME", VEL_ODBC_DIR "/home", 1);
  const int rc = RUN_ALL_TESTS();
  for (VeloraServer* server : {&g_a, &g_b, &g_c}) server->Stop();
  return rc;
}
