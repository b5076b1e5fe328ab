// The server's own SQLite functions for ODBC's scalar functions.
#include "server/storage/SqliteFunctions.h"

#include <sqlite3.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>

namespace velsrv {

namespace {

std::string TextOf(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_value_bytes(v)) : std::string();
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

// The byte offset of character n (0-based) of UTF-8 text s.
size_t ByteOfChar(const std::string& s, int64_t n) {
  size_t i = 0;
  for (; i < s.size() && n > 0; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && i > 0) --n;
  while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  return n > 0 ? s.size() : i;
}

int64_t CharsBefore(const std::string& s, size_t byte) {
  int64_t n = 0;
  for (size_t i = 0; i < byte && i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++n;
  return n;
}

// LOCATE(needle, haystack, start): the 1-based character position of
// needle in haystack at or after start, 0 when not there.
void Locate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::string needle = TextOf(argv[0]), hay = TextOf(argv[1]);
  const int64_t start = argc > 2 ? sqlite3_value_int64(argv[2]) : 1;
  if (start < 1) return sqlite3_result_int64(ctx, 0);
  const size_t from = ByteOfChar(hay, start - 1);
  const size_t at = from > hay.size() ? std::string::npos : hay.find(needle, from);
  sqlite3_result_int64(ctx, at == std::string::npos ? 0 : CharsBefore(hay, at) + 1);
}

void Repeat(sqlite3_context* ctx, const std::string& s, int64_t n) {
  if (n < 0) n = 0;
  const int64_t limit = sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LENGTH, -1);
  if (static_cast<int64_t>(s.size()) * n > limit) return sqlite3_result_error_toobig(ctx);
  std::string out;
  out.reserve(s.size() * static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) out += s;
  ResultText(ctx, out);
}

void RepeatFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  Repeat(ctx, TextOf(argv[0]), sqlite3_value_int64(argv[1]));
}

void Space(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  Repeat(ctx, " ", sqlite3_value_int64(argv[0]));
}

// The American Soundex code: the first letter and three digits.
std::string Soundex(const std::string& s) {
  static const char kCodes[] = "01230120022455012623010202";
  std::string out;
  char last = 0;
  for (char c : s) {
    if (!std::isalpha(static_cast<unsigned char>(c))) continue;
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const char code = kCodes[upper - 'A'];
    if (out.empty()) {
      out += upper;
    } else if (code != '0' && code != last) {
      out += code;
      if (out.size() == 4) break;
    }
    if (upper != 'H' && upper != 'W') last = code;
  }
  if (out.empty()) return "";
  out.resize(4, '0');
  return out;
}

void SoundexFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  ResultText(ctx, Soundex(TextOf(argv[0])));
}

// DIFFERENCE: how many of the four Soundex characters agree.
void Difference(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::string a = Soundex(TextOf(argv[0])), b = Soundex(TextOf(argv[1]));
  int same = 0;
  for (size_t i = 0; i < 4 && i < a.size() && i < b.size(); ++i) same += a[i] == b[i];
  sqlite3_result_int(ctx, same);
}

// The date of a 'YYYY-MM-DD...' text: false for anything else.
bool DateOf(sqlite3_value* v, int* y, int* m, int* d) {
  const std::string t = TextOf(v);
  return t.size() >= 10 && std::sscanf(t.c_str(), "%4d-%2d-%2d", y, m, d) == 3 && *m >= 1 &&
         *m <= 12;
}

void DayName(sqlite3_context* ctx, int, sqlite3_value** argv) {
  static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
  static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int y, m, d;
  if (!DateOf(argv[0], &y, &m, &d)) return sqlite3_result_null(ctx);
  if (m < 3) --y;
  const int dow = (y + y / 4 - y / 100 + y / 400 + kOffsets[m - 1] + d) % 7;
  sqlite3_result_text(ctx, kDays[dow], -1, SQLITE_STATIC);
}

void MonthName(sqlite3_context* ctx, int, sqlite3_value** argv) {
  static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                        "May",       "June",     "July",     "August",
                                        "September", "October",  "November", "December"};
  int y, m, d;
  if (!DateOf(argv[0], &y, &m, &d)) return sqlite3_result_null(ctx);
  sqlite3_result_text(ctx, kMonths[m - 1], -1, SQLITE_STATIC);
}

