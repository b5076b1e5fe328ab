// The handle registry and the entry frame: ownership, lookups of live and
// stale handles, the four allocation functions and their trace lines.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "base/HandleIndex.h"
#include "handles/Statement.h"
#include "handles/Frame.h"
#include "base/Module.h"
#include "base/Settings.h"
#include "support/capture.h"

extern "C" BOOL DllMain(HINSTANCE, DWORD, void*);

namespace {

std::string Hex(const void* handle) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08lx", HandleValue(handle));
  return text;
}

Statement* AddStatement(Connection* conn) {
  Statement* stmt = new (std::nothrow) Statement;
  stmt->connection = conn;
  conn->AddStatement(stmt);
  return stmt;
}

TEST(RegistryTest, TwoEnvironmentsAreDistinctAndTheirConnectionsFound) {
  SQLHENV env1 = nullptr, env2 = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env1));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env2));
  EXPECT_NE(env1, env2);
  EXPECT_EQ(env1, Registry().FindEnvironment(env1));
  EXPECT_EQ(env2, Registry().FindEnvironment(env2));
  SQLHDBC dbc1 = nullptr, dbc2 = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(env1, &dbc1));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(env2, &dbc2));
  Connection* c1 = Registry().FindConnection(dbc1);
  Connection* c2 = Registry().FindConnection(dbc2);
  ASSERT_NE(nullptr, c1);
  ASSERT_NE(nullptr, c2);
  EXPECT_EQ(env1, c1->environment);
  EXPECT_EQ(env2, c2->environment);
  // A handle of one kind is not found as another.
  EXPECT_EQ(nullptr, Registry().FindConnection(env1));
  EXPECT_EQ(nullptr, Registry().FindEnvironment(dbc1));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env1));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env2));
}

TEST(RegistryTest, FreeingAnEnvironmentFreesEverythingBelowIt) {
  SQLHENV henv = nullptr;
  SQLHDBC hdbc1 = nullptr, hdbc2 = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc1));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc2));
  Connection* c1 = Registry().FindConnection(hdbc1);
  Statement* s1 = AddStatement(c1);
  Statement* s2 = AddStatement(c1);
  Statement* s3 = AddStatement(Registry().FindConnection(hdbc2));
  EXPECT_EQ(s1, Registry().FindStatement(s1));
  EXPECT_EQ(s3, Registry().FindStatement(s3));
  VEL_POST(s2, SQL_ERROR, kDiagMemory);
  uint32_t before = Handles().Count();

  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
  EXPECT_EQ(before - 6, Handles().Count());
  EXPECT_EQ(nullptr, Registry().FindEnvironment(henv));
  EXPECT_EQ(nullptr, Registry().FindConnection(hdbc1));
  EXPECT_EQ(nullptr, Registry().FindConnection(hdbc2));
  EXPECT_EQ(nullptr, Registry().FindStatement(s1));
  EXPECT_EQ(nullptr, Registry().FindStatement(s2));
  EXPECT_EQ(nullptr, Registry().FindStatement(s3));
  // Stale handles are refused and nothing is touched.
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeConnect(hdbc1));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeEnv(henv));
  SQLHDBC out = reinterpret_cast<SQLHDBC>(0x1234);
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLAllocConnect(henv, &out));
  EXPECT_EQ(reinterpret_cast<SQLHDBC>(0x1234), out);
  SQLCHAR state[6] = "xxxxx";
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLError(nullptr, nullptr, s2, state, nullptr, nullptr, 0, nullptr));
  EXPECT_STREQ("xxxxx", reinterpret_cast<char*>(state));
}

TEST(RegistryTest, FreeConnectRemovesOnlyThatConnectionAndItsStatements) {
  SQLHENV henv = nullptr;
  SQLHDBC hdbc1 = nullptr, hdbc2 = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc1));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc2));
  Statement* stmt = AddStatement(Registry().FindConnection(hdbc1));
  Environment* env = Registry().FindEnvironment(henv);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(hdbc1));
  EXPECT_EQ(nullptr, Registry().FindStatement(stmt));
  EXPECT_EQ(1u, env->connections.Count());
  EXPECT_TRUE(env->ValidConnection(Registry().FindConnection(hdbc2)));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
}

