// The handle registry and the entry frame: ownership, lookups of live and
// stale handles, the allocation functions, their trace lines, the index.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <vector>

#include "base/HandleIndex.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Frame.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "support/capture.h"
#include "support/fake_server.h"

namespace {

std::string Hex(const void* handle) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08lx", HandleValue(handle));
  return text;
}

// An environment with two connections, the first with two statements.
struct RegistryTest : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc1));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc2));
    env = Registry().FindEnvironment(henv);
    c1 = Registry().FindConnection(hdbc1);
    s1 = AddStatement(c1);
    s2 = AddStatement(c1);
  }
  void TearDown() override { SQLFreeEnv(henv); }
  static Statement* AddStatement(Connection* conn) {
    Statement* stmt = new (std::nothrow) Statement;
    stmt->connection = conn;
    conn->AddStatement(stmt);
    return stmt;
  }
  SQLHENV henv = nullptr;
  SQLHDBC hdbc1 = nullptr, hdbc2 = nullptr;
  Environment* env = nullptr;
  Connection* c1 = nullptr;
  Statement *s1 = nullptr, *s2 = nullptr;
};

TEST_F(RegistryTest, HandlesAreFoundOnlyAsTheirKindAndGoWithTheirOwner) {
  SQLHENV other = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&other));
  EXPECT_NE(henv, other);
  EXPECT_EQ(other, Registry().FindEnvironment(other));
  EXPECT_EQ(env, c1->environment);
  EXPECT_EQ(s1, Registry().FindStatement(s1));
  EXPECT_EQ(nullptr, Registry().FindConnection(henv));
  EXPECT_EQ(nullptr, Registry().FindEnvironment(hdbc1));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(other));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(hdbc1));
  EXPECT_EQ(nullptr, Registry().FindStatement(s2));
  EXPECT_EQ(1u, env->connections.Count());
  EXPECT_TRUE(env->ValidConnection(Registry().FindConnection(hdbc2)));
}

// Freeing the environment frees all below it; every handle is then stale
// and refused with SQL_INVALID_HANDLE, as are null and foreign ones, and
// no output is touched.
TEST_F(RegistryTest, FreedNullAndForeignHandlesAreInvalidAndTouchNothing) {
  AddStatement(Registry().FindConnection(hdbc2));
  VEL_POST(s2, SQL_ERROR, kDiagMemory);
  const uint32_t before = Handles().Count();
  ASSERT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
  EXPECT_EQ(before - 6, Handles().Count());
  int local = 0;
  for (void* h : {static_cast<void*>(henv), hdbc1, hdbc2, static_cast<void*>(s1),
                  static_cast<void*>(&local), static_cast<void*>(nullptr)}) {
    SQLHDBC out = reinterpret_cast<SQLHDBC>(0x1234);
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLAllocConnect(h, &out));
    EXPECT_EQ(reinterpret_cast<SQLHDBC>(0x1234), out);
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeConnect(h));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeEnv(h));
  }
  SQLCHAR state[6] = "xxxxx";
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLError(nullptr, nullptr, s2, state, nullptr, nullptr, 0, nullptr));
  EXPECT_STREQ("xxxxx", reinterpret_cast<char*>(state));
  henv = nullptr;
}

TEST_F(RegistryTest, EntryLookupClearsOnlyTheObjectFound) {
  VEL_POST(env, SQL_ERROR, kDiagMemory);
  VEL_POST(c1, SQL_ERROR, kDiagMemory);
  VEL_POST(s1, SQL_ERROR, kDiagMemory);
  EXPECT_EQ(nullptr, FindAndClearStatement(c1));
  EXPECT_EQ(nullptr, FindAndClearConnection(env));
  EXPECT_EQ(s1, FindAndClearStatement(s1));
  EXPECT_EQ(c1, FindAndClearConnection(c1));
  EXPECT_EQ(0u, s1->errors.Count() + c1->errors.Count());
  EXPECT_EQ(1u, env->errors.Count());
  SQLHDBC hdbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc));  // a call on the environment
  EXPECT_EQ(0u, env->errors.Count());
}

TEST(RegistryDeathTest, RemovingAForeignObjectIsAConsistencyFailure) {
  Environment env, other;
  Connection* conn = new (std::nothrow) Connection;
  other.AddConnection(conn);
  EXPECT_DEATH(env.RemoveConnection(conn),
               "consistency check failed: ValidConnection\\(conn\\), module Registry.cpp");
  Connection owner;
  Statement foreign;
  EXPECT_DEATH(owner.RemoveStatement(&foreign),
               "consistency check failed: ValidStatement\\(stmt\\), module Registry.cpp");
  EXPECT_DEATH(env.AddConnection(nullptr), "consistency check failed: conn, module");
}

// A logged-in connection that is freed sends nothing: its socket is reset.
TEST_F(RegistryTest, FreeConnectOfALoggedInConnectionSendsNothing) {
  BoxCapture boxes;
  FakeServer server;
  server.ExpectEnd();
  server.Start();
  ASSERT_EQ(1, c1->clib.InitiateConnection("127.0.0.1", server.Port().c_str()));
  c1->flags |= VEL_CONNECTION_LOGGED_IN;
  EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(hdbc1));
  ASSERT_TRUE(server.Finish()) << server.Error();
  EXPECT_EQ("", server.Received().at(0));
}

