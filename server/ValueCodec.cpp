// Row layouts (BIGINT words, packed NUMERIC, DATE/TIME/TIMESTAMP fields,
// counted binaries, NUL-terminated texts) and parameter forms.
#include "server/ValueCodec.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velsrv {

const uint16_t kNativeLengthValues[13] = {10, 1, 6, 12, 8, 8, 4, 12, 4, 2, 6, 16, 1};

namespace {

Status TooLong(const char* what) { return Status::Error("22001", 0, std::string(what) + " is longer than the column allows"); }
Status OutOfRange(const char* type) {
  return Status::Error("22003", 0, std::string("value out of range for ") + type);
}
Status NotConvertible(const char* type) {
  return Status::Error("22005", 0, std::string("value cannot be converted to ") + type);
}

void Put16(std::string* out, uint16_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>(v >> 8));
}
void Put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Text form of any value.
std::string AsText(const Value& v) {
  switch (v.kind) {
    case Value::Kind::kInteger:
      return std::to_string(v.integer);
    case Value::Kind::kReal:
      return FormatReal(v.real);
    default:
      return v.bytes;
  }
}

bool ParseDouble(const std::string& text, double* out) {
  std::string t = Trimmed(text);
  if (t.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double d = std::strtod(t.c_str(), &end);
  if (*end != '\0' || !std::isfinite(d)) return false;
  *out = d;
  return true;
}

// Integer value of v; fractional reals and texts are not integers.
Status ToInt64(const Value& v, const char* type, int64_t* out) {
  switch (v.kind) {
    case Value::Kind::kInteger:
      *out = v.integer;
      return Status::Ok();
    case Value::Kind::kReal:
      if (!std::isfinite(v.real) || v.real != std::trunc(v.real)) return NotConvertible(type);
      if (v.real < -9223372036854775808.0 || v.real >= 9223372036854775808.0) return OutOfRange(type);
      *out = static_cast<int64_t>(v.real);
      return Status::Ok();
    case Value::Kind::kText: {
      std::string t = Trimmed(v.bytes);
      if (t.empty()) return NotConvertible(type);
      char* end = nullptr;
      errno = 0;
      long long x = std::strtoll(t.c_str(), &end, 10);
      if (*end == '\0') {
        if (errno == ERANGE) return OutOfRange(type);
        *out = x;
        return Status::Ok();
      }
      double d;
      if (!ParseDouble(t, &d)) return NotConvertible(type);
      return ToInt64(Value::Real(d), type, out);
    }
    default:
      return NotConvertible(type);
  }
}

Status ToDouble(const Value& v, const char* type, double* out) {
  switch (v.kind) {
    case Value::Kind::kInteger:
      *out = static_cast<double>(v.integer);
      return Status::Ok();
    case Value::Kind::kReal:
      *out = v.real;
      return Status::Ok();
    case Value::Kind::kText:
      if (!ParseDouble(v.bytes, out)) return NotConvertible(type);
      return Status::Ok();
    default:
      return NotConvertible(type);
  }
}

// A decimal number as sign, significant digits (no leading zeros) and a
// power of ten: value = digits * 10^exponent.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

// Parses [+-]digits[.digits][(e|E)[+-]digits]; false for anything else.
bool ParseDecimal(const std::string& text, Decimal* out) {
  std::string t = Trimmed(text);
  size_t i = 0;
  Decimal d;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) d.negative = t[i++] == '-';
  bool any = false;
  for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i, any = true) d.digits += t[i];
  if (i < t.size() && t[i] == '.') {
    for (++i; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i, any = true) {
      d.digits += t[i];
      --d.exponent;
    }
  }
  if (!any) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    if (i >= t.size()) return false;
    long e = 0;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) {
      e = e * 10 + (t[i] - '0');
      if (e > 100000) return false;
    }
    d.exponent += static_cast<int>(neg ? -e : e);
  }
  if (i != t.size()) return false;
  *out = d;
  return true;
}

