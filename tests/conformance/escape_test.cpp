// Escape clauses: each of ODBC's grammar run on the storage at hand with
// the value it gives; the masks SQLGetInfo answers claim exactly the rows
// that run; quoted text, comments and no-scan leave a clause alone.
#include <cmath>
#include <cstdlib>

#include "conformance.h"

namespace {

constexpr const char* kError = "error";
#define TS "{ts '2024-05-06 07:08:09'}"
#define D "{d '2024-05-06'}"
#define DIFF(u) "{fn TIMESTAMPDIFF(SQL_TSI_" u ", " TS ", {ts '2025-08-07 08:09:10'})}"
#define OJ(j, on) "(SELECT count(*) FROM {oj (SELECT 1 AS x) a " j " (SELECT 1 AS x) b ON " on "})"
#define DL(lit) "TIMESTAMP '2024-05-06 00:00:00' + INTERVAL " lit

// An expression (a full statement when it starts with SELECT: then its
// value and column label) and what it gives on SQLite and on PostgreSQL
// (null: the same); info and bit: the mask bit it exercises.
struct EscapeRow {
  SQLUSMALLINT info;
  SQLUINTEGER bit;
  const char* sql;
  const char* sqlite;
  const char* postgres = nullptr;
  SQLULEN noscan = SQL_NOSCAN_OFF;
};

// clang-format off
const EscapeRow kRows[] = {
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_ASCII, "{fn ASCII('a')}", "97"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_BIT_LENGTH, "{fn BIT_LENGTH('ab')}", "16"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_CHAR, "{fn CHAR(97)}", "a"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_CHAR_LENGTH, "{fn CHAR_LENGTH('abc')}", "3"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_CHARACTER_LENGTH, "{fn CHARACTER_LENGTH('abc')}", "3"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_CONCAT, "{fn CONCAT('a', 'b')}", "ab"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_DIFFERENCE, "{fn DIFFERENCE('Robert', 'Rupert')}", "4", kError},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_INSERT, "{fn INSERT('abcdef', 2, 3, 'X')}", "aXef"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_LCASE, "{fn LCASE('AB')}", "ab"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_LEFT, "{fn LEFT('abc', 2)}", "ab"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_LENGTH, "{fn LENGTH('ab  ')}", "2"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_LOCATE, "{fn LOCATE('b', 'abcb')}", "2"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_LOCATE_2, "{fn LOCATE('b', 'abcb', 3)}", "4"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_LTRIM, "{fn LTRIM('  a')}", "a"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_OCTET_LENGTH, "{fn OCTET_LENGTH('ab')}", "2"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_POSITION, "{fn POSITION('b' IN 'abc')}", "2"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_REPEAT, "{fn REPEAT('ab', 2)}", "abab"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_REPLACE, "{fn REPLACE('abc', 'b', 'x')}", "axc"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_RIGHT, "{fn RIGHT('abc', 2)}", "bc"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_RTRIM, "{fn RTRIM('a  ')}", "a"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_SOUNDEX, "{fn SOUNDEX('Robert')}", "R163", kError},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_SPACE, "'[' || {fn SPACE(2)} || ']'", "[  ]"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_SUBSTRING, "{fn SUBSTRING('abcde', 2, 3)}", "bcd"},
    {SQL_STRING_FUNCTIONS, SQL_FN_STR_UCASE, "{fn UCASE('a')}", "A"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ABS, "{fn ABS(-1)}", "1"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ACOS, "{fn ACOS(1)}", "0"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ASIN, "{fn ASIN(0)}", "0"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ATAN, "{fn ATAN(0)}", "0"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ATAN2, "{fn ATAN2(0, 1)}", "0"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_CEILING, "{fn CEILING(1.2)}", "2"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_COS, "{fn COS(0)}", "1"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_COT, "{fn COT(1)}", "0.642092615934331"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_DEGREES, "{fn DEGREES({fn PI()})}", "180"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_EXP, "{fn EXP(0)}", "1"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_FLOOR, "{fn FLOOR(1.8)}", "1"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_LOG, "{fn LOG(1)}", "0"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_LOG10, "{fn LOG10(100)}", "2"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_MOD, "{fn MOD(7, 3)}", "1"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_PI, "{fn PI()}", "3.14159265358979"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_POWER, "{fn POWER(2, 3)}", "8"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_RADIANS, "{fn RADIANS(180)}", "3.14159265358979"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_RAND, "CASE WHEN {fn RAND()} < 1 THEN 1 END", "1"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_RAND, "CASE WHEN {fn RAND(5)} = {fn RAND(5)} THEN 1 END", "1"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ROUND, "{fn ROUND(1.26, 1)}", "1.3"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ROUND, "{fn ROUND(1234, -2)}", "1200"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SIGN, "{fn SIGN(-2)}", "-1"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SIN, "{fn SIN(0)}", "0"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SQRT, "{fn SQRT(4)}", "2"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_TAN, "{fn TAN(0)}", "0"},
    {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_TRUNCATE, "{fn TRUNCATE(1.29, 1)}", "1.2"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_DATE, "CASE WHEN {fn CURRENT_DATE()} IS NOT NULL THEN 1 END", "1"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIME, "CASE WHEN {fn CURRENT_TIME()} IS NOT NULL THEN 1 END", "1"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIME, "CASE WHEN {fn CURRENT_TIME(0)} IS NOT NULL THEN 1 END", "1"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIMESTAMP, "CASE WHEN {fn CURRENT_TIMESTAMP()} IS NOT NULL THEN 1 END", "1"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIMESTAMP, "CASE WHEN {fn CURRENT_TIMESTAMP(3)} IS NOT NULL THEN 1 END", "1"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURDATE, "CASE WHEN {fn CURDATE()} IS NOT NULL THEN 1 END", "1"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURTIME, "CASE WHEN {fn CURTIME()} IS NOT NULL THEN 1 END", "1"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_NOW, "CASE WHEN {fn NOW()} IS NOT NULL THEN 1 END", "1"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYNAME, "{fn DAYNAME(" D ")}", "Monday"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFMONTH, "{fn DAYOFMONTH(" D ")}", "6"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFWEEK, "{fn DAYOFWEEK(" D ")}", "2"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFYEAR, "{fn DAYOFYEAR(" D ")}", "127"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_EXTRACT, "{fn EXTRACT(YEAR FROM " D ")}", "2024"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_HOUR, "{fn HOUR(" TS ")}", "7"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MINUTE, "{fn MINUTE(" TS ")}", "8"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MONTH, "{fn MONTH(" D ")}", "5"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MONTHNAME, "{fn MONTHNAME(" D ")}", "May"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_QUARTER, "{fn QUARTER(" D ")}", "2"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_SECOND, "{fn SECOND(" TS ")}", "9"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_TIMESTAMPADD, "{fn TIMESTAMPADD(SQL_TSI_DAY, 1, " TS ")}", "2024-05-07 07:08:09"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_TIMESTAMPDIFF, DIFF("DAY"), "458"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_WEEK, "{fn WEEK(" D ")}", "19"},
    {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_YEAR, "{fn YEAR(" D ")}", "2024"},
    {SQL_TIMEDATE_ADD_INTERVALS, SQL_FN_TSI_SECOND, "{fn TIMESTAMPADD(SQL_TSI_SECOND, 1, " TS ")}", "2024-05-06 07:08:10"},
    {SQL_TIMEDATE_ADD_INTERVALS, SQL_FN_TSI_MINUTE, "{fn TIMESTAMPADD(SQL_TSI_MINUTE, 1, " TS ")}", "2024-05-06 07:09:09"},
    {SQL_TIMEDATE_ADD_INTERVALS, SQL_FN_TSI_HOUR, "{fn TIMESTAMPADD(SQL_TSI_HOUR, -1, " TS ")}", "2024-05-06 06:08:09"},
    {SQL_TIMEDATE_ADD_INTERVALS, SQL_FN_TSI_DAY, "{fn TIMESTAMPADD(SQL_TSI_DAY, 1, " TS ")}", "2024-05-07 07:08:09"},
    {SQL_TIMEDATE_ADD_INTERVALS, SQL_FN_TSI_WEEK, "{fn TIMESTAMPADD(SQL_TSI_WEEK, 1, " TS ")}", "2024-05-13 07:08:09"},
    {SQL_TIMEDATE_ADD_INTERVALS, SQL_FN_TSI_MONTH, "{fn TIMESTAMPADD(SQL_TSI_MONTH, 1, " TS ")}", "2024-06-06 07:08:09"},
    {SQL_TIMEDATE_ADD_INTERVALS, SQL_FN_TSI_QUARTER, "{fn TIMESTAMPADD(SQL_TSI_QUARTER, 1, " TS ")}", "2024-08-06 07:08:09"},
    {SQL_TIMEDATE_ADD_INTERVALS, SQL_FN_TSI_YEAR, "{fn TIMESTAMPADD(SQL_TSI_YEAR, 1, " TS ")}", "2025-05-06 07:08:09"},
    {SQL_TIMEDATE_DIFF_INTERVALS, SQL_FN_TSI_SECOND, DIFF("SECOND"), "39574861"},
    {SQL_TIMEDATE_DIFF_INTERVALS, SQL_FN_TSI_MINUTE, DIFF("MINUTE"), "659581"},
    {SQL_TIMEDATE_DIFF_INTERVALS, SQL_FN_TSI_HOUR, DIFF("HOUR"), "10993"},
    {SQL_TIMEDATE_DIFF_INTERVALS, SQL_FN_TSI_DAY, DIFF("DAY"), "458"},
    {SQL_TIMEDATE_DIFF_INTERVALS, SQL_FN_TSI_WEEK, DIFF("WEEK"), "65"},
    {SQL_TIMEDATE_DIFF_INTERVALS, SQL_FN_TSI_MONTH, DIFF("MONTH"), "15"},
    {SQL_TIMEDATE_DIFF_INTERVALS, SQL_FN_TSI_QUARTER, DIFF("QUARTER"), "5"},
    {SQL_TIMEDATE_DIFF_INTERVALS, SQL_FN_TSI_YEAR, DIFF("YEAR"), "1"},
    {SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_DBNAME, "CASE WHEN {fn DATABASE()} <> '' THEN 1 END", "1"},
    {SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_IFNULL, "{fn IFNULL(NULL, 2)}", "2"},
    {SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_USERNAME, "CASE WHEN {fn USER()} IS NOT NULL THEN 1 END", "1"},
    {SQL_CONVERT_FUNCTIONS, SQL_FN_CVT_CONVERT, "{fn CONVERT('12', SQL_INTEGER)} + 1", "13"},
    {SQL_CONVERT_FUNCTIONS, SQL_FN_CVT_CAST, "CAST('12' AS INTEGER) + 1", "13"},
    {SQL_OJ_CAPABILITIES, SQL_OJ_LEFT, OJ("LEFT OUTER JOIN", "a.x = b.x + 1"), "1"},
    {SQL_OJ_CAPABILITIES, SQL_OJ_RIGHT, OJ("RIGHT OUTER JOIN", "a.x = b.x + 1"), "1"},
    {SQL_OJ_CAPABILITIES, SQL_OJ_FULL, OJ("FULL OUTER JOIN", "a.x = b.x + 1"), "2"},
    {SQL_OJ_CAPABILITIES, SQL_OJ_NESTED, OJ("LEFT OUTER JOIN", "a.x = b.x LEFT OUTER JOIN (SELECT 2 AS x) c ON b.x = c.x"), "1"},
    {SQL_OJ_CAPABILITIES, SQL_OJ_NOT_ORDERED, OJ("LEFT OUTER JOIN", "b.x = a.x"), "1"},
    {SQL_OJ_CAPABILITIES, SQL_OJ_INNER, OJ("LEFT OUTER JOIN", "a.x = b.x INNER JOIN (SELECT 1 AS x) c ON a.x = c.x"), "1"},
    {SQL_OJ_CAPABILITIES, SQL_OJ_ALL_COMPARISON_OPS, OJ("LEFT OUTER JOIN", "a.x < b.x"), "1"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_DATE, "DATE '2024-05-06'", kError, "2024-05-06"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_TIME, "TIME '07:08:09'", kError, "07:08:09"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_TIMESTAMP, "TIMESTAMP '2024-05-06 07:08:09'", kError, "2024-05-06 07:08:09"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_YEAR, DL("'1' YEAR"), kError, "2025-05-06 00:00:00"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_MONTH, DL("'1' MONTH"), kError, "2024-06-06 00:00:00"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_DAY, DL("'1' DAY"), kError, "2024-05-07 00:00:00"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_HOUR, DL("'1' HOUR"), kError, "2024-05-06 01:00:00"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_MINUTE, DL("'1' MINUTE"), kError, "2024-05-06 00:01:00"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_SECOND, DL("'1' SECOND"), kError, "2024-05-06 00:00:01"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_YEAR_TO_MONTH, DL("'1-2' YEAR TO MONTH"), kError, "2025-07-06 00:00:00"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_DAY_TO_HOUR, DL("'1 2' DAY TO HOUR"), kError, "2024-05-07 02:00:00"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_DAY_TO_MINUTE, DL("'1 2:03' DAY TO MINUTE"), kError, "2024-05-07 02:03:00"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_DAY_TO_SECOND, DL("'1 2:03:04' DAY TO SECOND"), kError, "2024-05-07 02:03:04"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_HOUR_TO_MINUTE, DL("'2:03' HOUR TO MINUTE"), kError, "2024-05-06 02:03:00"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_HOUR_TO_SECOND, DL("'2:03:04' HOUR TO SECOND"), kError, "2024-05-06 02:03:04"},
    {SQL_DATETIME_LITERALS, SQL_DL_SQL92_INTERVAL_MINUTE_TO_SECOND, DL("'3:04' MINUTE TO SECOND"), kError, "2024-05-06 00:03:04"},
    // The other clauses.
    {0, 0, D, "2024-05-06"},
    {0, 0, "{t '07:08:09'}", "07:08:09"},
    {0, 0, TS, "2024-05-06 07:08:09"},
    {0, 0, "{guid '12345678-1234-1234-1234-123456789012'}", "12345678-1234-1234-1234-123456789012"},
    {0, 0, "{ts '2024-05-06 00:00:00'} + {INTERVAL '1' DAY}", kError, "2024-05-07 00:00:00"},
    {0, 0, "{ts '2024-05-06 00:00:00'} + {INTERVAL -'1-2' YEAR TO MONTH}", kError, "2023-03-06 00:00:00"},
    {0, 0, "CASE WHEN 'a_c' LIKE 'a\\_c' {escape '\\'} AND 'abc' NOT LIKE 'a\\_c' {escape '\\'} THEN 1 END", "1"},
    {0, 0, "SELECT * FROM {call esc_f(1)}", kError},
    {0, 0, "{call esc_f(1)}", kError, "2|esc_f"},
    {0, 0, "{?= call esc_f(1)}", kError, "no result set"},
    {0, 0, "{call esc_p(1)}", kError, "no result set"},
    {0, 0, "{fn NO_SUCH(1)}", kError},
    {0, 0, "{fn UCASE('a', 'b')}", kError},
    // Left alone: quoted text, quoted names, comments, no-scan.
    {0, 0, "SELECT {fn UCASE('a')} AS v", "error", nullptr, SQL_NOSCAN_ON},
    {0, 0, "SELECT '{fn UCASE(''a'')}' AS v", "{fn UCASE('a')}|v"},
    {0, 0, "SELECT '\\' || {fn UCASE('a')} AS v", "\\A|v"},
    {0, 0, "SELECT 'x' AS \"{fn UCASE('a')}\"", "x|{fn UCASE('a')}"},
    {0, 0, "SELECT 'x' AS \"a\"\"{zz}\"", "x|a\"{zz}"},
    {0, 0, "SELECT 'x' AS v -- {zz}\n", "x|v"},
    {0, 0, "SELECT 'x' AS v /* {zz} */", "x|v"},
    {0, 0, "SELECT 'x' AS [{fn UCASE('a')}]", "x|{fn UCASE('a')}", kError},
    {0, 0, "SELECT 'x' AS `{fn UCASE('a')}`", "x|{fn UCASE('a')}", kError},
    {0, 0, "SELECT $q${fn UCASE('a')}$q$ AS v", kError, "{fn UCASE('a')}|v"},
    {0, 0, "SELECT $${zz}$$ || $_1${fn UCASE('a')}$_1$ AS v", kError, "{zz}{fn UCASE('a')}|v"},
    {0, 0, "SELECT E'\\'{fn UCASE(''a'')}' AS v", kError, "'{fn UCASE('a')}|v"},
    {0, 0, "SELECT 'x' AS v /* /* */ {zz} */", kError, "x|v"},
    {0, 0, "SELECT (ARRAY[{fn UCASE('a')}])[1] AS v", kError, "A|v"},
};

