// Binding, fetching and SQLGetData through the real unixODBC driver manager
// against a real velora-server: every SQL type into every C type the
// conversion check allows, bound and unbound alike; truncation; NULLs;
// piecewise reading; the ends of the result set.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "odbc_folder.h"
#include "support/velora_server.h"

namespace {

struct Column {
  const char* name;
  const char* declared;
  const char* literal;
  int16_t sqlType;
};

// Row 1 holds these values; row 2 is NULL in every column but id.
const Column kColumns[] = {
    {"c_char", "CHAR(8)", "'abc'", SQL_CHAR},
    {"c_varchar", "VARCHAR(20)", "'hello world'", SQL_VARCHAR},
    {"c_longvar", "LONGVARCHAR", "'2024-02-29 13:45:30'", SQL_LONGVARCHAR},
    {"c_binary", "BINARY(4)", "X'41424344'", SQL_BINARY},
    {"c_varbin", "VARBINARY(8)", "X'4546'", SQL_VARBINARY},
    {"c_longvarb", "LONGVARBINARY", "X'48494A4B4C'", SQL_LONGVARBINARY},
    {"c_bit", "BIT", "1", SQL_BIT},
    {"c_tinyint", "TINYINT", "-12", SQL_TINYINT},
    {"c_smallint", "SMALLINT", "1234", SQL_SMALLINT},
    {"c_integer", "INTEGER", "-123456", SQL_INTEGER},
    {"c_bigint", "BIGINT", "9000000000000000001", SQL_BIGINT},
    {"c_real", "REAL", "2.5", SQL_REAL},
    {"c_float", "FLOAT", "-1234.625", SQL_FLOAT},
    {"c_numeric", "NUMERIC(10,2)", "12345.67", SQL_NUMERIC},
    {"c_date", "DATE", "'2024-02-29'", SQL_DATE},
    {"c_time", "TIME", "'13:45:30'", SQL_TIME},
    {"c_timestamp", "TIMESTAMP", "'2024-02-29 13:45:30.250'", SQL_TIMESTAMP},
};

const SQLSMALLINT kCTypes[] = {
    SQL_C_CHAR,   SQL_C_BINARY, SQL_C_BIT,    SQL_C_STINYINT, SQL_C_UTINYINT, SQL_C_SSHORT,
    SQL_C_USHORT, SQL_C_SLONG,  SQL_C_ULONG,  SQL_C_SBIGINT,  SQL_C_UBIGINT,  SQL_C_FLOAT,
    SQL_C_DOUBLE, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP, SQL_C_DEFAULT};

bool IsDateTimeC(SQLSMALLINT c) {
  return c == SQL_C_TYPE_DATE || c == SQL_C_TYPE_TIME || c == SQL_C_TYPE_TIMESTAMP;
}

// The pairs SQLGetData converts (the others it refuses with 22005 before
// asking anything).
bool Allowed(int16_t sqlType, SQLSMALLINT c) {
  const bool base = c == SQL_C_CHAR || c == SQL_C_BINARY || c == SQL_C_DEFAULT;
  switch (sqlType) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR:
      return true;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY:
      return base;
    case SQL_DATE:
      return base || c == SQL_C_TYPE_DATE || c == SQL_C_TYPE_TIMESTAMP;
    case SQL_TIME:
      return base || c == SQL_C_TYPE_TIME || c == SQL_C_TYPE_TIMESTAMP;
    case SQL_TIMESTAMP:
      return base || IsDateTimeC(c);
    default:
      return !IsDateTimeC(c);
  }
}

// What one transfer gave: return code, SQLSTATE, indicator, buffer bytes.
struct Outcome {
  SQLRETURN rc = 0;
  std::string state;
  SQLLEN length = 0;
  std::string bytes;  // the 48-byte buffer after the call
  bool operator==(const Outcome& o) const {
    return rc == o.rc && state == o.state && length == o.length && bytes == o.bytes;
  }
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << "rc " << o.rc << " state " << o.state << " length " << o.length << " bytes";
  for (unsigned char c : o.bytes.substr(0, 24)) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02x", c);
    out << hex;
  }
  return out;
}

const size_t kBuffer = 48;

class FetchServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new VeloraServer;
    ASSERT_TRUE(server_->Start()) << server_->Error();
    dir_ = UseOdbcFolder("fetch_server_odbc", "VeloraFetch", server_->Port());

    struct Setup : FetchServerTest {
      void TestBody() override {}
    } setup;
    setup.Connect();
    std::string create = "CREATE TABLE all_types (id INTEGER";
    std::string insert = "INSERT INTO all_types VALUES (1";
    for (const Column& c : kColumns) {
      create += std::string(", ") + c.name + " " + c.declared;
      insert += std::string(", ") + c.literal;
    }
    setup.Exec(create + ")");
    setup.Exec(insert + ")");
    setup.Exec("INSERT INTO all_types (id) VALUES (2)");
    std::string longText;
    for (int i = 0; i < 3000; ++i) longText += (i ? "," : "") + std::to_string(i);
    setup.Exec("CREATE TABLE long_values (t LONGVARCHAR, b LONGVARBINARY)");
    setup.Exec("INSERT INTO long_values VALUES ('" + longText + "', CAST('" + longText +
               "' AS BLOB))");
    setup.Disconnect();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
    RemoveOdbcFolder(dir_);
  }

  void SetUp() override { Connect(); }
  void TearDown() override { Disconnect(); }

  void Connect() { ConnectOdbc3("DSN=VeloraFetch;User=t;Password=p", &env_, &dbc_, &stmt_); }
  void Disconnect() { DisconnectOdbc3(&env_, &dbc_, &stmt_); }
  void Exec(const std::string& sql) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << sql.substr(0, 200) << ": " << State();
  }

  std::string State() { return Diagnostic(SQL_HANDLE_STMT, stmt_).substr(0, 5); }

  // Column name of row id, read with SQLGetData after SQLFetch.
  Outcome Unbound(const char* name, SQLSMALLINT c, int id = 1) {
    Exec(std::string("SELECT ") + name + " FROM all_types WHERE id = " + std::to_string(id));
    Outcome o;
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
    char buffer[kBuffer];
    std::memset(buffer, '#', sizeof buffer);
    o.length = 999;
    o.rc = SQLGetData(stmt_, 1, c, buffer, kBuffer, &o.length);
    o.state = o.rc == SQL_SUCCESS ? "" : State();
    o.bytes.assign(buffer, sizeof buffer);
    return o;
  }
  // The same value bound before the statement runs and filled by SQLFetch.
  Outcome Bound(const char* name, SQLSMALLINT c, int id = 1) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    char buffer[kBuffer];
    std::memset(buffer, '#', sizeof buffer);
    Outcome o;
    o.length = 999;
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, c, buffer, kBuffer, &o.length));
    Exec(std::string("SELECT ") + name + " FROM all_types WHERE id = " + std::to_string(id));
    o.rc = SQLFetch(stmt_);
    o.state = o.rc == SQL_SUCCESS ? "" : State();
    o.bytes.assign(buffer, sizeof buffer);
    SQLFreeStmt(stmt_, SQL_UNBIND);
    return o;
  }

  static VeloraServer* server_;
  static std::string dir_;
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
};

VeloraServer* FetchServerTest::server_ = nullptr;
std::string FetchServerTest::dir_;

template <typename T>
T As(const Outcome& o) {
  T value;
  std::memcpy(&value, o.bytes.data(), sizeof value);
  return value;
}

std::string Text(const Outcome& o) { return std::string(o.bytes.c_str()); }

// Every pair SQLGetData refuses is refused (22005, which an ODBC 3
// application sees as 22018) before anything is written;
// every allowed pair reads the same bound and unbound.
TEST_F(FetchServerTest, BoundAndUnboundAgreeForEveryAllowedPair) {
  int pairs = 0;
  for (const Column& column : kColumns) {
    for (SQLSMALLINT c : kCTypes) {
      Outcome unbound = Unbound(column.name, c);
      if (!Allowed(column.sqlType, c)) {
        EXPECT_EQ(SQL_ERROR, unbound.rc) << column.name << " as C type " << c;
        EXPECT_EQ("22018", unbound.state) << column.name << " as C type " << c;
        EXPECT_EQ(std::string(kBuffer, '#'), unbound.bytes) << column.name << " as C type " << c;
        continue;
      }
      Outcome bound = Bound(column.name, c);
      EXPECT_EQ(unbound, bound) << column.name << " as C type " << c;
      // Every allowed pair converts or reports why: never a refusal.
      EXPECT_TRUE(unbound.rc == SQL_SUCCESS || unbound.state == "01004" ||
                  unbound.state == "22003")
          << column.name << " as C type " << c << ": " << unbound;
      ++pairs;
    }
  }
  EXPECT_EQ(188, pairs);
}

