// Interval values (protocol/INTERVALS.md) travel as text: ODBC's interval
// literal without its keyword, quotes and qualifier ("-3-2" for YEAR TO
// MONTH, "1 02:03:04.5" for DAY TO SECOND, "90" for MINUTE). The codes are
// the SQL_INTERVAL_* type codes less 100 (ODBC's SQLINTERVAL values, 1 to
// 13); the driver and the server read and write the text here alone.
#ifndef VELORA_PROTOCOL_INTERVALTEXT_H
#define VELORA_PROTOCOL_INTERVALTEXT_H

#include <cstddef>
#include <cstdint>

namespace interval {

constexpr int kYear = 1, kMonth = 2, kDay = 3, kHour = 4, kMinute = 5, kSecond = 6,
              kYearToMonth = 7, kDayToHour = 8, kDayToMinute = 9, kDayToSecond = 10,
              kHourToMinute = 11, kHourToSecond = 12, kMinuteToSecond = 13;
// The SQL type codes 101 .. 113 (and the C type codes, the same numbers).
constexpr int kSqlCodeBase = 100;
inline bool IsSqlCode(int32_t sqlType) {
  return sqlType > kSqlCodeBase && sqlType <= kSqlCodeBase + kMinuteToSecond;
}
// The most digits a leading field holds, and the digits of a fraction of a
// second as values are described (microseconds, PostgreSQL's resolution).
constexpr int kLeadingDigits = 9;
constexpr int kSecondDigits = 6;

struct Fields {
  bool negative = false;
  uint32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint32_t fraction = 0;  // nanoseconds
};

// Year-month codes: YEAR, MONTH, YEAR TO MONTH; the others are day-time.
bool IsYearMonth(int code);
// A single field: the codes 1 to 6.
inline bool IsSingleField(int code) { return code >= kYear && code <= kSecond; }

enum class Outcome : uint8_t {
  kDone,
  kTruncated,   // trailing fields or digits of a fraction dropped
  kOverflow,    // the leading field holds more than kLeadingDigits digits
  kBadText,     // not the form of the code ("22018")
  kOtherClass,  // year-month into day-time or back ("07006")
};

// Reads text of n bytes (blanks around it allowed; also a whole literal
// "INTERVAL '...' qualifier", whose quoted part is read) as code's form.
Outcome Parse(int code, const char* text, size_t n, Fields* out);
// Writes code's form of f (fraction digits as needed, none for a whole
// second) with a NUL into out, which holds kTextBytes; returns its length.
constexpr size_t kTextBytes = 64;
size_t Format(int code, const Fields& f, char* out);
// The value f of code from as code to: leading field takes the whole,
// fields below the trailing one are dropped (kTruncated when not zero).
Outcome Recast(int from, const Fields& f, int to, Fields* out);
// PostgreSQL's ISO 8601 interval text ("P1Y2M3DT4H5M6.5S", each part
// signed) as code (a year-month code takes the months, a day-time code
// the rest with a month as 30 days); false when it is not that form.
bool FromIso8601(const char* text, int code, Fields* out);
// f as an ISO 8601 interval with every part signed, which PostgreSQL reads.
size_t ToIso8601(const Fields& f, char* out);

}  // namespace interval

#endif
