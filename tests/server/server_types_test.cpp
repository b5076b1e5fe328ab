// Every SQL type's row layout as fetched, and every parameter form as
// bound, against a real server.
#include <gtest/gtest.h>

#include <cstring>

#include "server_harness.h"

namespace srvtest {
namespace {

std::string Bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }
std::string F32(float f) { return Bytes(&f, 4); }
std::string F64(double d) { return Bytes(&d, 8); }

class ServerTypes : public ServerSessionTest {
 protected:
  void SetUp() override {
    ServerSessionTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(c.ExecDirect(s,
                           "CREATE TABLE all_types (c_char CHAR(8), c_varchar VARCHAR(20), c_longvar LONGVARCHAR, "
                           "c_binary BINARY(4), c_varbin VARBINARY(8), c_longvarb BLOB, c_bit BIT, "
                           "c_tinyint TINYINT, c_smallint SMALLINT, c_integer INTEGER, c_bigint BIGINT, "
                           "c_real REAL, c_float FLOAT, c_double DOUBLE, c_numeric NUMERIC(10,2), "
                           "c_decimal DECIMAL(5), c_date DATE, c_time TIME, c_timestamp TIMESTAMP)"),
              0);
  }
};

TEST_F(ServerTypes, RowLayoutOfEveryType) {
  ASSERT_EQ(c.ExecDirect(s,
                         "INSERT INTO all_types VALUES ('abc', 'hello', 'long text', X'41424344', X'4546', "
                         "X'48494A', 1, -12, 1234, -123456, -9000000000000000001, 2.5, -1234.625, 0.1, 12345.67, "
                         "-42, '2024-02-29', '13:45:30', '2024-02-29 13:45:30.250')"),
            0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO all_types (c_char) VALUES (NULL)"), 0);
  std::vector<Column> cols;
  auto rows = c.Query(s, "SELECT * FROM all_types", &cols);
  ASSERT_EQ(cols.size(), 19u);
  const int types[19] = {1, 12, -1, -2, -3, -4, -7, -6, 5, 4, -5, 7, 6, 6, 2, 2, 9, 10, 11};
  for (int i = 0; i < 19; ++i) EXPECT_EQ(cols[i].sqlType, types[i]) << cols[i].name;
  EXPECT_EQ(cols[0].length, 8u);
  EXPECT_EQ(cols[14].precision, 10u);
  EXPECT_EQ(cols[14].scale, 2);
  EXPECT_EQ(cols[14].length, 12u);
  EXPECT_EQ(cols[15].precision, 5u);
  ASSERT_EQ(rows.size(), 2u);
  const std::vector<Cell>& r = rows[0];
  EXPECT_EQ(r[0].bytes, Bytes("abc     ", 9));  // CHAR(8): blank-padded
  EXPECT_EQ(r[1].bytes, Bytes("hello", 6));
  EXPECT_EQ(r[2].bytes, Bytes("long text", 10));
  EXPECT_EQ(r[3].bytes, "ABCD");
  EXPECT_EQ(r[4].bytes, Bytes("\x02" "EF", 3));
  EXPECT_EQ(r[5].bytes, U32(3) + "HIJ");
  EXPECT_EQ(r[6].bytes, Bytes("\x01", 1));
  EXPECT_EQ(r[7].bytes, Bytes("\xf4", 1));
  EXPECT_EQ(r[8].bytes, U16(1234));
  EXPECT_EQ(r[9].bytes, U32(static_cast<uint32_t>(-123456)));
  // 9000000000000000001 = 0x7CE66C50E2840001, negative: sign word 1, no mark.
  EXPECT_EQ(r[10].bytes, U16(0x7CE6) + U16(0x6C50) + U16(0xE284) + U16(0x0001) + U16(1));
  EXPECT_EQ(r[11].bytes, F32(2.5f));
  EXPECT_EQ(r[12].bytes, F64(-1234.625));
  EXPECT_EQ(r[13].bytes, F64(0.1));
  // 12345.67: digits 1234567, exponent -2; byte 2 holds digits 1 and 0.
  EXPECT_EQ(r[14].bytes, Bytes("\x00\xfe\x67\x45\x23\x01\x00\x00\x00\x00", 10));
  // -42: sign 1, digits 42, exponent 0.
  EXPECT_EQ(r[15].bytes, Bytes("\x01\x00\x42\x00\x00\x00\x00\x00\x00\x00", 10));
  EXPECT_EQ(r[16].bytes, U16(2024) + U16(2) + U16(29));
  EXPECT_EQ(r[17].bytes, U16(13) + U16(45) + U16(30));
  EXPECT_EQ(r[18].bytes, U16(2024) + U16(2) + U16(29) + U16(13) + U16(45) + U16(30) + U32(250000000));
  for (const Cell& cell : rows[1]) EXPECT_TRUE(cell.isNull) << cell.column;
}

TEST_F(ServerTypes, ValuesThatDoNotFitFailTheFetch) {
  struct Case {
    const char* column;
    const char* literal;
    const char* state;
  } cases[] = {
      {"c_char", "'too long for eight'", "22001"}, {"c_binary", "X'0102030405'", "22001"},
      {"c_bit", "2", "22003"},                      {"c_tinyint", "300", "22003"},
      {"c_smallint", "40000", "22003"},             {"c_integer", "2.5", "22005"},
      {"c_date", "'yesterday'", "22005"},           {"c_time", "'25:00:00'", "22005"},
      {"c_numeric", "'abc'", "22005"},              {"c_float", "X'00'", "22005"},
  };
  for (const Case& k : cases) {
    ASSERT_EQ(c.ExecDirect(s, "DELETE FROM all_types"), 0);
    ASSERT_EQ(c.ExecDirect(s, std::string("INSERT INTO all_types (") + k.column + ") VALUES (" + k.literal + ")"), 0);
    ASSERT_EQ(c.ExecDirect(s, std::string("SELECT ") + k.column + " FROM all_types"), 0);
    EXPECT_EQ(c.Fetch(s, {1}), -1) << k.column;
    EXPECT_EQ(c.State(s), k.state) << k.column;
  }
  // Converted when nothing is lost: a whole real into INTEGER, a short
  // binary padded, a numeric text into NUMERIC.
  ASSERT_EQ(c.ExecDirect(s, "DELETE FROM all_types"), 0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO all_types (c_integer, c_binary, c_numeric) VALUES (7.0, X'01', '1.5')"), 0);
  auto rows = c.Query(s, "SELECT c_integer, c_binary, c_numeric FROM all_types");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].bytes, U32(7));
  EXPECT_EQ(rows[0][1].bytes, Bytes("\x01\x00\x00\x00", 4));
  EXPECT_EQ(rows[0][2].bytes, Bytes("\x00\xff\x15\x00\x00\x00\x00\x00\x00\x00", 10));
}

TEST_F(ServerTypes, HugeDeclaredLengthsBecomeLongColumns) {
  // A CHAR value travels padded to its declared length: a declaration of
  // millions of characters must not make every value that long.
  ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE huge (c CHAR(100000), b BINARY(100000))"), 0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO huge VALUES ('a', X'01')"), 0);
  std::vector<Column> cols;
  auto rows = c.Query(s, "SELECT c, b FROM huge", &cols);
  ASSERT_EQ(cols.size(), 2u);
  EXPECT_EQ(cols[0].sqlType, -1);
  EXPECT_EQ(cols[1].sqlType, -4);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].bytes, Bytes("a", 2));
  EXPECT_EQ(rows[0][1].bytes, U32(1) + "\x01");
}

