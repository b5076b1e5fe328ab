// What travels with each row, as byte-exact request frames at a scripted
// server through the real unixODBC driver manager: bound columns, columns
// read with SQLGetData on the previous row, the get-data request for values
// that did not travel, refusals that send nothing, unbinding, the end.
#include <gtest/gtest.h>

#include <string>

#include "frame_server.h"
#include "odbc_folder.h"

namespace {

// unixODBC reads its files once per process: one folder for the program.
class OdbcFolder : public ::testing::Environment {
  void SetUp() override { dir_ = UseOdbcFolder("fetch_wire_odbc", "VeloraFake", 1); }
  void TearDown() override { RemoveOdbcFolder(dir_); }
  std::string dir_;
};
const ::testing::Environment* const kFolder = ::testing::AddGlobalTestEnvironment(new OdbcFolder);

// The body of a fetch request of statement 7 asking for columns; of a
// get-data request for one column.
std::string Fetch(std::initializer_list<uint16_t> columns) {
  std::string body = U32(7) + U16(uint16_t(columns.size()));
  for (uint16_t c : columns) body += U16(c);
  return body;
}
std::string GetData(uint16_t column) { return U32(7) + U16(column); }

class FetchWireTest : public ::testing::Test {
 protected:
  FetchWireTest() : server_([this](const Frame& f) { return results_.Reply(f); }) {}
  void SetUp() override {
    ASSERT_NE(0, server_.Port());
    ConnectOdbc3("DSN=VeloraFake;Service=" + std::to_string(server_.Port()) + ";User=u;Password=p", &env_, &dbc_, &stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)"SELECT a, b, c FROM t", SQL_NTS));
  }
  void TearDown() override { DisconnectOdbc3(&env_, &dbc_, &stmt_); }

  // The bodies of all requests of one code, concatenated.
  std::string Sent(uint16_t code) {
    std::string all;
    for (const Frame& f : server_.Requests(code)) all += f.body;
    return all;
  }
  std::string Text(SQLUSMALLINT column, SQLLEN size = 32, SQLLEN expectedLength = -99) {
    char buffer[32] = {0};
    SQLLEN length = 0;
    SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_CHAR, buffer, size, &length);
    EXPECT_TRUE(expectedLength == -99 || expectedLength == length) << length;
    return SQL_SUCCEEDED(rc) ? std::string(buffer) : "rc " + std::to_string(rc) + " " + State(SQL_HANDLE_STMT, stmt_);
  }

  FakeResultSet results_{5};
  FrameServer server_;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
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

// Refused calls send nothing and do not make the column travel.
TEST_F(FetchWireTest, RefusalsSendNothing) {
  SQLINTEGER a = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, nullptr));
  EXPECT_EQ("rc -1 24000", Text(2));  // before the first row: the driver manager answers
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  SQL_DATE_STRUCT date;
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 1, SQL_C_TYPE_DATE, &date, sizeof date, nullptr));
  EXPECT_EQ("22018", State(SQL_HANDLE_STMT, stmt_));  // 22005 as an ODBC 3 application sees it
  EXPECT_EQ("rc -1 07009", Text(4));                   // S1002
  char buffer[8];
  SQLLEN length = 77;
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 2, SQL_C_GUID, buffer, sizeof buffer, &length));
  EXPECT_EQ("HY003", State(SQL_HANDLE_STMT, stmt_));  // S1003
  EXPECT_EQ(77, length);
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));  // removes every binding
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ("", Sent(17));
  EXPECT_EQ(Fetch({1}) + Fetch({}), Sent(13));
}

}  // namespace
