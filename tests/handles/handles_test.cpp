// The handles layer: the registry and the entry frame (ownership, stale
// handles, allocation, trace lines, the index), diagnostic records and
// SQLError, and CheckResult's client and server records.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <thread>

#include "base/HandleIndex.h"
#include "base/Settings.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "odbc3/Odbc3.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "support/capture.h"
#include "support/fake_server.h"

namespace {

const std::string kClient = "[QTX][Velora ODBC Client]";
const std::string kUnwritten(511, '#');

// "rc state native length text" of one SQLError call with a buffer size.
std::string Error(SQLHENV e, SQLHDBC d, SQLHSTMT s, SQLSMALLINT size = 256) {
  SQLCHAR state[6] = "?????", text[512];
  std::memset(text, '#', sizeof text - 1);
  text[sizeof text - 1] = '\0';
  SQLINTEGER native = -99;
  SQLSMALLINT length = -99;
  SQLRETURN rc = SQLError(e, d, s, state, &native, text, size, &length);
  return std::to_string(rc) + " " + reinterpret_cast<char*>(state) + " " + std::to_string(native) + " " +
         std::to_string(length) + " " + reinterpret_cast<char*>(text);
}

// An environment with two connections, the first with two statements.
struct HandlesTest : ::testing::Test {
  void SetUp() override {
    ForgetSettings();
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc1));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc2));
    env = Registry().FindEnvironment(henv);
    c1 = Registry().FindConnection(hdbc1);
    s1 = AddStatement(c1);
    s2 = AddStatement(c1);
  }
  void TearDown() override {
    SQLFreeEnv(henv);
    ForgetSettings();
  }
  static Statement* AddStatement(Connection* conn) {
    Statement* stmt = new (std::nothrow) Statement(conn);
    conn->AddStatement(stmt);
    return stmt;
  }
  std::string ConnError(SQLSMALLINT size = 256) { return Error(nullptr, hdbc1, nullptr, size); }
  SQLHENV henv = nullptr;
  SQLHDBC hdbc1 = nullptr, hdbc2 = nullptr;
  Environment* env = nullptr;
  Connection* c1 = nullptr;
  Statement *s1 = nullptr, *s2 = nullptr;
};

// A handle is found only as its kind; freeing a connection frees its
// statements, freeing the environment everything else. Every freed handle
// is then refused with SQL_INVALID_HANDLE, as are null and foreign ones,
// and no output is touched.
TEST_F(HandlesTest, HandlesGoWithTheirOwnerAndStaleOnesAreInvalid) {
  EXPECT_FALSE(DeclaresOdbc3(*env));  // SQLAllocEnv declares ODBC 2
  env->SetOdbcVersion(SQL_OV_ODBC3);
  EXPECT_TRUE(DeclaresOdbc3(*env));
  EXPECT_EQ(nullptr, Registry().FindConnection(henv));
  EXPECT_EQ(nullptr, Registry().FindEnvironment(hdbc1));
  EXPECT_EQ(s1, Registry().FindStatement(s1));
  Statement* s3 = AddStatement(Registry().FindConnection(hdbc2));
  VEL_POST(s2, SQL_ERROR, kDiagMemory);
  const uint32_t before = Handles().Count();
  ASSERT_EQ(SQL_SUCCESS, SQLFreeConnect(hdbc1));
  EXPECT_EQ(nullptr, Registry().FindStatement(s1));
  EXPECT_EQ(s3, Registry().FindStatement(s3));
  EXPECT_EQ(before - 3, Handles().Count());
  ASSERT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
  EXPECT_EQ(before - 6, Handles().Count());
  int local = 0;
  for (void* h :
       {henv, hdbc1, hdbc2, static_cast<void*>(s3), static_cast<void*>(&local), static_cast<void*>(nullptr)}) {
    SQLHDBC out = &local;
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLAllocConnect(h, &out));
    EXPECT_EQ(&local, out);
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeConnect(h));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeEnv(h));
  }
  SQLCHAR state[6] = "xxxxx";
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLError(nullptr, nullptr, s2, state, nullptr, nullptr, 0, nullptr));
  EXPECT_STREQ("xxxxx", reinterpret_cast<char*>(state));
  henv = nullptr;
}

