// The interval conversions (convert/IntervalValues.h).
#include "convert/IntervalValues.h"

#include <cstdio>
#include <cstring>

#include "convert/ColumnValue.h"
#include "convert/ParameterTable.h"
#include "protocol/IntervalText.h"

namespace {

using interval::Outcome;

// The exact numbers (SQL and C types alike) that a single field takes.
bool ExactNumber(int32_t code) {
  switch (code) {
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
      return true;
    default:
      return false;
  }
}

bool Textual(int32_t code) {
  return code == SQL_CHAR || code == SQL_VARCHAR || code == SQL_LONGVARCHAR || code == SQL_WCHAR ||
         code == SQL_WVARCHAR || code == SQL_WLONGVARCHAR;
}

// The decimal text of a C whole number at data into out; false for other
// C types (SQL_C_BIT included: not a count of an interval's field).
bool WholeNumberText(SQLSMALLINT cType, const char* data, char* out) {
  const ParamCTypeRow* c = FindParamCType(cType);
  if (c == nullptr || c->source != kSrcInteger || cType == SQL_C_BIT) return false;
  bool negative = false;
  uint64_t magnitude = 0;
  ReadWholeNumber(*c, data, &negative, &magnitude);
  std::snprintf(out, interval::kTextBytes, "%s%llu", negative ? "-" : "",
                static_cast<unsigned long long>(magnitude));
  return true;
}

int FromOutcome(Outcome o) {
  switch (o) {
    case Outcome::kDone:
      return kConversionDone;
    case Outcome::kTruncated:
      return kConversionTruncated;
    case Outcome::kOverflow:
      return kConversionIntervalOverflow;
    case Outcome::kBadText:
      return kConversionInvalidText;
    case Outcome::kOtherClass:
      break;
  }
  return kConversionRestricted;
}

}  // namespace

bool IntervalRestricted(int32_t sqlType, SQLSMALLINT cType) {
  const bool sqlInterval = interval::IsSqlCode(sqlType), cInterval = interval::IsSqlCode(cType);
  if (sqlInterval && cInterval)
    return interval::IsYearMonth(sqlType - interval::kSqlCodeBase) !=
           interval::IsYearMonth(cType - interval::kSqlCodeBase);
  if (cInterval)  // from a text, or an exact number into a single field
    return !Textual(sqlType) &&
           !(ExactNumber(sqlType) && interval::IsSingleField(cType - interval::kSqlCodeBase));
  if (!sqlInterval) return false;
  if (cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY) return false;
  return !(ExactNumber(cType) || cType == SQL_C_TINYINT || cType == SQL_C_SHORT ||
           cType == SQL_C_LONG || cType == SQL_C_NUMERIC) ||
         !interval::IsSingleField(sqlType - interval::kSqlCodeBase);
}

int GetIntervalStruct(const ColumnValue* value, SQLSMALLINT cType, void* rgbValue,
                      SQLLEN* pcbValue) {
  const int32_t sqlType = value->SqlType();
  if (IntervalRestricted(sqlType, cType)) return kConversionRestricted;
  char text[interval::kTextBytes + 32];
  SQLLEN n = 0;
  const int got = value->GetChar(text, sizeof text, &n);
  if (got != kConversionDone) return got == kConversionTruncated ? kConversionInvalidText : got;
  const int to = cType - interval::kSqlCodeBase;
  interval::Fields f;
  Outcome outcome;
  if (interval::IsSqlCode(sqlType)) {
    interval::Fields held;
    outcome =
        interval::Parse(sqlType - interval::kSqlCodeBase, text, static_cast<size_t>(n), &held);
    if (outcome == Outcome::kDone)
      outcome = interval::Recast(sqlType - interval::kSqlCodeBase, held, to, &f);
  } else {
    outcome = interval::Parse(to, text, static_cast<size_t>(n), &f);
  }
  if (outcome != Outcome::kDone && outcome != Outcome::kTruncated) return FromOutcome(outcome);
  // The fraction in the C structure has the default seconds precision, 6.
  if (f.fraction % 1000 != 0) outcome = Outcome::kTruncated;
  SQL_INTERVAL_STRUCT s;
  std::memset(&s, 0, sizeof s);
  s.interval_type = static_cast<SQLINTERVAL>(to);
  s.interval_sign = f.negative ? SQL_TRUE : SQL_FALSE;
  if (interval::IsYearMonth(to)) {
    s.intval.year_month.year = f.year;
    s.intval.year_month.month = f.month;
  } else {
    s.intval.day_second.day = f.day;
    s.intval.day_second.hour = f.hour;
    s.intval.day_second.minute = f.minute;
    s.intval.day_second.second = f.second;
    s.intval.day_second.fraction = f.fraction / 1000;
  }
  std::memcpy(rgbValue, &s, sizeof s);
  if (pcbValue != nullptr) {
    const SQLLEN size = sizeof s;
    std::memcpy(pcbValue, &size, sizeof size);
  }
  return FromOutcome(outcome);
}