// {fn CONVERT}'s types and a literal each converts from.
const struct { SQLUSMALLINT info; SQLUINTEGER bit; const char* name; const char* literal; } kTypes[] = {
    {SQL_CONVERT_BIGINT, SQL_CVT_BIGINT, "SQL_BIGINT", "1"}, {SQL_CONVERT_BINARY, SQL_CVT_BINARY, "SQL_BINARY", "'ab'"},
    {SQL_CONVERT_BIT, SQL_CVT_BIT, "SQL_BIT", "1"}, {SQL_CONVERT_CHAR, SQL_CVT_CHAR, "SQL_CHAR", "'1'"},
    {SQL_CONVERT_DATE, SQL_CVT_DATE, "SQL_DATE", "'2024-05-06'"}, {SQL_CONVERT_DECIMAL, SQL_CVT_DECIMAL, "SQL_DECIMAL", "1"},
    {SQL_CONVERT_DOUBLE, SQL_CVT_DOUBLE, "SQL_DOUBLE", "1"}, {SQL_CONVERT_FLOAT, SQL_CVT_FLOAT, "SQL_FLOAT", "1"},
    {SQL_CONVERT_INTEGER, SQL_CVT_INTEGER, "SQL_INTEGER", "1"}, {SQL_CONVERT_LONGVARCHAR, SQL_CVT_LONGVARCHAR, "SQL_LONGVARCHAR", "'1'"},
    {SQL_CONVERT_NUMERIC, SQL_CVT_NUMERIC, "SQL_NUMERIC", "1"}, {SQL_CONVERT_REAL, SQL_CVT_REAL, "SQL_REAL", "1"},
    {SQL_CONVERT_SMALLINT, SQL_CVT_SMALLINT, "SQL_SMALLINT", "1"}, {SQL_CONVERT_TIME, SQL_CVT_TIME, "SQL_TIME", "'07:08:09'"},
    {SQL_CONVERT_TIMESTAMP, SQL_CVT_TIMESTAMP, "SQL_TIMESTAMP", "'2024-05-06 07:08:09'"}, {SQL_CONVERT_TINYINT, SQL_CVT_TINYINT, "SQL_TINYINT", "1"},
    {SQL_CONVERT_VARBINARY, SQL_CVT_VARBINARY, "SQL_VARBINARY", "'ab'"}, {SQL_CONVERT_VARCHAR, SQL_CVT_VARCHAR, "SQL_VARCHAR", "'1'"},
    {SQL_CONVERT_LONGVARBINARY, SQL_CVT_LONGVARBINARY, "SQL_LONGVARBINARY", "'ab'"}, {SQL_CONVERT_WCHAR, SQL_CVT_WCHAR, "SQL_WCHAR", "'1'"},
    {SQL_CONVERT_WVARCHAR, SQL_CVT_WVARCHAR, "SQL_WVARCHAR", "'1'"}, {SQL_CONVERT_WLONGVARCHAR, SQL_CVT_WLONGVARCHAR, "SQL_WLONGVARCHAR", "'1'"},
    {SQL_CONVERT_INTERVAL_YEAR_MONTH, SQL_CVT_INTERVAL_YEAR_MONTH, "SQL_INTERVAL_YEAR_TO_MONTH", "'3-2'"},
    {SQL_CONVERT_INTERVAL_DAY_TIME, SQL_CVT_INTERVAL_DAY_TIME, "SQL_INTERVAL_DAY_TO_SECOND", "'1 02:03:04'"},
};
// clang-format on

