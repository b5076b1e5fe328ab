// Sessions of a real server: the greeting and its statuses, login and its
// refusals, data sources, stopping, and frames that are
// malformed, oversized or cut short.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "server_client.h"
#include "support/socket_io.h"

namespace {

// A login over a socket bound to source (a loopback address other than
// the driver's): the connect reply's return code, or kCommFailure.
int LoginFrom(const char* source, int port, const std::string& user, const std::string& password) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, source, &a.sin_addr);
  std::string body, reply;
  for (const std::string& text : {std::string("db"), user, password}) body += std::string{char(text.size()), 0} + text;
  std::string frame = std::string{char(body.size()), 0, 0, 0, char(Msg::kConnect), 0} + body;
  std::string greeting = "L\x06 WIN32 iso8859-1";
  greeting.resize(80, '\0');
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  a.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  ok = ok && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
       send(fd, greeting.data(), 80, MSG_NOSIGNAL) == 80 && ReadExactly(fd, 2, &reply) && reply == std::string(2, 0) &&
       send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size()) &&
       ReadExactly(fd, 6, &reply);
  close(fd);
  return ok ? static_cast<int16_t>(uint8_t(reply[4]) | uint8_t(reply[5]) << 8) : kCommFailure;
}

TEST(ServerLogin, GreetingStatusesAndTheConnectReply) {
  VeloraServer server;
  ASSERT_TRUE(server.Start({"--max-clients", "2"})) << server.Error();
  // clang-format off
  const struct { std::string block; int status; } greetings[] = {
      {"X\x06 WIN32 iso8859-1", 1}, {"L\x05 WIN32 iso8859-1", 2}, {"L\x06 WIN32 utf-8", 4},
      {"L\x06WIN32 iso8859-1", 1},  {"L\x06 WIN32iso8859-1", 1},  {std::string("L\x06 WIN32 iso8859-1\0junk", 23), 1},
  };
  // clang-format on
  for (const auto& g : greetings) {
    Client c;
    ASSERT_TRUE(c.Open(server.Port()));
    EXPECT_EQ(c.Greet(g.block), g.status) << g.block;
    EXPECT_TRUE(c.PeerClosed());
  }
  Client c, full, third;
  ASSERT_TRUE(c.OpenAndLogin(server.Port()));
  EXPECT_NE(c.version.find("Velora ODBC Server"), std::string::npos);
  EXPECT_NE(c.version.find(OnPostgres() ? "(PostgreSQL 1" : "(SQLite 3."), std::string::npos);
  EXPECT_EQ(std::vector<uint16_t>(c.sizes, c.sizes + 13),
            std::vector<uint16_t>({10, 1, 6, 12, 8, 8, 4, 12, 4, 2, 6, 16, 1}));
  ConnectRequest again;
  EXPECT_EQ(c.Outcome(c.Exchange(&again), 0), "-1 08002");
  // Beyond --max-clients: status 3; room again once a client logs out.
  ASSERT_TRUE(full.OpenAndLogin(server.Port()));
  ASSERT_TRUE(third.Open(server.Port()));
  EXPECT_EQ(third.Greet(), 3);
  EXPECT_EQ(full.Call(Msg::kDisconnect, 0), 0);
  EXPECT_TRUE(full.PeerClosed());
  Client fourth;
  EXPECT_TRUE(fourth.OpenAndLogin(server.Port()));
}

TEST(ServerLogin, UsersFileRefusesWith28000AndNeverLogsThePassword) {
  VeloraServer server;
  std::string users = server.Folder() + "/users";
  ASSERT_EQ(AddServerUser(users, "alice", "s3cret word"), 0);
  ASSERT_EQ(AddServerUser(users, "tester", "zq8Wx7"), 0);
  ASSERT_EQ(AddServerUser(users, "alice", "new one"), 0);  // replaces her line
  ASSERT_NE(AddServerUser(users, "bad:name", "x"), 0);     // hashes only: ServerUsers
  ASSERT_TRUE(server.Start({"--users", users, "--trace-frames"})) << server.Error();
  // Her replaced password, and a user not in the file.
  const char* refused[][2] = {{"alice", "s3cret word"}, {"nobody", "new one"}};
  for (auto& login : refused) {
    Client c;
    EXPECT_EQ(c.Outcome(c.Connect(server.Port(), "db", login[0], login[1]), 0), "-1 28000") << login[0];
    EXPECT_EQ(c.Outcome(c.Call(Msg::kAllocStatement, 0), 0), "-1 08003");  // still not logged in
  }
  Client ok;
  ASSERT_EQ(ok.Connect(server.Port(), "any", "tester", "zq8Wx7"), 0);
  ASSERT_NE(ok.Alloc(), 0u);  // its reply is traced after the connect request's
  ASSERT_TRUE(server.WaitForLog("reply to"));
  std::string log = server.Log();
  EXPECT_NE(log.find("74 65 73"), std::string::npos);  // the user name is shown
  EXPECT_EQ(log.find("zq8Wx7"), std::string::npos);
  EXPECT_EQ(log.find("7A 71 38 57 78 37"), std::string::npos);
  EXPECT_NE(log.find("******"), std::string::npos);
}

