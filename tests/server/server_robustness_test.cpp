// Malformed and oversized frames, unknown codes, clients that vanish, and
// several clients writing and reading at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "server_harness.h"

namespace srvtest {
namespace {

class ServerRobustness : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Start({"--max-frame", "4096"})); }
  // A logged-in bystander whose session must survive the others.
  void ExpectBystanderWorks(Client* bystander, uint32_t id) {
    auto rows = bystander->Query(id, "SELECT 41 + 1");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].bytes, U32(42));
  }
  ServerProcess server;
};

TEST_F(ServerRobustness, BadFramesEndOnlyThatSession) {
  Client bystander;
  ASSERT_TRUE(bystander.OpenAndLogin(server.port()));
  uint32_t b = bystander.Alloc();
  ASSERT_EQ(bystander.ExecDirect(b, "SELECT 1 UNION ALL SELECT 2"), 0);  // an open cursor

  const std::string frames[] = {
      U32(0) + U16(7),                                  // a code that is never sent
      U32(0) + U16(999),                                // beyond the catalogue
      U32(5000) + U16(10),                              // over --max-frame
      U32(3) + U16(15) + "abc",                         // body ends inside an element
      U32(8) + U16(23) + U32(1) + U16(100) + "xy",    // string longer than the body
      U32(6) + U16(13) + U32(1) + U16(30000),         // vector count beyond the body
  };
  for (const std::string& frame : frames) {
    Client c;
    ASSERT_TRUE(c.OpenAndLogin(server.port()));
    ASSERT_NE(c.Alloc(), 0u);
    ASSERT_TRUE(c.SendRaw(frame));
    EXPECT_TRUE(c.PeerClosed());
  }
  // The server logs the end before it closes the socket, but its log
  // reaches the test through a pipe read by another thread: wait for it.
  EXPECT_TRUE(server.WaitForLog("exceeds --max-frame"));
  EXPECT_TRUE(server.WaitForLog("unknown message code 7"));
  EXPECT_TRUE(server.WaitForLog("malformed body"));
  std::vector<Cell> row;
  ASSERT_EQ(bystander.Fetch(b, {1}, &row), 0);
  EXPECT_EQ(row[0].bytes, U32(1));
  ExpectBystanderWorks(&bystander, bystander.Alloc());
}

TEST_F(ServerRobustness, ClientsThatVanishAreCleanedUp) {
  Client bystander;
  ASSERT_TRUE(bystander.OpenAndLogin(server.port()));
  uint32_t b = bystander.Alloc();
  ASSERT_EQ(bystander.ExecDirect(b, "CREATE TABLE v (x)"), 0);
  {
    // Gone before the greeting is complete.
    Client c;
    ASSERT_TRUE(c.Open(server.port()));
    ASSERT_TRUE(c.SendRaw("L\x06"));
  }
  {
    // Gone in the middle of a request, holding a write transaction.
    Client c;
    ASSERT_TRUE(c.OpenAndLogin(server.port()));
    uint32_t s = c.Alloc();
    ASSERT_EQ(c.SetAutocommit(0), 0);
    ASSERT_EQ(c.ExecDirect(s, "INSERT INTO v VALUES (1)"), 0);
    ASSERT_TRUE(c.SendRaw(U32(100) + U16(10) + "partial"));
  }
  {
    // Gone after the frame header.
    Client c;
    ASSERT_TRUE(c.OpenAndLogin(server.port()));
    ASSERT_TRUE(c.SendRaw(U32(4) + U16(25)));
  }
  ASSERT_TRUE(server.WaitForLog("client vanished in the middle of a request"));
  // The vanished writer's transaction was rolled back and its lock freed.
  ASSERT_EQ(bystander.ExecDirect(b, "INSERT INTO v VALUES (2)"), 0);
  auto rows = bystander.Query(b, "SELECT count(*) FROM v");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].bytes, U32(1));
}

