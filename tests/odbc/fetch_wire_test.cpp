// What travels with each row, as byte-exact request frames at a scripted
// server through the real unixODBC driver manager: bound columns, columns
// read with SQLGetData on the previous row, the get-data request for values
// that did not travel, refusals that send nothing, unbinding, the end; and
// rowsets (SQLFetchScroll, which it passes to SQLExtendedFetch): sizes 1
// and 3, column-wise and row-wise binding, the partial last rowset and a
// row whose value fails inside a rowset.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frames.h"
#include "odbc_folder.h"

namespace {

// The body of a fetch request of statement 7 asking for columns; of a
// get-data request for one column.
std::string Fetch(std::initializer_list<uint16_t> columns) {
  std::string body = U32(7) + U16(uint16_t(columns.size()));
  for (uint16_t c : columns) body += U16(c);
  return body;
}
std::string GetData(uint16_t column) { return U32(7) + U16(column); }

class FetchWireTest : public OdbcTest {
 protected:
  void SetUp() override {
    results_.Serve(server_);
    Connect(server_.Port());
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)"SELECT a, b, c FROM t", SQL_NTS));
  }
  void TearDown() override {
    Disconnect();
    EXPECT_TRUE(server_.Finish()) << server_.Error();
  }
  std::string Sent(uint16_t code) { return results_.Sent(code); }
  std::string Text(SQLUSMALLINT column, SQLLEN size = 32, SQLLEN expectedLength = -99) {
    char buffer[32] = {0};
    SQLLEN length = 0;
    SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_CHAR, buffer, size, &length);
    EXPECT_TRUE(expectedLength == -99 || expectedLength == length) << length;
    return SQL_SUCCEEDED(rc) ? std::string(buffer) : "rc " + std::to_string(rc) + " " + State();
  }

  FakeResultSet results_{5};
  FakeServer server_;
};

TEST_F(FetchWireTest, ColumnsTravelWhenBoundOrReadOnThePreviousRow) {
  SQLINTEGER a = 0, first = 0;
  SQLLEN aLength = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &first, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, &aLength));  // one binding per column
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(1, a);
  EXPECT_EQ(0, first);
  EXPECT_EQ(4, aLength);
  // Column 3 did not travel: asked once; returned whole, then no data left.
  EXPECT_EQ("c-1", Text(3));
  EXPECT_EQ("rc 100 ", Text(3));
  // In pieces: the value of a get-data request is kept for its other pieces.
  EXPECT_EQ("b-", Text(2, 3, 3));
  EXPECT_EQ("1", Text(2, 3, 1));
  EXPECT_EQ("rc 100 ", Text(2, 3));
  EXPECT_EQ(GetData(3) + GetData(2), Sent(17));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ("c-2", Text(3));  // held: no request
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));  // nothing read on row 3
  EXPECT_EQ(4, a);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, nullptr, 0, nullptr));  // unbinding
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(4, a);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_));  // the end comes from the server
  EXPECT_EQ("rc -1 24000", Text(1));        // no row after it
  EXPECT_EQ(Fetch({1}) + Fetch({1, 2, 3}) + Fetch({1, 3}) + Fetch({1}) + Fetch({}) + Fetch({}), Sent(13));
  EXPECT_EQ(GetData(3) + GetData(2), Sent(17));
}

// A refused call sends nothing and does not make the column travel (the
// refused conversions themselves: fetch_server_test.cpp).
TEST_F(FetchWireTest, RefusalsSendNothing) {
  SQLINTEGER a = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ("rc -1 07009", Text(4));                       // S1002
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));  // removes every binding
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ("", Sent(17));
  EXPECT_EQ(Fetch({1}) + Fetch({}), Sent(13));
}

// Five rows; a bound as SQL_C_STINYINT, where row 2 fails (its later
// columns are not transferred), or row-wise as SQL_C_SLONG. Per call:
// return code, rows, statuses (0 success, 5 error, 3 no row), values ("-"
// untouched).
// clang-format off
struct Rowsets { SQLULEN size; bool rowWise; std::string calls; };
// clang-format on
class BlockFetch : public FetchWireTest, public ::testing::WithParamInterface<Rowsets> {};
INSTANTIATE_TEST_SUITE_P(SizesAndBindings, BlockFetch,
                         ::testing::Values(Rowsets{1, false,
                                                   "0 1 0 1 b-1; -1 1 5 - -; 0 1 0 3 b-3; 0 1 0 4 b-4; 0 1 0 5 b-5; "},
                                           Rowsets{3, false, "1 3 050 1 - 3 b-1 - b-3; 0 2 003 4 5 - b-4 b-5 -; "},
                                           Rowsets{3, true, "0 3 000 1 300 3 b-1 b-2 b-3; 0 2 003 4 5 - b-4 b-5 -; "}),
                         [](const ::testing::TestParamInfo<Rowsets>& i) {
                           return std::string(i.param.rowWise ? "RowWise" : "ColumnWise") +
                                  std::to_string(i.param.size);
                         });

