// Binding, fetching and SQLGetData through the real unixODBC driver manager
// against a real velora-server: representative conversions bound and
// unbound, refusals, truncation, NULLs, pieces and the columns' radix.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frames.h"
#include "odbc_folder.h"
#include "support/velora_server.h"

namespace {

// Row 1 holds these values; row 2 is NULL in every column but id. The
// radix is SQL_DESC_NUM_PREC_RADIX.
// clang-format off
struct Column { const char* name; const char* declared; const char* literal; SQLLEN radix; };
// clang-format on
const Column kColumns[] = {
    {"c_char", "CHAR(8)", "'abc'", 0},
    {"c_varchar", "VARCHAR(20)", "'hello world'", 0},
    {"c_longvar", "LONGVARCHAR", "'2024-02-29 13:45:30'", 0},
    {"c_binary", "BINARY(4)", "X'41424344'", 0},
    {"c_varbin", "VARBINARY(8)", "X'4546'", 0},
    {"c_longvarb", "LONGVARBINARY", "X'48494A4B4C'", 0},
    {"c_bit", "BIT", "1", 0},
    {"c_tinyint", "TINYINT", "-12", 10},
    {"c_smallint", "SMALLINT", "1234", 10},
    {"c_integer", "INTEGER", "-123456", 10},
    {"c_bigint", "BIGINT", "9000000000000000001", 10},
    {"c_real", "REAL", "2.5", 10},
    {"c_float", "FLOAT", "-1234.625", 10},
    {"c_numeric", "NUMERIC(10,2)", "12345.67", 10},
    {"c_date", "DATE", "'2024-02-29'", 0},
    {"c_time", "TIME", "'13:45:30'", 0},
    {"c_timestamp", "TIMESTAMP", "'2024-02-29 13:45:30.250'", 0},
};

std::string Date(int y, int m, int d) { return U16(uint16_t(y)) + U16(uint16_t(m)) + U16(uint16_t(d)); }

// state "22018" (22005): refused by SQLGetData. Bound columns are not
// checked: the class fails with 22003, a C type without a conversion gives
// HY003. out: the bytes written; length 999: not written.
// clang-format off
struct Pair { const char* column; SQLSMALLINT cType; const char* state; std::string out; SQLLEN length; };
// clang-format on

const std::string kLong = [] {
  std::string s;
  for (int i = 0; i < 3000; ++i) s += (i ? "," : "") + std::to_string(i);
  return s;
}();

class FetchServerTest : public OdbcTest {
 protected:
  // The server and its tables, made for the first test.
  void SetUp() override {
    const bool first = server_ == nullptr;
    if (first) server_ = new VeloraServer;
    ASSERT_TRUE(!first || server_->Start()) << server_->Error();
    Connect(server_->PortText());
    std::string create = "CREATE TABLE all_types (id INTEGER", insert = "INSERT INTO all_types VALUES (1";
    for (const Column& c : kColumns) {
      create += std::string(", ") + c.name + " " + c.declared;
      insert += std::string(", ") + c.literal;
    }
    for (const std::string& sql : {create + ")", insert + ")", std::string("INSERT INTO all_types (id) VALUES (2)"),
                                   std::string("CREATE TABLE long_values (t LONGVARCHAR, b LONGVARBINARY)"),
                                   "INSERT INTO long_values VALUES ('" + kLong + "', CAST('" + kLong + "' AS BLOB))"}) {
      if (first) Exec(sql);
    }
  }
  static void TearDownTestSuite() { delete server_; }
  void Exec(const std::string& sql) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS))) << sql.substr(0, 200);
  }

  // Column name of row id, bound or read with SQLGetData, into 48 bytes.
  // clang-format off
  struct Outcome { SQLRETURN rc; std::string state; SQLLEN length = 999; char buffer[48]; };
  // clang-format on
  Outcome Read(const std::string& name, SQLSMALLINT c, bool bound, int id = 1) {
    Outcome o;
    std::memset(o.buffer, '#', sizeof o.buffer);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLRETURN bind = bound ? SQLBindCol(stmt_, 1, c, o.buffer, sizeof o.buffer, &o.length) : SQL_SUCCESS;
    EXPECT_EQ(SQL_SUCCESS, bind);
    Exec("SELECT " + name + " FROM all_types WHERE id = " + std::to_string(id));
    o.rc = SQLFetch(stmt_);
    if (!bound && o.rc == SQL_SUCCESS) o.rc = SQLGetData(stmt_, 1, c, o.buffer, sizeof o.buffer, &o.length);
    o.state = o.rc == SQL_SUCCESS ? "" : State();
    SQLFreeStmt(stmt_, SQL_UNBIND);
    return o;
  }

  static VeloraServer* server_;
};

