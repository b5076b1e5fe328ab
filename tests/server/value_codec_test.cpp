// In-process checks of the value forms, the type mapping, search
// patterns, SQLSTATE mapping, the greeting check and the users file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "server/Catalog.h"
#include "server/Greeting.h"
#include "server/SqlTypes.h"
#include "server/Users.h"
#include "server/ValueCodec.h"
#include "server/storage/SqliteErrors.h"

namespace velsrv {
namespace {

std::string Row(const Value& v, int16_t type, uint32_t n = 0, uint32_t maxLength = 0) {
  std::string out;
  Status st = EncodeRowValue(v, TypeForCode(type, n), maxLength, &out);
  return st.ok ? out : "error " + st.sqlstate;
}

TEST(ServerTypeMapping, DeclaredTypes) {
  struct Case {
    const char* declared;
    int16_t type;
    uint32_t precision;
    int16_t scale;
  } cases[] = {
      {"INTEGER", kSqlInteger, 10, 0},        {"int", kSqlInteger, 10, 0},
      {"BIGINT", kSqlBigInt, 19, 0},          {"varchar(40)", kSqlVarChar, 40, 0},
      {"CHARACTER VARYING(7)", kSqlVarChar, 7, 0}, {"TEXT", kSqlLongVarChar, kLongLength, 0},
      {"DECIMAL(10,3)", kSqlNumeric, 10, 3},  {"NUMERIC(30,2)", kSqlNumeric, 16, 2},
      {"DOUBLE", kSqlFloat, 15, 0},           {"DOUBLE PRECISION", kSqlFloat, 15, 0},
      {"REAL", kSqlReal, 7, 0},               {"VARBINARY(300)", kSqlLongVarBinary, kLongLength, 0},
      {"VARBINARY(16)", kSqlVarBinary, 16, 0}, {"DATETIME", kSqlTimestamp, 19, 0},
      {"UNSIGNED BIG INT", kSqlBigInt, 19, 0}, {"NVARCHAR(5)", kSqlVarChar, 5, 0},
      {"STRING", kSqlVarChar, 255, 0},         {"BOOLEAN", kSqlBit, 1, 0},
      {"CHAR(65535)", kSqlChar, 65535, 0},     {"CHAR(2000000000)", kSqlLongVarChar, kLongLength, 0},
      {"VARCHAR(70000)", kSqlLongVarChar, kLongLength, 0}, {"BINARY(70000)", kSqlLongVarBinary, kLongLength, 0},
      {"MYCHAR(70000)", kSqlLongVarChar, kLongLength, 0},
  };
  for (const Case& k : cases) {
    SqlTypeDesc d;
    ASSERT_TRUE(TypeFromDeclared(k.declared, &d)) << k.declared;
    EXPECT_EQ(d.sqlType, k.type) << k.declared;
    EXPECT_EQ(d.precision, k.precision) << k.declared;
    EXPECT_EQ(d.scale, k.scale) << k.declared;
  }
  SqlTypeDesc d;
  EXPECT_FALSE(TypeFromDeclared("  ", &d));
  EXPECT_EQ(TypeFromValue(Value::Integer(1)).sqlType, kSqlInteger);
  EXPECT_EQ(TypeFromValue(Value::Integer(1LL << 40)).sqlType, kSqlBigInt);
  EXPECT_EQ(TypeFromValue(Value::Real(1)).sqlType, kSqlFloat);
  EXPECT_EQ(TypeForCode(kSqlDecimal).sqlType, kSqlNumeric);
  EXPECT_EQ(TypeForCode(kSqlDouble).sqlType, kSqlFloat);
}

TEST(ServerValueForms, RowLayouts) {
  EXPECT_EQ(Row(Value::Integer(-1), kSqlBigInt), std::string("\x00\x00\x00\x00\x00\x00\x01\x00\x01\x00", 10));
  EXPECT_EQ(Row(Value::Integer(INT64_MIN), kSqlBigInt), std::string("\x00\x80\x00\x00\x00\x00\x00\x00\x01\x00", 10));
  EXPECT_EQ(Row(Value::Text("12"), kSqlSmallInt), std::string("\x0c\x00", 2));
  EXPECT_EQ(Row(Value::Integer(40000), kSqlSmallInt), "error 22003");
  EXPECT_EQ(Row(Value::Real(0), kSqlNumeric), std::string(10, '\0'));
  EXPECT_EQ(Row(Value::Text("-0.005"), kSqlNumeric), std::string("\x01\xfd\x05\x00\x00\x00\x00\x00\x00\x00", 10));
  // 17 significant digits round to 16.
  EXPECT_EQ(Row(Value::Text("12345678901234567"), kSqlNumeric),
            std::string("\x00\x01\x57\x34\x12\x90\x78\x56\x34\x12", 10));
  EXPECT_EQ(Row(Value::Text("1e300"), kSqlNumeric), "error 22003");
  EXPECT_EQ(Row(Value::Text("abcdef"), kSqlVarChar, 0, 2), std::string("ab\0", 3));
  EXPECT_EQ(Row(Value::Text(std::string("a\0b", 3)), kSqlVarChar), std::string("a\0", 2));
  EXPECT_EQ(Row(Value::Blob(std::string(256, 'x')), kSqlVarBinary, 255), "error 22001");
  EXPECT_EQ(Row(Value::Text("2024-01-02T03:04:05.000123"), kSqlTimestamp).substr(12), std::string("\x78\xe0\x01\x00", 4));
  EXPECT_EQ(Row(Value::Text("2024-01-02 03:04"), kSqlTime), std::string("\x03\x00\x04\x00\x00\x00", 6));
  EXPECT_EQ(Row(Value::Text("2024-13-02"), kSqlDate), "error 22005");
  // Dates that do not exist never travel as date fields.
  EXPECT_EQ(Row(Value::Text("2024-02-29"), kSqlDate), std::string("\xe8\x07\x02\x00\x1d\x00", 6));
  EXPECT_EQ(Row(Value::Text("2000-02-29"), kSqlDate), std::string("\xd0\x07\x02\x00\x1d\x00", 6));
  EXPECT_EQ(Row(Value::Text("2024-02-30"), kSqlDate), "error 22005");
  EXPECT_EQ(Row(Value::Text("2023-02-29"), kSqlDate), "error 22005");
  EXPECT_EQ(Row(Value::Text("1900-02-29 10:00:00"), kSqlTimestamp), "error 22005");
  EXPECT_EQ(Row(Value::Text("2024-04-31"), kSqlDate), "error 22005");
  EXPECT_EQ(Row(Value::Text("0000-01-01"), kSqlDate), "error 22005");
  // Texts are decimal numbers only.
  EXPECT_EQ(Row(Value::Text("0x10"), kSqlBigInt), "error 22005");
  EXPECT_EQ(Row(Value::Text("0x1p3"), kSqlFloat), "error 22005");
  EXPECT_EQ(Row(Value::Text(" 1e3 "), kSqlInteger), std::string("\xe8\x03\x00\x00", 4));
  EXPECT_EQ(Row(Value::Real(1e39), kSqlReal), "error 22003");
}

TEST(ServerValueForms, ParameterForms) {
  Value v;
  auto decode = [&](int16_t type, const std::string& bytes) {
    return DecodeParameter(type, reinterpret_cast<const uint8_t*>(bytes.data()),
                           static_cast<uint32_t>(bytes.size()), &v);
  };
  // BIGINT from a C integer: -65536 = 0x8000, 0, 1, 0, sign 1.
  ASSERT_TRUE(decode(kSqlBigInt, std::string("\x00\x80\x00\x00\x01\x00\x00\x00\x01\x00", 10)).ok);
  EXPECT_EQ(v.integer, -65536);
  // From text: no mark, full magnitude.
  ASSERT_TRUE(decode(kSqlBigInt, std::string("\xff\x7f\xff\xff\xff\xff\xff\xff\x00\x00", 10)).ok);
  EXPECT_EQ(v.integer, INT64_MAX);
  EXPECT_FALSE(decode(kSqlBigInt, std::string("\x00\x80\x00\x00\x00\x00\x00\x00\x00\x00", 10)).ok);
  // NUMERIC with a non-integral value becomes a real; huge integers too.
  ASSERT_TRUE(decode(kSqlNumeric, std::string("\x01\xf1\x00\x00", 4) + std::string("\x00\x00\x00\x00\x00\x00\x00\x15", 8)).ok);
  EXPECT_EQ(v.kind, Value::Kind::kReal);
  EXPECT_DOUBLE_EQ(v.real, -1.5);
  ASSERT_TRUE(decode(kSqlDecimal, std::string("\x00\x05\x00\x00", 4) + std::string("\x00\x00\x00\x00\x00\x00\x00\x10", 8)).ok);
  EXPECT_EQ(v.kind, Value::Kind::kReal);
  EXPECT_DOUBLE_EQ(v.real, 1e20);
  EXPECT_FALSE(decode(kSqlNumeric, std::string("\x00\x00\x00\x00", 4) + std::string("\x0a\x00\x00\x00\x00\x00\x00\x00", 8)).ok);
  ASSERT_TRUE(decode(kSqlChar, std::string("abc", 3)).ok);  // without NUL too
  EXPECT_EQ(v.bytes, "abc");
  ASSERT_TRUE(decode(kSqlTimestamp, std::string("\xd0\x07\x01\x00\x02\x00\x03\x00\x04\x00\x05\x00\x40\x42\x0f\x00", 16)).ok);
  EXPECT_EQ(v.bytes, "2000-01-02 03:04:05.001");
  ASSERT_TRUE(decode(kSqlTinyInt, "\x80").ok);
  EXPECT_EQ(v.integer, -128);
}

TEST(ServerCatalog, SearchPatterns) {
  EXPECT_TRUE(PatternMatch("", "anything"));
  EXPECT_TRUE(PatternMatch("EMP%", "employees"));
  EXPECT_TRUE(PatternMatch("e_p", "emp"));
  EXPECT_FALSE(PatternMatch("e\\_p", "emp"));
  EXPECT_TRUE(PatternMatch("e\\_p", "e_p"));
  EXPECT_TRUE(PatternMatch("%a%b%", "xxaxxbxx"));
  EXPECT_FALSE(PatternMatch("%a%b%", "xxbxxaxx"));
  EXPECT_FALSE(PatternMatch("emp", "emp2"));
  EXPECT_TRUE(PatternMatch("%", ""));
  EXPECT_FALSE(PatternMatch("_", ""));
  EXPECT_TRUE(PatternMatch("a%%b", "ab"));
  EXPECT_TRUE(PatternMatch("100\\%", "100%"));
  EXPECT_FALSE(PatternMatch("100\\%", "1000"));
  EXPECT_TRUE(PatternMatch("x\\", "x\\"));  // a final "\\" stands for itself
  EXPECT_TRUE(PatternMatch("%a_c", "abcabc"));
  // Many "%" against a long name that almost matches: every split would
  // be tried by a naive search.
  std::string pattern;
  for (int i = 0; i < 30; ++i) pattern += "%a";
  EXPECT_FALSE(PatternMatch(pattern + "%b", std::string(200, 'a')));
  EXPECT_TRUE(PatternMatch(pattern + "%b", std::string(200, 'a') + "b"));
}

TEST(ServerErrors, SqliteCodesMapToSqlstates) {
  EXPECT_STREQ(SqliteSqlState(1, "near \"SELEC\": syntax error"), "37000");
  EXPECT_STREQ(SqliteSqlState(1, "no such table: x"), "S0002");
  EXPECT_STREQ(SqliteSqlState(1, "no such column: y"), "S0022");
  EXPECT_STREQ(SqliteSqlState(1, "table t has no column named y"), "S0022");
  EXPECT_STREQ(SqliteSqlState(1, "table t has 2 columns but 3 values were supplied"), "21S01");
  EXPECT_STREQ(SqliteSqlState(1, "1 values for 2 columns"), "21S01");
  EXPECT_STREQ(SqliteSqlState(1, "ambiguous column name: a"), "37000");
  EXPECT_STREQ(SqliteSqlState(1, "index i already exists"), "S0011");
  EXPECT_STREQ(SqliteSqlState(1, "table t already exists"), "S0001");
  EXPECT_STREQ(SqliteSqlState(2067, "UNIQUE constraint failed"), "23000");
  EXPECT_STREQ(SqliteSqlState(5, "database is locked"), "S1T00");
  EXPECT_STREQ(SqliteSqlState(8, "attempt to write a readonly database"), "42000");
  EXPECT_STREQ(SqliteSqlState(20, "datatype mismatch"), "22005");
  EXPECT_EQ(SqliteStatus(2067, "x").native, 2067);
}

TEST(ServerGreeting, Block) {
  uint8_t block[80] = {};
  std::memcpy(block, "L\x06 LINUX ISO8859-1", 18);
  EXPECT_EQ(CheckGreeting(block), kGreetingAccepted);
  block[79] = 1;
  EXPECT_EQ(CheckGreeting(block), kGreetingMalformed);
}

}  // namespace
}  // namespace velsrv