TEST(RegistryTest, RemoveStatementDeletesAndUnregisters) {
  Connection conn;
  Statement* a = AddStatement(&conn);
  Statement* b = AddStatement(&conn);
  EXPECT_TRUE(conn.ValidStatement(a));
  conn.RemoveStatement(a);
  EXPECT_EQ(nullptr, Registry().FindStatement(a));
  EXPECT_EQ(b, Registry().FindStatement(b));
  Connection other;
  EXPECT_FALSE(other.ValidStatement(b));
}

TEST(RegistryDeathTest, RemovingAForeignConnectionIsAConsistencyFailure) {
  Environment env;
  Environment other;
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

TEST(RegistryTest, FreeConnectResetsAnOpenSocketWithoutSending) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t size = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size);
  listen(listener, 1);
  SQLHENV henv = nullptr;
  SQLHDBC hdbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc));
  Connection* conn = Registry().FindConnection(hdbc);
  ASSERT_EQ(1, conn->clib.InitiateConnection("127.0.0.1",
                                             std::to_string(ntohs(a.sin_port)).c_str()));
  conn->flags |= VEL_CONNECTION_LOGGED_IN;
  int peer = accept(listener, nullptr, nullptr);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(hdbc));
  char c;
  errno = 0;
  EXPECT_EQ(-1, recv(peer, &c, 1, 0));  // no byte came, only the reset
  EXPECT_EQ(ECONNRESET, errno);
  close(peer);
  close(listener);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
}

TEST(RegistryTest, NullAndForeignHandlesAreInvalid) {
  SQLHDBC out = nullptr;
  int local = 0;
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLAllocConnect(nullptr, &out));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLAllocConnect(&local, &out));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeConnect(nullptr));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeConnect(&local));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeEnv(&local));
  EXPECT_EQ(nullptr, out);
  SQLHENV henv = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeConnect(henv));  // an HENV is no HDBC
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
}

TEST(RegistryTest, DiagnosticsLiveUntilTheNextCallOnTheHandle) {
  SQLHENV henv = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  Environment* env = Registry().FindEnvironment(henv);
  EXPECT_EQ(SQL_ERROR, VEL_POST(env, SQL_ERROR, kDiagHdbcAllocation));
  EXPECT_EQ(1u, env->errors.Count());
  SQLHDBC hdbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc));
  EXPECT_EQ(0u, env->errors.Count());
  Connection* conn = Registry().FindConnection(hdbc);
  VEL_POST(conn, SQL_ERROR, kDiagMemory);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(hdbc));  // records go with it
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
}

TEST(RegistryTest, FrameLookupClearsOnlyTheObjectFound) {
  Connection* conn = new (std::nothrow) Connection;
  SQLHENV henv = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  Environment* env = Registry().FindEnvironment(henv);
  conn->environment = env;
  env->AddConnection(conn);
  Statement* stmt = AddStatement(conn);
  VEL_POST(env, SQL_ERROR, kDiagMemory);
  VEL_POST(conn, SQL_ERROR, kDiagMemory);
  VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  EXPECT_EQ(stmt, FindAndClearStatement(stmt));
  EXPECT_EQ(0u, stmt->errors.Count());
  EXPECT_EQ(1u, conn->errors.Count());
  EXPECT_EQ(conn, FindAndClearConnection(conn));
  EXPECT_EQ(0u, conn->errors.Count());
  EXPECT_EQ(1u, env->errors.Count());
  EXPECT_EQ(nullptr, FindAndClearStatement(conn));
  EXPECT_EQ(nullptr, FindAndClearConnection(env));
  EXPECT_EQ(1u, env->errors.Count());
  EXPECT_EQ(env, FindAndClearEnvironment(env));
  EXPECT_EQ(0u, env->errors.Count());
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
}