VeloraServer* FetchServerTest::server_ = nullptr;

TEST_F(FetchServerTest, ConversionsBoundAndUnbound) {
  const Pair pairs[] = {
      {"c_char", SQL_C_CHAR, "", Z("abc     "), 8},
      {"c_varchar", SQL_C_DEFAULT, "", Z("hello world"), 11},
      {"c_binary", SQL_C_BINARY, "", "ABCD", 4},
      {"c_tinyint", SQL_C_UTINYINT, "", "\xf4", 1},  // the byte as it is
      {"c_bigint", SQL_C_DEFAULT, "", Z("9000000000000000001"), 19},
      {"c_bigint", SQL_C_SLONG, "22003", "", SQL_NO_TOTAL},
      {"c_float", SQL_C_SLONG, "01S07", Raw<int32_t>(-1234), 4},
      {"c_numeric", SQL_C_CHAR, "", Z("12345.67"), 8},
      {"c_date", SQL_C_TYPE_DATE, "", Date(2024, 2, 29), 6},
      {"c_timestamp", SQL_C_TYPE_DATE, "01S07", Date(2024, 2, 29), 6},
      {"c_timestamp", SQL_C_TYPE_TIMESTAMP, "", Date(2024, 2, 29) + Date(13, 45, 30) + Raw<uint32_t>(250000000), 16},
      {"c_longvar", SQL_C_TYPE_TIMESTAMP, "", Date(2024, 2, 29) + Date(13, 45, 30) + Raw<uint32_t>(0), 16},
      // Refused pairs, and a C type the driver has no conversion for.
      {"c_integer", SQL_C_TYPE_DATE, "22018", "", 999},
      {"c_varchar", SQL_C_GUID, "22003", "", SQL_NO_TOTAL},
      {"c_binary", SQL_C_GUID, "22018", "", 999},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(std::string(p.column) + " as C type " + std::to_string(p.cType));
    Outcome unbound = Read(p.column, p.cType, false), bound = Read(p.column, p.cType, true);
    const std::string written = p.out + std::string(sizeof unbound.buffer - p.out.size(), '#');
    EXPECT_EQ(*p.state == 0 ? SQL_SUCCESS : p.state[0] == '0' ? SQL_SUCCESS_WITH_INFO : SQL_ERROR, unbound.rc);
    EXPECT_EQ(p.state + std::string(" ") + std::to_string(p.length) + " " + written,
              unbound.state + " " + std::to_string(unbound.length) + " " + std::string(unbound.buffer, 48));
    const bool refused = std::string(p.state) == "22018";
    EXPECT_EQ(refused ? "22003" : p.state, bound.state);
    EXPECT_EQ(written, std::string(bound.buffer, sizeof bound.buffer));
    EXPECT_TRUE(p.length == 999 || p.length == bound.length) << bound.length;
  }
  // A bound buffer too small: the first characters, the whole length, 01004.
  char small[4];
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_CHAR, small, sizeof small, &length));
  Exec("SELECT c_varchar FROM all_types WHERE id = 1");
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(stmt_));
  EXPECT_EQ("01004 hel 11", State() + " " + small + " " + std::to_string(length));
}