TEST(ServerLogin, UnsafeSetupsAreRefusedAtStart) {
  VeloraServer open, readable, wide;
  std::string users = open.Folder() + "/users";
  ASSERT_EQ(AddServerUser(users, "alice", "pw"), 0);
  ASSERT_EQ(chmod(users.c_str(), 0666), 0);
  EXPECT_FALSE(open.Start({"--users", users}));
  EXPECT_NE(open.Log().find("may be written by others"), std::string::npos);
  EXPECT_EQ(open.Stop(), 1);
  EXPECT_FALSE(wide.Start({"--address", "0.0.0.0"}));  // no users file
  EXPECT_NE(wide.Log().find("only a loopback address"), std::string::npos);
  EXPECT_EQ(wide.Stop(), 1);
  VeloraServer six;  // IPv6's loopback is a loopback address too
  six.Start({"--address", "::1"});
  EXPECT_EQ(six.Log().find("only a loopback address"), std::string::npos);
  // Readable by others: the server starts and says so.
  ASSERT_EQ(chmod(users.c_str(), 0644), 0);
  VeloraServer clear;  // beyond loopback with users but without TLS
  EXPECT_FALSE(clear.Start({"--address", "0.0.0.0", "--users", users}));
  EXPECT_NE(clear.Log().find("give --tls-cert and --tls-key (or --allow-plaintext"), std::string::npos);
  ASSERT_TRUE(readable.Start({"--users", users}));
  EXPECT_NE(readable.Log().find("may be read by others"), std::string::npos);
  Client c;
  EXPECT_EQ(c.Connect(readable.Port(), "db", "alice", "pw"), 0);
}

// Fifty wrong logins at once from one address: they are checked one at a
// time in growing turns, and those whose turn lies too far ahead are
// refused unchecked; meanwhile a right login from another address is
// served at once. The log names no password.
TEST(ServerLogin, GuessingIsSlowedPerAddressOnly) {
  VeloraServer server;
  server.AddUser("alice", "right one");
  ASSERT_TRUE(server.Start({"--allow-plaintext"})) << server.Error();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  std::atomic<int> failed{0};
  std::vector<std::thread> guessers;
  for (int i = 0; i < 50; ++i) {
    guessers.emplace_back([&, i] {
      Client c;
      failed += c.Connect(server.Port(), "db", "alice", "guess-" + std::to_string(i)) != 0;
    });
  }
  ASSERT_TRUE(server.WaitForLog("(failure 2 from 127.0.0.1)"));
  const Clock::time_point asked = Clock::now();
  EXPECT_EQ(LoginFrom("127.0.0.2", server.Port(), "alice", "right one"), 0);
  const Clock::duration served = Clock::now() - asked;
  for (auto& g : guessers) g.join();
  // Not a deadline (machines under load are slow): the right login is served
  // while the guessers still wait for their turns.
  EXPECT_LT(served, Clock::now() - asked);
  EXPECT_EQ(failed, 50);
  // Turns of 100 and 200 ms came before the third check. How many more
  // fit into an attempt's wait depends on how fast the machine checks a
  // password, so the test asks no more than that.
  EXPECT_GT(Clock::now() - start, std::chrono::milliseconds(300));
  const std::string log = server.Log();
  EXPECT_NE(log.find("(failure 3 from 127.0.0.1)"), std::string::npos);
  EXPECT_NE(log.find("refused unchecked: too many failed logins from 127.0.0.1"), std::string::npos);
  EXPECT_NE(log.find("logs in without encryption (--allow-plaintext)"), std::string::npos);
  EXPECT_EQ(log.find("guess-"), std::string::npos);
}