ParamOutcome IntervalParameter(SQLSMALLINT cType, const SqlTypeInfo* sql, const char* text,
                               uint32_t length, ConvertedValue* out) {
  const int32_t sqlType = sql != nullptr ? sql->code : 0;
  const bool sqlInterval = interval::IsSqlCode(sqlType), cInterval = interval::IsSqlCode(cType);
  if (!(cInterval ? sqlInterval || Textual(sqlType)
                  : sqlInterval && !IntervalRestricted(sqlType, cType)))
    return kParamNotSupported;
  interval::Fields f;
  int from = sqlType - interval::kSqlCodeBase;
  Outcome outcome;
  // Wide text and whole numbers become the narrow text the parse takes: an
  // interval's characters are all ASCII, and a number is the single
  // field's value (its digits beyond the leading precision overflow).
  char narrow[interval::kTextBytes];
  if (cType == SQL_C_WCHAR) {
    const uint32_t n = length / 2;
    if (n >= sizeof narrow) return kParamIntervalText;
    for (uint32_t i = 0; i < n; ++i) {
      uint16_t unit = 0;
      std::memcpy(&unit, text + 2 * i, 2);
      if (unit == 0 || unit > 0x7f) return kParamIntervalText;
      narrow[i] = static_cast<char>(unit);
    }
    text = narrow;
    length = n;
  } else if (!cInterval && cType != SQL_C_CHAR) {
    if (!WholeNumberText(cType, text, narrow)) return kParamNotSupported;
    text = narrow;
    length = static_cast<uint32_t>(std::strlen(narrow));
  }
  if (cInterval) {
    SQL_INTERVAL_STRUCT s;
    std::memcpy(&s, text, sizeof s);
    from = cType - interval::kSqlCodeBase;
    f.negative = s.interval_sign == SQL_TRUE;
    if (interval::IsYearMonth(from)) {
      f.year = s.intval.year_month.year;
      f.month = s.intval.year_month.month;
    } else {
      f.day = s.intval.day_second.day;
      f.hour = s.intval.day_second.hour;
      f.minute = s.intval.day_second.minute;
      f.second = s.intval.day_second.second;
      f.fraction = s.intval.day_second.fraction % 1000000 * 1000;
    }
    // The leading field takes the whole; the further ones are carried.
    const int to = sqlInterval ? sqlType - interval::kSqlCodeBase : from;
    interval::Fields g;
    outcome = interval::Recast(from, f, to, &g);
    f = g;
    from = to;
  } else {
    outcome = interval::Parse(from, text, length, &f);
  }
  switch (outcome) {
    case Outcome::kDone:
    case Outcome::kTruncated:
      break;
    case Outcome::kOverflow:
      return kParamIntervalOverflow;
    case Outcome::kBadText:
      return kParamIntervalText;
    case Outcome::kOtherClass:
      return kParamNotSupported;
  }
  char form[interval::kTextBytes];
  const size_t n = interval::Format(from, f, form);
  return out->SetText(form, static_cast<uint32_t>(n)) ? kParamDone : kParamMemory;
}
