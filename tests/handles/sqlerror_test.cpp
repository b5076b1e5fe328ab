// Diagnostic records and SQLError: posting, order, prefixes, truncation,
// the detail switch and the handles looked at.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "handles/ClientDiagnostics.h"
#include "handles/ErrorData.h"
#include "base/Settings.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "support/capture.h"

namespace {

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

  struct Result {
    SQLRETURN rc;
    std::string state;
    SQLINTEGER native;
    std::string text;
    SQLSMALLINT length;
  };
  Result Error(SQLHENV e, SQLHDBC d, SQLHSTMT s, SQLSMALLINT size = 256) {
    Result r{};
    SQLCHAR state[6] = "?????";
    SQLCHAR text[512];
    std::memset(text, '#', sizeof text);
    text[sizeof text - 1] = '\0';
    r.native = -99;
    r.length = -99;
    r.rc = SQLError(e, d, s, state, &r.native, text, size, &r.length);
    r.state = reinterpret_cast<char*>(state);
    r.text = reinterpret_cast<char*>(text);
    return r;
  }

  SQLHENV henv_ = nullptr;
  SQLHDBC hdbc_ = nullptr;
  Environment* env_ = nullptr;
  Connection* conn_ = nullptr;
  Statement* stmt_ = nullptr;
};

TEST_F(SQLErrorTest, RecordsComeNewestFirstThenNoData) {
  VEL_POST(conn_, SQL_ERROR, kDiagConnectionFailure);
  VEL_POST(conn_, SQL_ERROR, kDiagMemory);
  Result r = Error(nullptr, hdbc_, nullptr);
  EXPECT_EQ(SQL_SUCCESS, r.rc);
  EXPECT_EQ("S1001", r.state);
  EXPECT_EQ(3008, r.native);
  EXPECT_EQ("[QTX][Velora ODBC Client]memory allocation failure", r.text);
  EXPECT_EQ(static_cast<SQLSMALLINT>(r.text.size()), r.length);
  r = Error(nullptr, hdbc_, nullptr);
  EXPECT_EQ(SQL_SUCCESS, r.rc);
  EXPECT_EQ("08001", r.state);
  EXPECT_EQ("[QTX][Velora ODBC Client]connection failure", r.text);
  r = Error(nullptr, hdbc_, nullptr);
  EXPECT_EQ(SQL_NO_DATA_FOUND, r.rc);
  EXPECT_EQ("00000", r.state);
  EXPECT_EQ(0, r.native);
  EXPECT_EQ(0, r.length);
  EXPECT_EQ("", r.text);
}

TEST_F(SQLErrorTest, AllHandlesNullIsNoData) {
  Result r = Error(nullptr, nullptr, nullptr);
  EXPECT_EQ(SQL_NO_DATA_FOUND, r.rc);
  EXPECT_EQ("00000", r.state);
  EXPECT_EQ(0, r.native);
  EXPECT_EQ(0, r.length);
  EXPECT_EQ("", r.text);
  // Null output pointers are simply skipped.
  EXPECT_EQ(SQL_NO_DATA_FOUND, SQLError(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0,
                                        nullptr));
}

TEST_F(SQLErrorTest, OnlyTheMostSpecificHandleIsLookedAt) {
  VEL_POST(stmt_, SQL_ERROR, kDiagNoResultSet);
  VEL_POST(env_, SQL_ERROR, kDiagHdbcAllocation);
  EXPECT_EQ(SQL_NO_DATA_FOUND, Error(nullptr, hdbc_, nullptr).rc);
  Result r = Error(henv_, hdbc_, stmt_);
  EXPECT_EQ("24000", r.state);
  EXPECT_EQ(1006, r.native);
  EXPECT_EQ(SQL_NO_DATA_FOUND, Error(henv_, hdbc_, stmt_).rc);
  r = Error(henv_, nullptr, nullptr);
  EXPECT_EQ("S1000", r.state);
}