#include "server/Escapes.h"

namespace velsrv {
namespace {

TEST(ServerEscapes, ClausesBecomeSqlite) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"SELECT {d '2024-01-02'}", "SELECT '2024-01-02'"},
      {"SELECT * FROM {oj a LEFT OUTER JOIN b ON a.x = b.x}", "SELECT * FROM a LEFT OUTER JOIN b ON a.x = b.x"},
      {"SELECT {fn YEAR({ts '2024-01-02 03:04:05'})}", "SELECT CAST(strftime('%Y', '2024-01-02 03:04:05') AS INTEGER)"},
      {"SELECT {fn CONVERT(x, SQL_INTEGER)} FROM t", "SELECT CAST(x AS INTEGER) FROM t"},
      {"SELECT {fn CONCAT('a', {fn UCASE(b)})}", "SELECT ('a' || upper(b))"},
      {"SELECT '{d x}' -- {oj\n", "SELECT '{d x}' -- {oj\n"},
      {"SELECT 1 WHERE a LIKE 'x\\_%' {escape '\\'}", "SELECT 1 WHERE a LIKE 'x\\_%'  ESCAPE '\\'"},
      {"SELECT {fn LENGTH('ab')}", "SELECT LENGTH('ab')"},
  };
  for (const Case& k : cases) {
    std::string out, error;
    ASSERT_TRUE(TranslateEscapes(k.in, &out, &error)) << k.in << ": " << error;
    EXPECT_EQ(out, k.out);
  }
  for (const char* bad : {"SELECT {call p}", "SELECT {d 5}", "SELECT {zz 1}", "SELECT {fn YEAR(1, 2)}",
                          "SELECT {oj a", "SELECT {d '1'} }", "SELECT {d 'open}"}) {
    std::string out, error;
    EXPECT_FALSE(TranslateEscapes(bad, &out, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

TEST(ServerUsers, FileIsPrivateEvenOverAPlantedTemporaryFile) {
  char dir[] = "/tmp/velusers.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string users = std::string(dir) + "/users";
  // A file at the temporary name, open to everybody, must not become the
  // users file.
  std::string planted = users + ".tmp." + std::to_string(getpid());
  { std::ofstream(planted) << "mallory:x\n"; }
  ASSERT_EQ(chmod(planted.c_str(), 0666), 0);
  std::string error;
  ASSERT_TRUE(AddUser(users, "alice", "pw one", &error)) << error;
  struct stat st {};
  ASSERT_EQ(stat(users.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::ifstream in(users);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("mallory"), std::string::npos);
  EXPECT_EQ(text.find("pw one"), std::string::npos);
  EXPECT_TRUE(CheckUser(users, "alice", "pw one", &error));
  EXPECT_FALSE(CheckUser(users, "alice", "pw two", &error));
  EXPECT_FALSE(CheckUser(users, "mallory", "x", &error));
  EXPECT_NE(access(planted.c_str(), F_OK), 0);
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  EXPECT_EQ(std::system(cleanup.c_str()), 0);
}

}  // namespace
}  // namespace velsrv