TEST_F(HandlesTest, EntryLookupClearsOnlyTheObjectFound) {
  VEL_POST(env, SQL_ERROR, kDiagMemory);
  VEL_POST(c1, SQL_ERROR, kDiagMemory);
  VEL_POST(s1, SQL_ERROR, kDiagMemory);
  EXPECT_EQ(nullptr, StatementHold(c1).Get());
  EXPECT_EQ(nullptr, ConnectionHold(env).Get());
  EXPECT_EQ(s1, StatementHold(s1).Get());
  EXPECT_EQ(c1, ConnectionHold(c1).Get());
  EXPECT_EQ(0u, s1->errors.Count() + c1->errors.Count());
  EXPECT_EQ(1u, env->errors.Count());
  SQLHDBC hdbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc));  // a call on the environment
  EXPECT_EQ(0u, env->errors.Count());
}

// A connection freed on another thread while a call holds one of its
// statements goes only when that call ends; the handles are invalid after.
TEST_F(HandlesTest, FreeingWaitsForTheCallThatHoldsTheConnection) {
  std::thread freer;
  {
    StatementHold held(s1);
    freer = std::thread([this] { EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(hdbc1)); });
    for (int k = 0; k < 1000; ++k) std::this_thread::yield();  // the freer is waiting, or not yet there
    VEL_POST(s1, SQL_ERROR, kDiagMemory);                      // still a live object
    EXPECT_EQ(1u, s1->errors.Count());
  }
  freer.join();
  EXPECT_EQ(nullptr, StatementHold(s1).Get());
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeConnect(hdbc1));
}

TEST(RegistryDeathTest, RemovingAForeignObjectIsAConsistencyFailure) {
  Environment env, other;
  Connection* conn = new (std::nothrow) Connection;
  other.AddConnection(conn);
  EXPECT_DEATH(env.RemoveConnection(conn), "consistency check failed: ValidConnection\\(conn\\), module Registry.cpp");
  Connection owner;
  Statement foreign(&owner);
  EXPECT_DEATH(owner.RemoveStatement(&foreign),
               "consistency check failed: ValidStatement\\(stmt\\), module Registry.cpp");
  EXPECT_DEATH(env.AddConnection(nullptr), "consistency check failed: conn, module");
}

TEST(FrameTest, ReturnCodeAndArgumentTraceLines) {
  TraceCapture trace("A2");
  for (int rc : {-2, 100, 99, 2, 1, -1, 0}) EXPECT_EQ(rc, TraceReturnCode(rc));
  TraceArgument("szSqlStr", std::string(100, 'q').c_str(), SQL_NTS);
  TraceArgument("szTableName", nullptr, SQL_NTS);
  TraceArgument("szColumn", "abc", SQL_NULL_DATA);
  TraceArgument("szShort", "abcdef", 3);
  TraceArgument("szOdd", "abcdef", -7);
  std::string expected;
  for (std::string line : {"-2 (unknown)", "SQL_NO_DATA_FOUND", "SQL_NEED_DATA", "SQL_STILL_EXECUTING",
                           "SQL_SUCCESS_WITH_INFO", "SQL_ERROR", "SQL_SUCCESS"})
    expected += TraceCapture::Line('A', 2, "Return code: " + line + "\n");
  for (const std::string& line : {" szSqlStr=[" + std::string(80, 'q') + "...]", std::string(" szTableName=[<null>]"),
                                  std::string(" szColumn=[<null data>]"), std::string(" szShort=[abc]"),
                                  std::string(" szOdd=[<invalid length -7>]")})
    expected += TraceCapture::Line('A', 2, line);
  EXPECT_EQ(expected, trace.Body());
  TraceCapture quiet("A1");  // nothing below level two
  TraceArgument("x", "y", SQL_NTS);
  TraceReturnCode(0);
  EXPECT_EQ("", quiet.Body());
}

TEST(HandleIndexTest, GrowsAndKeepsWorkingWhenGrowthFails) {
  std::vector<Environment> envs(500);
  HandleIndex index;
  for (uint32_t growth : {64u, 0u}) {
    if (growth) SetAllocFailAfter(0);  // no growth possible
    for (Environment& e : envs) index.Insert(&e);
    ResetAllocFailure();
    EXPECT_TRUE(growth ? index.BucketCount() == growth : index.BucketCount() > 64u);
    for (Environment& e : envs) EXPECT_EQ(&e, index.Find(&e, HandleKind::kEnvironment));
    EXPECT_EQ(nullptr, index.Find(&envs[0], HandleKind::kConnection));
    for (Environment& e : envs) index.Remove(&e);
    EXPECT_EQ(0u, index.Count());
    EXPECT_EQ(64u, index.BucketCount());  // back to the fixed array
  }
}

