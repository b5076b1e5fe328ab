// Rowsets through the real unixODBC driver manager (SQLFetchScroll, which
// it passes to SQLExtendedFetch) at a scripted server: rowset sizes 1 and
// 3, column-wise and row-wise binding, the partial last rowset and a row
// whose value fails inside a rowset, with the fetch frames of every row.
#include <gtest/gtest.h>

#include <cstring>

#include "frame_server.h"
#include "odbc_folder.h"

namespace {

// Five rows of (a INTEGER, b VARCHAR): row r holds r and "b-r", but row 2
// holds 300 in a, which no SQL_C_STINYINT takes. Statement 7.
std::string Reply(const Frame& f, int* row) {
  if (f.code == 5) return U16(0) + Text16("fake server") + std::string(26, '\0');
  if (f.code == 10) return U16(0) + U16(2) + ColumnDesc("a", SQL_INTEGER, 4) + ColumnDesc("b", SQL_VARCHAR, 8);
  if (f.code != 13) return f.code == 0 ? U16(0) + U32(7) : U16(0);
  if (++*row > 5) return U16(SQL_NO_DATA_FOUND);
  return U16(0) + U16(2) + Value(1, U32(*row == 2 ? 300u : uint32_t(*row))) + Value(2, "b-" + std::to_string(*row) + '\0');
}

TEST(BlockFetch, RowsetsBySizeAndBindingKind) {
  const std::string dir = UseOdbcFolder("block_fetch_odbc", "VeloraBlock", 1);
  // a bound as SQL_C_STINYINT, where row 2 fails (its later columns are
  // not transferred), or row-wise as SQL_C_SLONG. Per call: return code,
  // rows, statuses (0 success, 5 error, 3 no row), values ("-" untouched).
  const struct { SQLULEN size; bool rowWise; std::string calls; } cases[] = {
      {1, false, "0 1 0 1 b-1; -1 1 5 - -; 0 1 0 3 b-3; 0 1 0 4 b-4; 0 1 0 5 b-5; "},
      {3, false, "1 3 050 1 - 3 b-1 - b-3; 0 2 003 4 5 - b-4 b-5 -; "},
      {3, true, "0 3 000 1 300 3 b-1 b-2 b-3; 0 2 003 4 5 - b-4 b-5 -; "},
  };
  for (const auto& c : cases) {
    int row = 0;
    FrameServer server([&row](const Frame& f) { return Reply(f, &row); });
    SQLHENV env = nullptr, dbc = nullptr, stmt = nullptr;
    ConnectOdbc3("DSN=VeloraBlock;Service=" + std::to_string(server.Port()), &env, &dbc, &stmt);
    struct RowWise { SQLINTEGER a; SQLLEN aLength; char b[8]; SQLLEN bLength; } rows[3];
    signed char tiny[3];
    char b[3][8];
    SQLLEN lengths[2][3], fetched = 99;
    SQLUSMALLINT status[3];
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)c.size, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)(c.rowWise ? sizeof(RowWise) : 0), 0);
    SQLULEN bindType = 99;  // reads back what was set
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, &bindType, 0, nullptr));
    EXPECT_EQ(bindType, c.rowWise ? sizeof(RowWise) : 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);  // SQLULEN's size
    SQLBindCol(stmt, 1, c.rowWise ? SQL_C_SLONG : SQL_C_STINYINT, c.rowWise ? (SQLPOINTER)&rows[0].a : tiny, 0,
               c.rowWise ? &rows[0].aLength : lengths[0]);
    SQLBindCol(stmt, 2, SQL_C_CHAR, c.rowWise ? rows[0].b : b[0], 8, c.rowWise ? &rows[0].bLength : lengths[1]);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, (SQLCHAR*)"SELECT a, b FROM t", SQL_NTS));
    std::string calls;
    // The first rowset may be asked for as the first one.
    for (SQLSMALLINT type = SQL_FETCH_FIRST;; type = SQL_FETCH_NEXT) {
      for (int i = 0; i < 3; ++i) rows[i] = {-1, 0, "-", 0}, tiny[i] = -1, std::strcpy(b[i], "-");
      const SQLRETURN rc = SQLFetchScroll(stmt, type, 0);
      if (rc == SQL_NO_DATA || calls.size() > 200) break;
      std::string line = std::to_string(rc) + " " + std::to_string(fetched) + " ", values, texts;
      for (size_t i = 0; i < c.size; ++i) {
        const int a = c.rowWise ? rows[i].a : tiny[i];
        line += std::to_string(status[i]);
        values += " " + (a == -1 ? "-" : std::to_string(a));
        texts += std::string(" ") + (c.rowWise ? rows[i].b : b[i]);
      }
      calls += line + values + texts + "; ";
    }
    EXPECT_EQ(c.calls, calls) << c.size << c.rowWise;
    // One fetch request per row and one for each call that meets the end.
    std::string expected, sent;
    for (size_t i = 0; i < (c.size == 1 ? 6u : 7u); ++i) expected += U32(7) + U16(2) + U16(1) + U16(2);
    for (const Frame& f : server.Requests(13)) sent += f.body;
    EXPECT_EQ(expected, sent);
    // A forward-only cursor has no way back.
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0));
    EXPECT_EQ("HY106", State(SQL_HANDLE_STMT, stmt));
    DisconnectOdbc3(&env, &dbc, &stmt);
  }
  RemoveOdbcFolder(dir);
}

}  // namespace