TEST(RegistryTest, AllocationFailures) {
  SQLHENV henv = reinterpret_cast<SQLHENV>(0x1);
  SetAllocFailOnce(0);
  EXPECT_EQ(SQL_ERROR, SQLAllocEnv(&henv));
  ResetAllocFailure();
  EXPECT_EQ(nullptr, henv);

  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  // The connection object, then its current qualifier: either failure gives
  // a null handle and "HDBC: Allocation failed" on the environment.
  for (long n = 0; n < 2; ++n) {
    SQLHDBC hdbc = reinterpret_cast<SQLHDBC>(0x1);
    SetAllocFailOnce(n);
    EXPECT_EQ(SQL_ERROR, SQLAllocConnect(henv, &hdbc)) << n;
    ResetAllocFailure();
    EXPECT_EQ(nullptr, hdbc);
    SQLCHAR state[6];
    SQLINTEGER native = 0;
    SQLCHAR text[100];
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLError(henv, nullptr, nullptr, state, &native, text, sizeof text,
                                    &length));
    EXPECT_STREQ("S1000", reinterpret_cast<char*>(state));
    EXPECT_EQ(3008, native);
    EXPECT_STREQ("[QTX][Velora ODBC Client]HDBC: Allocation failed",
                 reinterpret_cast<char*>(text));
  }
  // With no memory at all the call still fails cleanly, without a record.
  SQLHDBC hdbc = nullptr;
  SetAllocFailAfter(0);
  EXPECT_EQ(SQL_ERROR, SQLAllocConnect(henv, &hdbc));
  ResetAllocFailure();
  EXPECT_EQ(0u, Registry().FindEnvironment(henv)->errors.Count());
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
}

TEST(RegistryTest, EntryAndReturnTraceLines) {
  TraceCapture trace("A2");
  SQLHENV henv = nullptr;
  SQLHDBC hdbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc));
  ASSERT_EQ(SQL_SUCCESS, SQLFreeConnect(hdbc));
  ASSERT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
  ASSERT_EQ(SQL_INVALID_HANDLE, SQLFreeEnv(henv));
  std::string text = trace.Text();
  std::string expected = TraceCapture::Line('A', 2, "SQLAllocEnv:") +
                         TraceCapture::Line('A', 2, "henv=" + Hex(henv)) +
                         TraceCapture::Line('A', 2, "SQLAllocConnect: henv=" + Hex(henv)) +
                         TraceCapture::Line('A', 2, "hdbc=" + Hex(hdbc)) +
                         TraceCapture::Line('A', 2, "Return code: SQL_SUCCESS\n") +
                         TraceCapture::Line('A', 2, "SQLFreeConnect: hdbc=" + Hex(hdbc)) +
                         TraceCapture::Line('A', 2, "Return code: SQL_SUCCESS\n") +
                         TraceCapture::Line('A', 2, "SQLFreeEnv: henv=" + Hex(henv)) +
                         TraceCapture::Line('A', 2, "Return code: SQL_SUCCESS\n") +
                         TraceCapture::Line('A', 2, "SQLFreeEnv: henv=" + Hex(henv)) +
                         TraceCapture::Line('A', 2, "Return code: -2 (unknown)\n");
  size_t header = text.find("]\n\n");
  ASSERT_NE(std::string::npos, header);
  // The connection's socket object traces nothing at mode A2.
  EXPECT_EQ(expected, text.substr(header + 3));
}

TEST(FrameTest, TraceReturnCodeNamesAndReturnsTheCode) {
  TraceCapture trace("A2");
  EXPECT_EQ(-2, TraceReturnCode(-2));
  EXPECT_EQ(100, TraceReturnCode(100));
  EXPECT_EQ(99, TraceReturnCode(99));
  EXPECT_EQ(2, TraceReturnCode(2));
  EXPECT_EQ(1, TraceReturnCode(1));
  EXPECT_EQ(-1, TraceReturnCode(-1));
  std::string text = trace.Text();
  for (const char* line : {"Return code: -2 (unknown)\n", "Return code: SQL_NO_DATA_FOUND\n",
                           "Return code: SQL_NEED_DATA\n", "Return code: SQL_STILL_EXECUTING\n",
                           "Return code: SQL_SUCCESS_WITH_INFO\n", "Return code: SQL_ERROR\n"}) {
    EXPECT_TRUE(trace.Has('A', 2, line)) << line;
  }
}