TEST_F(FetchServerTest, NullsAndRadixOfEveryColumn) {
  for (const Column& c : kColumns) {
    for (bool bound : {false, true}) {
      Outcome o = Read(c.name, bound ? SQL_C_DEFAULT : SQL_C_CHAR, bound, 2);
      EXPECT_EQ(SQL_SUCCESS, o.rc) << c.name;
      EXPECT_EQ(SQL_NULL_DATA, o.length) << c.name;
      EXPECT_EQ('#', o.buffer[0]) << c.name;
    }
    SQLLEN radix = 77;
    EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(stmt_, 1, SQL_DESC_NUM_PREC_RADIX, nullptr, 0, nullptr, &radix));
    EXPECT_EQ(c.radix, radix) << c.name;
  }
  // A NULL read once has no data left.
  Exec("SELECT c_varchar FROM all_types WHERE id = 2");
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  char buffer[8];
  SQLLEN length = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &length));
  EXPECT_EQ(SQL_NULL_DATA, length);
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &length));
}

TEST_F(FetchServerTest, LongValuesComeInPiecesThenNoData) {
  Exec("SELECT t, b FROM long_values");
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  char piece[1000];
  for (SQLSMALLINT c : {SQL_C_CHAR, SQL_C_BINARY, SQL_C_CHAR}) {  // reading again starts from the beginning
    std::string value;
    SQLLEN length = 0;
    int calls = 0;
    for (SQLRETURN rc; (rc = SQLGetData(stmt_, c == SQL_C_CHAR ? 1 : 2, c, piece, 1000, &length)) != SQL_NO_DATA;) {
      ASSERT_TRUE(SQL_SUCCEEDED(rc) && ++calls < 100) << State();
      EXPECT_EQ(SQLLEN(kLong.size() - value.size()), length);
      value.append(piece, c == SQL_C_CHAR ? std::strlen(piece) : std::min<size_t>(size_t(length), sizeof piece));
    }
    EXPECT_EQ(kLong, value);
    EXPECT_EQ(14, calls);
  }
}

}  // namespace

// Rows come in blocks from this server; what the application sees stays
// that of one row per request: closing and executing again starts again,
// maximum rows count, the row number is the application's row; a commit
// closes the cursor, as SQL_CURSOR_COMMIT_BEHAVIOR (SQL_CB_CLOSE) says, and
// the driver manager refuses the fetch after it.
TEST_F(FetchServerTest, BlocksKeepCloseMaxRowsRowNumberAndCommit) {
  const char* five = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5) SELECT i FROM n";
  SQLINTEGER i = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &i, 0, nullptr));
  std::string seen;
  auto next = [&](int times) {
    for (int n = 0; n < times; ++n) {
      SQLRETURN rc = SQLFetch(stmt_);
      seen += SQL_SUCCEEDED(rc) ? std::to_string(i) : " " + std::to_string(rc) + State() + " ";
    }
  };
  auto attr = [&](SQLINTEGER a, SQLULEN v) { ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, a, (SQLPOINTER)v, 0)); };
  SQLULEN row = 0;
  Exec(five);
  next(2);
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt_, SQL_ROW_NUMBER, &row)) << State();
  seen += "#" + std::to_string(row) + " ";
  Exec(five);
  next(1);
  attr(SQL_ATTR_MAX_ROWS, 2);
  Exec(five);
  next(3);
  attr(SQL_ATTR_MAX_ROWS, 0);
  for (SQLULEN autocommit : {SQL_AUTOCOMMIT_ON, SQL_AUTOCOMMIT_OFF}) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)autocommit, 0));
    Exec(five);
    next(1);
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT));
    next(1);
  }
  EXPECT_EQ("12#2 112 100 1 -1HY010 1 -1HY010 ", seen);
}