// Drops leading zeros, moves trailing zeros into the exponent and rounds
// to at most kNumericDigits digits.
void Normalize(Decimal* d) {
  size_t lead = d->digits.find_first_not_of('0');
  if (lead == std::string::npos) {
    d->digits.clear();
    d->exponent = 0;
    d->negative = false;
    return;
  }
  d->digits.erase(0, lead);
  if (d->digits.size() > kNumericDigits) {
    int dropped = static_cast<int>(d->digits.size() - kNumericDigits);
    bool roundUp = d->digits[kNumericDigits] >= '5';
    d->digits.resize(kNumericDigits);
    d->exponent += dropped;
    if (roundUp) {
      int i = static_cast<int>(kNumericDigits) - 1;
      while (i >= 0 && d->digits[i] == '9') d->digits[i--] = '0';
      if (i >= 0) {
        d->digits[i]++;
      } else {
        d->digits.insert(d->digits.begin(), '1');
        d->digits.pop_back();
        d->exponent++;
      }
    }
  }
  size_t last = d->digits.find_last_not_of('0');
  d->exponent += static_cast<int>(d->digits.size() - 1 - last);
  d->digits.resize(last + 1);
}

Status ToDecimal(const Value& v, Decimal* out) {
  Decimal d;
  switch (v.kind) {
    case Value::Kind::kInteger: {
      d.negative = v.integer < 0;
      uint64_t magnitude = d.negative ? 0 - static_cast<uint64_t>(v.integer) : static_cast<uint64_t>(v.integer);
      d.digits = std::to_string(magnitude);
      break;
    }
    case Value::Kind::kReal: {
      if (!std::isfinite(v.real)) return NotConvertible("NUMERIC");
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.15e", v.real);
      if (!ParseDecimal(buffer, &d)) return NotConvertible("NUMERIC");
      break;
    }
    case Value::Kind::kText:
      if (!ParseDecimal(v.bytes, &d)) return NotConvertible("NUMERIC");
      break;
    default:
      return NotConvertible("NUMERIC");
  }
  Normalize(&d);
  *out = d;
  return Status::Ok();
}

// Reads n digits at text[pos]; false when they are not all digits.
bool Field(const std::string& text, size_t pos, size_t n, int* out) {
  if (pos + n > text.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    v = v * 10 + (text[i] - '0');
  }
  *out = v;
  return true;
}

struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint32_t fraction = 0;  // nanoseconds
};

bool ParseDate(const std::string& t, size_t pos, DateTime* dt) {
  return Field(t, pos, 4, &dt->year) && t[pos + 4] == '-' && Field(t, pos + 5, 2, &dt->month) &&
         t[pos + 7] == '-' && Field(t, pos + 8, 2, &dt->day) && dt->month >= 1 && dt->month <= 12 &&
         dt->day >= 1 && dt->day <= 31;
}

// hh:mm[:ss[.fffffffff]] at pos, to the end of the text.
bool ParseTime(const std::string& t, size_t pos, DateTime* dt) {
  if (!Field(t, pos, 2, &dt->hour) || pos + 2 >= t.size() || t[pos + 2] != ':' ||
      !Field(t, pos + 3, 2, &dt->minute))
    return false;
  size_t i = pos + 5;
  if (i < t.size() && t[i] == ':') {
    if (!Field(t, i + 1, 2, &dt->second)) return false;
    i += 3;
    if (i < t.size() && t[i] == '.') {
      uint32_t scale = 100000000, f = 0;
      size_t j = i + 1;
      for (; j < t.size() && std::isdigit(static_cast<unsigned char>(t[j])); ++j) {
        f += static_cast<uint32_t>(t[j] - '0') * scale;
        scale /= 10;
      }
      if (j == i + 1) return false;
      dt->fraction = f;
      i = j;
    }
  }
  return i == t.size() && dt->hour < 24 && dt->minute < 60 && dt->second < 60;
}

// Accepts "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss[.f]]" (or with "T"), and for
// wantTime also "hh:mm[:ss]".
bool ParseDateTime(const Value& v, bool wantTime, DateTime* dt) {
  if (v.kind != Value::Kind::kText) return false;
  std::string t = Trimmed(v.bytes);
  if (t.size() >= 10 && ParseDate(t, 0, dt)) {
    if (t.size() == 10) return true;
    return (t[10] == ' ' || t[10] == 'T') && ParseTime(t, 11, dt);
  }
  return wantTime && ParseTime(t, 0, dt);
}