TEST(FrameTest, TraceArgumentForms) {
  TraceCapture trace("A2");
  std::string hundred(100, 'q');
  TraceArgument("szSqlStr", hundred.c_str(), SQL_NTS);
  TraceArgument("szTableName", nullptr, SQL_NTS);
  TraceArgument("szColumn", "abc", SQL_NULL_DATA);
  TraceArgument("szShort", "abcdef", 3);
  TraceArgument("szOdd", "abcdef", -7);
  std::string expected = TraceCapture::Line('A', 2, " szSqlStr=[" + std::string(80, 'q') + "...]") +
                         TraceCapture::Line('A', 2, " szTableName=[<null>]") +
                         TraceCapture::Line('A', 2, " szColumn=[<null data>]") +
                         TraceCapture::Line('A', 2, " szShort=[abc]") +
                         TraceCapture::Line('A', 2, " szOdd=[<invalid length -7>]");
  std::string text = trace.Text();
  EXPECT_EQ(expected, text.substr(text.find("]\n\n") + 3));
}

TEST(FrameTest, NothingIsTracedBelowLevelTwo) {
  TraceCapture trace("A1");
  TraceArgument("x", "y", SQL_NTS);
  TraceReturnCode(0);
  std::string text = trace.Text();
  EXPECT_EQ(text.size(), text.find("]\n\n") + 3);
}

TEST(HandleIndexTest, GrowsAndKeepsWorkingWhenGrowthFails) {
  std::vector<Environment*> envs;
  HandleIndex index;
  for (int i = 0; i < 500; ++i) envs.push_back(new (std::nothrow) Environment);
  SetAllocFailAfter(0);  // no growth possible
  for (Environment* e : envs) index.Insert(e);
  ResetAllocFailure();
  EXPECT_EQ(64u, index.BucketCount());
  for (Environment* e : envs) EXPECT_EQ(e, index.Find(e, HandleKind::kEnvironment));
  for (Environment* e : envs) index.Remove(e);
  EXPECT_EQ(0u, index.Count());
  for (Environment* e : envs) index.Insert(e);
  EXPECT_GT(index.BucketCount(), 64u);
  for (Environment* e : envs) EXPECT_EQ(e, index.Find(e, HandleKind::kEnvironment));
  EXPECT_EQ(nullptr, index.Find(envs[0], HandleKind::kConnection));
  for (Environment* e : envs) index.Remove(e);
  EXPECT_EQ(64u, index.BucketCount());  // back to the fixed array
  for (Environment* e : envs) delete e;
}

TEST(LibraryTest, LoadHookKeepsTheModuleHandleAndOpensTheTrace) {
  Dl_info info{};
  ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&DllMain), &info));
  EXPECT_EQ(info.dli_fbase, ModuleInstance());
  char path[] = "/tmp/velodbc-trace-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    SettingsFile settings(std::string("[Debug]\nLogFile=") + path + "\nLogMode=A2\n");
    ForgetSettings();  // as in a process whose first act is loading the driver
    EXPECT_EQ(1, DllMain(reinterpret_cast<HINSTANCE>(0x5000), 1, nullptr));
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(0x5000), ModuleInstance());
    EXPECT_TRUE(TraceIsOpen());
    EXPECT_EQ(1, DllMain(nullptr, 2, nullptr));  // thread attach: nothing
    EXPECT_TRUE(TraceIsOpen());
    EXPECT_EQ(1, DllMain(nullptr, 0, nullptr));
    EXPECT_FALSE(TraceIsOpen());
  }
  FILE* f = std::fopen(path, "r");
  char buf[512] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  unlink(path);
  std::string text(buf, n);
  EXPECT_NE(std::string::npos, text.find("Flags = [A2]"));
  EXPECT_NE(std::string::npos, text.find("\n\nEnde: "));
  SetModuleInstance(info.dli_fbase);
}

}  // namespace