TEST_F(SQLErrorTest, TruncationAtTheBufferSize) {
  VEL_POST(conn_, SQL_ERROR, kDiagCommunicationFailure);
  std::string full = "[QTX][Velora ODBC Client]communication failure";
  SQLSMALLINT size = static_cast<SQLSMALLINT>(full.size());
  Result r = Error(nullptr, hdbc_, nullptr, size);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, r.rc);
  EXPECT_EQ(full.substr(0, full.size() - 1), r.text);
  EXPECT_EQ(size, r.length);
  EXPECT_EQ("08S01", r.state);

  VEL_POST(conn_, SQL_ERROR, kDiagCommunicationFailure);
  r = Error(nullptr, hdbc_, nullptr, static_cast<SQLSMALLINT>(size + 1));
  EXPECT_EQ(SQL_SUCCESS, r.rc);
  EXPECT_EQ(full, r.text);

  // A zero-size buffer is not written at all.
  VEL_POST(conn_, SQL_ERROR, kDiagCommunicationFailure);
  r = Error(nullptr, hdbc_, nullptr, 0);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, r.rc);
  EXPECT_EQ('#', r.text[0]);
  EXPECT_EQ(size, r.length);
}

TEST_F(SQLErrorTest, NegativeBufferSizeIsACallerError) {
  VEL_POST(conn_, SQL_ERROR, kDiagMemory);
  Result r = Error(nullptr, hdbc_, nullptr, -1);
  EXPECT_EQ(SQL_ERROR, r.rc);
  EXPECT_EQ("?????", r.state);
  EXPECT_EQ(-99, r.native);
  EXPECT_EQ(-99, r.length);
  EXPECT_EQ('#', r.text[0]);
  EXPECT_EQ(1u, conn_->errors.Count());  // the record is still there
  EXPECT_EQ(SQL_SUCCESS, Error(nullptr, hdbc_, nullptr).rc);
  EXPECT_EQ(SQL_ERROR, Error(nullptr, nullptr, nullptr, -5).rc);
}

TEST_F(SQLErrorTest, ServerRecordsAndTrailingBlanks) {
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
              trace.Text().substr(trace.Text().find("]\n\n") + 3));
  }
  conn_->errors.Append(record);
  Result r = Error(nullptr, hdbc_, nullptr);
  EXPECT_EQ("42S02", r.state);
  EXPECT_EQ(17, r.native);
  EXPECT_EQ("[QTX][Velora ODBC Server]no such table: t", r.text);
}

TEST_F(SQLErrorTest, DetailSwitchAppendsFileAndLine) {
  SettingsFile settings("[Debug]\nDebug=1\n");
  ForgetSettings();
  conn_->PostError(SQL_ERROR, 3047, "08S01", "communication failure  ", "Exchange.cpp", 214);
  Result r = Error(nullptr, hdbc_, nullptr);
  EXPECT_EQ("[QTX][Velora ODBC Client]communication failure (Exchange.cpp,214)", r.text);
  // The posting macro names this file.
  int line = __LINE__ + 1;
  VEL_POST(conn_, SQL_ERROR, kDiagMemory);
  r = Error(nullptr, hdbc_, nullptr);
  EXPECT_EQ("[QTX][Velora ODBC Client]memory allocation failure (sqlerror_test.cpp," +
                std::to_string(line) + ")",
            r.text);
}

TEST_F(SQLErrorTest, DetailSwitchIsReadOnceAndNegativeCountsAsOn) {
  {
    SettingsFile settings("[Debug]\nDebug=-4\n");
    ForgetSettings();
    EXPECT_EQ(1, Settings().debug);
  }
  {
    SettingsFile settings("[Debug]\nDebug=0\n");
    EXPECT_EQ(1, Settings().debug);  // read once per process
    ForgetSettings();
    EXPECT_EQ(0, Settings().debug);
  }
}