// TRUNCATE(x, places): x cut (toward zero) to places after the point,
// before it when negative; an integer stays one.
void Truncate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int64_t places = sqlite3_value_int64(argv[1]);
  if (sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER && places >= 0)
    return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
  const double scale = std::pow(10.0, static_cast<double>(places));
  sqlite3_result_double(ctx, std::trunc(sqlite3_value_double(argv[0]) * scale) / scale);
}

// RAND([seed]): a value in [0, 1); with a seed, the same value each time.
void Rand(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  uint64_t x;
  if (argc == 0) {
    sqlite3_randomness(sizeof x, &x);
  } else {
    x = static_cast<uint64_t>(sqlite3_value_int64(argv[0])) + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
  }
  sqlite3_result_double(ctx, static_cast<double>(x >> 11) / 9007199254740992.0);
}

template <double (*F)(double)>
void Math1(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const double r = F(sqlite3_value_double(argv[0]));
  if (std::isnan(r)) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, r);
}

template <double (*F)(double, double)>
void Math2(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const double r = F(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
  if (std::isnan(r)) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, r);
}

double Degrees(double x) { return x * 180.0 / M_PI; }
double Radians(double x) { return x * M_PI / 180.0; }
double Acos(double x) { return std::acos(x); }
double Asin(double x) { return std::asin(x); }
double Atan(double x) { return std::atan(x); }
double Cos(double x) { return std::cos(x); }
double Sin(double x) { return std::sin(x); }
double Tan(double x) { return std::tan(x); }
double Exp(double x) { return std::exp(x); }
double Ln(double x) { return std::log(x); }
double Log10(double x) { return std::log10(x); }
double Sqrt(double x) { return std::sqrt(x); }
double Ceil(double x) { return std::ceil(x); }
double Floor(double x) { return std::floor(x); }
double Atan2(double y, double x) { return std::atan2(y, x); }
double Pow(double x, double y) { return std::pow(x, y); }
void Pi(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_double(ctx, M_PI); }

struct Registered {
  const char* name;
  int args;
  void (*function)(sqlite3_context*, int, sqlite3_value**);
};

const Registered kOwn[] = {
    {"locate", 2, Locate},   {"locate", 3, Locate},           {"repeat", 2, RepeatFunction},
    {"space", 1, Space},     {"soundex", 1, SoundexFunction}, {"difference", 2, Difference},
    {"dayname", 1, DayName}, {"monthname", 1, MonthName},     {"truncate", 2, Truncate},
    {"rand", 1, Rand},
};

const Registered kMath[] = {
    {"acos", 1, Math1<Acos>},
    {"asin", 1, Math1<Asin>},
    {"atan", 1, Math1<Atan>},
    {"atan2", 2, Math2<Atan2>},
    {"ceiling", 1, Math1<Ceil>},
    {"ceil", 1, Math1<Ceil>},
    {"cos", 1, Math1<Cos>},
    {"degrees", 1, Math1<Degrees>},
    {"exp", 1, Math1<Exp>},
    {"floor", 1, Math1<Floor>},
    {"ln", 1, Math1<Ln>},
    {"log10", 1, Math1<Log10>},
    {"pi", 0, Pi},
    {"power", 2, Math2<Pow>},
    {"radians", 1, Math1<Radians>},
    {"sin", 1, Math1<Sin>},
    {"sqrt", 1, Math1<Sqrt>},
    {"tan", 1, Math1<Tan>},
};

bool Register(sqlite3* db, const Registered& r, int flags) {
  return sqlite3_create_function_v2(db, r.name, r.args, SQLITE_UTF8 | flags, nullptr, r.function,
                                    nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

int SqliteLibraryVersion() { return sqlite3_libversion_number(); }

bool RegisterSqliteFunctions(sqlite3* db) {
  for (const Registered& r : kOwn)
    if (!Register(db, r, r.function == Rand ? 0 : SQLITE_DETERMINISTIC)) return false;
  // rand() without a seed differs on every call.
  if (!Register(db, {"rand", 0, Rand}, 0)) return false;
  if (sqlite3_compileoption_used("ENABLE_MATH_FUNCTIONS")) return true;
  for (const Registered& r : kMath)
    if (!Register(db, r, SQLITE_DETERMINISTIC)) return false;
  return true;
}

}  // namespace velsrv