TEST_F(FetchServerTest, ValuesOfEveryType) {
  Outcome fixed = Unbound("c_char", SQL_C_CHAR);
  EXPECT_EQ("abc     ", Text(fixed));  // CHAR(8) comes blank-padded
  EXPECT_EQ(8, fixed.length);
  EXPECT_EQ("hello world", Text(Unbound("c_varchar", SQL_C_CHAR)));
  EXPECT_EQ(11, Unbound("c_varchar", SQL_C_CHAR).length);
  EXPECT_EQ("ABCD", Unbound("c_binary", SQL_C_BINARY).bytes.substr(0, 4));
  EXPECT_EQ(4, Unbound("c_binary", SQL_C_BINARY).length);
  EXPECT_EQ("EF", Unbound("c_varbin", SQL_C_BINARY).bytes.substr(0, 2));
  EXPECT_EQ(5, Unbound("c_longvarb", SQL_C_BINARY).length);
  EXPECT_EQ(1, As<unsigned char>(Unbound("c_bit", SQL_C_BIT)));
  EXPECT_EQ(-12, As<signed char>(Unbound("c_tinyint", SQL_C_STINYINT)));
  EXPECT_EQ(244, As<unsigned char>(Unbound("c_tinyint", SQL_C_UTINYINT)));  // the byte as is
  EXPECT_EQ(1234, As<SQLSMALLINT>(Unbound("c_smallint", SQL_C_SSHORT)));
  EXPECT_EQ(-123456, As<SQLINTEGER>(Unbound("c_integer", SQL_C_SLONG)));
  EXPECT_EQ("-123456", Text(Unbound("c_integer", SQL_C_CHAR)));
  EXPECT_EQ("22003", Unbound("c_integer", SQL_C_SSHORT).state);
  EXPECT_EQ(9000000000000000001LL, As<SQLBIGINT>(Unbound("c_bigint", SQL_C_SBIGINT)));
  EXPECT_EQ("9000000000000000001", Text(Unbound("c_bigint", SQL_C_CHAR)));
  EXPECT_EQ("9000000000000000001", Text(Unbound("c_bigint", SQL_C_DEFAULT)));
  EXPECT_EQ("22003", Unbound("c_bigint", SQL_C_SLONG).state);
  EXPECT_EQ(2.5f, As<float>(Unbound("c_real", SQL_C_FLOAT)));
  EXPECT_EQ(-1234.625, As<double>(Unbound("c_float", SQL_C_DOUBLE)));
  Outcome truncatedLong = Unbound("c_float", SQL_C_SLONG);
  EXPECT_EQ(-1234, As<SQLINTEGER>(truncatedLong));
  EXPECT_EQ("01004", truncatedLong.state);
  EXPECT_EQ("12345.67", Text(Unbound("c_numeric", SQL_C_CHAR)));
  EXPECT_DOUBLE_EQ(12345.67, As<double>(Unbound("c_numeric", SQL_C_DOUBLE)));

  SQL_DATE_STRUCT date = As<SQL_DATE_STRUCT>(Unbound("c_date", SQL_C_TYPE_DATE));
  EXPECT_EQ(2024, date.year);
  EXPECT_EQ(2, date.month);
  EXPECT_EQ(29, date.day);
  EXPECT_EQ("2024-02-29", Text(Unbound("c_date", SQL_C_CHAR)));
  SQL_TIMESTAMP_STRUCT midnight = As<SQL_TIMESTAMP_STRUCT>(Unbound("c_date", SQL_C_TYPE_TIMESTAMP));
  EXPECT_EQ(29, midnight.day);
  EXPECT_EQ(0, midnight.hour);
  SQL_TIME_STRUCT time = As<SQL_TIME_STRUCT>(Unbound("c_time", SQL_C_TYPE_TIME));
  EXPECT_EQ(13, time.hour);
  EXPECT_EQ(45, time.minute);
  EXPECT_EQ(30, time.second);
  SQL_TIMESTAMP_STRUCT ts = As<SQL_TIMESTAMP_STRUCT>(Unbound("c_timestamp", SQL_C_TYPE_TIMESTAMP));
  EXPECT_EQ(2024, ts.year);
  EXPECT_EQ(30, ts.second);
  EXPECT_EQ(250000000u, ts.fraction);
  EXPECT_EQ("2024-02-29 13:45:30.250", Text(Unbound("c_timestamp", SQL_C_CHAR)));
  Outcome dateOnly = Unbound("c_timestamp", SQL_C_TYPE_DATE);
  EXPECT_EQ("01004", dateOnly.state);
  EXPECT_EQ(6, dateOnly.length);
  // A text column read as a timestamp.
  SQL_TIMESTAMP_STRUCT fromText = As<SQL_TIMESTAMP_STRUCT>(Unbound("c_longvar", SQL_C_TYPE_TIMESTAMP));
  EXPECT_EQ(13, fromText.hour);
}

