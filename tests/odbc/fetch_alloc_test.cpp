// Exhausted memory while fetching: every allocation of SQLFetch and
// SQLGetData made to fail in turn, against the scripted server, called on
// the driver directly. Each call either succeeds or fails cleanly with its
// diagnostic; nothing crashes or leaks.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "handles/Statement.h"
#include "base/Alloc.h"
#include "odbc/frame_server.h"

namespace {

class FetchAllocTest : public ::testing::Test {
 protected:
  FetchAllocTest() : server_([this](const Frame& f) { return results_.Reply(f); }) {}

  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv_));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv_, &hdbc_));
    std::string in = "DSN=VeloraFake;Server=127.0.0.1;Service=" + std::to_string(server_.Port()) +
                     ";User=u;Password=p";
    char out[256];
    SQLSMALLINT outLength = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(hdbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                               (SQLCHAR*)out, sizeof out, &outLength,
                                               SQL_DRIVER_NOPROMPT)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocStmt(hdbc_, &hstmt_));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(hstmt_, (SQLCHAR*)"SELECT a, b, c FROM t", SQL_NTS));
  }
  void TearDown() override {
    ResetAllocFailure();
    SQLFreeEnv(henv_);
  }

  // The SQLSTATE of the newest record on the statement, or "".
  std::string State() {
    ErrorData* e = static_cast<Statement*>(hstmt_)->errors.Last();
    return e ? e->sqlstate.TextOrEmpty() : "";
  }

  FakeResultSet results_{1000};
  FrameServer server_;
  SQLHENV henv_ = SQL_NULL_HENV;
  SQLHDBC hdbc_ = SQL_NULL_HDBC;
  SQLHSTMT hstmt_ = SQL_NULL_HSTMT;
};

TEST_F(FetchAllocTest, EveryAllocationOfAFetchMayFail) {
  SQLINTEGER a = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt_, 1, SQL_C_SLONG, &a, 0, nullptr));
  char text[16];
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt_));
  // Read column 3 so that it travels with the next rows and is kept.
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt_, 3, SQL_C_CHAR, text, sizeof text, &length));
  int failures = 0, memoryRecords = 0;
  for (long n = 0; n < 40; ++n) {
    SetAllocFailOnce(n);  // only allocation n fails: the record can be queued
    SQLRETURN rc = SQLFetch(hstmt_);
    ResetAllocFailure();
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_ERROR) << "allocation " << n << ": rc " << rc;
    if (rc == SQL_ERROR) {
      ++failures;
      std::string state = State();
      EXPECT_TRUE(state == "S1001" || state == "08S01") << n << ": " << state;
      if (state == "S1001") ++memoryRecords;
    }
    // Read the column again, keeping it in the row (with memory back).
    rc = SQLGetData(hstmt_, 3, SQL_C_CHAR, text, sizeof text, &length);
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_NO_DATA_FOUND) << State();
  }
  EXPECT_GT(failures, 0);
  EXPECT_GT(memoryRecords, 0);
  EXPECT_EQ(SQL_SUCCESS, SQLFetch(hstmt_));
}

TEST_F(FetchAllocTest, EveryAllocationOfAGetDataMayFail) {
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt_));
  int failures = 0;
  for (long n = 0; n < 30; ++n) {
    char text[4];
    SQLLEN length = 0;
    SetAllocFailOnce(n);
    SQLRETURN rc = SQLGetData(hstmt_, 2, SQL_C_CHAR, text, sizeof text, &length);
    ResetAllocFailure();
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR ||
                rc == SQL_NO_DATA_FOUND)
        << rc;
    if (rc == SQL_ERROR) {
      ++failures;
      EXPECT_TRUE(State() == "S1001" || State() == "08S01") << n << ": " << State();
    }
    // Start the value again on the next round.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt_));
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
