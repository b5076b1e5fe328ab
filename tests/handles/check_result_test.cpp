// CheckResult: client records for failed exchanges; after a non-zero
// return code the get-error exchange queues the server's record.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include "handles/Connection.h"
#include "handles/Statement.h"
#include "support/capture.h"
#include "support/fake_server.h"

namespace {

// "source state native line text" of the newest record on the statement.
std::string Last(Statement* s) {
  ErrorData* r = s->TakeLastError();
  if (r == nullptr) return "none";
  std::string out = std::to_string(r->source) + " " + r->sqlstate.TextOrEmpty() + " " +
                    std::to_string(r->native) + " " + std::to_string(r->line) + " " +
                    r->text.TextOrEmpty();
  delete r;
  return out;
}

struct CheckResultTest : ::testing::Test {
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

TEST_F(CheckResultTest, ClientFailuresBecomeClientRecordsAndBuildFailuresErrors) {
  server.ExpectEnd();
  Connect();
  EXPECT_EQ(SQL_SUCCESS, statement.CheckResult(SQL_SUCCESS, 3));
  EXPECT_EQ("none", Last(&statement));
  const char* rows[][2] = {{"0", "1 08S01 3047 "}, {"1", "1 S1000 3028 "}, {"2", "1 S1001 3008 "},
                           {"4", "1 S1090 1072 "}};
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
// and line are signed, its SQLSTATE cut to five, its text's blanks dropped.
TEST_F(CheckResultTest, ServerRecordOfTheConnection) {
  server.Expect(Bytes({4, 0, 0, 0, 9, 0}) + U32(0))
      .Send(ReplyFrame(Bytes({0, 0}) + Text16("S1000xyz") + U16(0xFFFF) + Text16("general  ") +
                       Text16("engine.cpp") + U16(0xFFFE)))
      .ExpectEnd();
  Connect();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, connection.CheckResult(SQL_SUCCESS_WITH_INFO, 3));
  ErrorData* r = connection.TakeLastError();
  ASSERT_NE(nullptr, r);
  EXPECT_EQ("2 S1000 -1 -2 general engine.cpp",
            std::to_string(r->source) + " " + r->sqlstate.Text() + " " + std::to_string(r->native) +
                " " + std::to_string(r->line) + " " + r->text.Text() + " " + r->file.Text());
  delete r;
}

// A failed second exchange is not examined: the call keeps the server's
// first return code and the queued record holds empty values.
TEST_F(CheckResultTest, FailedGetErrorStillReturnsTheFirstCode) {
  server.Expect(Bytes({4, 0, 0, 0, 9, 0}) + U32(9)).Close();
  Connect();
  EXPECT_EQ(SQL_NO_DATA_FOUND, statement.CheckResult(SQL_NO_DATA_FOUND, 3));
  EXPECT_EQ("2  0 0 ", Last(&statement));
}

}  // namespace