TEST_F(ServerRobustness, NoValueGrowsBeyondTheFrameLimit) {
  Client c;
  ASSERT_TRUE(c.OpenAndLogin(server.port()));
  uint32_t s = c.Alloc();
  // A value built by SQL, larger than --max-frame, fails with "string or
  // blob too big" instead of being built and sent.
  ASSERT_EQ(c.ExecDirect(s, "SELECT length(zeroblob(2000))"), 0);
  EXPECT_EQ(c.ExecDirect(s, "SELECT zeroblob(10000)"), -1);
  EXPECT_EQ(c.State(s), "22001");
  EXPECT_EQ(c.ExecDirect(s, "SELECT length(group_concat(printf('%.100c', 'x'))) FROM "
                            "(WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100) "
                            "SELECT i FROM n)"),
            -1);
  EXPECT_EQ(c.State(s), "22001");
  // A row may not add up to more: not by naming one column many times,
  // nor by many large columns; such a column is still read on its own.
  ASSERT_EQ(c.ExecDirect(s, "SELECT zeroblob(3000), zeroblob(3000) UNION ALL SELECT x'01', x'02'"), 0);
  EXPECT_EQ(c.Fetch(s, std::vector<uint16_t>(100, 1)), -1);
  EXPECT_EQ(c.State(s), "S1000");
  Cell cell;
  ASSERT_EQ(c.GetData(s, 2, &cell), 0);
  EXPECT_EQ(cell.bytes.size(), 4u + 3000u);
  std::vector<Cell> row;
  ASSERT_EQ(c.Fetch(s, {1, 2}, &row), 0);
  EXPECT_EQ(row[1].bytes, U32(1) + "\x02");
  ASSERT_EQ(c.ExecDirect(s, "SELECT zeroblob(3000), zeroblob(3000)"), 0);
  EXPECT_EQ(c.Fetch(s, {1, 2}), -1);
  EXPECT_EQ(c.State(s), "S1000");
  // The largest value travels with its row on its own.
  ASSERT_EQ(c.ExecDirect(s, "SELECT zeroblob(4096)"), 0);
  ASSERT_EQ(c.Fetch(s, {1}, &row), 0);
  EXPECT_EQ(row[0].bytes.size(), 4u + 4096u);
  ExpectBystanderWorks(&c, s);
}

TEST_F(ServerRobustness, StatementLimitPerClient) {
  server.Stop();
  ServerProcess limited;
  ASSERT_TRUE(limited.Start({"--max-statements", "3"}));
  Client c;
  ASSERT_TRUE(c.OpenAndLogin(limited.port()));
  uint32_t ids[3];
  for (uint32_t& id : ids) ASSERT_NE(id = c.Alloc(), 0u);
  std::unique_ptr<Request> r(Request::CreateRequest(0));
  EXPECT_EQ(c.Exchange(r.get()), -1);
  EXPECT_EQ(c.State(0), "S1014");
  EXPECT_EQ(c.Free(ids[1], 1), 0);
  EXPECT_NE(c.Alloc(), 0u);
}

TEST_F(ServerRobustness, ConcurrentClientsWriteAndRead) {
  {
    Client setup;
    ASSERT_TRUE(setup.OpenAndLogin(server.port()));
    ASSERT_EQ(setup.ExecDirect(setup.Alloc(), "CREATE TABLE log (client INTEGER, n INTEGER)"), 0);
  }
  constexpr int kClients = 4, kRows = 40;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int k = 0; k < kClients; ++k) {
    threads.emplace_back([&, k] {
      Client c;
      if (!c.Open(server.port()) || c.Login() != 0) {
        ++failures;
        return;
      }
      uint32_t s = c.Alloc(), q = c.Alloc();
      if (c.Prepare(s, "INSERT INTO log VALUES (?, ?)") != 0) ++failures;
      for (int i = 0; i < kRows; ++i) {
        if (c.Execute(s, {{1, 4, U32(static_cast<uint32_t>(k))}, {2, 4, U32(static_cast<uint32_t>(i))}}) != 0)
          ++failures;
        if (i % 10 == 9) {
          auto rows = c.Query(q, "SELECT count(*) FROM log WHERE client = " + std::to_string(k));
          if (rows.size() != 1 || Get32(rows[0][0].bytes, 0) != static_cast<uint32_t>(i + 1)) ++failures;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  Client check;
  ASSERT_TRUE(check.OpenAndLogin(server.port()));
  auto rows = check.Query(check.Alloc(), "SELECT count(*), count(DISTINCT client) FROM log");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].bytes, U32(kClients * kRows));
  EXPECT_EQ(rows[0][1].bytes, U32(kClients));
}

}  // namespace
}  // namespace srvtest
