// The entry points' own refusals, called directly on a registered statement
// without a server: bookmarks, column numbers, scrolling functions.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "handles/Frame.h"
#include "support/capture.h"

namespace {

class RefusalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv_));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv_, &hdbc_));
    Connection* conn = Registry().FindConnection(hdbc_);
    stmt_ = new (std::nothrow) Statement;
    stmt_->connection = conn;
    conn->AddStatement(stmt_);
  }
  void TearDown() override { SQLFreeEnv(henv_); }

  // The one record queued by the last call, as "STATE native text".
  std::string Record() {
    ErrorData* e = stmt_->errors.Last();
    if (e == nullptr) return "";
    return std::string(e->sqlstate.TextOrEmpty()) + " " + std::to_string(e->native) + " " +
           e->text.TextOrEmpty();
  }

  SQLHENV henv_ = SQL_NULL_HENV;
  SQLHDBC hdbc_ = SQL_NULL_HDBC;
  Statement* stmt_ = nullptr;
};

TEST_F(RefusalTest, ScrollingFunctionsAreNotImplemented) {
  SQLULEN rows = 77;
  SQLUSMALLINT status[1] = {5};
  EXPECT_EQ(SQL_ERROR, SQLExtendedFetch(stmt_, SQL_FETCH_NEXT, 0, &rows, status));
  EXPECT_EQ("S1C00 3028 SQLExtendedFetch not implemented", Record());
  EXPECT_EQ(77u, rows);  // pcrow is not written
  EXPECT_EQ(5, status[0]);
  EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt_, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE));
  EXPECT_EQ("S1C00 3028 SQLSetPos not implemented", Record());
  EXPECT_EQ(SQL_ERROR, SQLSetScrollOptions(stmt_, SQL_CONCUR_READ_ONLY, SQL_SCROLL_FORWARD_ONLY, 1));
  EXPECT_EQ("S1C00 3028 SQLSetScrollOptions not implemented", Record());
  EXPECT_EQ(1u, stmt_->errors.Count());  // each call clears the records before it
}

TEST_F(RefusalTest, BookmarkColumnIsRefused) {
  char buffer[8];
  SQLLEN length = 3;
  EXPECT_EQ(SQL_ERROR, SQLBindCol(stmt_, 0, SQL_C_CHAR, buffer, sizeof buffer, &length));
  EXPECT_EQ("S1C00 1061 bookmarks not supported yet", Record());
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 0, SQL_C_CHAR, buffer, sizeof buffer, &length));
  EXPECT_EQ("S1C00 1061 bookmarks not supported yet", Record());
  EXPECT_EQ(3, length);
}

TEST_F(RefusalTest, GetDataWithoutResultSetIsColumnOutOfRange) {
  char buffer[8];
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, nullptr));
  EXPECT_EQ("S1002 1044 column number out of range", Record());
}

TEST_F(RefusalTest, BindColNeverTouchesTheBuffersAndBindsByNumber) {
  // Offsets standing in for pointers, as applications bind them before
  // they set their bases: nothing may be read or written through them.
  SQLPOINTER offset = reinterpret_cast<SQLPOINTER>(0x10);
  SQLLEN* lengthOffset = reinterpret_cast<SQLLEN*>(0x20);
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_CHAR, offset, 100, lengthOffset));
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_SLONG, offset, 0, lengthOffset));
  ASSERT_EQ(1u, stmt_->bindings.Count());
  EXPECT_EQ(SQL_C_SLONG, stmt_->bindings.Head()->fCType);
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, 12345, offset, 0, nullptr));  // checked at fetch
  EXPECT_EQ(2u, stmt_->bindings.Count());
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_SLONG, nullptr, 0, nullptr));
  ASSERT_EQ(1u, stmt_->bindings.Count());
  EXPECT_EQ(2, stmt_->bindings.Head()->columnNumber);
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLBindCol(hdbc_, 1, SQL_C_CHAR, offset, 1, nullptr));
}

TEST_F(RefusalTest, BindColAndGetDataTraceTwoEntryLines) {
  TraceCapture trace("A2");
  SQLPOINTER offset = reinterpret_cast<SQLPOINTER>(0x10);
  SQLBindCol(stmt_, 3, SQL_C_CHAR, offset, 100, nullptr);
  SQLGetData(stmt_, 2, SQL_C_SLONG, offset, 4, nullptr);
  char handle[32];
  std::snprintf(handle, sizeof handle, "0x%08lx", HandleValue(stmt_));
  EXPECT_TRUE(trace.Has('A', 2, std::string("SQLBindCol: hstmt=") + handle + ", icol=3"))
      << trace.Text();
  EXPECT_TRUE(trace.Has('A', 2, " fCType=1, rgbValue=0x10, cbValueMax=100")) << trace.Text();
  EXPECT_TRUE(trace.Has('A', 2, std::string("SQLGetData: hstmt=") + handle + ", icol=2"));
  EXPECT_TRUE(trace.Has('A', 2, " fCType=-16, rgbValue=0x10, cbValueMax=4"));
}

}  // namespace