// A C type the driver has no conversion for, passed through unchanged by
// the driver manager from SQLBindCol.
TEST_F(FetchServerTest, UnknownCTypeIsRefused) {
  Outcome unknown = Bound("c_varchar", SQL_C_GUID);
  EXPECT_EQ(SQL_ERROR, unknown.rc);
  EXPECT_EQ("HY003", unknown.state);  // S1003
  EXPECT_EQ('#', unknown.bytes[0]);
}

TEST_F(FetchServerTest, TruncationGives01004) {
  SQLFreeStmt(stmt_, SQL_CLOSE);
  char small[4];
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_CHAR, small, sizeof small, &length));
  Exec("SELECT c_varchar FROM all_types WHERE id = 1");
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(stmt_));
  EXPECT_EQ("01004", State());
  EXPECT_STREQ("hel", small);
  EXPECT_EQ(11, length);
}

TEST_F(FetchServerTest, NullsGiveMinusOneAndLeaveTheBuffer) {
  for (const Column& column : kColumns) {
    Outcome unbound = Unbound(column.name, SQL_C_CHAR, 2);
    EXPECT_EQ(SQL_SUCCESS, unbound.rc) << column.name;
    EXPECT_EQ(SQL_NULL_DATA, unbound.length) << column.name;
    EXPECT_EQ('#', unbound.bytes[0]) << column.name;
    Outcome bound = Bound(column.name, SQL_C_DEFAULT, 2);
    EXPECT_EQ(SQL_SUCCESS, bound.rc) << column.name;
    EXPECT_EQ(SQL_NULL_DATA, bound.length) << column.name;
    EXPECT_EQ('#', bound.bytes[0]) << column.name;
  }
  // A NULL read once has no data left.
  Exec("SELECT c_varchar FROM all_types WHERE id = 2");
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  char buffer[8];
  SQLLEN length = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &length));
  EXPECT_EQ(SQL_NULL_DATA, length);
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &length));
  // Without a length indicator a NULL value still fetches.
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLINTEGER value = 7;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &value, 0, nullptr));
  Exec("SELECT c_integer FROM all_types WHERE id = 2");
  EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(7, value);
}

TEST_F(FetchServerTest, LongValuesComeInPiecesThenNoData) {
  std::string expected;
  for (int i = 0; i < 3000; ++i) expected += (i ? "," : "") + std::to_string(i);
  Exec("SELECT t, b FROM long_values");
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  std::string text;
  char piece[1000];
  SQLLEN length = 0;
  SQLRETURN rc;
  int calls = 0;
  while ((rc = SQLGetData(stmt_, 1, SQL_C_CHAR, piece, sizeof piece, &length)) != SQL_NO_DATA &&
         ++calls < 100) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << State();
    EXPECT_EQ(static_cast<SQLLEN>(expected.size() - text.size()), length);
    text += piece;
  }
  EXPECT_EQ(expected, text);
  EXPECT_EQ(14, calls);
  std::string bytes;
  while ((rc = SQLGetData(stmt_, 2, SQL_C_BINARY, piece, sizeof piece, &length)) != SQL_NO_DATA &&
         ++calls < 100) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << State();
    bytes.append(piece, length < static_cast<SQLLEN>(sizeof piece) ? length : sizeof piece);
  }
  EXPECT_EQ(expected, bytes);
  // Reading column 1 again starts from its beginning.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt_, 1, SQL_C_CHAR, piece, sizeof piece, &length)));
  EXPECT_EQ(expected.substr(0, 999), piece);
}

TEST_F(FetchServerTest, BeforeTheFirstRowAndAfterTheLast) {
  Exec("SELECT id FROM all_types ORDER BY id");
  SQLINTEGER id = 0;
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 1, SQL_C_SLONG, &id, 0, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_SLONG, &id, 0, nullptr));
  EXPECT_EQ(1, id);
  EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_SLONG, &id, 0, nullptr));
  EXPECT_EQ(2, id);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_));
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 1, SQL_C_SLONG, &id, 0, nullptr));
  EXPECT_EQ(2, id);
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 9, SQL_C_SLONG, &id, 0, nullptr));
}

}  // namespace
