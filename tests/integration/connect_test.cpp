// Connecting through the unixODBC driver manager: by data source name and
// by connection string (with or without a data source), each
// connection going to its own data source's server, transactions seen from
// a second connection, SQLMoreResults and rowsets.
#include "integration.h"

namespace {

std::string Out(const std::string& dsn, const VeloraServer& server, const std::string& user, const std::string& ask) {
  return "DSN=" + dsn + ";Server=127.0.0.1;Service=" + server.PortText() + ";User=" + user + ";Password=" + ask;
}

// The output string completes the input from the data source. VelPrompt
// asks for the password: with no way to show the prompt (no terminal
// here) the login goes on with an empty one, and the switch is echoed in
// lower case. With DRIVER= everything comes from the string: the session
// uses the server's default data source, or the one Database= names.
TEST(Connect, ConnectionStringIsCompleted) {
  const std::string at = ";Server=127.0.0.1;Service=" + g_a.PortText();
  // clang-format off
  const struct { std::string in, out, logged; } rows[] = {
      {"DSN=VelPrompt", Out("VelPrompt", g_a, "public", "yes"), ""},
      {"DSN=VelOther" + at + ";User=bob;Password=NO", Out("VelOther", g_a, "bob", "no"), ""},
      {"DRIVER={Velora ANSI}" + at + ";UID=carol;PWD=pw",
       "DRIVER={Velora ANSI}" + at + ";User=carol;Password=no;PWD=pw", "user \"carol\" logged in to data source \"\""},
      {"Driver=Velora ANSI;Database=reports" + at,
       "DRIVER=Velora ANSI;Database=reports" + at + ";User=public;Password=no",
       "user \"public\" logged in to data source \"reports\""}};
  // clang-format on
  for (const auto& r : rows) {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(r.in))) << r.in << c.Diag();
    EXPECT_EQ(c.out, r.out);
    EXPECT_TRUE(g_a.WaitForLog(r.logged)) << g_a.Log();
  }
}

// Connection strings by ODBC's grammar against server C (its finer rules:
// odbc/connect_string_test.cpp): keys in any letter case, a braced value
// through the driver manager, MyDSN= naming no data source, Port= and Host=, and the
// data source's UID and PWD (also for SQLConnect's empty arguments, which
// given ones override); a server listening on ::1 only.
TEST(Connect, ConnectionStringGrammar) {
  VeloraServer v6;
  ASSERT_TRUE(v6.Start({"--address", "::1"})) << v6.Error();
  const std::string c = g_c.PortText(), refused = std::to_string(g_refused);
  // in beginning "connect:": SQLConnect to VelKeys with user/password
  // clang-format off
  const struct { std::string in, state; } rows[] = {
      {"dsn=VelAuth;uid=alice;pwd=wonderland", ""},
      {"DSN=VelAuth;UID=semi;PWD={ a;b}}c}", ""},
      {"MyDSN=VelAuth;DRIVER={Velora ANSI};Host=127.0.0.1;Port=" + c + ";UID=alice;PWD=wonderland", ""},
      {"DSN=VelRefused;Port=" + c + ";UID=alice;PWD=wonderland", ""},
      {"DSN=VelKeys;Service=" + refused, "08001"},
      {"dsn=VelKeys", ""},
      {"DRIVER={Velora ANSI};Server=::1;Port=" + v6.PortText(), ""},
      {"DRIVER={Velora ANSI};Host=[::1];Port=" + v6.PortText(), ""},
      {"connect:/", ""},
      {"connect:alice/wrong", "28000"},
      {"connect:nobody/", "28000"}};
  // clang-format on
  for (const auto& r : rows) {
    OdbcConnection conn;
    const size_t slash = r.in.find('/');
    const SQLRETURN rc = r.in.rfind("connect:", 0) == 0
                             ? conn.Connect("VelKeys", r.in.substr(8, slash - 8), r.in.substr(slash + 1))
                             : conn.DriverConnect(r.in);
    EXPECT_EQ(SQL_SUCCEEDED(rc) ? "" : conn.Diag().substr(0, 5), r.state) << r.in << conn.Diag();
  }
}

// Each connection talks to its own data source's server (logging in again
// after a disconnect, and the refusals' states: tests/conformance).
TEST(Connect, EachConnectionUsesItsOwnDataSourcesServer) {
  OdbcConnection first, second;
  ASSERT_TRUE(SQL_SUCCEEDED(first.Connect("VelOpen", "public", ""))) << first.Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(second.DriverConnect("DSN=VelOther"))) << second.Diag();
  ASSERT_EQ(first.Execute("CREATE TABLE only_on_a (a INTEGER)"), SQL_SUCCESS);
  EXPECT_EQ(second.Execute("INSERT INTO only_on_a VALUES (1)"), SQL_ERROR);
  EXPECT_EQ(first.Execute("INSERT INTO only_on_a VALUES (1)"), SQL_SUCCESS);
}

// Autocommit turned off before connecting (the driver manager replays it
// to the driver before the login) holds in the session; rollback and
// commit, on the connection and through the environment, are seen from a
// second connection; through both libraries (VelWide is the ODBC 3.x one).
TEST_F(Open, TransactionsOfAConnectionWithoutAutocommitSetBeforeConnecting) {
  ASSERT_EQ(c.Execute("CREATE TABLE ledger (a INTEGER)"), SQL_SUCCESS);
  SQLLEN before = 0;
  for (const char* dsn : {"DSN=VelOpen", "DSN=VelWide"}) {
    OdbcConnection t;
    ASSERT_EQ(SQLSetConnectAttr(t.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(t.DriverConnect(dsn))) << t.Diag();
    // clang-format off
    const struct { SQLSMALLINT type, end; SQLLEN visible; } rows[] = {{SQL_HANDLE_DBC, SQL_ROLLBACK, 0},
                                                                      {SQL_HANDLE_DBC, SQL_COMMIT, 1},
                                                                      {SQL_HANDLE_ENV, SQL_ROLLBACK, 1},
                                                                      {SQL_HANDLE_ENV, SQL_COMMIT, 2}};
    // clang-format on
    for (const auto& r : rows) {
      ASSERT_EQ(t.Execute("INSERT INTO ledger VALUES (1)"), SQL_SUCCESS);
      EXPECT_EQ(SQLEndTran(r.type, r.type == SQL_HANDLE_DBC ? t.dbc : t.env, r.end), SQL_SUCCESS) << t.Diag();
      SQLLEN rows = -2;  // an UPDATE that changes nothing counts the rows c sees
      EXPECT_EQ(c.Execute("UPDATE ledger SET a = a", &rows), SQL_SUCCESS);
      EXPECT_EQ(rows, before + r.visible) << dsn << " " << r.type << " " << r.end;
    }
    before += 2;
  }
}

// After a statement without a result set and after a SELECT, whose cursor
// it closes; a rowset size above 1 is taken without the server's warning.
TEST_F(Open, MoreResultsAndRowsets) {
  SQLHSTMT s = c.Statement();
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"CREATE TABLE apps_rows (n INTEGER)", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLMoreResults(s), SQL_NO_DATA);
  EXPECT_EQ(SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS) << Diag(SQL_HANDLE_STMT, s);
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"SELECT 1 UNION SELECT 2 UNION SELECT 3", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLMoreResults(s), SQL_NO_DATA);
  EXPECT_EQ(SQLFetch(s), SQL_ERROR);
}

}  // namespace