class Escapes : public Conformance {
 protected:
  void SetUp() override {
    Conformance::SetUp();
    if (OnPostgres()) {
      Exec("CREATE OR REPLACE FUNCTION esc_f(a integer) RETURNS integer AS 'SELECT a + 1' LANGUAGE SQL");
      Exec("CREATE OR REPLACE PROCEDURE esc_p(a integer) LANGUAGE SQL AS 'SELECT 1'");
    }
  }
  SQLUINTEGER Mask(SQLUSMALLINT info) {
    SQLUINTEGER mask = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, info, &mask, sizeof mask, nullptr)) << info;
    return mask;
  }
  // What the text gives: its one value (with the column label for a full
  // statement), "no result set", or "error".
  std::string Run(const std::string& text, SQLULEN noscan = SQL_NOSCAN_OFF) {
    const bool full = text.rfind("SELECT ", 0) == 0 || text.rfind("{call", 0) == 0 || text.rfind("{?=", 0) == 0;
    const std::string sql = full ? text : "SELECT " + text + " AS v";
    EXPECT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(s, SQL_ATTR_NOSCAN, (SQLPOINTER)noscan, 0)));
    std::string result = kError;
    if (SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS))) {
      SQLSMALLINT columns = 0;
      SQLCHAR label[64] = {0};
      SQLNumResultCols(s, &columns);
      SQLDescribeCol(s, 1, label, sizeof label, nullptr, nullptr, nullptr, nullptr, nullptr);
      result =
          columns == 0 ? "no result set" : Rows(s, SQL_SUCCESS, {1}) + (full ? std::string("|") + (char*)label : "");
    }
    SQLFreeStmt(s, SQL_CLOSE);
    return result;
  }
};

