// PostgreSQL's binary result fields: big-endian integers and floats,
// numerics in base 10000 digits, dates as days and times as microseconds
// from 2000-01-01.
#include "server/storage/PostgresBinary.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "server/values/ValueCodec.h"

namespace velsrv {

namespace {

uint64_t BigEndian(const char* p, int n) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // One load and a byte swap for the widths of numbers (every value asks).
  if (n == 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
  }
  if (n == 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return __builtin_bswap32(v);
  }
#endif
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(p[i]);
  return v;
}
int16_t Int16(const char* p) { return static_cast<int16_t>(BigEndian(p, 2)); }
int32_t Int32(const char* p) { return static_cast<int32_t>(BigEndian(p, 4)); }
int64_t Int64(const char* p) { return static_cast<int64_t>(BigEndian(p, 8)); }

// The size of a binary field of type; 0 for fields of any size.
int FixedSize(Oid type) {
  switch (type) {
    case kPgBool:
      return 1;
    case kPgInt2:
      return 2;
    case kPgInt4:
    case kPgOid:
    case kPgFloat4:
    case kPgDate:
      return 4;
    case kPgInt8:
    case kPgFloat8:
    case kPgTime:
    case kPgTimestamp:
    case kPgTimestampTz:
      return 8;
    case kPgTimeTz:
      return 12;  // the time, then the zone's offset
    default:
      return 0;
  }
}

double Float8(const char* p) {
  uint64_t bits = BigEndian(p, 8);
  double d;
  std::memcpy(&d, &bits, 8);
  // Every NaN reads as the one its text "NaN" gives.
  return std::isnan(d) ? std::numeric_limits<double>::quiet_NaN() : d;
}

float Float4(const char* p) {
  uint32_t bits = static_cast<uint32_t>(BigEndian(p, 4));
  float f;
  std::memcpy(&f, &bits, 4);
  return std::isnan(f) ? std::numeric_limits<float>::quiet_NaN() : f;
}

// A real's value as its text (the shortest that reads back) gives it.
double ShortestFloat(float f) {
  if (!std::isfinite(f)) return f;
  char b[32];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(b, sizeof b, "%.*g", digits, static_cast<double>(f));
    if (std::strtof(b, nullptr) == f) break;
  }
  return std::strtod(b, nullptr);
}

constexpr int64_t kMicrosPerDay = 86400000000LL;
constexpr int64_t kEpochDay = 10957;  // 2000-01-01 in days from 1970-01-01

// The proleptic Gregorian date of day z (from 1970-01-01); year 0 is 1 BC.
void CivilDate(int64_t z, DateTime* dt) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  dt->day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  dt->month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  dt->year = static_cast<int>(yoe + era * 400 + (dt->month <= 2 ? 1 : 0));
}

// Microseconds from midnight (up to 24:00:00).
void ClockTime(int64_t us, DateTime* dt) {
  dt->hour = static_cast<int>(us / 3600000000LL);
  dt->minute = static_cast<int>(us / 60000000 % 60);
  dt->second = static_cast<int>(us / 1000000 % 60);
  dt->fraction = static_cast<uint32_t>(us % 1000000) * 1000;
}

// The fields of a date, time or timestamp field: 0, or +1 / -1 for
// PostgreSQL's infinities.
int DateTimeFields(Oid type, const char* v, DateTime* dt) {
  if (type == kPgDate) {
    int32_t day = Int32(v);
    if (day == INT32_MAX || day == INT32_MIN) return day > 0 ? 1 : -1;
    CivilDate(kEpochDay + day, dt);
  } else if (type == kPgTime || type == kPgTimeTz) {
    ClockTime(Int64(v), dt);  // a time with zone: the time as written, its zone cut off
  } else {
    int64_t t = Int64(v);
    if (t == INT64_MAX || t == INT64_MIN) return t > 0 ? 1 : -1;
    int64_t day = t / kMicrosPerDay, us = t % kMicrosPerDay;
    if (us < 0) us += kMicrosPerDay, --day;
    CivilDate(kEpochDay + day, dt);
    ClockTime(us, dt);
  }
  return 0;
}

// The ISO text PostgreSQL writes for the value (zoned values in UTC, the
// zone left out).
std::string DateTimeText(Oid type, const char* v) {
  DateTime dt;
  if (int infinite = DateTimeFields(type, v, &dt)) return infinite > 0 ? "infinity" : "-infinity";
  char b[64];
  int k = 0;
  const bool date = type != kPgTime && type != kPgTimeTz;
  if (date)
    k = std::snprintf(b, sizeof b, "%04d-%02d-%02d%s", dt.year > 0 ? dt.year : 1 - dt.year,
                      dt.month, dt.day, type == kPgDate ? "" : " ");
  if (type != kPgDate) {
    k += std::snprintf(b + k, sizeof b - k, "%02d:%02d:%02d", dt.hour, dt.minute, dt.second);
    if (dt.fraction) {
      k += std::snprintf(b + k, sizeof b - k, ".%06u", dt.fraction / 1000);
      while (b[k - 1] == '0') --k;
    }
  }
  // Years before 1: PostgreSQL's era suffix (which no row layout takes).
  if (date && dt.year <= 0) k += std::snprintf(b + k, sizeof b - k, " BC");
  return std::string(b, k);
}

