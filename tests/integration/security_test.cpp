// Encrypted connections, rights per user and what crosses the network, as
// an application sees them through the driver manager. The certificates
// are made for this run with the openssl tool: "cert" for localhost on the
// server T, "other" for another name on the server U.
#include <thread>

#include "integration.h"
#include "support/socket_io.h"

namespace {

// T (users alice, reader read-only, clerk limited to the data source
// "main") and U, started once.
struct TlsServers {
  TlsServers() {
    t.AddUser("alice", "wonderland");
    t.AddUser("reader", "pages", "--read-only");
    t.AddUser("clerk", "desk", "--datasource main");
    ready = MakeTestCertificate(t.Folder() + "/cert", "localhost") &&
            MakeTestCertificate(u.Folder() + "/other", "other.test") &&
            t.Start({"--tls-cert", t.Folder() + "/cert.pem", "--tls-key", t.Folder() + "/cert.key"}) &&
            u.Start({"--tls-cert", u.Folder() + "/other.pem", "--tls-key", u.Folder() + "/other.key"});
  }
  VeloraServer t, u;
  bool ready = false;
};

TlsServers& Servers() {
  static TlsServers servers;
  return servers;
}

std::string At(int port, const std::string& user = "alice", const std::string& password = "wonderland") {
  return "DRIVER={Velora ANSI};Service=" + std::to_string(port) + ";Database=main;UID=" + user + ";PWD=" + password;
}

// A TCP relay that keeps every byte it passes on, in both directions.
class Proxy {
 public:
  explicit Proxy(int target) {
    listener_ = LoopbackSocket(&port_);
    thread_ = std::thread([this, target] { Relay(target); });
  }
  ~Proxy() {
    thread_.join();
    close(listener_);
  }
  int Port() const { return port_; }
  std::string Captured() {
    thread_.join();
    thread_ = std::thread([] {});
    return captured_;
  }

 private:
  void Relay(int target) {
    if (!WaitReadable(listener_)) return;
    int client = accept(listener_, nullptr, nullptr), server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(target));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (client >= 0 && connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      for (char buffer[4096];;) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (poll(p, 2, 10000) <= 0) break;
        const int from = p[0].revents ? client : server, to = from == client ? server : client;
        ssize_t n = recv(from, buffer, sizeof buffer, 0);
        if (n <= 0 || send(to, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) break;
        captured_.append(buffer, static_cast<size_t>(n));
      }
    }
    close(client);
    close(server);
  }
  uint16_t port_ = 0;
  int listener_ = -1;
  std::string captured_;
  std::thread thread_;
};

// Each mode against a server with a certificate and one without: whether
// the login succeeds and the driver's record it leaves (the driver
// manager adds its own warning about the ODBC version).
TEST(Security, TlsModesAndTheirRefusals) {
  TlsServers& s = Servers();
  ASSERT_TRUE(s.ready) << s.t.Error() << s.u.Error();
  const std::string ca = ";TLSCAFile=" + s.t.Folder() + "/cert.pem";
  // clang-format off
  const struct { std::string in; bool ok; std::string record; } rows[] = {
      {At(s.t.Port()) + ";Server=127.0.0.1;TLS=require", true, ""},
      {At(s.t.Port()) + ";Server=localhost;TLS=verify-full" + ca, true, ""},
      {At(s.t.Port()) + ";Server=localhost;TLS=verify-full;TLSCAFile=" + s.u.Folder() + "/other.pem", false,
       "08001 [QTX][Velora ODBC Client]TLS handshake failed: certificate verify failed: self-signed certificate"},
      {At(s.u.Port()) + ";Server=localhost;TLS=verify-full;TLSCAFile=" + s.u.Folder() + "/other.pem", false,
       "08001 [QTX][Velora ODBC Client]TLS handshake failed: certificate verify failed: hostname mismatch"},
      {At(s.t.Port()) + ";Server=127.0.0.1;TLS=verify-full" + ca, false,
       "08001 [QTX][Velora ODBC Client]TLS handshake failed: certificate verify failed: IP address mismatch"},
      {At(s.t.Port()) + ";Server=localhost;TLS=require;TLSCAFile=/nonexistent/ca.pem", false,
       "08001 [QTX][Velora ODBC Client]TLS handshake failed: cannot read the CA file /nonexistent/ca.pem"},
      {At(g_a.Port()) + ";Server=127.0.0.1;TLS=require", false,
       "08001 [QTX][Velora ODBC Client]TLS handshake failed: the server does not answer with TLS ("},
      {At(g_a.Port()) + ";Server=127.0.0.1;TLS=prefer", true, "01000 [QTX][Velora ODBC Client]no encryption ("},
      {At(g_a.Port()) + ";Server=127.0.0.1;TLS=sometimes", false,
       "08001 [QTX][Velora ODBC Client]invalid TLS mode \"sometimes\": use off, prefer, require or verify-full"},
  };
  // clang-format on
  OdbcConnection dsn;  // the data source's own key
  EXPECT_TRUE(SQL_SUCCEEDED(dsn.Connect("VelPrefer", "public", ""))) << dsn.Diag();
  EXPECT_NE(dsn.Diag().find("01000 [QTX][Velora ODBC Client]no encryption ("), std::string::npos) << dsn.Diag();
  for (const auto& r : rows) {
    OdbcConnection c;
    EXPECT_EQ(SQL_SUCCEEDED(c.DriverConnect(r.in)), r.ok) << r.in << c.Diag();
    EXPECT_NE(c.Diag().find(r.record), std::string::npos) << r.in << c.Diag();
    if (!r.ok) continue;
    EXPECT_NE(c.out.find("TLS="), std::string::npos) << c.out;
    SQLHSTMT st = c.Statement();
    EXPECT_EQ(Rows(st, SQLExecDirect(st, (SQLCHAR*)"SELECT 6*7", SQL_NTS), {1}), "42");
  }
}