TEST_P(BlockFetch, RowsetsBySizeAndBindingKind) {
  const Rowsets& c = GetParam();
  // clang-format off
  struct RowWise { SQLINTEGER a; SQLLEN aLength; char b[8]; SQLLEN bLength; } rows[3];
  // clang-format on
  signed char tiny[3];
  char b[3][8];
  SQLLEN lengths[2][3], fetched = 99;
  SQLUSMALLINT status[3];
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)c.size, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)(c.rowWise ? sizeof(RowWise) : 0), 0);
  SQLULEN bindType = 99;  // reads back what was set
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, &bindType, 0, nullptr));
  EXPECT_EQ(bindType, c.rowWise ? sizeof(RowWise) : 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);  // SQLULEN's size
  SQLBindCol(stmt_, 1, c.rowWise ? SQL_C_SLONG : SQL_C_STINYINT, c.rowWise ? (SQLPOINTER)&rows[0].a : tiny, 0,
             c.rowWise ? &rows[0].aLength : lengths[0]);
  SQLBindCol(stmt_, 2, SQL_C_CHAR, c.rowWise ? rows[0].b : b[0], 8, c.rowWise ? &rows[0].bLength : lengths[1]);
  std::string calls;
  // The first rowset may be asked for as the first one.
  for (SQLSMALLINT type = SQL_FETCH_FIRST;; type = SQL_FETCH_NEXT) {
    for (int i = 0; i < 3; ++i) rows[i] = {-1, 0, "-", 0}, tiny[i] = -1, std::strcpy(b[i], "-");
    const SQLRETURN rc = SQLFetchScroll(stmt_, type, 0);
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
  EXPECT_EQ(c.calls, calls);
  // One fetch request per row and one for each call that meets the end.
  std::string expected;
  for (size_t i = 0; i < (c.size == 1 ? 6u : 7u); ++i) expected += Fetch({1, 2});
  EXPECT_EQ(expected, Sent(13));
  // A forward-only cursor has no way back.
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt_, SQL_FETCH_FIRST, 0));
  EXPECT_EQ("HY106", State());
}

}  // namespace

// A server that offers blocks (the connect reply's last element): every
// fetch-block request asks for all columns with a budget that doubles from
// 256 bytes and starts again with the next result set. Rows come from the
// block; the end or an error travels with it and is reported at its row,
// with no get-error request. (Against a server that does not offer blocks
// every frame of the tests above stays as it was.)
class BlockWireTest : public OdbcTest {
 protected:
  const std::string none = Text16("") + U16(0) + Text16("") + Text16("") + U16(0);
  static std::string diag(const std::string& state) {
    return Text16(state) + U16(5) + Text16("at row") + Text16("s") + U16(1);
  }
  static std::string block(int rc, std::initializer_list<int> rows, const std::string& diagnostic) {
    std::string body = U16(static_cast<uint16_t>(rc)) + U16(static_cast<uint16_t>(rows.size()));
    for (int r : rows) body += U16(2) + Value(1, U32(uint32_t(r))) + Value(2, Z("b-" + std::to_string(r)));
    return ReplyFrame(body + diagnostic);
  }
  static std::string ask(uint32_t budget) { return Frame(12, U32(7) + U16(2) + U16(1) + U16(2) + U32(budget)); }
  const std::string exec = Frame(10, U32(7) + Text16("SELECT a, b FROM t") + U16(0));
  const std::string describe =
      ReplyFrame(U16(0) + U16(2) + Column("a", 4, 1, SQL_INTEGER, 4) + Column("b", 20, 1, SQL_VARCHAR, 20));
  // Fetches up to most rows of the statement: "1b-1 2b-2 " and the
  // failing fetch's "rc STATE; ".
  std::string Rows(int most) {
    SQLINTEGER a = 0;
    char b[8] = {0};
    std::string seen;
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, nullptr));
    for (int i = 0; i < most; ++i) {
      SQLRETURN rc = SQLFetch(stmt_);
      if (!SQL_SUCCEEDED(rc)) return seen + std::to_string(rc) + " " + State() + "; ";
      EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 2, SQL_C_CHAR, b, sizeof b, nullptr));  // from the block
      seen += std::to_string(a) + b + " ";
    }
    return seen;
  }
  SQLRETURN Exec() { return SQLExecDirect(stmt_, (SQLCHAR*)"SELECT a, b FROM t", SQL_NTS); }
};

