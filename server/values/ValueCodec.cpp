// Row layouts the server sends: BIGINT words, packed NUMERIC digits,
// DATE/TIME/TIMESTAMP fields, counted binaries, NUL-terminated texts.
#include "server/values/ValueCodec.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/IntervalText.h"
#include "protocol/ValueLayout.h"
#include "server/values/DecimalText.h"
#include "server/Diagnostics.h"
#include "server/TextCase.h"

namespace velsrv {

namespace {

Status TooLong(const char* what) {
  return Status::Error(kStateTruncated, 0, std::string(what) + " is longer than the column allows");
}
Status OutOfRange(const char* type) {
  return Status::Error(kStateOutOfRange, 0, std::string("value out of range for ") + type);
}
Status NotConvertible(const char* type) {
  return Status::Error(kStateInvalidCharacter, 0,
                       std::string("value cannot be converted to ") + type);
}

// Makes *out n bytes for an encoder to fill.
uint8_t* Room(std::string* out, size_t n) {
  out->assign(n, '\0');
  return reinterpret_cast<uint8_t*>(&(*out)[0]);
}
// Text form of any value.
std::string AsText(const ValueView& v) {
  switch (v.kind) {
    case Value::Kind::kInteger:
      return std::to_string(v.integer);
    case Value::Kind::kReal:
      return FormatReal(v.real);
    default:
      return std::string(v.data, v.size);
  }
}

// The text of a text or blob value without its surrounding blanks (seen
// where it lies); of a number, its text in *scratch.
void TextSpan(const ValueView& v, std::string* scratch, const char** text, size_t* size) {
  if (v.kind == Value::Kind::kInteger || v.kind == Value::Kind::kReal) {
    *scratch = AsText(v);
    *text = scratch->data();
    *size = scratch->size();
    return;
  }
  *text = v.data;
  *size = v.size;
}

// The UTF-8 characters of size bytes of text.
size_t Characters(const char* text, size_t size) {
  size_t n = 0;
  for (size_t i = 0; i < size; ++i) n += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  return n;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The text of v without the blanks Trim takes off.
std::string Trimmed(const ValueView& v) {
  size_t b = 0, e = v.size;
  while (b < e && Blank(v.data[b])) ++b;
  while (e > b && Blank(v.data[e - 1])) --e;
  return std::string(v.data + b, e - b);
}

// Decimal number text (strtod's hexadecimal forms such as "0x10" are not
// numbers of SQL text).
bool ParseDouble(const std::string& text, double* out) {
  std::string t = Trim(text);
  if (t.empty() || t.find_first_of("xX") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  double d = std::strtod(t.c_str(), &end);
  if (*end != '\0' || !std::isfinite(d)) return false;
  *out = d;
  return true;
}

// Integer value of v; fractional reals and texts are not integers.
Status ToInt64(const ValueView& v, const char* type, int64_t* out) {
  switch (v.kind) {
    case Value::Kind::kInteger:
      *out = v.integer;
      return Status::Ok();
    case Value::Kind::kReal:
      if (!std::isfinite(v.real) || v.real != std::trunc(v.real)) return NotConvertible(type);
      if (v.real < -9223372036854775808.0 || v.real >= 9223372036854775808.0)
        return OutOfRange(type);
      *out = static_cast<int64_t>(v.real);
      return Status::Ok();
    case Value::Kind::kText: {
      std::string t = Trimmed(v);
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
      ValueView real;
      real.kind = Value::Kind::kReal;
      real.real = d;
      return ToInt64(real, type, out);
    }
    default:
      return NotConvertible(type);
  }
}

Status ToDouble(const ValueView& v, const char* type, double* out) {
  switch (v.kind) {
    case Value::Kind::kInteger:
      *out = static_cast<double>(v.integer);
      return Status::Ok();
    case Value::Kind::kReal:
      *out = v.real;
      return Status::Ok();
    case Value::Kind::kText:
      if (!ParseDouble(std::string(v.data, v.size), out)) return NotConvertible(type);
      return Status::Ok();
    default:
      return NotConvertible(type);
  }
}

Status ToDecimal(const ValueView& v, Decimal* out) {
  Decimal d;
  switch (v.kind) {
    case Value::Kind::kInteger: {
      d.negative = v.integer < 0;
      uint64_t magnitude =
          d.negative ? 0 - static_cast<uint64_t>(v.integer) : static_cast<uint64_t>(v.integer);
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
      if (!ParseDecimal(std::string(v.data, v.size), &d)) return NotConvertible("NUMERIC");
      break;
    default:
      return NotConvertible("NUMERIC");
  }
  Normalize(&d);
  *out = d;
  return Status::Ok();
}

// Text seen where it lies.
struct Span {
  const char* p;
  size_t n;
  char operator[](size_t i) const { return p[i]; }
  size_t size() const { return n; }
};

// Reads n digits at text[pos]; false when they are not all digits.
bool Field(const Span& text, size_t pos, size_t n, int* out) {
  if (pos + n > text.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    v = v * 10 + (text[i] - '0');
  }
  *out = v;
  return true;
}

// Days in month 1..12 of year (Gregorian calendar).
int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// yyyy-mm-dd at pos, a date that exists: year 1 to 9999, the day within
// its month ("2023-02-29" is not a date and must not reach applications).
bool ParseDate(const Span& t, size_t pos, DateTime* dt) {
  return Field(t, pos, 4, &dt->year) && t[pos + 4] == '-' && Field(t, pos + 5, 2, &dt->month) &&
         t[pos + 7] == '-' && Field(t, pos + 8, 2, &dt->day) && dt->year >= 1 && dt->month >= 1 &&
         dt->month <= 12 && dt->day >= 1 && dt->day <= DaysInMonth(dt->year, dt->month);
}

// hh:mm[:ss[.fffffffff]] at pos, to the end of the text.
bool ParseTime(const Span& t, size_t pos, DateTime* dt) {
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
bool ParseDateTime(const ValueView& v, bool wantTime, DateTime* dt) {
  if (v.kind != Value::Kind::kText) return false;
  size_t b = 0, e = v.size;
  while (b < e && Blank(v.data[b])) ++b;
  while (e > b && Blank(v.data[e - 1])) --e;
  const Span t{v.data + b, e - b};
  if (t.size() >= 10 && ParseDate(t, 0, dt)) {
    if (t.size() == 10) return true;
    return (t[10] == ' ' || t[10] == 'T') && ParseTime(t, 11, dt);
  }
  return wantTime && ParseTime(t, 0, dt);
}

// The bytes of a text that travel in a row: cut at the session's most,
// then at an embedded NUL (the text travels NUL-terminated, so one would
// end it early).
size_t RowTextSize(const char* text, size_t size, uint32_t maxLength) {
  if (maxLength && size > maxLength) size = maxLength;
  if (const void* nul = size ? std::memchr(text, '\0', size) : nullptr)
    size = static_cast<size_t>(static_cast<const char*>(nul) - text);
  return size;
}

Status EncodeText(const ValueView& value, const SqlTypeDesc& type, uint32_t maxLength,
                  std::string* out) {
  std::string scratch;
  const char* text = nullptr;
  size_t size = 0;
  TextSpan(value, &scratch, &text, &size);
  if (type.sqlType == kSqlChar && Characters(text, size) > type.length) return TooLong("the value");
  size = RowTextSize(text, size, maxLength);
  // A CHAR(n) value is n characters (of one to four UTF-8 bytes), padded
  // with blanks: the driver holds CHAR values at their declared length,
  // and padding it with NUL bytes would hand applications NULs inside
  // their strings.
  size_t width = size;
  if (type.sqlType == kSqlChar) {
    const size_t declared = (maxLength && maxLength < type.length) ? maxLength : type.length;
    const size_t characters = Characters(text, size);
    if (characters < declared) width = size + (declared - characters);
    if (maxLength && width > maxLength) width = size > maxLength ? size : maxLength;
  }
  uint8_t* room = Room(out, layout::TextBytes(static_cast<uint32_t>(width)));
  layout::EncodeText(text, static_cast<uint32_t>(size), room);
  if (width > size) {
    std::memset(room + size, ' ', width - size);
    room[width] = 0;
  }
  return Status::Ok();
}

Status EncodeBinary(const ValueView& value, const SqlTypeDesc& type, uint32_t maxLength,
                    std::string* out) {
  std::string bytes = AsText(value);
  const uint32_t countBytes = layout::BinaryCountBytes(type.sqlType);
  if (countBytes == 0) {
    if (bytes.size() > type.length) return TooLong("the value");
    bytes.resize(type.length, '\0');  // fixed length, padded with zero bytes
  } else {
    if (maxLength && bytes.size() > maxLength) bytes.resize(maxLength);
    const uint64_t most = countBytes == 1 ? 255 : UINT32_MAX - 16;
    if (bytes.size() > most) return TooLong("the value");
  }
  layout::EncodeBinaryCount(countBytes, static_cast<uint32_t>(bytes.size()), Room(out, countBytes));
  *out += bytes;
  return Status::Ok();
}

Status EncodeNumeric(const ValueView& value, std::string* out) {
  Decimal d;
  Status st = ToDecimal(value, &d);
  if (!st.ok) return st;
  if (d.exponent < -128 || d.exponent > 127) return OutOfRange("NUMERIC");
  layout::Digits form;
  form.negative = d.negative;
  form.exponent = static_cast<int8_t>(d.exponent);
  // Normalize leaves at most kSqlNumericDigits digits, the last ones.
  const size_t first = kSqlNumericDigits - d.digits.size();
  for (size_t i = 0; i < d.digits.size(); ++i)
    form.digits[first + i] = static_cast<uint8_t>(d.digits[i] - '0');
  layout::EncodeNumeric(form, false, Room(out, layout::kNumericRowBytes));
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

bool EncodeRowDateTime(const DateTime& dt, int16_t sqlType, std::string* out) {
  const SqlTypeInfo* type = FindSqlTypeInfo(sqlType);
  const uint32_t n = type ? layout::DateTimeBytes(type->form) : 0;
  out->clear();
  if (n == 0) return false;
  layout::DateTime form;
  form.year = static_cast<int16_t>(dt.year);
  form.month = static_cast<uint16_t>(dt.month);
  form.day = static_cast<uint16_t>(dt.day);
  form.hour = static_cast<uint16_t>(dt.hour);
  form.minute = static_cast<uint16_t>(dt.minute);
  form.second = static_cast<uint16_t>(dt.second);
  form.fraction = dt.fraction;
  uint8_t bytes[16];  // the largest form, a timestamp's
  layout::EncodeDateTime(type->form, form, bytes);
  out->assign(reinterpret_cast<const char*>(bytes), n);
  return true;
}

ValueView ViewOf(const Value& value) {
  ValueView v;
  v.kind = value.kind;
  v.integer = value.integer;
  v.real = value.real;
  v.data = value.bytes.data();
  v.size = value.bytes.size();
  return v;
}

Status EncodeRowValue(const Value& value, const SqlTypeDesc& type, uint32_t maxLength,
                      std::string* out) {
  return EncodeRowView(ViewOf(value), type, maxLength, out);
}

namespace {

// Every pair, by the catalogue (below).
Status EncodeGeneral(const ValueView& value, const SqlTypeDesc& type, uint32_t maxLength,
                     std::string* out);

// The commonest pairs (whole numbers as INTEGER or SMALLINT, doubles as
// FLOAT, the code they are described with; text as VARCHAR) in their row
// forms without the catalogue's lookups: the same bytes the general way
// writes. False for every other pair, and for values the general way
// refuses (its diagnostic then).
bool EncodeCommon(const ValueView& value, const SqlTypeDesc& type, uint32_t maxLength,
                  std::string* out) {
  uint8_t bytes[8];
  uint32_t n = 0;
  if (value.kind == Value::Kind::kInteger && type.sqlType == kSqlInteger) {
    if (value.integer < INT32_MIN || value.integer > INT32_MAX) return false;
    layout::EncodeInteger(value.integer, n = 4, bytes);
  } else if (value.kind == Value::Kind::kInteger && type.sqlType == kSqlSmallInt) {
    if (value.integer < INT16_MIN || value.integer > INT16_MAX) return false;
    layout::EncodeInteger(value.integer, n = 2, bytes);
  } else if (value.kind == Value::Kind::kReal && type.sqlType == kSqlFloat) {
    layout::EncodeDouble(value.real, bytes);
    n = 8;
  } else if (value.kind == Value::Kind::kText && type.sqlType == kSqlVarChar) {
    // EncodeText's way for a VARCHAR, NUL-terminated.
    out->assign(value.data, RowTextSize(value.data, value.size, maxLength));
    out->push_back('\0');
    return true;
  } else {
    return false;
  }
  out->assign(reinterpret_cast<const char*>(bytes), n);
  return true;
}

}  // namespace

Status EncodeRowView(const ValueView& value, const SqlTypeDesc& type, uint32_t maxLength,
                     std::string* out) {
  if (EncodeCommon(value, type, maxLength, out)) return Status::Ok();
  return EncodeGeneral(value, type, maxLength, out);
}

void EncodeRowCell(const ValueView& value, const SqlTypeDesc& type, uint32_t maxLength,
                   std::string* out, Status* status) {
  if (EncodeCommon(value, type, maxLength, out)) {
    if (!status->ok) *status = Status::Ok();
    return;
  }
  *status = EncodeGeneral(value, type, maxLength, out);
}

namespace {

Status EncodeGeneral(const ValueView& value, const SqlTypeDesc& type, uint32_t maxLength,
                     std::string* out) {
  out->clear();
  // Rows carry the types columns are described with only.
  const SqlTypeInfo* info = FindSqlTypeInfo(type.sqlType);
  const char* name = info != nullptr ? info->name : "";  // SqlTypeName's
  const layout::Layout form = info != nullptr && info->describedAs == info->code
                                  ? layout::LayoutOf(type.sqlType)
                                  : layout::Layout::kNone;
  int64_t x = 0;
  double d = 0;
  Status st = Status::Ok();
  switch (form) {
    case layout::Layout::kText:
      if (type.sqlType >= kSqlIntervalYear && type.sqlType <= kSqlIntervalMinuteToSecond) {
        // An interval held as ISO 8601 text (a parameter's, PostgreSQL's)
        // travels in ODBC's form of its type.
        interval::Fields f;
        char text[interval::kTextBytes];
        const std::string held = AsText(value);
        if (interval::FromIso8601(held.c_str(), type.sqlType - interval::kSqlCodeBase, &f)) {
          ValueView formatted;
          formatted.kind = Value::Kind::kText;
          formatted.data = text;
          formatted.size = interval::Format(type.sqlType - interval::kSqlCodeBase, f, text);
          return EncodeText(formatted, type, maxLength, out);
        }
      }
      return EncodeText(value, type, maxLength, out);
    case layout::Layout::kBinary:
      return EncodeBinary(value, type, maxLength, out);
    case layout::Layout::kBit:
    case layout::Layout::kInteger: {
      st = ToInt64(value, name, &x);
      if (!st.ok) return st;
      const uint32_t width = info->formSize;
      if (form == layout::Layout::kBit) {
        if (x != 0 && x != 1) return OutOfRange(name);
      } else {
        const int64_t high = (int64_t{1} << (8 * width - 1)) - 1;
        if (x < -high - 1 || x > high) return OutOfRange(name);
      }
      layout::EncodeInteger(x, width, Room(out, width));
      return Status::Ok();
    }
    case layout::Layout::kBigInt: {
      st = ToInt64(value, name, &x);
      if (!st.ok) return st;
      uint64_t magnitude = x < 0 ? 0 - static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
      layout::EncodeBigInt(x < 0, magnitude, false, Room(out, layout::kBigIntBytes));
      return Status::Ok();
    }
    case layout::Layout::kReal:
      st = ToDouble(value, name, &d);
      if (!st.ok) return st;
      if (std::fabs(d) > 3.402823466e+38) return OutOfRange(name);
      layout::EncodeReal(static_cast<float>(d), Room(out, 4));
      return Status::Ok();
    case layout::Layout::kDouble:
      st = ToDouble(value, name, &d);
      if (!st.ok) return st;
      layout::EncodeDouble(d, Room(out, 8));
      return Status::Ok();
    case layout::Layout::kNumeric:
      return EncodeNumeric(value, out);
    case layout::Layout::kDate:
    case layout::Layout::kTime:
    case layout::Layout::kTimestamp: {
      DateTime dt;
      if (!ParseDateTime(value, form != layout::Layout::kDate, &dt)) return NotConvertible(name);
      EncodeRowDateTime(dt, type.sqlType, out);
      return Status::Ok();
    }
    case layout::Layout::kNone:
      break;
  }
  return Status::Error(kStateTypeOutOfRange, 0, "column type has no row layout");
}

}  // namespace

}  // namespace velsrv