// Through a relay: plaintext shows the password and the statement; TLS
// shows neither.
TEST(Security, EncryptedSessionHidesPasswordAndStatements) {
  TlsServers& s = Servers();
  ASSERT_TRUE(s.ready);
  for (const std::string mode : {"off", "require"}) {
    Proxy proxy(s.t.Port());
    {
      OdbcConnection c;
      ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(At(proxy.Port()) + ";Server=127.0.0.1;TLS=" + mode))) << c.Diag();
      EXPECT_EQ(c.Execute("SELECT 'statement-text-" + mode + "'"), SQL_SUCCESS);
    }
    const std::string captured = proxy.Captured();
    EXPECT_GT(captured.size(), 100u);
    const bool visible = mode == "off";
    EXPECT_EQ(captured.find("wonderland") != std::string::npos, visible) << mode;
    EXPECT_EQ(captured.find("statement-text") != std::string::npos, visible) << mode;
  }
}

// A read-only user reads but cannot write, whatever the application asks
// for; a user limited to "main" cannot open another data source.
TEST(Security, RightsPerUser) {
  TlsServers& s = Servers();
  ASSERT_TRUE(s.ready);
  const std::string tls = ";Server=127.0.0.1;TLS=require";
  OdbcConnection alice, reader, clerk, elsewhere;
  ASSERT_TRUE(SQL_SUCCEEDED(alice.DriverConnect(At(s.t.Port()) + tls))) << alice.Diag();
  ASSERT_EQ(alice.Execute("CREATE TABLE shelf (book TEXT)"), SQL_SUCCESS);
  ASSERT_EQ(alice.Execute("INSERT INTO shelf VALUES ('atlas')"), SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(reader.DriverConnect(At(s.t.Port(), "reader", "pages") + tls))) << reader.Diag();
  EXPECT_EQ(SQLSetConnectAttr(reader.dbc, SQL_ATTR_ACCESS_MODE, (SQLPOINTER)SQL_MODE_READ_WRITE, 0),
            SQL_SUCCESS_WITH_INFO);
  for (const char* write : {"INSERT INTO shelf VALUES ('x')", "PRAGMA query_only=0", "DROP TABLE shelf"}) {
    SQLHSTMT st = reader.Statement();
    EXPECT_EQ(SQLExecDirect(st, (SQLCHAR*)write, SQL_NTS), SQL_ERROR) << write;
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, st).substr(0, 5), "42000") << write;
  }
  SQLHSTMT st = reader.Statement();
  EXPECT_EQ(Rows(st, SQLExecDirect(st, (SQLCHAR*)"SELECT book FROM shelf", SQL_NTS), {1}), "atlas");
  // Through the 3.x library the reader's rights on the table (and the
  // storage's grants it is shown) are SELECT alone: PRIVILEGE/GRANTEE.
  OdbcConnection wide;
  std::string viaWide = At(s.t.Port(), "reader", "pages") + tls;
  ASSERT_TRUE(SQL_SUCCEEDED(wide.DriverConnect(viaWide.replace(8, 11, "Velora")))) << wide.Diag();
  SQLHSTMT w = wide.Statement();
  const std::string rights = Rows(w, SQLTablePrivileges(w, 0, 0, 0, 0, (SQLCHAR*)"shelf", SQL_NTS), {6, 5}) + ";";
  size_t rows = 0, selects = 0;
  for (size_t at = 0; (at = rights.find(';', at)) != std::string::npos; ++at) ++rows;
  for (size_t at = 0; (at = rights.find("SELECT/", at)) != std::string::npos; ++at) ++selects;
  EXPECT_TRUE(rows == selects && rights.find("SELECT/reader;") != std::string::npos) << rights;
  EXPECT_TRUE(SQL_SUCCEEDED(clerk.DriverConnect(At(s.t.Port(), "clerk", "desk") + tls))) << clerk.Diag();
  std::string other = At(s.t.Port(), "clerk", "desk") + tls;
  other.replace(other.find("main"), 4, "ledger");
  EXPECT_EQ(elsewhere.DriverConnect(other), SQL_ERROR);
  EXPECT_EQ(elsewhere.Diag().substr(0, 5), "28000") << elsewhere.Diag();
}

}  // namespace
