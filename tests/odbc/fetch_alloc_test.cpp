// Exhausted memory while fetching: each allocation of SQLFetch and
// SQLGetData made to fail in turn, against the scripted server, called on
// the driver directly. Each call succeeds or fails cleanly with "S1001"
// (or "08S01" when the exchange itself could not be made).
#include "base/Alloc.h"
#include "handles/Statement.h"
#include "odbc/session.h"

namespace {

class FetchAllocTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    results_.Serve(server);
    std::string in = In() + ";User=u;Password=p";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(hdbc, nullptr, M(in.c_str()), SQL_NTS, nullptr, 0, nullptr, 0)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocStmt(hdbc, &hstmt_));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(hstmt_, M("SELECT a, b, c FROM t"), SQL_NTS));
  }
  void TearDown() override {
    ResetAllocFailure();
    SessionTest::TearDown();
  }
  // Runs call with allocation n failing; counts the clean failures.
  void Fail(long n, SQLRETURN (*call)(SQLHSTMT)) {
    SetAllocFailOnce(n);  // only allocation n fails: the record can be queued
    SQLRETURN rc = call(hstmt_);
    ResetAllocFailure();
    ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_ERROR || rc == SQL_NO_DATA_FOUND) << n << ": rc " << rc;
    ErrorData* e = static_cast<Statement*>(hstmt_)->errors.Last();
    std::string state = rc == SQL_ERROR && e ? e->sqlstate.TextOrEmpty() : "";
    EXPECT_TRUE(rc != SQL_ERROR || state == "S1001" || state == "08S01") << n << ": " << state;
    failures_ += rc == SQL_ERROR;
    memoryRecords_ += state == "S1001";
  }
  // Column 3 whole (so that it travels with the next rows); column 2 in pieces.
  static SQLRETURN GetC(SQLHSTMT s) { return SQLGetData(s, 3, SQL_C_CHAR, text_, 16, nullptr); }
  static SQLRETURN GetB(SQLHSTMT s) { return SQLGetData(s, 2, SQL_C_CHAR, text_, 4, nullptr); }
  static char text_[16];

  FakeResultSet results_{1000};
  SQLHSTMT hstmt_ = SQL_NULL_HSTMT;
  int failures_ = 0, memoryRecords_ = 0;
};
char FetchAllocTest::text_[16];

TEST_F(FetchAllocTest, EveryAllocationOfAFetchMayFail) {
  SQLINTEGER a = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt_, 1, SQL_C_SLONG, &a, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt_));
  ASSERT_EQ(SQL_SUCCESS, GetC(hstmt_));
  for (long n = 0; n < 40; ++n) {
    Fail(n, SQLFetch);
    SQLRETURN rc = GetC(hstmt_);  // read again with memory back: column 3 stays in the row
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_NO_DATA_FOUND) << rc;
  }
  EXPECT_GT(failures_, 0);
  EXPECT_GT(memoryRecords_, 0);
  EXPECT_EQ(SQL_SUCCESS, SQLFetch(hstmt_));
}

TEST_F(FetchAllocTest, EveryAllocationOfAGetDataMayFail) {
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt_));
  for (long n = 0; n < 30; ++n) {
    Fail(n, GetB);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt_));  // start the value again
  }
  EXPECT_GT(failures_, 0);
}

}  // namespace
