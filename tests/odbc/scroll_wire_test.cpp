// Static cursors at a scripted server through the real driver manager:
// which fetch requests each direction sends (rows are read only as far as
// a fetch needs, SQL_FETCH_LAST reads to the end, rows already read are
// served without a request), ODBC's rowsets at both ends of the result,
// bookmarks and SQLSetPos, and rows spilled to the scratch file past the
// memory bound, read back exactly and removed with the cursor.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "frames.h"
#include "odbc_folder.h"

namespace {

const std::string kRow = U32(7) + U16(3) + U16(1) + U16(2) + U16(3);  // every column travels

// Open descriptors of this process on the driver's scratch files.
int ScratchFiles() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  for (dirent* e = dir ? readdir(dir) : nullptr; e != nullptr; e = readdir(dir)) {
    char target[512] = {0};
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    if (readlink(link.c_str(), target, sizeof target - 1) > 0 &&
        std::string(target).find("velora-cursor-") != std::string::npos)
      ++count;
  }
  if (dir) closedir(dir);
  return count;
}

class ScrollWireTest : public OdbcTest {
 protected:
  void Open(int rows, SQLULEN rowset, const std::string& keys = "", bool bookmarks = false) {
    if (results_ == nullptr) results_ = new FakeResultSet(rows);
    results_->Serve(server_);
    Connect(server_.Port() + keys, concurrency_ != SQL_CONCUR_READ_ONLY ? "VeloraFakeW" : "VeloraFake");
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status_, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, a_, 0, nullptr));
    SQLUINTEGER unused = 0;
    EXPECT_EQ(SQL_ERROR, SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, &unused, 4, nullptr));  // bookmarks off
    if (bookmarks) {
      ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_ON, 0)) << State();
    }
    if (concurrency_ != SQL_CONCUR_READ_ONLY) {
      ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency_, 0));
    }
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)"SELECT a, b, c FROM t", SQL_NTS));
  }
  void TearDown() override {
    Disconnect();
    EXPECT_TRUE(server_.Finish()) << server_.Error();
    delete results_;
  }
  // "rc rows statuses first-values" of one fetch.
  std::string Scroll(SQLSMALLINT orientation, SQLLEN offset) {
    for (auto& s : status_) s = 9;
    for (auto& v : a_) v = 0;
    const SQLRETURN rc = SQLFetchScroll(stmt_, orientation, offset);
    std::string out = std::to_string(rc) + " " + std::to_string(fetched_) + " ";
    if (rc == SQL_NO_DATA) return out;
    for (SQLULEN i = 0; i < rowset_; ++i) out += std::to_string(status_[i]);
    for (SQLULEN i = 0; i < fetched_; ++i) out += " " + std::to_string(a_[i]);
    return out;
  }
  std::string Fetches() { return results_->Sent(13); }
  std::string Text(SQLUSMALLINT column) {
    char buffer[16] = {0};
    SQLLEN length = 0;
    const SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_CHAR, buffer, sizeof buffer, &length);
    return SQL_SUCCEEDED(rc) ? buffer : "rc " + std::to_string(rc) + " " + State();
  }
  std::string Repeat(int n) {
    std::string s;
    while (n-- > 0) s += kRow;
    return s;
  }

  FakeResultSet* results_ = nullptr;
  FakeServer server_;
  SQLUSMALLINT status_[4] = {};
  SQLULEN fetched_ = 0, rowset_ = 1, concurrency_ = SQL_CONCUR_READ_ONLY;
  SQLINTEGER a_[4] = {};
};