TEST_F(ServerTypes, EveryParameterForm) {
  uint32_t q = c.Alloc();
  // NUMERIC 12-byte form: sign, exponent, two zero bytes, 16 BCD digits
  // in two 32-bit words, least significant digit in the low nibble of the
  // first word, left-aligned: 12.5 = digits 1,2,5 at 15,14,13, exp -14.
  std::string numeric = Bytes("\x00\xf2\x00\x00", 4) + U32(0) + U32(0x12500000);
  std::string negNumeric = Bytes("\x01\xf1\x00\x00", 4) + U32(0) + U32(0x70000000);  // -7
  // BIGINT from a C integer: -5 is 0x8000, 0, 0, 5 with sign 1.
  std::string bigNeg = U16(0x8000) + U16(0) + U16(0) + U16(5) + U16(1);
  std::string bigPos = U16(0x0001) + U16(0) + U16(0) + U16(0) + U16(0);  // 2^48
  ASSERT_EQ(c.ExecDirect(q,
                         "INSERT INTO all_types VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                         {{1, 1, Bytes("ab\0", 3)},
                          {2, 12, Bytes("hello\0", 6)},
                          {3, -1, Bytes("long\0", 5)},
                          {4, -2, "WXYZ"},
                          {5, -3, Bytes("\x00\x01", 2)},
                          {6, -4, "blob"},
                          {7, -7, Bytes("\x01", 1)},
                          {8, -6, Bytes("\xfe", 1)},
                          {9, 5, U16(static_cast<uint16_t>(-300))},
                          {10, 4, U32(70000)},
                          {11, -5, bigNeg},
                          {12, 7, F32(1.5f)},
                          {13, 6, F64(-0.25)},
                          {14, 8, F64(3.0)},
                          {15, 2, numeric},
                          {16, 3, negNumeric},
                          {17, 9, U16(1996) + U16(5) + U16(1)},
                          {18, 10, U16(7) + U16(8) + U16(9)},
                          {19, 11, U16(2000) + U16(1) + U16(2) + U16(3) + U16(4) + U16(5) + U32(500000000)}}),
            0);
  ASSERT_EQ(c.ExecDirect(q, "INSERT INTO all_types (c_bigint, c_varchar) VALUES (?, ?)",
                         {{1, -5, bigPos}, {2, 12, "", true}}),
            0);
  auto rows = c.Query(s,
                      "SELECT quote(c_char), quote(c_varchar), quote(c_longvar), quote(c_binary), quote(c_varbin), "
                      "quote(c_longvarb), quote(c_bit), quote(c_tinyint), quote(c_smallint), quote(c_integer), "
                      "quote(c_bigint), quote(c_real), quote(c_float), quote(c_double), quote(c_numeric), "
                      "quote(c_decimal), quote(c_date), quote(c_time), quote(c_timestamp) FROM all_types");
  ASSERT_EQ(rows.size(), 2u);
  const char* expected[19] = {"'ab'",       "'hello'",       "'long'",       "X'5758595A'", "X'0001'",
                              "X'626C6F62'", "1",             "-2",           "-300",        "70000",
                              "-5",          "1.5",           "-0.25",        "3.0",         "12.5",
                              "-7",          "'1996-05-01'",  "'07:08:09'",   "'2000-01-02 03:04:05.500'"};
  for (int i = 0; i < 19; ++i) EXPECT_EQ(std::string(rows[0][i].bytes.c_str()), expected[i]) << i;
  EXPECT_EQ(std::string(rows[1][10].bytes.c_str()), "281474976710656");
  EXPECT_EQ(std::string(rows[1][1].bytes.c_str()), "NULL");
}