Status EncodeText(const Value& value, const SqlTypeDesc& type, uint32_t maxLength, std::string* out) {
  std::string text = AsText(value);
  if (type.sqlType == kSqlChar && text.size() > type.length) return TooLong("the value");
  if (maxLength && text.size() > maxLength) text.resize(maxLength);
  // The text travels NUL-terminated: an embedded NUL would end it early.
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  // A CHAR(n) value is n characters, padded with blanks: the driver holds
  // CHAR values at their declared length, and padding it with NUL bytes
  // would hand applications NULs inside their strings.
  if (type.sqlType == kSqlChar) {
    size_t width = (maxLength && maxLength < type.length) ? maxLength : type.length;
    if (text.size() < width) text.resize(width, ' ');
  }
  *out = text;
  out->push_back('\0');
  return Status::Ok();
}

Status EncodeBinary(const Value& value, const SqlTypeDesc& type, uint32_t maxLength, std::string* out) {
  std::string bytes = AsText(value);
  switch (type.sqlType) {
    case kSqlBinary:
      if (bytes.size() > type.length) return TooLong("the value");
      bytes.resize(type.length, '\0');  // fixed length, padded with zero bytes
      *out = bytes;
      return Status::Ok();
    case kSqlVarBinary:
      if (maxLength && bytes.size() > maxLength) bytes.resize(maxLength);
      if (bytes.size() > 255) return TooLong("the value");
      out->assign(1, static_cast<char>(bytes.size()));
      *out += bytes;
      return Status::Ok();
    default:
      if (maxLength && bytes.size() > maxLength) bytes.resize(maxLength);
      if (bytes.size() > UINT32_MAX - 16) return TooLong("the value");
      out->clear();
      Put32(out, static_cast<uint32_t>(bytes.size()));
      *out += bytes;
      return Status::Ok();
  }
}

Status EncodeNumeric(const Value& value, std::string* out) {
  Decimal d;
  Status st = ToDecimal(value, &d);
  if (!st.ok) return st;
  if (d.exponent < -128 || d.exponent > 127) return OutOfRange("NUMERIC");
  uint8_t bytes[10] = {};
  bytes[0] = d.negative ? 1 : 0;
  bytes[1] = static_cast<uint8_t>(static_cast<int8_t>(d.exponent));
  // Digit k counts from the least significant; byte 2 holds digits 1 and 0.
  for (size_t k = 0; k < d.digits.size(); ++k) {
    int digit = d.digits[d.digits.size() - 1 - k] - '0';
    uint8_t& b = bytes[2 + k / 2];
    b |= static_cast<uint8_t>((k % 2) ? (digit << 4) : digit);
  }
  out->assign(reinterpret_cast<const char*>(bytes), 10);
  return Status::Ok();
}

}  // namespace

