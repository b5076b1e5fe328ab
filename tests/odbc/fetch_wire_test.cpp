// Which columns travel with each row, observed at a scripted server
// through the real unixODBC driver manager: bound columns, columns read
// with SQLGetData on the previous row, the get-data request for values that
// did not travel, unbinding, the end of the result set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame_server.h"
#include "odbc_folder.h"

namespace {

// unixODBC reads its files once per process: one private folder for the
// whole program, with one data source whose service every test gives in
// its connection string.
class OdbcFolder : public ::testing::Environment {
 public:
  void SetUp() override { dir_ = UseOdbcFolder("fetch_wire_odbc", "VeloraFake", 1); }
  void TearDown() override { RemoveOdbcFolder(dir_); }

 private:
  std::string dir_;
};

const ::testing::Environment* const kFolder =
    ::testing::AddGlobalTestEnvironment(new OdbcFolder);

class FetchWireTest : public ::testing::Test {
 protected:
  FetchWireTest() : server_([this](const Frame& f) { return results_.Reply(f); }) {}

  void SetUp() override {
    ASSERT_NE(0, server_.Port());
    ConnectOdbc3("DSN=VeloraFake;Server=127.0.0.1;Service=" + std::to_string(server_.Port()) +
                     ";User=u;Password=p",
                 &env_, &dbc_, &stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)"SELECT a, b, c FROM t", SQL_NTS));
  }
  void TearDown() override { DisconnectOdbc3(&env_, &dbc_, &stmt_); }

  std::string State() { return Diagnostic(SQL_HANDLE_STMT, stmt_).substr(0, 5); }

  // The columns asked for by the last fetch request.
  std::vector<uint16_t> LastFetch() {
    std::vector<Frame> fetches = server_.Requests(13);
    return fetches.empty() ? std::vector<uint16_t>{99} : FakeResultSet::Columns(fetches.back());
  }
  size_t GetDataRequests() { return server_.Requests(17).size(); }

  std::string Text(SQLUSMALLINT column) {
    char buffer[32] = {0};
    SQLLEN length = 0;
    SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_CHAR, buffer, sizeof buffer, &length);
    return SQL_SUCCEEDED(rc) ? std::string(buffer) : "rc " + std::to_string(rc);
  }

  FakeResultSet results_{5};
  FrameServer server_;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

using Columns = std::vector<uint16_t>;

TEST_F(FetchWireTest, ColumnsTravelWhenBoundOrReadOnThePreviousRow) {
  SQLINTEGER a = 0;
  SQLLEN aLength = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, &aLength));

  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(Columns({1}), LastFetch());
  EXPECT_EQ(1, a);
  EXPECT_EQ(4, aLength);
  // Column 3 did not travel: SQLGetData asks the server for it. Once the
  // value has been returned whole, a further call has no data left.
  EXPECT_EQ("c-1", Text(3));
  EXPECT_EQ(1u, GetDataRequests());
  EXPECT_EQ("rc 100", Text(3));
  EXPECT_EQ(1u, GetDataRequests());
  // Read in pieces: the value of a get-data request is kept for its
  // remaining pieces, so only the first piece asks.
  char piece[3];
  SQLLEN length = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(stmt_, 2, SQL_C_CHAR, piece, sizeof piece, &length));
  EXPECT_STREQ("b-", piece);
  EXPECT_EQ(3, length);
  EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 2, SQL_C_CHAR, piece, sizeof piece, &length));
  EXPECT_STREQ("1", piece);
  EXPECT_EQ(1, length);
  EXPECT_EQ(2u, GetDataRequests());
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(stmt_, 2, SQL_C_CHAR, piece, sizeof piece, &length));
  EXPECT_EQ(2u, GetDataRequests());

  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(Columns({1, 2, 3}), LastFetch());
  EXPECT_EQ(2, a);
  EXPECT_EQ("c-2", Text(3));  // held: no request
  EXPECT_EQ(2u, GetDataRequests());

  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(Columns({1, 3}), LastFetch());
  // Nothing read on row 3: only the bound column travels with row 4.
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(Columns({1}), LastFetch());
  EXPECT_EQ(4, a);

  // Unbinding: the next fetch only advances the cursor.
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, nullptr, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(Columns({}), LastFetch());
  EXPECT_EQ(4, a);
  EXPECT_EQ(2u, GetDataRequests());

  // The end of the result set comes from the server.
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_));
  EXPECT_EQ(6u, server_.Requests(13).size());
}

TEST_F(FetchWireTest, GetDataBeforeTheFirstRowIsRefused) {
  char buffer[16];
  SQLLEN length = 0;
  // The driver manager answers this one itself; nothing reaches the server.
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 2, SQL_C_CHAR, buffer, sizeof buffer, &length));
  EXPECT_EQ("24000", State());
  EXPECT_EQ(0u, GetDataRequests());
  // The failed read does not make the column travel.
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(Columns({}), LastFetch());
}

TEST_F(FetchWireTest, RefusedConversionSendsNothing) {
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  SQL_DATE_STRUCT date;
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 1, SQL_C_TYPE_DATE, &date, sizeof date, nullptr));
  EXPECT_EQ("22018", State());  // 22005 as an ODBC 3 application sees it
  EXPECT_EQ(0u, GetDataRequests());
  char buffer[8];
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 4, SQL_C_CHAR, buffer, sizeof buffer, nullptr));
  EXPECT_EQ("07009", State());  // S1002
  EXPECT_EQ(0u, GetDataRequests());
  // A C type without a conversion: refused before asking, and the column
  // does not travel with the next row.
  SQLLEN length = 77;
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 2, SQL_C_GUID, buffer, sizeof buffer, &length));
  EXPECT_EQ("HY003", State());  // S1003
  EXPECT_EQ(77, length);
  EXPECT_EQ(0u, GetDataRequests());
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(Columns({}), LastFetch());
}

TEST_F(FetchWireTest, RebindingKeepsOneBindingPerColumn) {
  SQLINTEGER first = 0, second = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &first, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &second, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(Columns({1}), LastFetch());
  EXPECT_EQ(0, first);
  EXPECT_EQ(1, second);
  // SQL_UNBIND removes every binding; nothing travels any more.
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(Columns({}), LastFetch());
  EXPECT_EQ(1, second);
}

}  // namespace
