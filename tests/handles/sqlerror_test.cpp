// Diagnostic records and SQLError: order, prefixes, truncation and the
// length cap, the detail switch, the handle looked at, lost memory.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "base/Settings.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "support/capture.h"

namespace {

const std::string kClient = "[QTX][Velora ODBC Client]";
const std::string kUnwritten(511, '#');

// One environment with one connection and one statement, freed at the end.
class SQLErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetSettings();
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv_));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv_, &hdbc_));
    env_ = Registry().FindEnvironment(henv_);
    conn_ = Registry().FindConnection(hdbc_);
    stmt_ = new (std::nothrow) Statement;
    stmt_->connection = conn_;
    conn_->AddStatement(stmt_);
  }
  void TearDown() override {
    SQLFreeEnv(henv_);
    ForgetSettings();
  }
  // "rc state native length text" of one SQLError call with a buffer size.
  static std::string Error(SQLHENV e, SQLHDBC d, SQLHSTMT s, SQLSMALLINT size = 256) {
    SQLCHAR state[6] = "?????", text[512];
    std::memset(text, '#', sizeof text - 1);
    text[sizeof text - 1] = '\0';
    SQLINTEGER native = -99;
    SQLSMALLINT length = -99;
    SQLRETURN rc = SQLError(e, d, s, state, &native, text, size, &length);
    return std::to_string(rc) + " " + reinterpret_cast<char*>(state) + " " +
           std::to_string(native) + " " + std::to_string(length) + " " +
           reinterpret_cast<char*>(text);
  }
  std::string ConnError(SQLSMALLINT size = 256) { return Error(nullptr, hdbc_, nullptr, size); }

  SQLHENV henv_ = nullptr;
  SQLHDBC hdbc_ = nullptr;
  Environment* env_ = nullptr;
  Connection* conn_ = nullptr;
  Statement* stmt_ = nullptr;
};

TEST_F(SQLErrorTest, NewestFirstThenNoDataAndOnlyTheMostSpecificHandle) {
  VEL_POST(conn_, SQL_ERROR, kDiagConnectionFailure);
  VEL_POST(conn_, SQL_ERROR, kDiagMemory);
  VEL_POST(stmt_, SQL_ERROR, kDiagNoResultSet);
  VEL_POST(env_, SQL_ERROR, kDiagHdbcAllocation);
  EXPECT_EQ("0 S1001 3008 50 " + kClient + "memory allocation failure", ConnError());
  EXPECT_EQ("0 08001 3047 43 " + kClient + "connection failure", ConnError());
  EXPECT_EQ("100 00000 0 0 ", ConnError());
  EXPECT_EQ("100 00000 0 0 ", Error(nullptr, nullptr, nullptr));
  EXPECT_EQ("0 24000 1006 50 " + kClient + "result set does not exist", Error(henv_, hdbc_, stmt_));
  EXPECT_EQ("100 00000 0 0 ", Error(henv_, hdbc_, stmt_));
  EXPECT_EQ("0 S1000 3008 48 " + kClient + "HDBC: Allocation failed", Error(henv_, nullptr, nullptr));
  // Null output pointers are simply skipped.
  VEL_POST(conn_, SQL_ERROR, kDiagMemory);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLError(nullptr, hdbc_, nullptr, nullptr, nullptr, nullptr, 0, nullptr));
}

// Buffer sizes around the message's length (46); a negative one is the
// caller's error and consumes nothing; the length reported stops at 32767.
TEST_F(SQLErrorTest, TruncationAndTheLengthCap) {
  const std::string full = "08S01 3047 46 " + kClient + "communication failure";
  struct Row {
    SQLSMALLINT size;
    std::string expected;
  } rows[] = {{46, "1 " + full.substr(0, full.size() - 1)}, {47, "0 " + full},
              {0, "1 08S01 3047 46 " + kUnwritten},          {-1, "-1 ????? -99 -99 " + kUnwritten}};
  for (const Row& row : rows) {
    VEL_POST(conn_, SQL_ERROR, kDiagCommunicationFailure);
    EXPECT_EQ(row.expected, ConnError(row.size)) << row.size;
  }
  EXPECT_EQ("0 " + full, ConnError());  // the refused call left its record
  for (size_t extra : {size_t{0}, size_t{1}, size_t{7000}}) {
    const std::string text(32766 - kClient.size() + extra, 'L');
    conn_->PostError(SQL_ERROR, 1, "S1000", text.c_str(), "x.cpp", 1);
    EXPECT_EQ("1 S1000 1 " + std::to_string(extra ? 32767 : 32766) + " " + kUnwritten,
              ConnError(0));
  }
}

