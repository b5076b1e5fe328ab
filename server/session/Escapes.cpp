// Escape clause rewriting: a small scanner that copies quoted text and
// comments unchanged and rewrites each {...} clause, innermost included.
// What counts as quoted follows the storage's SQL: '...' ('' inside) and
// "..." everywhere; [...] and `...` on SQLite; E'...' (with backslash
// escapes), $tag$...$tag$ and nested /* */ comments on PostgreSQL.
//
// The server translates, not the driver: only it knows the storage a
// session runs on, and one table here gives both the SQL each escape
// becomes and the masks SQLGetInfo answers, so a function is claimed
// exactly where it runs.
#include "server/session/Escapes.h"

#include <sqlext.h>

#include <cctype>
#include <vector>

#include "server/TextCase.h"

namespace velsrv {

namespace {

// One scalar function of ODBC's list with a number of arguments: the SQL
// it becomes on each storage (%1..%4 its arguments, %u the session's user
// as a literal), null where the storage cannot run it. The functions
// SQLite lacks (LOCATE with a start, REPEAT, SPACE, SOUNDEX, DIFFERENCE,
// DAYNAME, MONTHNAME, TRUNCATE, RAND with a seed, and the mathematical
// ones where SQLite was built without them) are the server's own SQLite
// functions (server/storage/SqliteFunctions.cpp).
struct FunctionRow {
  const char* name;
  int args;
  uint16_t infoType;
  uint32_t bit;
  const char* sqlite;
  const char* postgres;
};

#define VEL_STR(n, a, bit, s, p) \
  { n, a, SQL_STRING_FUNCTIONS, SQL_FN_STR_##bit, s, p }
#define VEL_NUM(n, a, bit, s, p) \
  { n, a, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_##bit, s, p }
#define VEL_TD(n, a, bit, s, p) \
  { n, a, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_##bit, s, p }
#define VEL_SYS(n, a, bit, s, p) \
  { n, a, SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_##bit, s, p }
// A field of a date, time or timestamp as an integer.
#define VEL_PART(n, bit, f, pg)                                                              \
  {                                                                                          \
    n, 1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_##bit, "CAST(strftime('" f "', %1) AS INTEGER)", \
        "CAST(EXTRACT(" pg " FROM %1) AS INTEGER)"                                           \
  }

// Five-character names of capitals and digits are written in two parts:
// whole, they would read as SQLSTATEs to the check that keeps those in
// server/Diagnostics.h.
// clang-format off
const FunctionRow kFunctions[] = {
    VEL_STR("ASCII", 1, ASCII, "unicode(%1)", "ascii(%1)"),
    VEL_STR("BIT_LENGTH", 1, BIT_LENGTH, "(length(CAST(%1 AS BLOB)) * 8)", "bit_length(%1)"),
    VEL_STR("CHAR", 1, CHAR, "char(%1)", "chr(%1)"),
    VEL_STR("CHAR_LENGTH", 1, CHAR_LENGTH, "length(%1)", "char_length(%1)"),
    VEL_STR("CHARACTER_LENGTH", 1, CHARACTER_LENGTH, "length(%1)", "char_length(%1)"),
    VEL_STR("CONCAT", 2, CONCAT, "(%1 || %2)", "(%1 || %2)"),
    // PostgreSQL has SOUNDEX only with an extension a database may lack.
    VEL_STR("DIFFERENCE", 2, DIFFERENCE, "difference(%1, %2)", nullptr),
    VEL_STR("INSERT", 4, INSERT, "(substr(%1, 1, (%2) - 1) || %4 || substr(%1, (%2) + (%3)))",
            "overlay(%1 placing %4 from %2 for %3)"),
    VEL_STR("LCASE", 1, LCASE, "lower(%1)", "lower(%1)"),
    VEL_STR("LEFT", 2, LEFT, "substr(%1, 1, %2)", "left(%1, %2)"),
    // The characters without the trailing blanks.
    VEL_STR("LENGTH", 1, LENGTH, "length(rtrim(%1))", "length(rtrim(%1))"),
    VEL_STR("LOCATE", 2, LOCATE, "instr(%2, %1)", "strpos(%2, %1)"),
    VEL_STR("LOCATE", 3, LOCATE_2, "locate(%1, %2, %3)",
            "(CASE WHEN strpos(substr(%2, %3), %1) = 0 THEN 0 ELSE strpos(substr(%2, %3), %1) + (%3) - 1 END)"),
    VEL_STR("LTRIM", 1, LTRIM, "ltrim(%1)", "ltrim(%1)"),
    VEL_STR("OCTET_LENGTH", 1, OCTET_LENGTH, "length(CAST(%1 AS BLOB))", "octet_length(%1)"),
    VEL_STR("POSITION", 2, POSITION, "instr(%2, %1)", "position(%1 IN %2)"),  // POSITION(a IN b)
    VEL_STR("REPEAT", 2, REPEAT, "repeat(%1, %2)", "repeat(%1, %2)"),
    VEL_STR("REPLACE", 3, REPLACE, "replace(%1, %2, %3)", "replace(%1, %2, %3)"),
    VEL_STR("RIGHT", 2, RIGHT, "(CASE WHEN (%2) > 0 THEN substr(%1, -(%2)) ELSE '' END)", "right(%1, %2)"),
    VEL_STR("RTRIM", 1, RTRIM, "rtrim(%1)", "rtrim(%1)"),
    VEL_STR("SOUNDEX", 1, SOUNDEX, "soundex(%1)", nullptr),
    VEL_STR("SPACE", 1, SPACE, "space(%1)", "repeat(' ', %1)"),
    VEL_STR("SUBSTRING", 3, SUBSTRING, "substr(%1, %2, %3)", "substr(%1, %2, %3)"),
    VEL_STR("SUBSTRING", 2, SUBSTRING, "substr(%1, %2)", "substr(%1, %2)"),
    VEL_STR("UCASE", 1, UCASE, "upper(%1)", "upper(%1)"),
    VEL_NUM("ABS", 1, ABS, "abs(%1)", "abs(%1)"),
    VEL_NUM("ACOS", 1, ACOS, "acos(%1)", "acos(%1)"),
    VEL_NUM("ASIN", 1, ASIN, "asin(%1)", "asin(%1)"),
    VEL_NUM("ATAN", 1, ATAN, "atan(%1)", "atan(%1)"),
    VEL_NUM("ATAN" "2", 2, ATAN2, "atan2(%1, %2)", "atan2(%1, %2)"),
    VEL_NUM("CEILING", 1, CEILING, "ceiling(%1)", "ceiling(%1)"),
    VEL_NUM("COS", 1, COS, "cos(%1)", "cos(%1)"),
    VEL_NUM("COT", 1, COT, "(1.0 / tan(%1))", "cot(%1)"),
    VEL_NUM("DEGREES", 1, DEGREES, "degrees(%1)", "degrees(%1)"),
    VEL_NUM("EXP", 1, EXP, "exp(%1)", "exp(%1)"),
    VEL_NUM("FLOOR", 1, FLOOR, "floor(%1)", "floor(%1)"),
    VEL_NUM("LOG", 1, LOG, "ln(%1)", "ln(%1)"),
    VEL_NUM("LOG" "10", 1, LOG10, "log10(%1)", "log(%1)"),
    VEL_NUM("MOD", 2, MOD, "(%1 % %2)", "mod(%1, %2)"),
    VEL_NUM("PI", 0, PI, "pi()", "pi()"),
    VEL_NUM("POWER", 2, POWER, "power(%1, %2)", "power(%1, %2)"),
    VEL_NUM("RADIANS", 1, RADIANS, "radians(%1)", "radians(%1)"),
    VEL_NUM("RAND", 0, RAND, "rand()", "random()"),
    // A seed gives the same value each time on both storages.
    VEL_NUM("RAND", 1, RAND, "rand(%1)",
            "(SELECT random() FROM (SELECT setseed(mod(abs(%1), 1000) / 1000.0)) AS seeded)"),
    // SQLite's round() takes no negative places.
    VEL_NUM("ROUND", 2, ROUND,
            "(CASE WHEN (%2) >= 0 THEN round(%1, %2) ELSE round((%1) / power(10, -(%2))) * power(10, -(%2)) END)",
            "round(CAST(%1 AS NUMERIC), %2)"),
    VEL_NUM("SIGN", 1, SIGN, "sign(%1)", "sign(%1)"),
    VEL_NUM("SIN", 1, SIN, "sin(%1)", "sin(%1)"),
    VEL_NUM("SQRT", 1, SQRT, "sqrt(%1)", "sqrt(%1)"),
    VEL_NUM("TAN", 1, TAN, "tan(%1)", "tan(%1)"),
    VEL_NUM("TRUNCATE", 2, TRUNCATE, "truncate(%1, %2)", "trunc(CAST(%1 AS NUMERIC), %2)"),
    // PostgreSQL's local forms: its CURRENT_TIME has a time zone.
    VEL_TD("CURRENT_DATE", 0, CURRENT_DATE, "CURRENT_DATE", "CURRENT_DATE"),
    VEL_TD("CURRENT_TIME", 0, CURRENT_TIME, "CURRENT_TIME", "LOCALTIME"),
    // SQLite's times have whole seconds, which every precision holds.
    VEL_TD("CURRENT_TIME", 1, CURRENT_TIME, "CURRENT_TIME", "LOCALTIME(%1)"),
    VEL_TD("CURRENT_TIMESTAMP", 0, CURRENT_TIMESTAMP, "CURRENT_TIMESTAMP", "LOCALTIMESTAMP"),
    VEL_TD("CURRENT_TIMESTAMP", 1, CURRENT_TIMESTAMP, "CURRENT_TIMESTAMP", "LOCALTIMESTAMP(%1)"),
    VEL_TD("CURDATE", 0, CURDATE, "CURRENT_DATE", "CURRENT_DATE"),
    VEL_TD("CURTIME", 0, CURTIME, "CURRENT_TIME", "LOCALTIME"),
    VEL_TD("DAYNAME", 1, DAYNAME, "dayname(%1)", "to_char(%1, 'FMDay')"),
    VEL_PART("DAYOFMONTH", DAYOFMONTH, "%d", "DAY"),
    VEL_TD("DAYOFWEEK", 1, DAYOFWEEK, "(CAST(strftime('%w', %1) AS INTEGER) + 1)",
           "(CAST(EXTRACT(DOW FROM %1) AS INTEGER) + 1)"),
    VEL_PART("DAYOFYEAR", DAYOFYEAR, "%j", "DOY"),
    VEL_PART("HOUR", HOUR, "%H", "HOUR"),
    VEL_PART("MINUTE", MINUTE, "%M", "MINUTE"),
    VEL_PART("MONTH", MONTH, "%m", "MONTH"),
    VEL_TD("MONTHNAME", 1, MONTHNAME, "monthname(%1)", "to_char(%1, 'FMMonth')"),
    VEL_TD("NOW", 0, NOW, "CURRENT_TIMESTAMP", "LOCALTIMESTAMP"),
    VEL_TD("QUARTER", 1, QUARTER, "((CAST(strftime('%m', %1) AS INTEGER) + 2) / 3)",
           "CAST(EXTRACT(QUARTER FROM %1) AS INTEGER)"),
    // The whole seconds: PostgreSQL's have a fraction.
    VEL_TD("SECOND", 1, SECOND, "CAST(strftime('%S', %1) AS INTEGER)",
           "CAST(floor(EXTRACT(SECOND FROM %1)) AS INTEGER)"),
    // Weeks start on Sunday; the one holding January 1 is week 1.
    VEL_TD("WEEK", 1, WEEK,
           "((CAST(strftime('%j', %1) AS INTEGER) + CAST(strftime('%w', strftime('%Y-01-01', %1)) AS INTEGER) - 1) / 7 + 1)",
           "((CAST(EXTRACT(DOY FROM %1) AS INTEGER) + CAST(EXTRACT(DOW FROM date_trunc('year', %1)) AS INTEGER) - 1) / 7 + 1)"),
    VEL_PART("YEAR", YEAR, "%Y", "YEAR"),
    // EXTRACT(field FROM x), TIMESTAMPADD and TIMESTAMPDIFF: see Function().
    VEL_TD("EXTRACT", 2, EXTRACT, "", ""),
    VEL_TD("TIMESTAMPADD", 3, TIMESTAMPADD, "", ""),
    VEL_TD("TIMESTAMPDIFF", 3, TIMESTAMPDIFF, "", ""),
    // SQLite's database is the one its session calls main.
    VEL_SYS("DATABASE", 0, DBNAME, "'main'", "current_database()"),
    VEL_SYS("IFNULL", 2, IFNULL, "ifnull(%1, %2)", "coalesce(%1, %2)"),
    // The server's user, whom the session logged in as.
    VEL_SYS("USER", 0, USERNAME, "%u", "%u"),
    {"CONVERT", 2, SQL_CONVERT_FUNCTIONS, SQL_FN_CVT_CONVERT, "", ""},
};
// clang-format on

// EXTRACT's fields, as the function of the same value.
const char* const kExtractFields[][2] = {{"YEAR", "YEAR"},      {"MONTH", "MONTH"},
                                         {"DAY", "DAYOFMONTH"}, {"HOUR", "HOUR"},
                                         {"MINUTE", "MINUTE"},  {"SECOND", "SECOND"}};

// TIMESTAMPADD and TIMESTAMPDIFF intervals. Adding: SQLite's date
// modifier (%1 the count) and PostgreSQL's interval. The difference in
// seconds, minutes, hours, days and weeks is the whole units elapsed; in
// months, quarters and years the difference of the calendar fields.
struct IntervalRow {
  const char* name;
  uint32_t bit;
  const char* sqliteAdd;    // datetime(ts, <this>)
  const char* postgresAdd;  // ts + <this>
  int seconds;              // of a unit of elapsed time; 0 for the calendar ones
  int months;
};
const IntervalRow kIntervals[] = {
    {"SQL_TSI_SECOND", SQL_FN_TSI_SECOND, "(%1) || ' seconds'", "(%1) * INTERVAL '1 second'", 1, 0},
    {"SQL_TSI_MINUTE", SQL_FN_TSI_MINUTE, "(%1) || ' minutes'", "(%1) * INTERVAL '1 minute'", 60,
     0},
    {"SQL_TSI_HOUR", SQL_FN_TSI_HOUR, "(%1) || ' hours'", "(%1) * INTERVAL '1 hour'", 3600, 0},
    {"SQL_TSI_DAY", SQL_FN_TSI_DAY, "(%1) || ' days'", "(%1) * INTERVAL '1 day'", 86400, 0},
    {"SQL_TSI_WEEK", SQL_FN_TSI_WEEK, "((%1) * 7) || ' days'", "(%1) * INTERVAL '7 days'", 604800,
     0},
    {"SQL_TSI_MONTH", SQL_FN_TSI_MONTH, "(%1) || ' months'", "(%1) * INTERVAL '1 month'", 0, 1},
    {"SQL_TSI_QUARTER", SQL_FN_TSI_QUARTER, "((%1) * 3) || ' months'", "(%1) * INTERVAL '3 months'",
     0, 3},
    {"SQL_TSI_YEAR", SQL_FN_TSI_YEAR, "(%1) || ' years'", "(%1) * INTERVAL '1 year'", 0, 12},
};

// {fn CONVERT}'s types: the SQL_CONVERT_* information type of each, its
// SQL_CVT_* bit, the type it becomes on each storage and its kind.
enum Kind {
  kText,
  kNumber,
  kInteger,
  kBit,
  kDate,
  kTime,
  kTimestamp,
  kBinary,
  kYearMonth,
  kDayTime
};
struct ConvertRow {
  const char* name;
  uint16_t infoType;
  uint32_t bit;
  const char* sqlite;  // CAST target, or the function that makes the value
  const char* postgres;
  Kind kind;
};
const ConvertRow kConverts[] = {
    {"SQL_BIGINT", SQL_CONVERT_BIGINT, SQL_CVT_BIGINT, "INTEGER", "BIGINT", kNumber},
    {"SQL_BINARY", SQL_CONVERT_BINARY, SQL_CVT_BINARY, "BLOB", "BYTEA", kBinary},
    {"SQL_BIT", SQL_CONVERT_BIT, SQL_CVT_BIT, "INTEGER", "BOOLEAN", kBit},
    {"SQL_CHAR", SQL_CONVERT_CHAR, SQL_CVT_CHAR, "TEXT", "TEXT", kText},
    {"SQL_DATE", SQL_CONVERT_DATE, SQL_CVT_DATE, "date", "DATE", kDate},
    {"SQL_DECIMAL", SQL_CONVERT_DECIMAL, SQL_CVT_DECIMAL, "NUMERIC", "NUMERIC", kNumber},
    {"SQL_DOUBLE", SQL_CONVERT_DOUBLE, SQL_CVT_DOUBLE, "REAL", "FLOAT8", kNumber},
    {"SQL_FLOAT", SQL_CONVERT_FLOAT, SQL_CVT_FLOAT, "REAL", "FLOAT8", kNumber},
    {"SQL_INTEGER", SQL_CONVERT_INTEGER, SQL_CVT_INTEGER, "INTEGER", "INTEGER", kInteger},
    {"SQL_LONGVARCHAR", SQL_CONVERT_LONGVARCHAR, SQL_CVT_LONGVARCHAR, "TEXT", "TEXT", kText},
    {"SQL_NUMERIC", SQL_CONVERT_NUMERIC, SQL_CVT_NUMERIC, "NUMERIC", "NUMERIC", kNumber},
    {"SQL_REAL", SQL_CONVERT_REAL, SQL_CVT_REAL, "REAL", "REAL", kNumber},
    {"SQL_SMALLINT", SQL_CONVERT_SMALLINT, SQL_CVT_SMALLINT, "INTEGER", "SMALLINT", kNumber},
    {"SQL_TIME", SQL_CONVERT_TIME, SQL_CVT_TIME, "time", "TIME", kTime},
    {"SQL_TIMESTAMP", SQL_CONVERT_TIMESTAMP, SQL_CVT_TIMESTAMP, "datetime", "TIMESTAMP",
     kTimestamp},
    {"SQL_TINYINT", SQL_CONVERT_TINYINT, SQL_CVT_TINYINT, "INTEGER", "SMALLINT", kNumber},
    {"SQL_VARBINARY", SQL_CONVERT_VARBINARY, SQL_CVT_VARBINARY, "BLOB", "BYTEA", kBinary},
    {"SQL_VARCHAR", SQL_CONVERT_VARCHAR, SQL_CVT_VARCHAR, "TEXT", "TEXT", kText},
    {"SQL_LONGVARBINARY", SQL_CONVERT_LONGVARBINARY, SQL_CVT_LONGVARBINARY, "BLOB", "BYTEA",
     kBinary},
    {"SQL_WCHAR", SQL_CONVERT_WCHAR, SQL_CVT_WCHAR, "TEXT", "TEXT", kText},
    {"SQL_WVARCHAR", SQL_CONVERT_WVARCHAR, SQL_CVT_WVARCHAR, "TEXT", "TEXT", kText},
    {"SQL_WLONGVARCHAR", SQL_CONVERT_WLONGVARCHAR, SQL_CVT_WLONGVARCHAR, "TEXT", "TEXT", kText},
    // PostgreSQL's intervals; SQLite has none.
    {"SQL_INTERVAL_YEAR_TO_MONTH", SQL_CONVERT_INTERVAL_YEAR_MONTH, SQL_CVT_INTERVAL_YEAR_MONTH,
     nullptr, "INTERVAL YEAR TO MONTH", kYearMonth},
    {"SQL_INTERVAL_DAY_TO_SECOND", SQL_CONVERT_INTERVAL_DAY_TIME, SQL_CVT_INTERVAL_DAY_TIME,
     nullptr, "INTERVAL DAY TO SECOND", kDayTime},
};

// Whether a value of kind from converts to kind to on the storage: text
// to and from everything; numbers among themselves; an integer to a bit
// and back; a date to a timestamp, a timestamp to a date or a time; on
// SQLite also a date to a time and a time to a timestamp (its date and
// time functions take any of them).
bool Converts(Kind from, Kind to, bool postgres) {
  const bool intervals =
      from == kYearMonth || from == kDayTime || to == kYearMonth || to == kDayTime;
  if (intervals && !postgres) return false;
  if (from == to || from == kText || to == kText) return true;
  const bool numeric = from == kNumber || from == kInteger,
             toNumeric = to == kNumber || to == kInteger;
  if (numeric && toNumeric) return true;
  if ((from == kInteger && to == kBit) || (from == kBit && to == kInteger)) return true;
  if (from == kTimestamp && (to == kDate || to == kTime)) return true;
  if (from == kDate && to == kTimestamp) return true;
  return !postgres && ((from == kDate && to == kTime) || (from == kTime && to == kTimestamp));
}

// Replaces %1..%9 in pattern by the arguments and %u by the user.
std::string Expand(const char* pattern, const std::vector<std::string>& args,
                   const std::string& user) {
  std::string out;
  for (const char* p = pattern; *p; ++p) {
    if (*p == '%' && p[1] >= '1' && p[1] <= '9' && static_cast<size_t>(p[1] - '1') < args.size()) {
      out += args[p[1] - '1'];
      ++p;
    } else if (*p == '%' && p[1] == 'u') {
      out += "'";
      for (char c : user) out += c == '\'' ? std::string("''") : std::string(1, c);
      out += "'";
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// Splits "a KEYWORD b" at the keyword outside parentheses and quotes.
bool SplitAt(const std::string& text, const char* keyword, std::string* a, std::string* b) {
  const std::string upper = Upper(text), word = keyword;
  int level = 0;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '(') {
      ++level;
    } else if (c == ')') {
      --level;
    } else if (level == 0 && upper.compare(i, word.size(), word) == 0 && i > 0 &&
               std::isspace(static_cast<unsigned char>(text[i - 1])) &&
               i + word.size() < text.size() &&
               std::isspace(static_cast<unsigned char>(text[i + word.size()]))) {
      *a = Trim(text.substr(0, i));
      *b = Trim(text.substr(i + word.size()));
      return !a->empty() && !b->empty();
    }
  }
  return false;
}

class Scanner {
 public:
  Scanner(const std::string& sql, const EscapeContext& context)
      : sql_(sql), context_(context), postgres_(context.dialect == SqlDialect::kPostgres) {}

  // Translates up to the end of the text (depth 0) or the closing brace
  // of the current clause.
  bool Text(std::string* out, bool inClause) {
    while (i_ < sql_.size()) {
      char c = sql_[i_];
      if (c == '\'' || c == '"' || (!postgres_ && (c == '`' || c == '['))) {
        if (!Quoted(out, postgres_ && c == '\'' && EscapeString()))
          return Fail("unterminated quoted text");
      } else if (postgres_ && c == '$' && DollarQuoted(out)) {
        continue;
      } else if (sql_.compare(i_, 2, "--") == 0) {
        size_t end = sql_.find('\n', i_);
        end = end == std::string::npos ? sql_.size() : end;
        out->append(sql_, i_, end - i_);
        i_ = end;
      } else if (sql_.compare(i_, 2, "/*") == 0) {
        if (!Comment(out)) return Fail("unterminated comment");
      } else if (c == '{') {
        ++i_;
        if (++depth_ > 32) return Fail("escape clauses nested too deeply");
        bool ok = Clause(out);
        --depth_;
        if (!ok) return false;
      } else if (c == '}') {
        if (!inClause) return Fail("\"}\" without an escape clause");
        ++i_;
        return true;
      } else {
        out->push_back(c);
        ++i_;
      }
    }
    return inClause ? Fail("unterminated escape clause") : true;
  }

  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& text) {
    if (error_.empty()) error_ = text;
    return false;
  }

  // True for a letter, digit, underscore or byte of a UTF-8 sequence:
  // the characters of an unquoted name on both storages.
  static bool NameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80) != 0;
  }

  // The quote at i_ opens E'...' (PostgreSQL): an E alone before it.
  bool EscapeString() const {
    return i_ > 0 && (sql_[i_ - 1] == 'E' || sql_[i_ - 1] == 'e') &&
           (i_ == 1 || (!NameChar(sql_[i_ - 2]) && sql_[i_ - 2] != '$'));
  }

  // $tag$...$tag$ at i_ (PostgreSQL), the tag empty or a name not starting
  // with a digit, the $ not inside a name (a$b is a name, $1 a parameter):
  // copied whole. False, nothing copied, when there is none.
  bool DollarQuoted(std::string* out) {
    if (i_ > 0 && (NameChar(sql_[i_ - 1]) || sql_[i_ - 1] == '$')) return false;
    size_t j = i_ + 1;
    if (j < sql_.size() && std::isdigit(static_cast<unsigned char>(sql_[j]))) return false;
    while (j < sql_.size() && NameChar(sql_[j])) ++j;
    if (j >= sql_.size() || sql_[j] != '$') return false;
    const std::string tag = sql_.substr(i_, j + 1 - i_);
    const size_t end = sql_.find(tag, j + 1);
    if (end == std::string::npos) return false;
    out->append(sql_, i_, end + tag.size() - i_);
    i_ = end + tag.size();
    return true;
  }

  // /* ... */ at i_, nested on PostgreSQL: copied whole.
  bool Comment(std::string* out) {
    size_t j = i_ + 2;
    for (int level = 1; level > 0; ++j) {
      if (j + 1 >= sql_.size()) return false;
      if (sql_.compare(j, 2, "*/") == 0) {
        --level;
        ++j;
      } else if (postgres_ && sql_.compare(j, 2, "/*") == 0) {
        ++level;
        ++j;
      }
    }
    out->append(sql_, i_, j - i_);
    i_ = j;
    return true;
  }

  // Quoted text at i_, the quote doubled inside it; with backslashes, a
  // backslash takes the character after it as it is.
  bool Quoted(std::string* out, bool backslashes) {
    char open = sql_[i_], close = open == '[' ? ']' : open;
    size_t j = i_ + 1;
    for (;;) {
      if (j >= sql_.size()) return false;
      if (backslashes && sql_[j] == '\\') {
        j += 2;
        continue;
      }
      if (sql_[j] == close) {
        if (close != ']' && j + 1 < sql_.size() && sql_[j + 1] == close) {
          j += 2;  // doubled quote
          continue;
        }
        break;
      }
      ++j;
    }
    out->append(sql_, i_, j + 1 - i_);
    i_ = j + 1;
    return true;
  }

  bool Clause(std::string* out) {
    auto blanks = [&] {
      while (i_ < sql_.size() && std::isspace(static_cast<unsigned char>(sql_[i_]))) ++i_;
    };
    blanks();
    std::string keyword;
    if (i_ < sql_.size() && sql_[i_] == '?') {  // {?= call ...}
      ++i_;
      blanks();
      if (i_ < sql_.size() && sql_[i_] == '=') ++i_;
      blanks();
      keyword = "?=";
    }
    size_t start = i_;
    while (i_ < sql_.size() && std::isalpha(static_cast<unsigned char>(sql_[i_]))) ++i_;
    keyword += Upper(sql_.substr(start, i_ - start));
    std::string inner;
    if (!Text(&inner, true)) return false;
    inner = Trim(inner);
    if (keyword == "D" || keyword == "T" || keyword == "TS" || keyword == "GUID") {
      if (inner.size() < 2 || inner.front() != '\'' || inner.back() != '\'')
        return Fail("{" + keyword + "} needs a quoted literal");
      // PostgreSQL needs the literal's type: a bare literal has none. A
      // GUID is text on both storages.
      if (postgres_ && keyword != "GUID")
        out->append(keyword == "D" ? "DATE " : keyword == "T" ? "TIME " : "TIMESTAMP ");
      out->append(inner);
    } else if (keyword == "INTERVAL") {
      return Interval(inner, out);
    } else if (keyword == "OJ") {
      out->append(inner);
    } else if (keyword == "ESCAPE") {
      out->append(" ESCAPE " + inner);
    } else if (keyword == "FN") {
      return Function(inner, out);
    } else if (keyword == "CALL" || keyword == "?=CALL") {
      return Procedure(inner, keyword != "CALL", out);
    } else {
      return Fail("unknown escape clause {" + keyword + "}");
    }
    return true;
  }

  // {INTERVAL [+|-] 'value' qualifier}: PostgreSQL's interval literal;
  // SQLite has no interval type.
  bool Interval(const std::string& text, std::string* out) {
    if (!postgres_) return Fail("SQLite storage has no interval type: {INTERVAL} cannot run");
    std::string rest = text;
    const bool negative = !rest.empty() && rest[0] == '-';
    if (!rest.empty() && (rest[0] == '-' || rest[0] == '+')) rest = Trim(rest.substr(1));
    if (rest.empty() || rest[0] != '\'' || rest.find('\'', 1) == std::string::npos)
      return Fail("{INTERVAL} needs a quoted value and a qualifier");
    out->append(std::string(negative ? "(-INTERVAL " : "(INTERVAL ") + rest + ")");
    return true;
  }

  // {call p(...)} and {?= call f(...)}: on PostgreSQL a procedure is
  // CALLed and a function's rows selected; the value of {?= call} comes
  // back as the one column of a one-row result set, which the driver
  // puts into the marker the clause takes up (it sends the markers after
  // it only). SQLite has no procedures, but its functions return values.
  bool Procedure(const std::string& text, bool returns, std::string* out) {
    if (!postgres_ && !returns) return Fail("SQLite storage has no procedures: {call} cannot run");
    std::string name = Trim(text.substr(0, text.find('(')));
    if (name.empty()) return Fail("{call} needs a procedure name");
    const std::string call = text.find('(') == std::string::npos ? text + "()" : text;
    if (returns)
      out->append("SELECT " + call);
    else if (context_.isProcedure && context_.isProcedure(name))
      out->append("CALL " + call);
    else
      out->append("SELECT * FROM " + call);
    return true;
  }

  // Splits "NAME(a, b)" at top-level commas.
  static bool Call(const std::string& text, std::string* name, std::vector<std::string>* args) {
    size_t open = text.find('(');
    if (open == std::string::npos || text.back() != ')') return false;
    *name = Upper(Trim(text.substr(0, open)));
    std::string body = text.substr(open + 1, text.size() - open - 2);
    int level = 0;
    char quote = 0;
    std::string current;
    for (char c : body) {
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '(') {
        ++level;
      } else if (c == ')') {
        --level;
      } else if (c == ',' && level == 0) {
        args->push_back(Trim(current));
        current.clear();
        continue;
      }
      current += c;
    }
    if (!Trim(current).empty() || !args->empty()) args->push_back(Trim(current));
    return true;
  }

  bool Function(const std::string& text, std::string* out) {
    std::string name, first, second;
    std::vector<std::string> a;
    if (!Call(text, &name, &a)) {
      // CURRENT_DATE and the like may come without parentheses.
      name = Upper(text);
    }
    if ((name == "POSITION" || name == "EXTRACT") && a.size() == 1) {
      if (!SplitAt(a[0], name == "POSITION" ? "IN" : "FROM", &first, &second))
        return Fail("{fn " + name + "} needs two operands");
      a = {first, second};
    }
    const FunctionRow* row = nullptr;
    bool known = false;
    for (const FunctionRow& f : kFunctions) {
      if (name != f.name) continue;
      known = true;
      if (static_cast<size_t>(f.args) == a.size()) row = &f;
    }
    if (!known) return Fail("unknown scalar function {fn " + name + "}");
    if (!row)
      return Fail("{fn " + name + "} does not take " + std::to_string(a.size()) + " arguments");
    const char* pattern = postgres_ ? row->postgres : row->sqlite;
    if (!pattern) return Fail(std::string("{fn ") + row->name + "} cannot run on " + Storage());
    if (name == "CONVERT") return Convert(a[0], Upper(a[1]), out);
    if (name == "EXTRACT") return Extract(Upper(a[0]), a[1], out);
    if (name == "TIMESTAMPADD" || name == "TIMESTAMPDIFF")
      return Timestamp(name == "TIMESTAMPADD", a, out);
    out->append(Expand(pattern, a, context_.user));
    return true;
  }

  const char* Storage() const { return postgres_ ? "PostgreSQL storage" : "SQLite storage"; }

  bool Extract(const std::string& field, const std::string& value, std::string* out) {
    for (const auto& f : kExtractFields)
      if (field == f[0]) return Function(std::string(f[1]) + "(" + value + ")", out);
    return Fail("{fn EXTRACT} of unknown field " + field);
  }

  bool Timestamp(bool add, const std::vector<std::string>& a, std::string* out) {
    const IntervalRow* unit = nullptr;
    for (const IntervalRow& r : kIntervals)
      if (Upper(a[0]) == r.name) unit = &r;
    if (!unit)
      return Fail("{fn TIMESTAMP" + std::string(add ? "ADD" : "DIFF") + "} of unknown interval " +
                  a[0]);
    if (add) {
      const std::string count = Expand(postgres_ ? unit->postgresAdd : unit->sqliteAdd, {a[1]}, "");
      out->append(postgres_ ? "(" + a[2] + " + " + count + ")"
                            : "datetime(" + a[2] + ", " + count + ")");
      return true;
    }
    const std::vector<std::string> ts = {a[1], a[2]};
    if (unit->seconds != 0) {
      const std::string per = std::to_string(unit->seconds);
      const std::string pattern =
          postgres_ ? "CAST(trunc(EXTRACT(EPOCH FROM (%2 - %1)) / " + per + ") AS BIGINT)"
                    : "((strftime('%s', %2) - strftime('%s', %1)) / " + per + ")";
      out->append(Expand(pattern.c_str(), ts, ""));
      return true;
    }
    // Months since year 0 (quarters: their number) of each, subtracted.
    const std::string months = postgres_ ? "(CAST(EXTRACT(YEAR FROM %N) AS INTEGER) * 12 + "
                                           "CAST(EXTRACT(MONTH FROM %N) AS INTEGER) - 1)"
                                         : "(CAST(strftime('%Y', %N) AS INTEGER) * 12 + "
                                           "CAST(strftime('%m', %N) AS INTEGER) - 1)";
    auto of = [&](const std::string& t) {
      std::string m = months, unitCount = std::to_string(unit->months);
      for (size_t p; (p = m.find("%N")) != std::string::npos;) m.replace(p, 2, t);
      return "(" + m + " / " + unitCount + ")";
    };
    out->append("(" + of(a[2]) + " - " + of(a[1]) + ")");
    return true;
  }

  bool Convert(const std::string& value, const std::string& type, std::string* out) {
    for (const ConvertRow& r : kConverts) {
      if (type != r.name) continue;
      const char* to = postgres_ ? r.postgres : r.sqlite;
      if (to == nullptr)
        return Fail("SQLite storage has no interval type: {fn CONVERT} to " + type);
      if (std::islower(static_cast<unsigned char>(to[0])))
        out->append(std::string(to) + "(" + value + ")");
      else
        out->append("CAST(" + value + " AS " + to + ")");
      return true;
    }
    return Fail("{fn CONVERT} to unknown type " + type);
  }

  const std::string& sql_;
  const EscapeContext& context_;
  bool postgres_;
  size_t i_ = 0;
  int depth_ = 0;
  std::string error_;
};

}  // namespace

bool TranslateEscapes(const std::string& sql, const EscapeContext& context, std::string* out,
                      std::string* error) {
  if (sql.find('{') == std::string::npos) {
    *out = sql;
    return true;
  }
  Scanner scanner(sql, context);
  out->clear();
  if (scanner.Text(out, false)) return true;
  *error = scanner.error();
  return false;
}

bool TranslateEscapes(const std::string& sql, SqlDialect dialect, std::string* out,
                      std::string* error) {
  EscapeContext context;
  context.dialect = dialect;
  return TranslateEscapes(sql, context, out, error);
}

std::vector<std::pair<uint16_t, uint32_t>> EscapeInfoAnswers(SqlDialect dialect,
                                                             int sqliteVersion) {
  const bool postgres = dialect == SqlDialect::kPostgres;
  std::vector<std::pair<uint16_t, uint32_t>> out;
  auto add = [&](uint16_t type, uint32_t bit) {
    for (auto& answer : out)
      if (answer.first == type) return void(answer.second |= bit);
    out.emplace_back(type, bit);
  };
  for (uint16_t type :
       {SQL_STRING_FUNCTIONS, SQL_NUMERIC_FUNCTIONS, SQL_TIMEDATE_FUNCTIONS, SQL_SYSTEM_FUNCTIONS,
        SQL_TIMEDATE_ADD_INTERVALS, SQL_TIMEDATE_DIFF_INTERVALS})
    add(type, 0);
  for (const FunctionRow& f : kFunctions)
    if (postgres ? f.postgres : f.sqlite) add(f.infoType, f.bit);
  add(SQL_CONVERT_FUNCTIONS, SQL_FN_CVT_CAST);
  for (const IntervalRow& r : kIntervals) {
    add(SQL_TIMEDATE_ADD_INTERVALS, r.bit);
    add(SQL_TIMEDATE_DIFF_INTERVALS, r.bit);
  }
  for (const ConvertRow& from : kConverts) {
    add(from.infoType, 0);
    for (const ConvertRow& to : kConverts)
      if (Converts(from.kind, to.kind, postgres)) add(from.infoType, to.bit);
  }
  // SQLite runs RIGHT and FULL joins from 3.39.
  uint32_t joins =
      SQL_OJ_LEFT | SQL_OJ_NESTED | SQL_OJ_NOT_ORDERED | SQL_OJ_INNER | SQL_OJ_ALL_COMPARISON_OPS;
  if (postgres || sqliteVersion >= 3039000) joins |= SQL_OJ_RIGHT | SQL_OJ_FULL;
  add(SQL_OJ_CAPABILITIES, joins);
  // SQL's own DATE '...' and INTERVAL '...' literals: PostgreSQL's.
  add(SQL_DATETIME_LITERALS, postgres ? 0xFFFFu : 0u);
  return out;
}

}  // namespace velsrv
