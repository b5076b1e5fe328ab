// In-process checks of what the served sessions do not reach easily: the
// declared-type mapping, value-form edges, search patterns, SQLite error
// mapping, escape clauses and the users file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "server/metadata/MetadataResults.h"
#include "server/session/Escapes.h"
#include "server/admin/LoginGuard.h"
#include "server/values/SqlTypes.h"
#include "server/admin/Users.h"
#include "server/values/ValueCodec.h"
#include "server/storage/PostgresText.h"
#include "server/storage/SqliteErrors.h"
#include "support/bytes.h"

namespace velsrv {
namespace {

// Declared type: SQL type/precision/scale ("long": 1000000000).
TEST(ServerTypeMapping, DeclaredTypes) {
  const char* rows[][2] = {
      {"int", "4/10/0"},
      {"BYTEA", "-4/long/0"},
      {"CHARACTER VARYING(7)", "12/7/0"},
      {"TEXT", "-1/long/0"},
      {"DECIMAL(10,3)", "2/10/3"},
      {"NUMERIC(30,2)", "2/16/2"},
      {"DOUBLE PRECISION", "6/15/0"},
      {"DATETIME", "11/19/0"},
      {"BOOLEAN", "-7/1/0"},
      {"VARBINARY(255)", "-3/255/0"},
      {"VARBINARY(256)", "-4/long/0"},
      {"NVARCHAR(5)", "12/5/0"},
      {"STRING", "12/255/0"},
      {"CHAR(65535)", "1/65535/0"},
      // Declared longer than 65535: a long column, so padding stays bounded.
      {"VARCHAR(65536)", "-1/long/0"},
      {"MYCHAR(70000)", "-1/long/0"},
  };
  for (const auto& r : rows) {
    SqlTypeDesc d;
    ASSERT_TRUE(TypeFromDeclared(r[0], &d)) << r[0];
    std::string precision = d.precision == kSqlLongLength ? "long" : std::to_string(d.precision);
    EXPECT_EQ(std::to_string(d.sqlType) + "/" + precision + "/" + std::to_string(d.scale), r[1]) << r[0];
  }
  SqlTypeDesc d;
  EXPECT_FALSE(TypeFromDeclared("  ", &d));
  EXPECT_EQ(TypeFromValue(Value::Integer(1LL << 31)).sqlType, kSqlBigInt);
  EXPECT_EQ(TypeFromValue(Value::Integer(-(1LL << 31))).sqlType, kSqlInteger);
}

// Row values: hex of the wire form, or the SQLSTATE.
TEST(ServerValueForms, RowLayouts) {
  // clang-format off
  const struct { Value value; int16_t type; const char* expected; } rows[] = {
      {Value::Integer(INT64_MIN), kSqlBigInt, "00 80 00 00 00 00 00 00 01 00"},
      {Value::Real(0), kSqlNumeric, "00 00 00 00 00 00 00 00 00 00"},
      {Value::Text("-0.005"), kSqlNumeric, "01 fd 05 00 00 00 00 00 00 00"},
      {Value::Text("12345678901234567"), kSqlNumeric, "00 01 57 34 12 90 78 56 34 12"},  // 16 digits kept
      {Value::Text("1e300"), kSqlNumeric, "22003"},
      {Value::Real(1e39), kSqlReal, "22003"},
      {Value::Text(std::string("a\0b", 3)), kSqlVarChar, "'a' 00"},
      {Value::Blob(std::string(256, 'x')), kSqlVarBinary, "22001"},
      {Value::Text("2024-01-02 03:04"), kSqlTime, "03 00 04 00 00 00"},
      {Value::Text("2024-01-02T03:04:05.000123"), kSqlTimestamp, "e8 07 01 00 02 00 03 00 04 00 05 00 78 e0 01 00"},
      {Value::Text("2000-02-29"), kSqlDate, "d0 07 02 00 1d 00"},
      {Value::Text(" 1e3 "), kSqlInteger, "e8 03 00 00"},
      // Dates that do not exist and non-decimal number texts fail the fetch.
      {Value::Text("2024-02-30"), kSqlDate, "22005"},
      {Value::Text("2023-02-29"), kSqlDate, "22005"},
      {Value::Text("1900-02-29 10:00:00"), kSqlTimestamp, "22005"},
      {Value::Text("2024-04-31"), kSqlDate, "22005"},
      {Value::Text("0000-01-01"), kSqlDate, "22005"},
      {Value::Text("2024-13-02"), kSqlDate, "22005"},
      {Value::Text("0x10"), kSqlBigInt, "22005"},
      {Value::Text("0x1p3"), kSqlFloat, "22005"},
  };
  // clang-format on
  for (const auto& r : rows) {
    std::string out;
    Status st = EncodeRowValue(r.value, TypeForCode(r.type, r.type == kSqlVarBinary ? 255 : 0), 0, &out);
    EXPECT_EQ(st.ok ? out : st.sqlstate, st.ok ? FromHex(r.expected) : r.expected) << r.expected;
  }
}

TEST(ServerCatalog, SearchPatterns) {
  // "_", its escape and case are read back through the catalog
  // (tests/integration/catalog_test.cpp).
  const char* matching[][2] = {
      {"", "anything"},   {"%a%b%", "xxaxxbxx"}, {"%", ""},          {"a%%b", "ab"},
      {"100\\%", "100%"}, {"x\\", "x\\"},        {"%a_c", "abcabc"},
  };
  const char* other[][2] = {{"%a%b%", "xxbxxaxx"}, {"emp", "emp2"}, {"_", ""}, {"100\\%", "1000"}};
  for (auto& r : matching) EXPECT_TRUE(PatternMatch(r[0], r[1])) << r[0] << " " << r[1];
  for (auto& r : other) EXPECT_FALSE(PatternMatch(r[0], r[1])) << r[0] << " " << r[1];
  // Many "%" against a long name that almost matches: a naive search would
  // try every split.
  std::string pattern;
  for (int i = 0; i < 30; ++i) pattern += "%a";
  EXPECT_FALSE(PatternMatch(pattern + "%b", std::string(200, 'a')));
  EXPECT_TRUE(PatternMatch(pattern + "%b", std::string(200, 'a') + "b"));
}

// The mappings the served statement tests do not reach.
TEST(ServerErrors, SqliteCodesMapToSqlstates) {
  EXPECT_STREQ(SqliteSqlState(1, "ambiguous column name: a"), "37000");
  EXPECT_STREQ(SqliteSqlState(1, "index i already exists"), "S0011");
  EXPECT_STREQ(SqliteSqlState(5, "database is locked"), "S1T00");
  EXPECT_STREQ(SqliteSqlState(20, "datatype mismatch"), "22005");
  EXPECT_EQ(SqliteStatus(2067, "x").native, 2067);
  EXPECT_STREQ(PostgresSqlState("42704", "index \"i\" does not exist"), "S0012");
  EXPECT_STREQ(PostgresSqlState("42704", "type \"x\" does not exist"), "37000");
  EXPECT_STREQ(PostgresSqlState("40P01", "deadlock detected"), "40001");
  EXPECT_STREQ(PostgresSqlState("57P01", "terminating connection"), "08S01");
  EXPECT_STREQ(PostgresSqlState("P0001", "raised"), "S1000");
}

// The first statement of a text for PostgreSQL: markers numbered outside
// quotes, comments and dollar quotes; the rest after its semicolon.
TEST(ServerPostgresText, FirstStatementAndMarkers) {
  const char* rows[][3] = {
      {"SELECT ?, '?''?', \"?\" FROM t WHERE a = ?; SELECT ?", "SELECT $1, '?''?', \"?\" FROM t WHERE a = $2",
       " SELECT ?"},
      {"SELECT E'\\'?' -- ?\n, /* ? /* ? */ ; */ ?", "SELECT E'\\'?' -- ?\n, /* ? /* ? */ ; */ $1", ""},
      {"SELECT $q$ ? ; $q$, $$;$$, $1x", "SELECT $q$ ? ; $q$, $$;$$, $1x", ""},
      {"SELECT 'open", "refused", ""},
      {"SELECT /* open", "refused", ""},
      {"SELECT $a$ open", "refused", ""},
  };
  for (const auto& r : rows) {
    std::string statement, rest, error;
    int markers = 0;
    bool ok = FirstPostgresStatement(r[0], &statement, &rest, &markers, &error);
    EXPECT_EQ(ok ? statement : error.empty() ? "no reason" : "refused", r[1]) << r[0];
    EXPECT_EQ(rest, r[2]) << r[0];
  }
  const char* locations[][2] = {
      {"postgresql://app:pw@db.example:5433/sales?sslmode=require&password=pw",
       "postgresql://db.example:5433/sales?sslmode=require"},
      {"postgres:///velora?host=/run/pg&user=app&password=p@ss", "postgres:///velora?host=/run/pg"},
      {"postgresql://@/db", "postgresql:///db"},
  };
  for (const auto& l : locations) EXPECT_EQ(RedactedLocation(l[0]), l[1]);
  std::string out, error;
  ASSERT_TRUE(TranslateEscapes("SELECT {fn SECOND({ts '2024-01-02 03:04:05.5'})}, {fn CONVERT(x, SQL_VARBINARY)}",
                               SqlDialect::kPostgres, &out, &error));
  EXPECT_EQ(out,
            "SELECT CAST(floor(EXTRACT(SECOND FROM TIMESTAMP '2024-01-02 03:04:05.5')) AS INTEGER), CAST(x AS BYTEA)");
}

// Each escape clause rewritten for SQLite; nullptr: refused with a reason.
TEST(ServerEscapes, ClausesBecomeSqlite) {
  const char* rows[][2] = {
      {"SELECT * FROM {oj a LEFT OUTER JOIN b ON a.x = b.x}", "SELECT * FROM a LEFT OUTER JOIN b ON a.x = b.x"},
      {"SELECT {fn YEAR({ts '2024-01-02 03:04:05'})}", "SELECT CAST(strftime('%Y', '2024-01-02 03:04:05') AS INTEGER)"},
      {"SELECT {fn CONVERT(x, SQL_INTEGER)} FROM t", "SELECT CAST(x AS INTEGER) FROM t"},
      {"SELECT {fn CONCAT('a', {fn UCASE(b)})}", "SELECT ('a' || upper(b))"},
      {"SELECT '{d x}' -- {oj\n", "SELECT '{d x}' -- {oj\n"},
      {"SELECT {fn LENGTH('ab')}", "SELECT length(rtrim('ab'))"},
      {"SELECT 1 WHERE a LIKE 'x\\_%' {escape '\\'}", "SELECT 1 WHERE a LIKE 'x\\_%'  ESCAPE '\\'"},
      {"SELECT {d 5}", nullptr},
      {"SELECT {zz 1}", nullptr},
      {"SELECT {fn YEAR(1, 2)}", nullptr},
      {"SELECT {oj a", nullptr},
      {"SELECT {d '1'} }", nullptr},
      {"SELECT {d 'open}", nullptr},
  };
  for (const auto& r : rows) {
    std::string out, error;
    bool ok = TranslateEscapes(r[0], SqlDialect::kSqlite, &out, &error);
    EXPECT_EQ(ok ? out : error.empty() ? "refused without reason" : "refused", r[1] ? r[1] : "refused") << r[0];
  }
}

// Login turns are kept per client address, without the port.
TEST(ServerUsers, PeerAddressWithoutPort) {
  for (const auto& [peer, address] :
       std::vector<std::pair<std::string, std::string>>{{"127.0.0.2:5480#1", "127.0.0.2"},
                                                        {"[::1]:40000#12", "[::1]"},
                                                        {"[::ffff:10.0.0.1]:1#3", "[::ffff:10.0.0.1]"}})
    EXPECT_EQ(LoginGuard::AddressOf(peer), address);
}

TEST(ServerUsers, FileIsPrivateEvenOverAPlantedTemporaryFile) {
  char dir[] = "/tmp/velusers.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string users = std::string(dir) + "/users", error;
  // A file at the temporary name, open to everybody, must not become the
  // users file.
  std::string planted = users + ".tmp." + std::to_string(getpid());
  { std::ofstream(planted) << "mallory:x\n"; }
  ASSERT_EQ(chmod(planted.c_str(), 0666), 0);
  ASSERT_TRUE(AddUser(users, "alice", "pw one", &error)) << error;
  struct stat st {};
  ASSERT_EQ(stat(users.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::ifstream in(users);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("pw one"), std::string::npos);
  EXPECT_TRUE(CheckUser(users, "alice", "pw one", &error));
  EXPECT_FALSE(CheckUser(users, "alice", "pw two", &error) || CheckUser(users, "mallory", "x", &error));
  EXPECT_NE(access(planted.c_str(), F_OK), 0);
  // Rights are written after the hash and read back; a line with a right
  // nobody knows admits nobody.
  UserRights rights, read;
  rights.readOnly = true;
  rights.dataSources = {"sales", "hr"};
  ASSERT_TRUE(AddUser(users, "bob", "pw", &error, rights)) << error;
  ASSERT_TRUE(CheckUser(users, "bob", "pw", &error, &read));
  EXPECT_EQ(read.Text(), "read-only,datasource=sales,datasource=hr");
  EXPECT_TRUE(read.MayOpen("hr") && !read.MayOpen("HR") && !read.MayOpen(""));
  std::ifstream(users) >> text;  // alice's line
  std::ofstream(users, std::ios::app) << "carol" << text.substr(5) << ":admin\n";
  EXPECT_FALSE(CheckUser(users, "carol", "pw one", &error));
  EXPECT_NE(error.find("unknown right \"admin\""), std::string::npos);
  EXPECT_EQ(std::system((std::string("rm -rf '") + dir + "'").c_str()), 0);
}

}  // namespace
}  // namespace velsrv