TEST_F(HandlesTest, NewestFirstThenNoDataAndOnlyTheMostSpecificHandle) {
  VEL_POST(c1, SQL_ERROR, kDiagConnectionFailure);
  VEL_POST(c1, SQL_ERROR, kDiagMemory);
  VEL_POST(s1, SQL_ERROR, kDiagNoResultSet);
  VEL_POST(env, SQL_ERROR, kDiagHdbcAllocation);
  EXPECT_EQ("0 S1001 3008 50 " + kClient + "memory allocation failure", ConnError());
  EXPECT_EQ("0 08001 3047 43 " + kClient + "connection failure", ConnError());
  EXPECT_EQ("100 00000 0 0 ", ConnError());
  EXPECT_EQ("100 00000 0 0 ", Error(nullptr, nullptr, nullptr));
  EXPECT_EQ("0 24000 1006 50 " + kClient + "result set does not exist", Error(henv, hdbc1, s1));
  EXPECT_EQ("100 00000 0 0 ", Error(henv, hdbc1, s1));
  EXPECT_EQ("0 S1000 3008 48 " + kClient + "HDBC: Allocation failed", Error(henv, nullptr, nullptr));
  // Null output pointers are simply skipped.
  VEL_POST(c1, SQL_ERROR, kDiagMemory);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLError(nullptr, hdbc1, nullptr, nullptr, nullptr, nullptr, 0, nullptr));
}

// Buffer sizes around the message's length (46); a negative one is the
// caller's error and consumes nothing; the length reported stops at 32767.
TEST_F(HandlesTest, TruncationAndTheLengthCap) {
  const std::string full = "08S01 3047 46 " + kClient + "communication failure";
  // clang-format off
  struct Row { SQLSMALLINT size; std::string expected; } rows[] = {{46, "1 " + full.substr(0, full.size() - 1)},
                                                                   {47, "0 " + full},
                                                                   {0, "1 08S01 3047 46 " + kUnwritten},
                                                                   {-1, "-1 ????? -99 -99 " + kUnwritten}};
  // clang-format on
  for (const Row& row : rows) {
    VEL_POST(c1, SQL_ERROR, kDiagCommunicationFailure);
    EXPECT_EQ(row.expected, ConnError(row.size)) << row.size;
  }
  EXPECT_EQ("0 " + full, ConnError());  // the refused call left its record
  for (size_t extra : {size_t{0}, size_t{1}, size_t{7000}}) {
    const std::string text(32766 - kClient.size() + extra, 'L');
    c1->PostError(SQL_ERROR, 1, "S1000", text.c_str(), "x.cpp", 1);
    EXPECT_EQ("1 S1000 1 " + std::to_string(extra ? 32767 : 32766) + " " + kUnwritten, ConnError(0));
  }
}

TEST_F(HandlesTest, DetailSwitchAppendsFileAndLineAndTheMessageIsTraced) {
  SettingsFile settings("[Debug]\nDebug=1\n");
  ForgetSettings();
  c1->PostError(SQL_ERROR, 3047, "08S01", "communication failure  ", "Exchange.cpp", 214);
  EXPECT_EQ("0 08S01 3047 65 " + kClient + "communication failure (Exchange.cpp,214)", ConnError());
  // The posting macro names this file.
  int line = __LINE__ + 1;
  VEL_POST(s1, SQL_ERROR, kDiagColumnOutOfRange);
  TraceCapture trace("A");
  Error(nullptr, nullptr, s1);
  EXPECT_EQ(TraceCapture::Line('A', 1,
                               " ErrorMsg=\"" + kClient + "column number out of range (" + "handles_test.cpp," +
                                   std::to_string(line) + ")\""),
            trace.Body());
}

TEST_F(HandlesTest, EveryAllocationFailureLosesOnlyThatRecord) {
  // Fail each allocation of SQLError in turn: the call either succeeds or
  // returns SQL_ERROR having consumed the record, never anything else.
  VEL_POST(c1, SQL_ERROR, kDiagNoResultSet);
  std::string r;
  for (long n = 0; n < 20 && r.substr(0, 2) != "0 "; ++n) {
    VEL_POST(c1, SQL_ERROR, kDiagMemory);
    SetAllocFailOnce(n);
    r = ConnError();
    ResetAllocFailure();
    if (r.substr(0, 2) != "0 ") {
      EXPECT_EQ("-1 S1001 3008 -99 " + kUnwritten, r) << n;
    }
    EXPECT_EQ(1u, c1->errors.Count()) << n;
  }
  EXPECT_EQ("0 S1001 3008 50 " + kClient + "memory allocation failure", r);
  EXPECT_EQ("24000", ConnError().substr(2, 5));
}