TEST_F(SQLErrorTest, MessageLineIsTracedAtLevelOne) {
  VEL_POST(stmt_, SQL_ERROR, kDiagColumnOutOfRange);
  TraceCapture trace("A");
  EXPECT_EQ(SQL_SUCCESS, Error(nullptr, nullptr, stmt_).rc);
  std::string text = trace.Text();
  EXPECT_EQ(TraceCapture::Line('A', 1,
                               " ErrorMsg=\"[QTX][Velora ODBC Client]column number out of range\""),
            text.substr(text.find("]\n\n") + 3));
}

TEST_F(SQLErrorTest, NoMemoryForTheMessageLosesTheRecord) {
  VEL_POST(conn_, SQL_ERROR, kDiagMemory);
  VEL_POST(conn_, SQL_ERROR, kDiagColumnOutOfRange);
  SetAllocFailOnce(0);
  Result r = Error(nullptr, hdbc_, nullptr);
  ResetAllocFailure();
  EXPECT_EQ(SQL_ERROR, r.rc);
  r = Error(nullptr, hdbc_, nullptr);
  EXPECT_EQ(SQL_SUCCESS, r.rc);
  EXPECT_EQ("S1001", r.state);
}

TEST_F(SQLErrorTest, EveryAllocationFailureLosesOnlyThatRecord) {
  // Fail each allocation of SQLError in turn: the call either succeeds or
  // returns SQL_ERROR having consumed the record, never anything else.
  bool succeeded = false;
  for (long n = 0; n < 20 && !succeeded; ++n) {
    VEL_POST(conn_, SQL_ERROR, kDiagMemory);
    SetAllocFailOnce(n);
    Result r = Error(nullptr, hdbc_, nullptr);
    ResetAllocFailure();
    ASSERT_TRUE(r.rc == SQL_SUCCESS || r.rc == SQL_ERROR) << n;
    succeeded = r.rc == SQL_SUCCESS;
    if (succeeded) {
      EXPECT_EQ("[QTX][Velora ODBC Client]memory allocation failure", r.text);
    }
    EXPECT_EQ(0u, conn_->errors.Count()) << n;
  }
  EXPECT_TRUE(succeeded);
  EXPECT_EQ(SQL_NO_DATA_FOUND, Error(nullptr, hdbc_, nullptr).rc);
}

TEST(ErrorDataTest, PostReturnsTheCodeEvenWithoutMemory) {
  ErrorList list;
  SetAllocFailAfter(0);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, list.Post(SQL_SUCCESS_WITH_INFO, 1041, "01004",
                                             "data truncated", "x.cpp", 1));
  ResetAllocFailure();
  EXPECT_EQ(0u, list.Count());
  // The record is created but one of its strings cannot be stored.
  SetAllocFailOnce(2);
  EXPECT_EQ(SQL_ERROR, list.Post(SQL_ERROR, 1041, "01004", "data truncated", "x.cpp", 1));
  ResetAllocFailure();
  EXPECT_EQ(0u, list.Count());
}

TEST(ErrorDataTest, TakeLastAndSetupTrace) {
  TraceCapture trace("P2");
  ErrorList list;
  EXPECT_EQ(nullptr, list.TakeLast());
  list.Post(SQL_ERROR, 1044, "S1002", "column number out of range ", "Fetch.cpp", 12);
  list.Post(SQL_ERROR, 1064, "S1010", "function sequence error", "Fetch.cpp", 40);
  ErrorData* last = list.TakeLast();
  ASSERT_NE(nullptr, last);
  EXPECT_STREQ("S1010", last->sqlstate.Text());
  EXPECT_EQ(VEL_SOURCE_CLIENT, last->source);
  EXPECT_EQ(40, last->line);
  EXPECT_EQ(1u, list.Count());
  EXPECT_STREQ("column number out of range", list.Head()->text.Text());
  delete last;
  EXPECT_TRUE(trace.Text().find(TraceCapture::Line(
                  'P', 2,
                  "ErrorData::Setup (pNC): \n     Source=1, Codes=1044, State=S1002, "
                  "Text=column number out of range , File=Fetch.cpp, Line=12")) !=
              std::string::npos);
  list.Clear();
  EXPECT_EQ(0u, list.Count());
}

}  // namespace