// Numbers are equal by value; texts as written.
bool Same(const std::string& want, const std::string& got) {
  char *endWant, *endGot;
  const double a = std::strtod(want.c_str(), &endWant), b = std::strtod(got.c_str(), &endGot);
  if (!want.empty() && !got.empty() && *endWant == 0 && *endGot == 0) return std::fabs(a - b) < 1e-9;
  return want == got;
}

TEST_P(Escapes, EveryClauseGivesItsValueAndTheMasksClaimWhatRuns) {
  for (const EscapeRow& row : kRows) {
    SCOPED_TRACE(row.sql);
    const std::string want = OnPostgres() && row.postgres ? row.postgres : row.sqlite;
    const std::string got = Run(row.sql, row.noscan);
    EXPECT_TRUE(Same(want, got)) << want << " != " << got;
    if (row.info != 0) {
      EXPECT_EQ(want != kError, (Mask(row.info) & row.bit) != 0);
    }
  }
  EXPECT_EQ(Mask(SQL_OJ_CAPABILITIES), Mask(65003));  // ODBC 2.01's number of it
  // Every bit claimed has its row.
  for (SQLUSMALLINT info : {SQL_STRING_FUNCTIONS, SQL_NUMERIC_FUNCTIONS, SQL_TIMEDATE_FUNCTIONS, SQL_SYSTEM_FUNCTIONS,
                            SQL_CONVERT_FUNCTIONS, SQL_TIMEDATE_ADD_INTERVALS, SQL_TIMEDATE_DIFF_INTERVALS,
                            SQL_OJ_CAPABILITIES, SQL_DATETIME_LITERALS}) {
    const SQLUINTEGER mask = Mask(info);
    for (SQLUINTEGER bit = 1; bit != 0; bit <<= 1) {
      bool exercised = false;
      for (const EscapeRow& row : kRows) exercised |= row.info == info && row.bit == bit;
      EXPECT_TRUE(!(mask & bit) || exercised) << "info " << info << " bit " << bit;
    }
  }
}

// Each conversion a SQL_CONVERT_* mask claims runs.
TEST_P(Escapes, EveryClaimedConversionRuns) {
  for (const auto& from : kTypes) {
    const SQLUINTEGER mask = Mask(from.info);
    for (const auto& to : kTypes) {
      if (!(mask & to.bit)) continue;
      const char* literal = from.literal[0] == '\'' && from.literal[1] == '1' ? to.literal : from.literal;
      const std::string sql =
          std::string("{fn CONVERT({fn CONVERT(") + literal + ", " + from.name + ")}, " + to.name + ")}";
      EXPECT_NE(kError, Run(sql)) << sql;
    }
  }
}

VEL_CONFORMANCE_SUITE(Escapes);

}  // namespace