// Post answers rc even when the record or one of its strings finds no
// memory: the spare "S1001" record is queued then (nothing without one),
// and made again by the next post that finds memory; Setup traces the
// text as given.
TEST(ErrorDataTest, PostWithoutMemoryQueuesTheSpareAndTheSetupTrace) {
  TraceCapture trace("P2");
  ErrorList list;
  const auto post = [&](long n, bool once) {
    once ? SetAllocFailOnce(n) : SetAllocFailAfter(n);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, list.Post(SQL_SUCCESS_WITH_INFO, 1041, "01004", "x", "x.cpp", 1));
    ResetAllocFailure();
  };
  post(0, true), post(2, true);
  EXPECT_EQ(nullptr, list.TakeLast());
  ASSERT_TRUE(list.Reserve());
  post(0, false), post(2, false);  // the spare, then nothing left
  list.Post(SQL_ERROR, 1044, "S1002", "column number out of range ", "Fetch.cpp", 12);
  post(0, true);
  std::string states;
  while (ErrorData* r = list.TakeLast()) states = r->sqlstate.TextOrEmpty() + (" " + states), delete r;
  EXPECT_EQ(states, "S1001 S1002 S1001 ");
  EXPECT_TRUE(trace.Has('P', 2,
                        "ErrorData::Setup (pNC): \n     Source=1, Codes=1044, State=S1002, "
                        "Text=column number out of range , File=Fetch.cpp, Line=12"));
}

// "source state native line text file" of the newest record on a handle.
template <typename H>
std::string Last(H* h) {
  ErrorData* r = h->TakeLastError();
  std::string out = r ? std::to_string(r->source) + " " + r->sqlstate.TextOrEmpty() + " " + std::to_string(r->native) +
                            " " + std::to_string(r->line) + " " + r->text.TextOrEmpty() + " " + r->file.TextOrEmpty()
                      : "none";
  return delete r, out;
}

struct CheckResultTest : ::testing::Test {
  void Connect() {
    server.Start();
    ASSERT_EQ(1, connection.clib.InitiateConnection("127.0.0.1", server.Port().c_str()));
    statement.Allocated(9);
  }
  void TearDown() override {
    connection.clib.ReleaseConnection();
    EXPECT_TRUE(server.Finish()) << server.Error();
  }
  BoxCapture boxes;
  FakeServer server;
  Connection connection;
  Statement statement{&connection};
};

TEST_F(CheckResultTest, ClientFailuresBecomeClientRecordsAndBuildFailuresErrors) {
  server.ExpectEnd();
  Connect();
  EXPECT_EQ(SQL_SUCCESS, statement.CheckResult(SQL_SUCCESS, 3));
  EXPECT_EQ("none", Last(&statement));
  const char* rows[][2] = {
      {"0", "1 08S01 3047 "}, {"1", "1 S1000 3028 "}, {"2", "1 S1001 3008 "}, {"4", "1 S1090 1072 "}};
  for (auto& row : rows) {
    EXPECT_EQ(SQL_ERROR, statement.CheckResult(SQL_ERROR, std::atoi(row[0])));
    EXPECT_EQ(0u, Last(&statement).find(row[1])) << row[0];
  }
  for (long n = 0; n < 7; ++n) {  // the get-error request has 7 elements
    SetAllocFailAfter(n);
    int rc = statement.CheckResult(SQL_ERROR, 3);
    ResetAllocFailure();
    EXPECT_EQ(SQL_ERROR, rc) << n;
    // The record of the internal error may itself have found no memory.
    EXPECT_LE(statement.errors.Count(), 1u);
    statement.errors.Clear();
  }
}

// The connection asks with statement id 0; the reply's 16-bit native code
// and line are signed, its SQLSTATE cut to five, its text's blanks dropped;
// the record's setup is traced.
TEST_F(CheckResultTest, ServerRecordOfTheConnection) {
  server.Expect(Bytes({4, 0, 0, 0, 9, 0}) + U32(0))
      .Send(ReplyFrame(Bytes({0, 0}) + Text16("S1000xyz") + U16(0xFFFF) + Text16("general  ") + Text16("engine.cpp") +
                       U16(0xFFFE)))
      .ExpectEnd();
  Connect();
  TraceCapture trace("P2");
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, connection.CheckResult(SQL_SUCCESS_WITH_INFO, 3));
  EXPECT_EQ("2 S1000 -1 -2 general engine.cpp", Last(&connection));
  EXPECT_TRUE(trace.Has('P', 2,
                        "ErrorData::Setup (String): \n     Source=2, Codes=-1, State=S1000, "
                        "Text=general, File=engine.cpp, Line=-2"));
}

}  // namespace