// One row at a time over five rows (row 2's a holds 300): what each fetch
// answers and how many fetch requests have gone out by then.
TEST_F(ScrollWireTest, RowsAreReadOnlyAsFarAsAFetchNeeds) {
  Open(5, 1);
  // clang-format off
  const struct { SQLSMALLINT orientation; SQLLEN offset; const char* answer; int requests; } steps[] = {
      {SQL_FETCH_NEXT, 0, "0 1 0 1", 1},       {SQL_FETCH_NEXT, 0, "0 1 0 300", 2},
      {SQL_FETCH_ABSOLUTE, 1, "0 1 0 1", 2},   {SQL_FETCH_PRIOR, 0, "100 0 ", 2},
      {SQL_FETCH_RELATIVE, 2, "0 1 0 300", 2}, {SQL_FETCH_LAST, 0, "0 1 0 5", 6},
      {SQL_FETCH_PRIOR, 0, "0 1 0 4", 6},      {SQL_FETCH_ABSOLUTE, -5, "0 1 0 1", 6},
      {SQL_FETCH_ABSOLUTE, -6, "100 0 ", 6},   {SQL_FETCH_ABSOLUTE, 6, "100 0 ", 6},
      {SQL_FETCH_PRIOR, 0, "0 1 0 5", 6},      {SQL_FETCH_RELATIVE, -2, "0 1 0 3", 6},
      {SQL_FETCH_FIRST, 0, "0 1 0 1", 6},
  };
  // clang-format on
  SQLLEN count = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt_, &count));
  EXPECT_EQ(-1, count);  // not known before the end is read
  for (const auto& s : steps) {
    EXPECT_EQ(s.answer, Scroll(s.orientation, s.offset)) << s.orientation << " " << s.offset;
    EXPECT_EQ(Repeat(s.requests), Fetches()) << s.orientation << " " << s.offset;
  }
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt_, &count));
  EXPECT_EQ(5, count);
  ASSERT_EQ("0 1 0 4", Scroll(SQL_FETCH_ABSOLUTE, 4));
  EXPECT_EQ("b-4", Text(2));  // every value of the row is held
  EXPECT_EQ("c-4", Text(3));
  SQLULEN number = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr));
  EXPECT_EQ(4u, number);
  EXPECT_EQ("", results_->Sent(17));
  EXPECT_EQ("", results_->Sent(18));
}

// Rowsets of three over five rows: partial ones at the end, and those that
// would begin before the first row, which begin at it.
TEST_F(ScrollWireTest, PartialRowsetsAtBothEnds) {
  rowset_ = 3;
  Open(5, 3);
  // clang-format off
  const struct { SQLSMALLINT orientation; SQLLEN offset; const char* answer; } steps[] = {
      {SQL_FETCH_NEXT, 0, "0 3 000 1 300 3"},
      {SQL_FETCH_NEXT, 0, "0 2 003 4 5"},
      {SQL_FETCH_NEXT, 0, "100 0 "},
      {SQL_FETCH_PRIOR, 0, "0 3 000 3 4 5"},
      {SQL_FETCH_PRIOR, 0, "0 3 000 1 300 3"},
      {SQL_FETCH_RELATIVE, 2, "0 3 000 3 4 5"},
      {SQL_FETCH_RELATIVE, -3, "0 3 000 1 300 3"},
      {SQL_FETCH_ABSOLUTE, -2, "0 2 003 4 5"},
      {SQL_FETCH_ABSOLUTE, -7, "100 0 "},
      {SQL_FETCH_ABSOLUTE, -5, "0 3 000 1 300 3"},
      {SQL_FETCH_ABSOLUTE, -4, "0 3 000 300 3 4"},
      {SQL_FETCH_LAST, 0, "0 3 000 3 4 5"},
      {SQL_FETCH_PRIOR, 0, "0 3 000 1 300 3"},
      {SQL_FETCH_PRIOR, 0, "100 0 "},
  };
  // clang-format on
  for (const auto& s : steps) EXPECT_EQ(s.answer, Scroll(s.orientation, s.offset)) << s.orientation << " " << s.offset;
  EXPECT_EQ(Repeat(6), Fetches());
}