TEST(ServerLogin, DataSourcesAndNamesFromClients) {
  VeloraServer server;
  std::string other = server.Folder() + "/other.db", copy = server.Folder() + "/copy.db";
  ASSERT_TRUE(server.Start({"--datasource", "Other=" + other, "--datasource", "Broken=/nonexistent/x.db"}));
  Client o, d, broken;
  ASSERT_EQ(o.Connect(server.Port(), "Other"), 0);
  ASSERT_EQ(o.Exec(o.Alloc(), "CREATE TABLE only_in_other (x)"), 0);
  ASSERT_EQ(d.Connect(server.Port(), "db\r\nvelora-server: stopped", "x\nvelora-server: forged"), 0);
  uint32_t s = d.Alloc();
  const std::string rows[][2] = {
      {"SELECT * FROM only_in_other", "-1 S0002"}, {"ATTACH '" + other + "' AS o", "-1 42000"},
      {"VACUUM INTO '" + copy + "'", "-1 42000"},  {"VACUUM", "0 00000"},
      {"ATTACH ':memory:' AS scratch", "0 00000"}, {"PRAGMA journal_mode=DELETE", "0 00000"},
  };
  for (const auto& r : rows) {  // ATTACH, VACUUM and PRAGMA are SQLite's
    if (&r != rows && OnPostgres()) continue;
    EXPECT_EQ(d.Outcome(d.Exec(s, r[0]), s), r[1]) << r[0];
  }
  EXPECT_NE(access(copy.c_str(), F_OK), 0);
  EXPECT_EQ(broken.Outcome(broken.Connect(server.Port(), "Broken"), 0), "-1 08001");
  // A client's names stay on their own log line.
  ASSERT_TRUE(server.WaitForLog("velora-server: stopped\" ("));
  std::string log = server.Log();
  EXPECT_EQ(log.find("\nvelora-server: forged"), std::string::npos);
  EXPECT_EQ(log.find("\nvelora-server: stopped"), std::string::npos);
  EXPECT_NE(log.find("x?velora-server: forged"), std::string::npos);
}

