// CheckResult of Connection and Statement: client records for failed
// exchanges, and the get-error exchange that fetches and queues the
// server's record after a non-zero return code.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "handles/ErrorData.h"
#include "handles/Connection.h"
#include "handles/Statement.h"
#include "support/capture.h"
#include "support/fake_server.h"

namespace {

std::string GetErrorFrame(uint32_t statementId) {
  return Bytes({4, 0, 0, 0, 9, 0}) + U32(statementId);
}

std::string ServerRecord(const std::string& sqlstate, uint16_t native, const std::string& text,
                         const std::string& file, uint16_t line) {
  return ReplyFrame(Bytes({0, 0}) + Text16(sqlstate) + U16(native) + Text16(text) + Text16(file) +
                    U16(line));
}

class CheckResultTest : public ::testing::Test {
 protected:
  void Connect() {
    server.Start();
    ASSERT_EQ(1, connection.clib.InitiateConnection("127.0.0.1", server.Port().c_str()));
    statement.connection = &connection;
    statement.statementId = 9;
  }
  void TearDown() override {
    connection.clib.ReleaseConnection();
    EXPECT_TRUE(server.Finish()) << server.Error();
  }
  BoxCapture boxes;
  FakeServer server;
  Connection connection;
  Statement statement;
};

TEST_F(CheckResultTest, SuccessPostsNothingWhateverTheStatus) {
  EXPECT_EQ(SQL_SUCCESS, connection.CheckResult(SQL_SUCCESS, 0));
  EXPECT_EQ(SQL_SUCCESS, statement.CheckResult(SQL_SUCCESS, 3));
  EXPECT_EQ(0u, connection.errors.Count());
  EXPECT_EQ(0u, statement.errors.Count());
}

TEST_F(CheckResultTest, ClientFailuresBecomeClientRecords) {
  struct Case {
    int status;
    const char* sqlstate;
    int32_t native;
    const char* text;
  } cases[] = {
      {0, "08S01", 3047, "communication failure"},
      {1, "S1000", 3028, "internal error"},
      {2, "S1001", 3008, "memory allocation failure"},
      {4, "S1090", 1072, "string too long: texts are sent with at most 32767 bytes"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SQL_ERROR, statement.CheckResult(SQL_ERROR, c.status));
    ErrorData* record = statement.TakeLastError();
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(VEL_SOURCE_CLIENT, record->source);
    EXPECT_STREQ(c.sqlstate, record->sqlstate.Text());
    EXPECT_EQ(c.native, record->native);
    EXPECT_STREQ(c.text, record->text.Text());
    delete record;
  }
}

TEST_F(CheckResultTest, ServerRecordIsFetchedForTheStatement) {
  server.Expect(GetErrorFrame(9))
      .Send(ServerRecord("42S02", 1234, "no such table  ", "engine.cpp", 77))
      .ExpectEnd();
  Connect();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, statement.CheckResult(SQL_SUCCESS_WITH_INFO, 3));
  ASSERT_EQ(1u, statement.errors.Count());
  ErrorData* record = statement.errors.First();
  EXPECT_EQ(VEL_SOURCE_SERVER, record->source);
  EXPECT_STREQ("42S02", record->sqlstate.Text());
  EXPECT_EQ(1234, record->native);
  EXPECT_STREQ("no such table", record->text.Text());
  EXPECT_STREQ("engine.cpp", record->file.Text());
  EXPECT_EQ(77, record->line);
}

TEST_F(CheckResultTest, ConnectionAsksWithStatementIdZero) {
  server.Expect(GetErrorFrame(0))
      .Send(ServerRecord("S1000xyz", 0xFFFF, "general", "", 0xFFFF))
      .ExpectEnd();
  Connect();
  EXPECT_EQ(SQL_ERROR, connection.CheckResult(SQL_ERROR, 3));
  ASSERT_EQ(1u, connection.errors.Count());
  ErrorData* record = connection.errors.First();
  EXPECT_STREQ("S1000", record->sqlstate.Text());  // cut to five characters
  EXPECT_EQ(-1, record->native);
  EXPECT_EQ(-1, record->line);
}

// A failed second exchange is not examined: the call keeps the server's
// first return code and the queued record holds empty values.
TEST_F(CheckResultTest, FailedGetErrorStillReturnsFirstCode) {
  server.Expect(GetErrorFrame(9)).Close();
  Connect();
  EXPECT_EQ(SQL_NO_DATA_FOUND, statement.CheckResult(SQL_NO_DATA_FOUND, 3));
  ASSERT_EQ(1u, statement.errors.Count());
  EXPECT_EQ(VEL_SOURCE_SERVER, statement.errors.First()->source);
  EXPECT_EQ(0u, statement.errors.First()->text.Length());
}

TEST_F(CheckResultTest, RequestThatCannotBeBuiltIsInternalError) {
  server.ExpectEnd();
  Connect();
  SetAllocFailAfter(0);
  int rc = statement.CheckResult(SQL_ERROR, 3);
  ResetAllocFailure();
  EXPECT_EQ(SQL_ERROR, rc);
  // The record of the internal error may itself have found no memory.
  EXPECT_LE(statement.errors.Count(), 1u);
  for (long n = 1; n < 7; ++n) {  // the get-error request has 7 elements
    statement.errors.Clear();
    SetAllocFailAfter(n);
    rc = statement.CheckResult(SQL_ERROR, 3);
    ResetAllocFailure();
    EXPECT_EQ(SQL_ERROR, rc);
  }
}

}  // namespace