// Bookmarks are row numbers (column 0); SQLSetPos makes a row of the rowset
// the one SQLGetData reads, and does nothing else.
TEST_F(ScrollWireTest, BookmarksAndPositions) {
  rowset_ = 3;
  results_ = nullptr;
  SQLUINTEGER mark[3] = {};  // one per row of the rowset
  SQLLEN markLength[3] = {};
  Open(5, 3, "", true);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, mark, 4, markLength));
  EXPECT_EQ("0 2 003 4 5", Scroll(SQL_FETCH_ABSOLUTE, 4));
  EXPECT_EQ(4u, mark[0]);
  EXPECT_EQ(5u, mark[1]);
  EXPECT_EQ(4, markLength[0]);
  ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE));
  EXPECT_EQ("b-5", Text(2));
  EXPECT_EQ("5", Text(0));
  // clang-format off
  const struct { SQLSETPOSIROW row; SQLUSMALLINT operation; const char* state; } refused[] = {
      {3, SQL_POSITION, "HY107"}, {0, SQL_POSITION, "HY109"}, {1, SQL_UPDATE, "HYC00"}, {1, SQL_DELETE, "HYC00"}};
  // clang-format on
  for (const auto& r : refused) {
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt_, r.row, r.operation, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(r.state, State()) << r.row << " " << r.operation;
  }
  SQLUINTEGER wanted = 2;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, &wanted, 0));
  EXPECT_EQ("0 3 000 300 3 4", Scroll(SQL_FETCH_BOOKMARK, 0));
  EXPECT_EQ(2u, mark[0]);
  wanted = 9;  // no row of that number has been read
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt_, SQL_FETCH_BOOKMARK, 0));
  EXPECT_EQ("HY111", State());
  EXPECT_EQ(Repeat(6), Fetches());  // the fourth rowset needed the end
}

// To a server that offers cursors that write back: the concurrency with the
// wish, the check after the execution, and an update of row 2 by its number
// with the bound value (column 1, INTEGER 42).
TEST_F(ScrollWireTest, SetPosUpdatesARowByItsNumber) {
  results_ = new FakeResultSet(3);
  results_->OfferEdits(2);  // EDIT_KEYS
  concurrency_ = SQL_CONCUR_ROWVER;
  Open(3, 1);
  EXPECT_EQ(U32(7) + U16(0x103), results_->Sent(28));
  EXPECT_EQ("0 1 0 300", Scroll(SQL_FETCH_ABSOLUTE, 2));
  a_[0] = 42;
  ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << State();
  EXPECT_EQ("2", std::to_string(status_[0]));                                               // SQL_ROW_UPDATED
  ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, 1, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << State();  // read again by key
  SQLHSTMT positioned = nullptr;  // its cursor's row told first
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &positioned)));
  SQLExecDirect(positioned, (SQLCHAR*)"DELETE FROM t WHERE CURRENT OF c", SQL_NTS);
  EXPECT_EQ(U32(7) + U16(4) + U32(0) + U16(0) + U16(0) + U32(7) + U16(0) + U32(2) + U16(SQL_CONCUR_ROWVER) + U16(1) +
                U16(1) + U16(SQL_INTEGER) + std::string(1, '\0') + U32(4) + U32(42) + U32(7) + U16(3) + U32(2) +
                U16(SQL_CONCUR_ROWVER) + U16(0) + U32(7) + U16(5) + U32(2) + U16(SQL_CONCUR_ROWVER) + U16(0),
            results_->Sent(51));
}

// Past the memory bound rows go to a scratch file (named nowhere: removed
// as soon as made), read back byte for byte; the file goes with the
// cursor when it is closed, dropped, or its connection is lost.
TEST_F(ScrollWireTest, RowsPastTheMemoryBoundSpillToAFileThatGoesWithTheCursor) {
  Open(120, 1, ";CursorMemory=2k");
  EXPECT_EQ(0, ScratchFiles());
  ASSERT_EQ("0 1 0 120", Scroll(SQL_FETCH_LAST, 0));
  EXPECT_EQ(1, ScratchFiles());
  for (int row = 120; row >= 1; row -= 7) {
    ASSERT_EQ("0 1 0 " + std::to_string(row == 2 ? 300 : row), Scroll(SQL_FETCH_ABSOLUTE, row));
    ASSERT_EQ("c-" + std::to_string(row), Text(3));
  }
  ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt_));
  EXPECT_EQ(0, ScratchFiles());
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)"SELECT a, b, c FROM t", SQL_NTS));
  ASSERT_EQ("0 1 0 120", Scroll(SQL_FETCH_LAST, 0));
  EXPECT_EQ(1, ScratchFiles());
  ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt_));
  stmt_ = nullptr;
  EXPECT_EQ(0, ScratchFiles());
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_)));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0));
  results_->HangUpAt(100);
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)"SELECT a, b, c FROM t", SQL_NTS));
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt_, SQL_FETCH_LAST, 0));
  EXPECT_EQ("08S01", State());
  EXPECT_EQ(0, ScratchFiles());
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt_, SQL_FETCH_FIRST, 0));  // the rows went with the connection
}

}  // namespace