TEST_F(SQLErrorTest, ServerRecordsCutTheStateAndTraceTheSetup) {
  ErrorData* record = new (std::nothrow) ErrorData;
  String state, text, file;
  state.SetString("42S02XYZ");  // longer than an SQLSTATE: cut to five
  text.SetString("no such table: t   ");
  file.SetString("engine.c");
  {
    TraceCapture trace("P2");
    ASSERT_EQ(1, record->Setup(VEL_SOURCE_SERVER, 17, state, text, file, 88));
    EXPECT_EQ(TraceCapture::Line('P', 2,
                                 "ErrorData::Setup (String): \n     Source=2, Codes=17, "
                                 "State=42S02XYZ, Text=no such table: t, File=engine.c, Line=88"),
              trace.Body());
  }
  conn_->errors.Append(record);
  EXPECT_EQ("0 42S02 17 41 [QTX][Velora ODBC Server]no such table: t", ConnError());
}

TEST_F(SQLErrorTest, DetailSwitchAppendsFileAndLineAndTheMessageIsTraced) {
  SettingsFile settings("[Debug]\nDebug=1\n");
  ForgetSettings();
  conn_->PostError(SQL_ERROR, 3047, "08S01", "communication failure  ", "Exchange.cpp", 214);
  EXPECT_EQ("0 08S01 3047 65 " + kClient + "communication failure (Exchange.cpp,214)",
            ConnError());
  // The posting macro names this file.
  int line = __LINE__ + 1;
  VEL_POST(stmt_, SQL_ERROR, kDiagColumnOutOfRange);
  TraceCapture trace("A");
  Error(nullptr, nullptr, stmt_);
  EXPECT_EQ(TraceCapture::Line('A', 1, " ErrorMsg=\"" + kClient + "column number out of range (" +
                                           "sqlerror_test.cpp," + std::to_string(line) + ")\""),
            trace.Body());
}

TEST_F(SQLErrorTest, EveryAllocationFailureLosesOnlyThatRecord) {
  // Fail each allocation of SQLError in turn: the call either succeeds or
  // returns SQL_ERROR having consumed the record, never anything else.
  VEL_POST(conn_, SQL_ERROR, kDiagNoResultSet);
  std::string r;
  for (long n = 0; n < 20 && r.substr(0, 2) != "0 "; ++n) {
    VEL_POST(conn_, SQL_ERROR, kDiagMemory);
    SetAllocFailOnce(n);
    r = ConnError();
    ResetAllocFailure();
    if (r.substr(0, 2) != "0 ") {
      EXPECT_EQ("-1 S1001 3008 -99 " + kUnwritten, r) << n;
    }
    EXPECT_EQ(1u, conn_->errors.Count()) << n;
  }
  EXPECT_EQ("0 S1001 3008 50 " + kClient + "memory allocation failure", r);
  EXPECT_EQ("24000", ConnError().substr(2, 5));
}

TEST(ErrorDataTest, PostWithoutMemoryAndTakeLast) {
  TraceCapture trace("P2");
  ErrorList list;
  SetAllocFailAfter(0);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, list.Post(SQL_SUCCESS_WITH_INFO, 1041, "01004", "x", "x.cpp", 1));
  ResetAllocFailure();
  SetAllocFailOnce(2);  // the record is created, one of its strings is not
  EXPECT_EQ(SQL_ERROR, list.Post(SQL_ERROR, 1041, "01004", "data truncated", "x.cpp", 1));
  ResetAllocFailure();
  EXPECT_EQ(nullptr, list.TakeLast());
  list.Post(SQL_ERROR, 1044, "S1002", "column number out of range ", "Fetch.cpp", 12);
  list.Post(SQL_ERROR, 1064, "S1010", "function sequence error", "Fetch.cpp", 40);
  ErrorData* last = list.TakeLast();
  ASSERT_NE(nullptr, last);
  EXPECT_STREQ("S1010", last->sqlstate.Text());
  EXPECT_EQ(VEL_SOURCE_CLIENT, last->source);
  EXPECT_EQ(40, last->line);
  delete last;
  EXPECT_EQ(1u, list.Count());
  EXPECT_STREQ("column number out of range", list.Head()->text.Text());
  EXPECT_TRUE(trace.Has('P', 2,
                        "ErrorData::Setup (pNC): \n     Source=1, Codes=1044, State=S1002, "
                        "Text=column number out of range , File=Fetch.cpp, Line=12"));
}

}  // namespace