TEST_F(ServerTypes, ParameterFormsOfTheWrongSizeAreRefused) {
  const struct {
    int16_t type;
    size_t size;
  } cases[] = {{-7, 2}, {-6, 0}, {5, 4}, {4, 2}, {-5, 8}, {7, 8}, {6, 4}, {2, 10}, {9, 4}, {10, 8}, {11, 12}};
  for (const auto& k : cases) {
    EXPECT_EQ(c.ExecDirect(s, "SELECT ?", {{1, k.type, std::string(k.size, '\0')}}), -1) << k.type;
    EXPECT_EQ(c.State(s), "S1090") << k.type;
  }
  EXPECT_EQ(c.ExecDirect(s, "SELECT ?", {{1, 99, "x"}}), -1);
  EXPECT_EQ(c.State(s), "S1004");
  // A magnitude beyond BIGINT.
  EXPECT_EQ(c.ExecDirect(s, "SELECT ?", {{1, -5, U16(0x8000) + U16(0) + U16(0) + U16(0) + U16(0)}}), -1);
  EXPECT_EQ(c.State(s), "22003");
  // -2^63 itself is fine.
  std::vector<Column> cols;
  ASSERT_EQ(c.ExecDirect(s, "SELECT ?", {{1, -5, U16(0x8000) + U16(0) + U16(0) + U16(0) + U16(1)}}, &cols), 0);
  std::vector<Cell> row;
  ASSERT_EQ(c.Fetch(s, {1}, &row), 0);
  EXPECT_EQ(row[0].bytes, U16(0x8000) + U16(0) + U16(0) + U16(0) + U16(1));
}

}  // namespace
}  // namespace srvtest