TEST_F(BlockWireTest, RowsComeFromBlocksAndTheOutcomeAtItsRow) {
  FakeServer server;
  Talk(server, {{Greeting(), U16(0)},
                {ConnectFrame("u", "", "VeloraFake"), ReplyFrame(ConnectBody() + U16(1))},
                {Frame(0, ""), ReplyFrame(U16(0) + U32(7))},
                {exec, describe},
                {ask(256), block(0, {1, 2}, none)},
                {ask(512), block(-1, {3}, diag("22003"))},  // an error at row 4
                {Frame(15, U32(7) + U16(0)), ReturnOnly(0)},
                {exec, describe},
                {ask(256), block(0, {1}, none)},  // ending exactly at the last row
                {ask(512), block(100, {}, diag("02000"))},
                {Frame(15, U32(7) + U16(0)), ReturnOnly(0)},
                // A cursor named by the application: one row per request.
                {Frame(29, U32(7) + Text16("c1")), ReturnOnly(0)},
                {exec, describe},
                {Frame(13, U32(7) + U16(1) + U16(1)), ReplyFrame(U16(0) + U16(1) + Value(1, U32(9)))},
                {Frame(17, U32(7) + U16(2)), ReplyFrame(U16(0) + Value(2, Z("b-9")))},
                {Frame(15, U32(7) + U16(0)), ReturnOnly(0)},
                {Frame(15, U32(7) + U16(1)), ReturnOnly(0)},
                {Frame(8, ""), ReturnOnly(0)}})
      .ExpectEnd();
  server.Start();
  Connect(server.Port());
  std::string seen;
  for (int pass = 0; pass < 3; ++pass) {
    if (pass == 2) {
      ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt_, (SQLCHAR*)"c1", SQL_NTS));
    }
    ASSERT_EQ(SQL_SUCCESS, Exec()) << State();
    seen += Rows(pass == 2 ? 1 : 9);
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_CLOSE));
  }
  // (The driver manager shows no record with SQL_NO_DATA.)
  EXPECT_EQ("1b-1 2b-2 3b-3 -1 22003; 1b-1 100 ; 9b-9 ", seen);
  Disconnect();
  EXPECT_TRUE(server.Finish()) << server.Error();
}

// A server that offers blocks asked for ahead (streamType 1): the next
// block is asked for as soon as one arrives. Its reply, still to be read,
// is drained before anything else is written: dropped when the cursor was
// closed, kept when another statement's request came first; a block ahead
// can carry an error row; a connection lost with one in flight fails the
// fetch that needs it. Nothing is asked ahead after a block that ends.
TEST_F(BlockWireTest, BlocksAskedForAheadAreDrainedNeverTakenForAnotherReply) {
  const std::string close = Frame(15, U32(7) + U16(0));
  // Cancelling offered too: with the query timeout unchanged, asking ahead goes on.
  const std::string offers =
      ConnectBody() + U16(1) + U16(0) + U16(0) + U16(1) + U16(1) + std::string("\x11\x22\x33\x44\x55\x66\x77\x88", 8);
  FakeServer server;
  Talk(server, {{Greeting(), U16(0)},
                {ConnectFrame("u", "", "VeloraFake"), ReplyFrame(offers)},
                {Frame(0, ""), ReplyFrame(U16(0) + U32(7))},
                {exec, describe},  // closed after one row with a block on its way
                {ask(256), block(0, {1, 2}, none)},
                {ask(512), block(0, {3, 4}, none)},
                {close, ReturnOnly(0)},
                {exec, describe},  // executed again: an error row in the block ahead
                {ask(256), block(0, {1, 2}, none)},
                {ask(512), block(-1, {3}, diag("22003"))},
                {close, ReturnOnly(0)},
                {exec, describe},  // another statement's request first: the block is kept
                {ask(256), block(0, {1}, none)},
                {ask(512), block(100, {2}, diag("02000"))},
                {Frame(0, ""), ReplyFrame(U16(0) + U32(8))},
                {close, ReturnOnly(0)},
                {exec, describe},  // the connection lost with a block on its way
                {ask(256), block(0, {1}, none)}})
      .Expect(ask(512))
      .Close();
  server.Start();
  Connect(server.Port());
  std::string seen;
  for (int pass = 0; pass < 4; ++pass) {
    ASSERT_EQ(SQL_SUCCESS, Exec()) << State();
    seen += Rows(pass == 1 ? 9 : 1);
    if (pass == 2) {
      SQLHSTMT other = nullptr;
      ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other));
      seen += Rows(9);
    }
    if (pass < 3) {
      ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_CLOSE)) << State();
    }
    seen += "| ";
  }
  seen += Rows(1);
  EXPECT_EQ("1b-1 | 1b-1 2b-2 3b-3 -1 22003; | 1b-1 2b-2 100 ; | 1b-1 | -1 08S01; ", seen);
  Disconnect();
  EXPECT_TRUE(server.Finish()) << server.Error();
}