TEST_F(RegistryTest, AllocationFailures) {
  SQLHENV failed = reinterpret_cast<SQLHENV>(0x1);
  SetAllocFailOnce(0);
  EXPECT_EQ(SQL_ERROR, SQLAllocEnv(&failed));
  ResetAllocFailure();
  EXPECT_EQ(nullptr, failed);
  // The connection object, then its current qualifier: either failure gives
  // a null handle and "HDBC: Allocation failed" on the environment.
  for (long n = 0; n < 2; ++n) {
    SQLHDBC hdbc = reinterpret_cast<SQLHDBC>(0x1);
    SetAllocFailOnce(n);
    EXPECT_EQ(SQL_ERROR, SQLAllocConnect(henv, &hdbc)) << n;
    ResetAllocFailure();
    EXPECT_EQ(nullptr, hdbc);
    SQLCHAR state[6], text[100];
    SQLINTEGER native = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLError(henv, nullptr, nullptr, state, &native, text, sizeof text,
                                    nullptr));
    EXPECT_STREQ("S1000", reinterpret_cast<char*>(state));
    EXPECT_EQ(3008, native);
    EXPECT_STREQ("[QTX][Velora ODBC Client]HDBC: Allocation failed", reinterpret_cast<char*>(text));
  }
  // With no memory at all the call still fails cleanly, without a record.
  SQLHDBC hdbc = nullptr;
  SetAllocFailAfter(0);
  EXPECT_EQ(SQL_ERROR, SQLAllocConnect(henv, &hdbc));
  ResetAllocFailure();
  EXPECT_EQ(0u, env->errors.Count());
}

TEST(FrameTest, EntryArgumentAndReturnTraceLines) {
  TraceCapture trace("A2");
  SQLHENV henv = nullptr;
  SQLHDBC hdbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc));
  ASSERT_EQ(SQL_SUCCESS, SQLFreeConnect(hdbc));
  ASSERT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
  ASSERT_EQ(SQL_INVALID_HANDLE, SQLFreeEnv(henv));
  for (int rc : {100, 99, 2, 1, -1}) EXPECT_EQ(rc, TraceReturnCode(rc));
  TraceArgument("szSqlStr", std::string(100, 'q').c_str(), SQL_NTS);
  TraceArgument("szTableName", nullptr, SQL_NTS);
  TraceArgument("szColumn", "abc", SQL_NULL_DATA);
  TraceArgument("szShort", "abcdef", 3);
  TraceArgument("szOdd", "abcdef", -7);
  std::string expected;
  for (const std::string& line : std::vector<std::string>{
           "SQLAllocEnv:", "henv=" + Hex(henv), "SQLAllocConnect: henv=" + Hex(henv),
           "hdbc=" + Hex(hdbc), "Return code: SQL_SUCCESS\n", "SQLFreeConnect: hdbc=" + Hex(hdbc),
           "Return code: SQL_SUCCESS\n", "SQLFreeEnv: henv=" + Hex(henv),
           "Return code: SQL_SUCCESS\n", "SQLFreeEnv: henv=" + Hex(henv),
           "Return code: -2 (unknown)\n", "Return code: SQL_NO_DATA_FOUND\n",
           "Return code: SQL_NEED_DATA\n", "Return code: SQL_STILL_EXECUTING\n",
           "Return code: SQL_SUCCESS_WITH_INFO\n", "Return code: SQL_ERROR\n",
           " szSqlStr=[" + std::string(80, 'q') + "...]", " szTableName=[<null>]",
           " szColumn=[<null data>]", " szShort=[abc]", " szOdd=[<invalid length -7>]"}) {
    expected += TraceCapture::Line('A', 2, line);
  }
  // The connection's socket object traces nothing at mode A2.
  EXPECT_EQ(expected, trace.Body());
  TraceCapture quiet("A1");
  TraceArgument("x", "y", SQL_NTS);
  TraceReturnCode(0);
  EXPECT_EQ("", quiet.Body());
}

TEST(HandleIndexTest, GrowsAndKeepsWorkingWhenGrowthFails) {
  std::vector<Environment> envs(500);
  HandleIndex index;
  SetAllocFailAfter(0);  // no growth possible
  for (Environment& e : envs) index.Insert(&e);
  ResetAllocFailure();
  EXPECT_EQ(64u, index.BucketCount());
  for (Environment& e : envs) EXPECT_EQ(&e, index.Find(&e, HandleKind::kEnvironment));
  for (Environment& e : envs) index.Remove(&e);
  EXPECT_EQ(0u, index.Count());
  for (Environment& e : envs) index.Insert(&e);
  EXPECT_GT(index.BucketCount(), 64u);
  for (Environment& e : envs) EXPECT_EQ(&e, index.Find(&e, HandleKind::kEnvironment));
  EXPECT_EQ(nullptr, index.Find(&envs[0], HandleKind::kConnection));
  for (Environment& e : envs) index.Remove(&e);
  EXPECT_EQ(64u, index.BucketCount());  // back to the fixed array
}

}  // namespace