// A numeric's decimal text: its sign, weight (of the first base 10000
// digit), display scale and digits.
std::string NumericText(const char* v, int n) {
  if (n < 8) return std::string();
  const int count = Int16(v), weight = Int16(v + 2), scale = Int16(v + 6);
  const uint16_t sign = static_cast<uint16_t>(BigEndian(v + 4, 2));
  if (sign == 0xC000) return "NaN";
  if (sign == 0xD000) return "Infinity";
  if (sign == 0xF000) return "-Infinity";
  if (count < 0 || n < 8 + 2 * count) return std::string();
  auto digit = [&](int i) { return i >= 0 && i < count ? Int16(v + 8 + 2 * i) : 0; };
  std::string s = sign == 0x4000 ? "-" : "";
  char b[8];
  if (weight < 0) s += '0';
  for (int i = 0; i <= weight; ++i) {
    std::snprintf(b, sizeof b, i == 0 ? "%d" : "%04d", digit(i));
    s += b;
  }
  if (scale > 0) {
    s += '.';
    const size_t end = s.size() + scale;
    for (int i = weight + 1; s.size() < end; ++i) {
      std::snprintf(b, sizeof b, "%04d", digit(i));
      s += b;
    }
    s.resize(end);
  }
  return s;
}

}  // namespace

bool PgBinaryReadable(Oid type) {
  switch (type) {
    case kPgBool:
    case kPgBytea:
    case kPgName:
    case kPgInt8:
    case kPgInt2:
    case kPgInt4:
    case kPgText:
    case kPgOid:
    case kPgJson:
    case kPgFloat4:
    case kPgFloat8:
    case kPgUnknown:
    case kPgBpchar:
    case kPgVarchar:
    case kPgDate:
    case kPgTime:
    case kPgTimestamp:
    case kPgTimestampTz:
    case kPgTimeTz:
    case kPgNumeric:
      return true;
    default:
      return false;
  }
}

Value PgBinaryValue(Oid type, const char* v, int n) {
  const int size = FixedSize(type);
  if (size && n != size) return Value::Text(std::string(v, n));  // not what the type sends
  switch (type) {
    case kPgBool:
      return Value::Integer(v[0] ? 1 : 0);
    case kPgInt2:
      return Value::Integer(Int16(v));
    case kPgInt4:
      return Value::Integer(Int32(v));
    case kPgInt8:
      return Value::Integer(Int64(v));
    case kPgOid:
      return Value::Integer(static_cast<int64_t>(BigEndian(v, 4)));
    case kPgFloat4:
      return Value::Real(ShortestFloat(Float4(v)));
    case kPgFloat8:
      return Value::Real(Float8(v));
    case kPgNumeric:
      return Value::Text(NumericText(v, n));
    case kPgDate:
    case kPgTime:
    case kPgTimeTz:
    case kPgTimestamp:
    case kPgTimestampTz:
      return Value::Text(DateTimeText(type, v));
    case kPgBytea:
      return Value::Blob(std::string(v, n));
    default:
      return Value::Text(std::string(v, n));
  }
}

bool PgBinaryCell(Oid type, const char* v, int n, const SqlTypeDesc& column, uint32_t maxLength,
                  std::string* out, Status* status) {
  const int size = FixedSize(type);
  if (!size && type != kPgNumeric) {
    // Text and bytes are encoded where libpq holds them (PgBinaryValue's
    // Text or Blob, without the copy).
    ValueView view;
    view.kind = type == kPgBytea ? Value::Kind::kBlob : Value::Kind::kText;
    view.data = v;
    view.size = static_cast<size_t>(n);
    EncodeRowCell(view, column, maxLength, out, status);
    return true;
  }
  if (!size || n != size) return false;
  int16_t natural = 0;
  switch (type) {
    case kPgFloat4:
      if (column.sqlType != kSqlReal) return false;  // a real as a double: by its text
      *status = EncodeRowValue(Value::Real(Float4(v)), column, maxLength, out);
      return true;
    case kPgDate:
      natural = kSqlDate;
      break;
    case kPgTime:
    case kPgTimeTz:
      natural = kSqlTime;
      break;
    case kPgTimestamp:
    case kPgTimestampTz:
      natural = kSqlTimestamp;
      break;
    case kPgFloat8: {  // as PgBinaryValue reads it, without the Value
      ValueView view;
      view.kind = Value::Kind::kReal;
      view.real = Float8(v);
      EncodeRowCell(view, column, maxLength, out, status);
      return true;
    }
    case kPgInt2:
    case kPgInt4:
    case kPgInt8: {
      ValueView view;
      view.kind = Value::Kind::kInteger;
      view.integer = type == kPgInt2 ? Int16(v) : type == kPgInt4 ? Int32(v) : Int64(v);
      EncodeRowCell(view, column, maxLength, out, status);
      return true;
    }
    default:  // the other integers: their Values hold no text
      *status = EncodeRowValue(PgBinaryValue(type, v, n), column, maxLength, out);
      return true;
  }
  DateTime dt;
  // Other pairs, infinities and values no row layout holds (years before 1
  // or after 9999, 24:00:00) take the text's way and its outcome.
  if (column.sqlType != natural || DateTimeFields(type, v, &dt) != 0 || dt.hour > 23 ||
      (natural != kSqlTime && (dt.year < 1 || dt.year > 9999)))
    return false;
  EncodeRowDateTime(dt, natural, out);
  *status = Status::Ok();
  return true;
}

}  // namespace velsrv
