// Clients of a real server meeting each other: the client limit against
// sockets that never greet and clients that just logged out, writers to one
// database and the conflict of a stale snapshot. Sixteen writers under load:
// bench/load_bench.cpp.
#include <unistd.h>

#include <thread>

#include "server_client.h"

namespace {

TEST(ServerClients, IdleSocketsDoNotCountAndALoggedOutSlotIsFreeAtOnce) {
  VeloraServer server;
  ASSERT_TRUE(server.Start({"--max-clients", "1"})) << server.Error();
  // Sockets that never send the greeting take no client's slot, and real clients
  // wait behind them (for at most the greeting wait) instead of being refused.
  std::vector<Client> idle(40);  // more than may wait for their greeting at once
  for (Client& i : idle) ASSERT_TRUE(i.Open(server.Port()));
  // With the single slot, each client logs in right after the previous
  // one's logout reply arrived.
  for (int round = 0; round < 100; ++round) {
    Client c;
    ASSERT_EQ(c.Connect(server.Port()), 0) << round;
    ASSERT_EQ(c.Call(Msg::kDisconnect, 0), 0);
  }
  // The greeting wait is short, also for a client sending a byte at a time.
  Client slow;
  ASSERT_TRUE(slow.Open(server.Port()));
  size_t sent = 0;
  while (sent < 79 && slow.SendRaw("L")) ++sent, usleep(250000);
  EXPECT_LT(sent, 79u);
  EXPECT_TRUE(idle[1].PeerClosed());
}

// Writers wait for each other in order, bounded by --lock-timeout; readers
// never wait. A transaction that read a snapshot and then writes after
// another client committed cannot be serialised: the application is told to
// roll back and retry, and the retry runs in turn from its first statement
// on, so that it cannot fail the same way.
class ServerWriters : public ServerSessionTest {
 protected:
  ServerWriters() { args = {"--lock-timeout", "1"}; }
  void SetUp() override {
    if (OnPostgres()) GTEST_SKIP() << "SQLite's writers (PostgreSQL's locks: server_postgres_test)";
    ServerSessionTest::SetUp();
  }
};

TEST_F(ServerWriters, WaitIsBoundedAndAStaleSnapshotIsASerializationFailure) {
  ASSERT_EQ(c.Exec(s, "CREATE TABLE t (n INTEGER)"), 0);
  Client other;
  ASSERT_TRUE(other.OpenAndLogin(server.Port()));
  uint32_t o = other.Alloc();
  auto count = [&] { return other.Query(o, "SELECT count(*) FROM t").at(0).at(0).bytes; };
  ASSERT_EQ(c.Call(Msg::kSetAutocommit, 0, 0), 0);
  ASSERT_EQ(c.Query(s, "SELECT count(*) FROM t").size(), 1u);
  ASSERT_EQ(other.Exec(o, "INSERT INTO t VALUES (1)"), 0);
  EXPECT_EQ(c.Outcome(c.Exec(s, "INSERT INTO t VALUES (2)"), s), "-1 40001");
  EXPECT_EQ(c.Call(Msg::kTransact, 0, 1), 0);
  ASSERT_EQ(c.Query(s, "SELECT count(*) FROM t").size(), 1u);
  EXPECT_EQ(other.Outcome(other.Exec(o, "INSERT INTO t VALUES (3)"), o), "-1 S1T00");
  EXPECT_EQ(count(), U32(1));
  EXPECT_EQ(c.Exec(s, "INSERT INTO t VALUES (2)"), 0);
  EXPECT_EQ(c.Call(Msg::kTransact, 0, 0), 0);
  EXPECT_EQ(other.Exec(o, "INSERT INTO t VALUES (3)"), 0);
  EXPECT_EQ(count(), U32(3));
}

// A writer whose client hangs up while it waits leaves the queue: its
// statement never runs.
TEST_F(ServerSessionTest, AWriterWhoseClientHangsUpLeavesTheQueue) {
  if (OnPostgres()) GTEST_SKIP() << "PostgreSQL's writers wait by row locks, without the queue";
  ASSERT_EQ(c.Exec(s, "CREATE TABLE t (n INTEGER)"), 0);
  ASSERT_EQ(c.Call(Msg::kSetAutocommit, 0, 0), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO t VALUES (1)"), 0);
  {
    Client gone;
    ASSERT_TRUE(gone.OpenAndLogin(server.Port()));
    std::unique_ptr<Request> r(Request::CreateRequest(Msg::kExecDirect));
    r->SetStatementId(gone.Alloc());
    EXPECT_EQ(1, r->Get<StatementElement>()->value.SetString("INSERT INTO t VALUES (2)"));
    int status = 0;
    ASSERT_TRUE(r->Send(&status, &gone.connection));
  }
  EXPECT_TRUE(server.WaitForLog("#2: connection ended"));
  EXPECT_EQ(c.Call(Msg::kTransact, 0, 0), 0);
  EXPECT_EQ(c.Query(s, "SELECT count(*) FROM t").at(0).at(0).bytes, U32(1));
}

// A cancel request on a connection of its own stops the request it names
// only with the session's key: a wrong key or a request that has ended
// leaves the running one to its timeout ("S1T00"); the right pair stops
// it ("S1008"), also when it overtakes that request. The reply is the same.
// A cancel connection takes no client slot: it is served while the server
// is full, and carries nothing but the cancel request.
class FullServer : public ServerSessionTest {
 protected:
  FullServer() { args = {"--max-clients", "1"}; }
};
TEST_F(FullServer, ACancelStopsOnlyTheNamedRequestOfTheKeysSession) {
  const std::string greeting = "L\x06 CANCEL iso8859-1";
  const std::string endless = "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT count(*) FROM r";
  ASSERT_NE(0u, c.cancelKey);
  ASSERT_EQ(0, c.Call(Msg::kSetQueryTimeout, s, 2));  // request 3
  const auto cancel = [&](uint64_t key, uint32_t number) {
    Client k;
    CancelRequest r;
    r.Get<CancelKeyElement>()->value = key;
    r.Get<RequestNumberElement>()->value = number;
    EXPECT_TRUE(k.Open(server.Port()) && k.Greet(greeting) == 0);
    EXPECT_EQ(0, k.Exchange(&r));
    EXPECT_TRUE(k.PeerClosed());
  };
  std::string outcome;
  std::thread run([&] { outcome = c.Outcome(c.Exec(s, endless), s); });  // requests 4 and 5
  cancel(c.cancelKey + 1, 4);
  cancel(c.cancelKey, 2);
  run.join();
  EXPECT_EQ("-1 S1T00", outcome);
  cancel(c.cancelKey, 6);  // before request 6 is sent
  EXPECT_EQ("-1 S1008", c.Outcome(c.Exec(s, endless), s));
  EXPECT_EQ(0, c.Call(Msg::kSetQueryTimeout, s, 0));  // request 8
  // Sets of one request after a cancel do not run, however short: the
  // first reports the stop, and the request ends there.
  ASSERT_EQ(0, c.Exec(s, "CREATE TABLE b (i INTEGER)"));  // 9
  cancel(c.cancelKey, 10);
  ExecuteBatchRequest batch;
  batch.SetStatementId(s);
  EXPECT_EQ(1, batch.Get<StatementElement>()->value.SetString("INSERT INTO b VALUES (1)"));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(batch.Get<ParameterSetsElement>()->BeginSet());
    batch.Get<ParameterSetsElement>()->EndSet();
  }
  ASSERT_EQ(0, c.Exchange(&batch));
  std::string outcomes;
  BatchOutcome o;
  while (batch.Get<BatchOutcomesElement>()->Next(&o)) outcomes += std::string(o.sqlstate, o.sqlstateLength) + " ";
  EXPECT_EQ("S1008 ", outcomes);
  EXPECT_EQ(0u, c.Query(s, "SELECT i FROM b").size());
  EXPECT_TRUE(server.WaitForLog("stopped, not finished: operation canceled")) << server.Log();
  Client plain, other;
  EXPECT_TRUE(plain.Open(server.Port()));
  EXPECT_EQ(3, plain.Greet());  // too many clients
  EXPECT_TRUE(other.Open(server.Port()) && other.Greet(greeting) == 0 && other.SendRaw(U32(0) + U16(Msg::kConnect)));
  EXPECT_TRUE(other.PeerClosed());
}

}  // namespace
