// The entry points' answers without a server: refusals on a registered
// statement (bookmarks, column numbers, fetch types, scrolling functions),
// SQLBindCol, and SQLGetFunctions' fixed table and handle lookup.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/Functions.h"
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

  // The one record queued by a call that failed, as "STATE native text".
  std::string Refused(SQLRETURN rc) {
    ErrorData* e = stmt_->errors.Last();
    if (rc != SQL_ERROR || e == nullptr) return "rc " + std::to_string(rc);
    return std::string(e->sqlstate.TextOrEmpty()) + " " + std::to_string(e->native) + " " + e->text.TextOrEmpty();
  }

  SQLHENV henv_ = SQL_NULL_HENV;
  SQLHDBC hdbc_ = SQL_NULL_HDBC;
  Statement* stmt_ = nullptr;
};

TEST_F(RefusalTest, CallsRefusedBeforeAnythingIsWritten) {
  SQLULEN rows = 77;
  SQLUSMALLINT status[1] = {5};
  char buffer[8];
  SQLLEN length = 3;
  // Forward-only: every fetch type but the next rowset (and the first
  // before any row) is out of range.
  EXPECT_EQ("S1106 1072 fetch type out of range", Refused(SQLExtendedFetch(stmt_, SQL_FETCH_LAST, 1, &rows, status)));
  EXPECT_EQ("S1C00 3028 SQLSetPos not implemented", Refused(SQLSetPos(stmt_, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE)));
  EXPECT_EQ("S1C00 3028 SQLSetScrollOptions not implemented",
            Refused(SQLSetScrollOptions(stmt_, SQL_CONCUR_READ_ONLY, SQL_SCROLL_FORWARD_ONLY, 1)));
  EXPECT_EQ("S1C00 1061 bookmarks not supported yet", Refused(SQLBindCol(stmt_, 0, SQL_C_CHAR, buffer, 8, &length)));
  EXPECT_EQ("S1C00 1061 bookmarks not supported yet", Refused(SQLGetData(stmt_, 0, SQL_C_CHAR, buffer, 8, &length)));
  // Without a result set every column is out of range.
  EXPECT_EQ("S1002 1044 column number out of range", Refused(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, 8, &length)));
  EXPECT_EQ(1u, stmt_->errors.Count());  // each call clears the records before it
  EXPECT_EQ(77u, rows);
  EXPECT_EQ(5, status[0]);
  EXPECT_EQ(3, length);
}

TEST_F(RefusalTest, BindColNeverTouchesTheBuffersAndBindsByNumber) {
  // Offsets standing in for pointers: nothing may be read or written through them.
  SQLPOINTER offset = reinterpret_cast<SQLPOINTER>(0x10);
  SQLLEN* lengthOffset = reinterpret_cast<SQLLEN*>(0x20);
  TraceCapture trace("A2");
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_CHAR, offset, 100, lengthOffset));
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_SLONG, offset, 0, lengthOffset));
  ASSERT_EQ(1u, stmt_->bindings.Count());
  EXPECT_EQ(SQL_C_SLONG, stmt_->bindings.Head()->fCType);
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, 12345, offset, 0, nullptr));  // checked at fetch
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_SLONG, nullptr, 0, nullptr));
  ASSERT_EQ(1u, stmt_->bindings.Count());
  EXPECT_EQ(2, stmt_->bindings.Head()->columnNumber);
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLBindCol(hdbc_, 1, SQL_C_CHAR, offset, 1, nullptr));
  SQLGetData(stmt_, 2, SQL_C_SLONG, offset, 4, nullptr);
  char handle[32];
  std::snprintf(handle, sizeof handle, "0x%08lx", HandleValue(stmt_));
  EXPECT_TRUE(trace.Has('A', 2, std::string("SQLBindCol: hstmt=") + handle + ", icol=3")) << trace.Text();
  EXPECT_TRUE(trace.Has('A', 2, " fCType=1, rgbValue=0x10, cbValueMax=100")) << trace.Text();
  EXPECT_TRUE(trace.Has('A', 2, std::string("SQLGetData: hstmt=") + handle + ", icol=2"));
  EXPECT_TRUE(trace.Has('A', 2, " fCType=-16, rgbValue=0x10, cbValueMax=4"));
}

// The whole table (exactly 100 entries, through the connection) agrees
// with the single answers; numbers beyond it (ODBC 3 functions asked one
// by one) are unsupported. The trace lists entries 1..71: the 41
// supported ones below 72, 30 others.
TEST_F(RefusalTest, GetFunctionsTableSingleAnswersAndTrace) {
  SQLUSMALLINT table[102];
  for (SQLUSMALLINT& entry : table) entry = 0x5555;
  ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(hdbc_, SQL_API_ALL_FUNCTIONS, table));
  int supported = 0;
  EXPECT_EQ(0, table[0]);
  EXPECT_EQ(0x5555, table[100]);
  const std::pair<SQLUSMALLINT, SQLUSMALLINT> cases[] = {
      {SQL_API_SQLGETDATA, 1}, {63, 1}, {62, 0}, {SQL_API_SQLEXTENDEDFETCH, 1}, {SQL_API_SQLMORERESULTS, 1},
      {SQL_API_SQLSETPOS, 0}, {71, 0}, {99, 0}, {100, 0}, {SQL_API_SQLFETCHSCROLL, 0}, {65535, 0}};
  for (SQLUSMALLINT i = 1; i < 100; ++i) {
    SQLUSMALLINT exists = 0x5555;
    ASSERT_EQ(SQL_SUCCESS, GetFunctions(i, &exists));
    EXPECT_EQ(exists, table[i]) << "entry " << i;
    supported += table[i];
  }
  EXPECT_EQ(42, supported);
  for (const auto& c : cases) {
    SQLUSMALLINT exists = 0x5555;
    EXPECT_EQ(SQL_SUCCESS, GetFunctions(c.first, &exists));
    EXPECT_EQ(c.second, exists) << "function " << c.first;
  }
  EXPECT_EQ(SQL_SUCCESS, GetFunctions(SQL_API_ALL_FUNCTIONS, nullptr));
  SQLUSMALLINT exists = 7;
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetFunctions(henv_, SQL_API_SQLFETCH, &exists));
  EXPECT_EQ(7, exists);
  for (SQLUSMALLINT function : {SQLUSMALLINT{0}, SQLUSMALLINT{72}, SQLUSMALLINT{100}}) {
    TraceCapture trace("A2");
    GetFunctions(function, table);
    std::string lines = trace.Text();
    ASSERT_NE(std::string::npos, lines.find("SQLGetFunctions: Results\n")) << lines;
    lines = lines.substr(lines.find("SQLGetFunctions: Results\n"));
    int trues = 0, falses = 0;
    for (size_t p = lines.find("A2:     "); p != std::string::npos; p = lines.find("A2:     ", p + 1)) {
      trues += lines.compare(p + 8, 5, "TRUE\n") == 0;
      falses += lines.compare(p + 8, 6, "FALSE\n") == 0;
    }
    EXPECT_EQ(41 * 100 + 30, trues * 100 + falses) << lines;
  }
}

}  // namespace