std::string FormatReal(double value) {
  char buffer[64];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

Status EncodeRowValue(const Value& value, const SqlTypeDesc& type, uint32_t maxLength, std::string* out) {
  out->clear();
  const char* name = SqlTypeName(type.sqlType);
  switch (type.sqlType) {
    case kSqlChar:
    case kSqlVarChar:
    case kSqlLongVarChar:
      return EncodeText(value, type, maxLength, out);
    case kSqlBinary:
    case kSqlVarBinary:
    case kSqlLongVarBinary:
      return EncodeBinary(value, type, maxLength, out);
    case kSqlBit:
    case kSqlTinyInt:
    case kSqlSmallInt:
    case kSqlInteger: {
      int64_t x;
      Status st = ToInt64(value, name, &x);
      if (!st.ok) return st;
      if (type.sqlType == kSqlBit) {
        if (x != 0 && x != 1) return OutOfRange(name);
        out->push_back(static_cast<char>(x));
      } else if (type.sqlType == kSqlTinyInt) {
        if (x < -128 || x > 127) return OutOfRange(name);
        out->push_back(static_cast<char>(static_cast<int8_t>(x)));
      } else if (type.sqlType == kSqlSmallInt) {
        if (x < INT16_MIN || x > INT16_MAX) return OutOfRange(name);
        Put16(out, static_cast<uint16_t>(static_cast<int16_t>(x)));
      } else {
        if (x < INT32_MIN || x > INT32_MAX) return OutOfRange(name);
        Put32(out, static_cast<uint32_t>(static_cast<int32_t>(x)));
      }
      return Status::Ok();
    }
    case kSqlBigInt: {
      int64_t x;
      Status st = ToInt64(value, name, &x);
      if (!st.ok) return st;
      uint64_t magnitude = x < 0 ? 0 - static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
      for (int shift = 48; shift >= 0; shift -= 16) Put16(out, static_cast<uint16_t>(magnitude >> shift));
      Put16(out, x < 0 ? 1 : 0);
      return Status::Ok();
    }
    case kSqlReal: {
      double d;
      Status st = ToDouble(value, name, &d);
      if (!st.ok) return st;
      if (std::fabs(d) > 3.402823466e+38) return OutOfRange(name);
      float f = static_cast<float>(d);
      out->assign(reinterpret_cast<const char*>(&f), 4);
      return Status::Ok();
    }
    case kSqlFloat: {
      double d;
      Status st = ToDouble(value, name, &d);
      if (!st.ok) return st;
      out->assign(reinterpret_cast<const char*>(&d), 8);
      return Status::Ok();
    }
    case kSqlNumeric:
      return EncodeNumeric(value, out);
    case kSqlDate:
    case kSqlTime:
    case kSqlTimestamp: {
      DateTime dt;
      if (!ParseDateTime(value, type.sqlType != kSqlDate, &dt)) return NotConvertible(name);
      if (type.sqlType == kSqlTime) {
        Put16(out, static_cast<uint16_t>(dt.hour));
        Put16(out, static_cast<uint16_t>(dt.minute));
        Put16(out, static_cast<uint16_t>(dt.second));
        return Status::Ok();
      }
      Put16(out, static_cast<uint16_t>(dt.year));
      Put16(out, static_cast<uint16_t>(dt.month));
      Put16(out, static_cast<uint16_t>(dt.day));
      if (type.sqlType == kSqlTimestamp) {
        Put16(out, static_cast<uint16_t>(dt.hour));
        Put16(out, static_cast<uint16_t>(dt.minute));
        Put16(out, static_cast<uint16_t>(dt.second));
        Put32(out, dt.fraction);
      }
      return Status::Ok();
    }
    default:
      return Status::Error("S1004", 0, "column type has no row layout");
  }
}

namespace {

Status WrongSize(int16_t sqlType, uint32_t length) {
  return Status::Error("S1090", 0,
                       std::string("parameter of type ") + SqlTypeName(sqlType) + " has " +
                           std::to_string(length) + " bytes, not the size of its form");
}

std::string TwoDigits(unsigned v) {
  char b[16];
  std::snprintf(b, sizeof b, "%02u", v);
  return b;
}

// The fraction as a point and three, six or nine digits, or nothing.
std::string FractionText(uint32_t f) {
  if (f == 0) return "";
  char b[16];
  std::snprintf(b, sizeof b, ".%09u", f % 1000000000u);
  std::string s = b;
  while (s.size() > 4 && s.compare(s.size() - 3, 3, "000") == 0) s.resize(s.size() - 3);
  return s;
}

Status DecodeNumericParameter(const uint8_t* p, Value* out) {
  bool negative = p[0] != 0;
  int exponent = static_cast<int8_t>(p[1]);
  uint32_t words[2] = {Get32(p + 4), Get32(p + 8)};
  // Digit k (k = 0 least significant) sits in nibble k of the two words.
  std::string digits;
  for (int k = 15; k >= 0; --k) {
    uint32_t nibble = (words[k / 8] >> (4 * (k % 8))) & 0xF;
    if (nibble > 9) return Status::Error("22005", 0, "NUMERIC parameter holds a digit above 9");
    digits += static_cast<char>('0' + nibble);
  }
  Decimal d;
  d.negative = negative;
  d.digits = digits;
  d.exponent = exponent;
  Normalize(&d);
  if (d.digits.empty()) {
    *out = Value::Integer(0);
    return Status::Ok();
  }
  // Whole numbers that fit stay exact as integers; others become reals.
  if (d.exponent >= 0 && d.digits.size() + d.exponent <= 18) {
    int64_t v = std::strtoll(d.digits.c_str(), nullptr, 10);
    for (int i = 0; i < d.exponent; ++i) v *= 10;
    *out = Value::Integer(d.negative ? -v : v);
    return Status::Ok();
  }
  std::string text = (d.negative ? "-" : "") + d.digits + "e" + std::to_string(d.exponent);
  *out = Value::Real(std::strtod(text.c_str(), nullptr));
  return Status::Ok();
}

Status DecodeBigIntParameter(const uint8_t* p, Value* out) {
  uint16_t w[4] = {Get16(p), Get16(p + 2), Get16(p + 4), Get16(p + 6)};
  bool negative = Get16(p + 8) != 0;
  // A negative value made from a C integer carries 0x8000 in w0 beside a
  // magnitude below 2^32; the one true magnitude with w0 = 0x8000 and
  // nothing in w1 is 2^63 itself, whose w2 and w3 are zero.
  if (negative && w[0] == 0x8000 && w[1] == 0 && (w[2] | w[3]) != 0) w[0] = 0;
  uint64_t magnitude = (static_cast<uint64_t>(w[0]) << 48) | (static_cast<uint64_t>(w[1]) << 32) |
                       (static_cast<uint64_t>(w[2]) << 16) | w[3];
  if (negative) {
    if (magnitude > (static_cast<uint64_t>(1) << 63)) return OutOfRange("BIGINT");
    *out = Value::Integer(static_cast<int64_t>(0 - magnitude));
  } else {
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return OutOfRange("BIGINT");
    *out = Value::Integer(static_cast<int64_t>(magnitude));
  }
  return Status::Ok();
}

}  // namespace

Status DecodeParameter(int16_t sqlType, const uint8_t* data, uint32_t length, Value* out) {
  const uint8_t* p = data;
  switch (sqlType) {
    case kSqlChar:
    case kSqlVarChar:
    case kSqlLongVarChar: {
      std::string text(reinterpret_cast<const char*>(p), length);
      if (!text.empty() && text.back() == '\0') text.pop_back();  // the form counts its NUL
      *out = Value::Text(text);
      return Status::Ok();
    }
    case kSqlBinary:
    case kSqlVarBinary:
    case kSqlLongVarBinary:
      *out = Value::Blob(std::string(reinterpret_cast<const char*>(p), length));
      return Status::Ok();
    case kSqlBit:
      if (length != 1) return WrongSize(sqlType, length);
      *out = Value::Integer(p[0]);
      return Status::Ok();
    case kSqlTinyInt:
      if (length != 1) return WrongSize(sqlType, length);
      *out = Value::Integer(static_cast<int8_t>(p[0]));
      return Status::Ok();
    case kSqlSmallInt:
      if (length != 2) return WrongSize(sqlType, length);
      *out = Value::Integer(static_cast<int16_t>(Get16(p)));
      return Status::Ok();
    case kSqlInteger:
      if (length != 4) return WrongSize(sqlType, length);
      *out = Value::Integer(static_cast<int32_t>(Get32(p)));
      return Status::Ok();
    case kSqlBigInt:
      if (length != 10) return WrongSize(sqlType, length);
      return DecodeBigIntParameter(p, out);
    case kSqlReal: {
      if (length != 4) return WrongSize(sqlType, length);
      float f;
      std::memcpy(&f, p, 4);
      *out = Value::Real(f);
      return Status::Ok();
    }
    case kSqlFloat:
    case kSqlDouble: {
      if (length != 8) return WrongSize(sqlType, length);
      double d;
      std::memcpy(&d, p, 8);
      *out = Value::Real(d);
      return Status::Ok();
    }
    case kSqlNumeric:
    case kSqlDecimal:
      if (length != 12) return WrongSize(sqlType, length);
      return DecodeNumericParameter(p, out);
    case kSqlDate: {
      if (length != 6) return WrongSize(sqlType, length);
      char b[32];
      std::snprintf(b, sizeof b, "%04d-%s-%s", static_cast<int16_t>(Get16(p)), TwoDigits(Get16(p + 2)).c_str(),
                    TwoDigits(Get16(p + 4)).c_str());
      *out = Value::Text(b);
      return Status::Ok();
    }
    case kSqlTime: {
      if (length != 6) return WrongSize(sqlType, length);
      *out = Value::Text(TwoDigits(Get16(p)) + ":" + TwoDigits(Get16(p + 2)) + ":" + TwoDigits(Get16(p + 4)));
      return Status::Ok();
    }
    case kSqlTimestamp: {
      if (length != 16) return WrongSize(sqlType, length);
      char b[32];
      std::snprintf(b, sizeof b, "%04d-%s-%s ", static_cast<int16_t>(Get16(p)), TwoDigits(Get16(p + 2)).c_str(),
                    TwoDigits(Get16(p + 4)).c_str());
      *out = Value::Text(std::string(b) + TwoDigits(Get16(p + 6)) + ":" + TwoDigits(Get16(p + 8)) + ":" +
                         TwoDigits(Get16(p + 10)) + FractionText(Get32(p + 12)));
      return Status::Ok();
    }
    default:
      return Status::Error("S1004", 0, "parameter SQL type " + std::to_string(sqlType) + " is not supported");
  }
}

}  // namespace velsrv