TEST(ServerLogin, StopsCleanlyOnSignalsEvenDuringAnEndlessQuery) {
  for (int signal : {SIGTERM, SIGINT}) {
    VeloraServer server;
    ASSERT_TRUE(server.Start({"-v", "--drain-timeout", "0"}));
    Client c;
    ASSERT_TRUE(c.OpenAndLogin(server.Port()));
    ExecDirectRequest r;
    r.SetStatementId(c.Alloc());
    EXPECT_EQ(1, r.Get<StatementElement>()->value.SetString(
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n"));
    int status = 0;
    ASSERT_TRUE(r.Send(&status, &c.connection));  // no wait for the reply
    ASSERT_TRUE(server.WaitForLog("request 10"));
    EXPECT_EQ(server.Stop(signal), 0) << signal;
    EXPECT_NE(server.Log().find("stopped"), std::string::npos);
    EXPECT_TRUE(c.PeerClosed());
  }
}

class ServerRobustness : public ServerSessionTest {
 protected:
  ServerRobustness() { args = {"--max-frame", "4096", "--max-statements", "3"}; }
};

TEST_F(ServerRobustness, BadFramesAndVanishingClientsEndOnlyTheirSession) {
  ASSERT_EQ(c.Exec(s, "CREATE TABLE v (x INTEGER)"), 0);
  const std::string frames[] = {
      U32(0) + U16(7),                    // a code that is never sent
      U32(0) + U16(999),                  // beyond the catalogue
      U32(5000) + U16(Msg::kExecDirect),  // over --max-frame
      // A body that ends inside an element (each element kind's short and
      // lying bodies: tests/protocol/element_test.cpp).
      U32(3) + U16(Msg::kFreeStatement) + "abc",
  };
  for (const std::string& frame : frames) {
    Client other;
    ASSERT_TRUE(other.OpenAndLogin(server.Port()));
    ASSERT_TRUE(other.SendRaw(frame));
    EXPECT_TRUE(other.PeerClosed()) << frame.size();
  }
  // Clients that vanish: before the greeting is complete, after a frame
  // header, and in the middle of a request while holding a write transaction.
  const std::string partial[] = {"L\x06", U32(4) + U16(Msg::kRowCount), U32(100) + U16(Msg::kExecDirect) + "part"};
  for (const std::string& bytes : partial) {
    Client other;
    ASSERT_TRUE(&bytes == partial ? other.Open(server.Port()) : other.OpenAndLogin(server.Port()));
    if (&bytes == partial + 2) {
      ASSERT_EQ(other.Call(Msg::kSetAutocommit, 0, 0), 0);
      ASSERT_EQ(other.Exec(other.Alloc(), "INSERT INTO v VALUES (1)"), 0);
    }
    ASSERT_TRUE(other.SendRaw(bytes));
  }
  for (const char* line : {"exceeds --max-frame", "unknown message code 7", "malformed body",
                           "client vanished in the middle of a request"}) {
    EXPECT_TRUE(server.WaitForLog(line)) << line;
  }
  ASSERT_EQ(c.Exec(s, "INSERT INTO v VALUES (2)"), 0);  // the vanished client's row rolled back
  EXPECT_EQ(c.Query(s, "SELECT CAST(count(*) AS INTEGER) FROM v").at(0).at(0).bytes, U32(1));
}

TEST_F(ServerRobustness, NoValueOrRowGrowsBeyondTheFrameLimit) {
  // SQLite limits values built inside a statement too; PostgreSQL's are
  // refused when they reach the server.
  // fetch: empty: the execution itself fails
  // clang-format off
  const struct { const char* sql; const char* pg; std::vector<uint16_t> fetch; const char* outcome; } rows[] = {
      {"SELECT zeroblob(10000)", "SELECT decode(repeat('00', 10000), 'hex')", {}, "-1 22001"},
      {"SELECT length(group_concat(printf('%.100c', 'x'))) FROM (WITH RECURSIVE n(i) AS "
       "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100) SELECT i FROM n)",
       nullptr,
       {},
       "-1 22001"},
      {"SELECT zeroblob(3000), zeroblob(3000)", "SELECT decode(repeat('00', 3000), 'hex'), 1",
       std::vector<uint16_t>(100, 1), "-1 S1000"},
      {"SELECT zeroblob(3000), zeroblob(3000)",
       "SELECT decode(repeat('00', 3000), 'hex'), decode(repeat('00', 3000), 'hex')",
       {1, 2},
       "-1 S1000"},
      {"SELECT zeroblob(3000), x'02'", "SELECT decode(repeat('00', 3000), 'hex'), x'02'", {1, 2}, "0 00000"},
      {"SELECT zeroblob(4096)", "SELECT decode(repeat('00', 4096), 'hex')", {1}, "0 00000"},  // alone in its row
  };
  // clang-format on
  for (const auto& r : rows) {
    if (OnPostgres() && !r.pg) continue;
    c.Call(Msg::kFreeStatement, s, 0);
    int rc = c.Exec(s, OnPostgres() ? r.pg : r.sql);
    EXPECT_EQ(c.Outcome(rc || r.fetch.empty() ? rc : c.Fetch(s, r.fetch), s), r.outcome) << r.sql;
  }
  c.Call(Msg::kFreeStatement, s, 0);
  EXPECT_EQ(c.Query(s, "SELECT 41 + 1").at(0).at(0).bytes, U32(42));  // the session goes on
}

TEST_F(ServerRobustness, StatementLimitAndConcurrentClients) {
  uint32_t t = c.Alloc(), u = c.Alloc();
  ASSERT_NE(u, 0u);
  EXPECT_EQ(c.Outcome(c.Call(Msg::kAllocStatement, 0), 0),
            "-1 S1014");  // the fourth of --max-statements 3
  EXPECT_EQ(c.Call(Msg::kFreeStatement, t, 1), 0);
  ASSERT_NE(c.Alloc(), 0u);
  ASSERT_EQ(c.Exec(s, "CREATE TABLE log (client INTEGER, n INTEGER)"), 0);
  constexpr int kClients = 4, kRows = 40;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (uint32_t k = 0; k < kClients; ++k) {
    threads.emplace_back([&, k] {
      Client w;
      uint32_t ins = w.OpenAndLogin(server.Port()) ? w.Alloc() : 0, q = w.Alloc();
      if (w.Exec(ins, "INSERT INTO log VALUES (?, ?)", {}, nullptr, Msg::kPrepare) != 0) ++failures;
      for (uint32_t i = 0; i < kRows; ++i) {
        if (w.Execute(ins, {{1, 4, U32(k)}, {2, 4, U32(i)}}) != 0) ++failures;
        Rows rows = w.Query(q, "SELECT CAST(count(*) AS INTEGER) FROM log WHERE client = " + std::to_string(k));
        if (rows.size() != 1 || rows[0][0].bytes != U32(i + 1)) ++failures;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  Rows rows = c.Query(s, "SELECT CAST(count(*) AS INTEGER), CAST(count(DISTINCT client) AS INTEGER) FROM log");
  EXPECT_EQ(rows.at(0).at(0).bytes + rows.at(0).at(1).bytes, U32(kClients * kRows) + U32(kClients));
}

}  // namespace
