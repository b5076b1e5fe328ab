// Rowsets through the real unixODBC driver manager (SQLFetchScroll, which
// it passes to SQLExtendedFetch) at a scripted server: rowset sizes 1 and
// 3, column-wise and row-wise binding, the partial last rowset and a row
// whose value fails inside a rowset, with the fetch frames of every row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame_server.h"
#include "odbc_folder.h"

namespace {

class OdbcFolder : public ::testing::Environment {
  void SetUp() override { dir_ = UseOdbcFolder("block_fetch_odbc", "VeloraBlock", 1); }
  void TearDown() override { RemoveOdbcFolder(dir_); }
  std::string dir_;
};
const ::testing::Environment* const kFolder = ::testing::AddGlobalTestEnvironment(new OdbcFolder);

// Five rows of (a INTEGER, b VARCHAR(8)): row r holds r ("b-r"), but row 2
// holds 300 in a, which no SQL_C_STINYINT can take. Statement 7.
std::string Reply(const Frame& f, int* row) {
  switch (f.code) {
    case 5: return U16(0) + Text16("fake server") + std::string(26, '\0');
    case 0: return U16(0) + U32(7);
    case 10:
      *row = 0;
      return U16(0) + U16(2) + ColumnDesc("a", SQL_INTEGER, 4) + ColumnDesc("b", SQL_VARCHAR, 8);
    case 13: {
      if (++*row > 5) return U16(SQL_NO_DATA_FOUND);
      return U16(0) + U16(2) + Value(1, U32(*row == 2 ? 300u : uint32_t(*row))) +
             Value(2, "b-" + std::to_string(*row) + std::string(1, '\0'));
    }
    case 9: return U16(0) + Text16("01000") + U16(1) + Text16("end") + Text16("fake") + U16(1);
    default: return U16(0);
  }
}

struct RowWise {
  SQLINTEGER a;
  SQLLEN aLength;
  char b[8];
  SQLLEN bLength;
};

// One call's outcome: "rc rows [statuses] a values | b values".
std::string Outcome(SQLRETURN rc, SQLULEN rows, const SQLUSMALLINT* status, size_t size,
                    const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::string out = std::to_string(rc) + " " + std::to_string(rows) + " [";
  for (size_t i = 0; i < size; ++i) out += (i ? "," : "") + std::to_string(status[i]);
  out += "]";
  for (size_t i = 0; i < size; ++i) out += " " + a[i];
  out += " |";
  for (size_t i = 0; i < size; ++i) out += " " + b[i];
  return out;
}

TEST(BlockFetch, RowsetsBySizeAndBindingKind) {
  // a is bound as SQL_C_SLONG, or SQL_C_STINYINT where row 2 fails (its
  // later columns are not transferred); "-" is an untouched value;
  // statuses 0 success, 5 error, 3 no row. A rowset of one row fails as
  // SQLFetch does.
  const struct {
    SQLULEN size;
    bool rowWise;
    bool tiny;
    std::vector<std::string> calls;  // until SQL_NO_DATA
    std::string state;               // of the first call
  } cases[] = {
      {1, false, false, {"0 1 [0] 1 | b-1", "0 1 [0] 300 | b-2", "0 1 [0] 3 | b-3", "0 1 [0] 4 | b-4",
                         "0 1 [0] 5 | b-5"}, ""},
      {3, false, false, {"0 3 [0,0,0] 1 300 3 | b-1 b-2 b-3", "0 2 [0,0,3] 4 5 - | b-4 b-5 -"}, ""},
      {3, true, false, {"0 3 [0,0,0] 1 300 3 | b-1 b-2 b-3", "0 2 [0,0,3] 4 5 - | b-4 b-5 -"}, ""},
      {3, false, true, {"1 3 [0,5,0] 1 - 3 | b-1 - b-3", "0 2 [0,0,3] 4 5 - | b-4 b-5 -"}, "22003"},
      {1, false, true, {"0 1 [0] 1 | b-1", "-1 1 [5] - | -", "0 1 [0] 3 | b-3", "0 1 [0] 4 | b-4",
                       "0 1 [0] 5 | b-5"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + (c.rowWise ? " row-wise" : " column-wise") + (c.tiny ? " tiny" : ""));
    int row = 0;
    FrameServer server([&row](const Frame& f) { return Reply(f, &row); });
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
    ConnectOdbc3("DSN=VeloraBlock;Service=" + std::to_string(server.Port()) + ";User=u;Password=p", &env, &dbc,
                 &stmt);
    SQLUSMALLINT status[3] = {9, 9, 9};
    SQLULEN fetched = 99;
    RowWise rows[3];
    SQLINTEGER a[3];
    signed char tiny[3];
    SQLLEN aLength[3], bLength[3];
    char b[3][8];
    const auto reset = [&] {
      for (int i = 0; i < 3; ++i) {
        rows[i] = RowWise{-1, 0, "-", 0};
        a[i] = -1;
        tiny[i] = -1;
        std::snprintf(b[i], sizeof b[i], "-");
      }
    };
    reset();
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)c.size, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE,
                                          (SQLPOINTER)(c.rowWise ? sizeof(RowWise) : SQL_BIND_BY_COLUMN), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    const SQLSMALLINT aType = c.tiny ? SQL_C_STINYINT : SQL_C_SLONG;
    if (c.rowWise) {
      ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &rows[0].a, 0, &rows[0].aLength));
      ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, rows[0].b, 8, &rows[0].bLength));
    } else {
      ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, aType, c.tiny ? (SQLPOINTER)tiny : (SQLPOINTER)a, 0, aLength));
      ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, b, 8, bLength));
    }
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, (SQLCHAR*)"SELECT a, b FROM t", SQL_NTS));
    std::vector<std::string> calls;
    std::string firstState;
    // The first rowset may be asked for as the first one.
    for (SQLSMALLINT orientation = SQL_FETCH_FIRST;; orientation = SQL_FETCH_NEXT) {
      SQLRETURN rc = SQLFetchScroll(stmt, orientation, 0);
      if (rc == SQL_NO_DATA) break;
      if (calls.empty()) firstState = rc == SQL_SUCCESS ? "" : State(SQL_HANDLE_STMT, stmt);
      std::vector<std::string> as, bs;
      for (size_t i = 0; i < c.size; ++i) {
        const SQLINTEGER value = c.rowWise ? rows[i].a : c.tiny ? tiny[i] : a[i];
        as.push_back(value == -1 ? "-" : std::to_string(value));
        bs.push_back(c.rowWise ? rows[i].b : b[i]);
      }
      calls.push_back(Outcome(rc, fetched, status, c.size, as, bs));
      reset();
      ASSERT_LT(calls.size(), 10u);
    }
    EXPECT_EQ(c.calls, calls);
    EXPECT_EQ(c.state, firstState);
    EXPECT_EQ(0u, fetched);
    // One fetch request per row and one for each call that meets the end,
    // each asking for both bound columns.
    std::string expected;
    for (int i = 0; i < (c.size == 1 ? 6 : 7); ++i) expected += U32(7) + U16(2) + U16(1) + U16(2);
    std::string sent;
    for (const Frame& f : server.Requests(13)) sent += f.body;
    EXPECT_EQ(expected, sent);
    // A forward-only cursor has no way back.
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0));
    EXPECT_EQ("HY106", State(SQL_HANDLE_STMT, stmt));
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0));
    DisconnectOdbc3(&env, &dbc, &stmt);
  }
}

// A statement has one result set: the next one is never there, and the
// cursor is closed.
TEST(BlockFetch, MoreResultsClosesTheCursor) {
  int row = 0;
  FrameServer server([&row](const Frame& f) { return Reply(f, &row); });
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  ConnectOdbc3("DSN=VeloraBlock;Service=" + std::to_string(server.Port()) + ";User=u;Password=p", &env, &dbc, &stmt);
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, (SQLCHAR*)"SELECT a, b FROM t", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
  ASSERT_EQ(1u, server.Requests(15).size());
  EXPECT_EQ(U32(7) + U16(SQL_CLOSE), server.Requests(15)[0].body);
  DisconnectOdbc3(&env, &dbc, &stmt);
}

}  // namespace
