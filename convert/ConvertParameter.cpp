// Parameter conversion by source kind and target form.
#include "convert/ConvertParameter.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Alloc.h"
#include "convert/Decimal.h"
#include "convert/ParameterTable.h"
#include "convert/SqlTypeTable.h"

ConvertedValue::~ConvertedValue() { VelFree(data_); }

void ConvertedValue::SetNull() {
  VelFree(data_);
  data_ = nullptr;
  length_ = 0;
  null_ = true;
}

uint8_t* ConvertedValue::SetSized(uint32_t n) {
  uint8_t* block = static_cast<uint8_t*>(VelAlloc(n == 0 ? 1 : n));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, n == 0 ? 1 : n);
  VelFree(data_);
  data_ = block;
  length_ = n;
  null_ = false;
  return block;
}

bool ConvertedValue::SetBytes(const void* bytes, uint32_t n) {
  uint8_t* p = SetSized(n);
  if (p == nullptr) return false;
  if (n != 0) std::memcpy(p, bytes, n);
  return true;
}

bool ConvertedValue::SetText(const char* text, uint32_t n) {
  if (n == UINT32_MAX) return false;
  uint8_t* p = SetSized(n + 1);
  if (p == nullptr) return false;
  if (n != 0) std::memcpy(p, text, n);
  return true;
}

void ConvertedValue::Take(ConvertedValue* other) {
  VelFree(data_);
  data_ = other->data_;
  length_ = other->length_;
  null_ = other->null_;
  other->data_ = nullptr;
  other->length_ = 0;
  other->null_ = true;
}

namespace {

// A whole number: sign and 64-bit magnitude.
struct Whole {
  bool negative;
  uint64_t magnitude;
  double AsDouble() const {
    return negative ? -static_cast<double>(magnitude) : static_cast<double>(magnitude);
  }
};

const uint64_t kInt64Max = 0x7fffffffffffffffull;

struct Job {
  const ParameterInput& in;
  const ParamCTypeRow* c;
  const SqlTypeInfo* sql;  // the row of the type the value is sent as
  const TypeSizes& sizes;
  ConvertedValue* out;
  const char* text;  // the value read as text (text sources)
  uint32_t length;   // its length, or the bytes' length
};

ParamOutcome Done(bool stored) { return stored ? kParamDone : kParamMemory; }

// The fixed form of the target: its TypeSizes size, filled from bytes.
ParamOutcome PutForm(Job& j, const void* bytes, uint32_t n) {
  const uint32_t size = j.sizes.size[j.sql->sizeIndex];
  uint8_t* p = j.out->SetSized(size);
  if (p == nullptr) return kParamMemory;
  std::memcpy(p, bytes, n < size ? n : size);
  return kParamDone;
}

ParamOutcome PutBigInt(Job& j, const Whole& w, bool marked) {
  if (w.magnitude > kInt64Max + (w.negative ? 1 : 0)) return kParamDataOutOfRange;
  uint16_t words[5] = {static_cast<uint16_t>(w.magnitude >> 48),
                       static_cast<uint16_t>(w.magnitude >> 32),
                       static_cast<uint16_t>(w.magnitude >> 16), static_cast<uint16_t>(w.magnitude),
                       static_cast<uint16_t>(w.negative)};
  // A negative value made from a C number below 2^32 carries the mark the
  // server expects of it.
  if (marked && w.negative && w.magnitude <= 0xffffffffull) words[0] = 0x8000;
  return PutForm(j, words, sizeof words);
}

// The NUMERIC form of digits[0..count) (at most 16, the first not 0) set
// left-aligned in the 16 digit places, times 10^exponent.
ParamOutcome PutNumericForm(Job& j, bool negative, const char* digits, int count, int exponent) {
  uint8_t form[12] = {};
  form[0] = negative ? 1 : 0;
  form[1] = static_cast<uint8_t>(static_cast<int8_t>(exponent));
  uint32_t words[2] = {0, 0};
  for (int k = 0; k < count; ++k) {
    const int position = 15 - k;
    words[position / 8] |= static_cast<uint32_t>(digits[k] - '0') << (4 * (position % 8));
  }
  std::memcpy(form + 4, words, 8);
  return PutForm(j, form, sizeof form);
}

// Digits, one point and a leading sign; fewer than 18 characters after the
// sign; at most 16 significant digits.
ParamOutcome PutNumeric(Job& j, const char* t, uint32_t n) {
  uint8_t form[12] = {};
  uint32_t i = 0;
  if (n > 0 && (t[0] == '-' || t[0] == '+')) {
    form[0] = t[0] == '-' ? 1 : 0;
    i = 1;
  }
  if (n - i >= 18) return kParamDataTruncated;
  char digits[18];
  int count = 0;
  int exponent = 0;
  bool point = false;
  for (; i < n; ++i) {
    if (t[i] == '.' && !point) {
      point = true;
    } else if (t[i] >= '0' && t[i] <= '9') {
      if (point) --exponent;
      if (count > 0 || t[i] != '0') digits[count++] = t[i];
    } else {
      return kParamNonNumeric;
    }
  }
  while (count > 16 && digits[count - 1] == '0') {
    --count;
    ++exponent;
  }
  if (count > 16) return kParamDataTruncated;
  return PutNumericForm(j, form[0] != 0, digits, count, exponent - (16 - count));
}

// Optional sign and decimal digits (none reads as 0). False for anything
// else; *overflow when the magnitude passes 64 bits.
bool ReadWhole(const char* t, uint32_t n, Whole* w, bool* overflow) {
  w->negative = false;
  w->magnitude = 0;
  *overflow = false;
  uint32_t i = 0;
  if (n > 0 && (t[0] == '-' || t[0] == '+')) {
    w->negative = t[0] == '-';
    i = 1;
    if (n == 1) return false;
  }
  for (; i < n; ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(t[i] - '0');
    if (w->magnitude > (UINT64_MAX - digit) / 10) *overflow = true;
    w->magnitude = w->magnitude * 10 + digit;
  }
  return true;
}

bool OnlyNumberCharacters(const char* t, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    const char ch = t[i];
    if (!((ch >= '0' && ch <= '9') || ch == '+' || ch == '-' || ch == '.')) return false;
  }
  return true;
}

bool ReadDouble(const char* t, uint32_t n, double* v) {
  Decimal d;
  if (!ParseDecimalText(t, n, &d)) return false;
  *v = DecimalToDouble(d);
  return true;
}

// Integer targets: the range of the form, and which text an overflow gets
// (a source wider than the form loses whole digits).
ParamOutcome PutInteger(Job& j, const Whole& w, uint32_t sourceWidth) {
  const uint32_t width = j.sql->formSize;
  const uint64_t limit = (1ull << (8 * width - 1)) - (w.negative ? 0 : 1);
  if (w.magnitude > limit) {
    return sourceWidth > width ? kParamWholeDigitsLost : kParamDataOutOfRange;
  }
  const int64_t v =
      w.negative ? -static_cast<int64_t>(w.magnitude) : static_cast<int64_t>(w.magnitude);
  uint8_t bytes[8];
  std::memcpy(bytes, &v, sizeof bytes);  // little-endian: the low bytes first
  return PutForm(j, bytes, width);
}

ParamOutcome PutText(Job& j, const char* text) {
  return Done(j.out->SetText(text, static_cast<uint32_t>(std::strlen(text))));
}

ParamOutcome FromWhole(Job& j, const Whole& w) {
  char text[24];
  std::snprintf(text, sizeof text, "%s%llu", w.negative ? "-" : "",
                static_cast<unsigned long long>(w.magnitude));
  switch (j.sql->code) {
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      if (j.c->cType == SQL_C_ULONG && w.magnitude > 0x7fffffffu) return kParamUlongTooLarge;
      return PutNumeric(j, text, static_cast<uint32_t>(std::strlen(text)));
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return PutInteger(j, w, j.c->width);
    case SQL_BIT: {
      if (j.c->cType != SQL_C_BIT && (w.negative || w.magnitude > 1)) return kParamValueOutOfRange;
      uint8_t b = static_cast<uint8_t>(w.magnitude);
      return PutForm(j, &b, 1);
    }
    case SQL_REAL: {
      float f = static_cast<float>(w.AsDouble());
      return PutForm(j, &f, 4);
    }
    case SQL_FLOAT:
    case SQL_DOUBLE: {
      double d = w.AsDouble();
      return PutForm(j, &d, 8);
    }
    case SQL_BIGINT:
      return PutBigInt(j, w, true);
    default:
      return PutText(j, text);
  }
}

ParamOutcome FromDouble(Job& j, double v) {
  switch (j.sql->code) {
    case SQL_NUMERIC:
    case SQL_DECIMAL: {
      // The 16 significant digits the form holds, rounded, at any magnitude
      // the exponent byte reaches: a double's text would need 17 digits
      // (0.1 is 0.10000000000000001) or an exponent, which text refuses.
      if (v == 0) return PutNumeric(j, "0", 1);
      if (!std::isfinite(v)) return kParamValueOutOfRange;
      char text[40];  // "-d.ddddddddddddddde+ddd"
      std::snprintf(text, sizeof text, "%.15e", v);
      const bool negative = text[0] == '-';
      const char* m = text + (negative ? 1 : 0);
      char digits[16];
      digits[0] = m[0];
      std::memcpy(digits + 1, m + 2, 15);
      const int exponent = std::atoi(m + 18) - 15;
      if (exponent < -128 || exponent > 127) return kParamValueOutOfRange;
      return PutNumericForm(j, negative, digits, 16, exponent);
    }
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT: {
      const int32_t code = j.sql->code;
      const double hi = code == SQL_INTEGER ? 2147483647.0 : code == SQL_SMALLINT ? 32767.0 : 127.0;
      if (!(v >= -hi - 1 && v <= hi)) return kParamWholeDigitsLost;
      const double whole = std::trunc(v);
      if (whole != v) return kParamFractionalDigitsLost;
      return PutInteger(j, Whole{whole < 0, static_cast<uint64_t>(std::fabs(whole))}, 0);
    }
    case SQL_BIT: {
      if (!(v >= 0 && v < 2)) return kParamValueOutOfRange;
      if (v != 0 && v != 1) return kParamFractionalValue;
      uint8_t b = static_cast<uint8_t>(v);
      return PutForm(j, &b, 1);
    }
    case SQL_REAL: {
      float f = static_cast<float>(v);
      return PutForm(j, &f, 4);
    }
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return PutForm(j, &v, 8);
    case SQL_BIGINT: {
      const double whole = std::trunc(v);
      if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0))
        return kParamDataOutOfRange;
      return PutBigInt(j, Whole{whole < 0, static_cast<uint64_t>(std::fabs(whole))}, true);
    }
    default: {
      // Fixed point: 7 digits after the point for a float, 17 for a double;
      // a zero whole part is left out (0.5 is ".5000000").
      char text[400];
      std::snprintf(text, sizeof text, "%.*f", j.c->width == 4 ? 7 : 17, v);
      char* zero = text + (text[0] == '-' ? 1 : 0);
      if (zero[0] == '0' && zero[1] == '.') std::memmove(zero, zero + 1, std::strlen(zero));
      return PutText(j, text);
    }
  }
}

// Reads a field at positions first..last of t (those before n) as the C
// text-to-int conversion does: an optional sign and the digits that follow.
int Field(const char* t, uint32_t n, uint32_t first, uint32_t last) {
  int sign = 1, v = 0;
  uint32_t i = first;
  if (i < n && i <= last && (t[i] == '-' || t[i] == '+')) sign = t[i++] == '-' ? -1 : 1;
  for (; i <= last && i < n && t[i] >= '0' && t[i] <= '9'; ++i) v = v * 10 + (t[i] - '0');
  return sign * v;
}

ParamOutcome FromText(Job& j, bool fromDefault) {
  const char* t = j.text;
  uint32_t n = j.length;
  switch (j.sql->form) {
    case SqlForm::kText:
      return Done(j.out->SetText(t, n));
    case SqlForm::kBinary:
      return Done(j.out->SetBytes(t, n));
    default:
      break;
  }
  // Numbers, dates and times end at a NUL.
  const void* nul = std::memchr(t, 0, n);
  if (nul != nullptr) n = static_cast<uint32_t>(static_cast<const char*>(nul) - t);
  Whole w;
  bool overflow = false;
  double v = 0;
  switch (j.sql->code) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
      if (!ReadWhole(t, n, &w, &overflow)) return kParamNonNumeric;
      if (overflow) return kParamDataOutOfRange;
      return PutInteger(j, w, 0);
    case SQL_BIT: {
      if (ReadWhole(t, n, &w, &overflow) && n > 0 && t[0] >= '0' && t[0] <= '9') {
        if (overflow || w.magnitude > 1) return kParamBitOutOfRange;
        v = static_cast<double>(w.magnitude);
      } else if (!OnlyNumberCharacters(t, n) || !ReadDouble(t, n, &v) || !(v >= 0 && v < 2)) {
        return kParamBitOutOfRange;
      }
      if (v != 0 && v != 1) return kParamBitFraction;
      uint8_t b = static_cast<uint8_t>(v);
      return PutForm(j, &b, 1);
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
      if (!OnlyNumberCharacters(t, n) || !ReadDouble(t, n, &v)) return kParamNonNumeric;
      if (j.sql->code != SQL_REAL) return PutForm(j, &v, 8);
      if (std::fabs(v) > FLT_MAX) return kParamDataOutOfRange;
      float f = static_cast<float>(v);
      return PutForm(j, &f, 4);
    }
    case SQL_BIGINT: {
      if (n - (n > 0 && t[0] == '-' ? 1 : 0) > 20) return kParamDataTruncated;
      if (!ReadWhole(t, n, &w, &overflow)) return fromDefault ? kParamNotNumeric : kParamNonNumeric;
      if (overflow) return kParamDataOutOfRange;
      return PutBigInt(j, w, false);
    }
    case SQL_DATE: {
      if (n >= 11) return kParamDateText;
      uint16_t form[3] = {static_cast<uint16_t>(Field(t, n, 0, 3)),
                          static_cast<uint16_t>(Field(t, n, 5, 6)),
                          static_cast<uint16_t>(Field(t, n, 8, 9))};
      return PutForm(j, form, sizeof form);
    }
    case SQL_TIME: {
      if (n >= 10) return kParamTimeText;
      uint16_t form[3] = {static_cast<uint16_t>(Field(t, n, 0, 1)),
                          static_cast<uint16_t>(Field(t, n, 3, 4)),
                          static_cast<uint16_t>(Field(t, n, 6, 7))};
      return PutForm(j, form, sizeof form);
    }
    case SQL_TIMESTAMP: {
      static const uint32_t kAt[6][2] = {{0, 3}, {5, 6}, {8, 9}, {11, 12}, {14, 15}, {17, 18}};
      uint8_t form[16] = {};
      for (int f = 0; f < 6; ++f) {
        const uint16_t field = static_cast<uint16_t>(Field(t, n, kAt[f][0], kAt[f][1]));
        std::memcpy(form + 2 * f, &field, 2);
      }
      // The digits after the point are a fraction of a second in
      // nanoseconds: ".5" is 500000000.
      uint32_t fraction = 0;
      int digits = 0;
      for (uint32_t i = 20; i < n && digits < 9 && t[i] >= '0' && t[i] <= '9'; ++i, ++digits)
        fraction = fraction * 10 + static_cast<uint32_t>(t[i] - '0');
      for (; digits > 0 && digits < 9; ++digits) fraction *= 10;
      std::memcpy(form + 12, &fraction, 4);
      return PutForm(j, form, sizeof form);
    }
    default:  // NUMERIC, DECIMAL
      return PutNumeric(j, t, n);
  }
}

ParamOutcome FromDateTime(Job& j) {
  const ParamSource source = j.c->source;
  DATE_STRUCT d = {};
  TIME_STRUCT t = {};
  TIMESTAMP_STRUCT ts = {};
  if (source == kSrcDate) {
    std::memcpy(&d, j.in.data, sizeof d);
    ts.year = d.year;
    ts.month = d.month;
    ts.day = d.day;
  } else if (source == kSrcTime) {
    std::memcpy(&t, j.in.data, sizeof t);
    ts.hour = t.hour;
    ts.minute = t.minute;
    ts.second = t.second;
  } else {
    std::memcpy(&ts, j.in.data, sizeof ts);
  }
  const uint16_t date[3] = {static_cast<uint16_t>(ts.year), ts.month, ts.day};
  const uint16_t time[3] = {ts.hour, ts.minute, ts.second};
  char text[48];
  switch (j.sql->form) {
    case SqlForm::kDate:
      if (source == kSrcTimestamp && (ts.hour | ts.minute | ts.second | ts.fraction) != 0)
        return kParamTimeLost;
      return PutForm(j, date, sizeof date);
    case SqlForm::kTime:
      if (source == kSrcTimestamp && ts.fraction != 0) return kParamFractionLost;
      return PutForm(j, time, sizeof time);
    case SqlForm::kTimestamp: {
      uint8_t form[16];
      std::memcpy(form, date, 6);
      std::memcpy(form + 6, time, 6);
      std::memcpy(form + 12, &ts.fraction, 4);
      return PutForm(j, form, sizeof form);
    }
    default:
      if (source == kSrcDate) {
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", d.year, d.month, d.day);
      } else if (source == kSrcTime) {
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", t.hour, t.minute, t.second);
      } else {
        int used = std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", ts.year,
                                 ts.month, ts.day, ts.hour, ts.minute, ts.second);
        const unsigned long f = ts.fraction;
        if (f != 0) {
          if (f % 1000000 == 0) {
            std::snprintf(text + used, sizeof text - used, ".%03lu", f / 1000000);
          } else if (f % 1000 == 0) {
            std::snprintf(text + used, sizeof text - used, ".%03lu%03lu", f / 1000000,
                          (f / 1000) % 1000);
          } else {
            std::snprintf(text + used, sizeof text - used, ".%03lu%03lu%03lu", f / 1000000,
                          (f / 1000) % 1000, f % 1000);
          }
        }
      }
      return PutText(j, text);
  }
}

ParamOutcome FromNumber(Job& j) {
  const void* p = j.in.data;
  if (j.c->source == kSrcFloating) {
    if (j.c->width == 4) {
      float f;
      std::memcpy(&f, p, 4);
      return FromDouble(j, f);
    }
    double d;
    std::memcpy(&d, p, 8);
    return FromDouble(j, d);
  }
  int64_t s = 0;
  uint64_t u = 0;
  switch (j.c->width) {
    case 1: {
      int8_t v;
      std::memcpy(&v, p, 1);
      s = v;
      u = static_cast<uint8_t>(v);
      break;
    }
    case 2: {
      int16_t v;
      std::memcpy(&v, p, 2);
      s = v;
      u = static_cast<uint16_t>(v);
      break;
    }
    case 4: {
      int32_t v;
      std::memcpy(&v, p, 4);
      s = v;
      u = static_cast<uint32_t>(v);
      break;
    }
    default: {
      std::memcpy(&u, p, 8);
      s = static_cast<int64_t>(u);
      break;
    }
  }
  Whole w{false, u};
  if (j.c->isSigned && s < 0) w = Whole{true, 0 - static_cast<uint64_t>(s)};
  return FromWhole(j, w);
}

// UTF-16LE to UTF-8 (a lone surrogate becomes U+FFFD), in a new block.
char* Utf8FromWide(const uint8_t* w, uint32_t bytes, uint32_t* length) {
  const uint32_t units = bytes / 2;
  char* out = static_cast<char*>(VelAlloc(static_cast<std::size_t>(units) * 3 + 1));
  if (out == nullptr) return nullptr;
  uint32_t o = 0;
  for (uint32_t i = 0; i < units; ++i) {
    uint32_t c = static_cast<uint32_t>(w[2 * i] | (w[2 * i + 1] << 8));
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
      const uint32_t low = static_cast<uint32_t>(w[2 * i + 2] | (w[2 * i + 3] << 8));
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
    if (c < 0x80) {
      out[o++] = static_cast<char>(c);
    } else if (c < 0x800) {
      out[o++] = static_cast<char>(0xC0 | (c >> 6));
      out[o++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[o++] = static_cast<char>(0xE0 | (c >> 12));
      out[o++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[o++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out[o++] = static_cast<char>(0xF0 | (c >> 18));
      out[o++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out[o++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[o++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  *length = o;
  return out;
}

// Length of the NUL-terminated value at data: bytes, or 16-bit units.
uint64_t Measure(const void* data, bool wide) {
  if (!wide) return std::strlen(static_cast<const char*>(data));
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint64_t n = 0;
  while (p[n] != 0 || p[n + 1] != 0) n += 2;
  return n;
}

}  // namespace

bool CollectsPieces(SQLSMALLINT cType, int32_t sqlType) {
  if (cType == SQL_C_DEFAULT) cType = DefaultCType(SentSqlType(sqlType));
  return cType == SQL_C_CHAR || cType == SQL_C_BINARY || cType == SQL_C_WCHAR;
}

ParamOutcome ConvertParameter(const ParameterInput& in, const TypeSizes& sizes,
                              ConvertedValue* out) {
  const SqlTypeInfo* sql = FindParamSqlType(in.sqlType);
  SQLSMALLINT cType = in.cType;
  if (sql != nullptr && cType == SQL_C_DEFAULT) cType = sql->defaultCType;
  const ParamCTypeRow* c = FindParamCType(cType);
  // The length: NULL first, then the refused indicators, then the value's.
  uint64_t length = 0;
  const bool measured =
      c != nullptr && (c->source == kSrcChar || c->source == kSrcBinary || c->source == kSrcWide);
  if (in.atExec) {
    length = in.collected < 0 ? 0 : static_cast<uint64_t>(in.collected);
  } else if (in.indicator != nullptr && *in.indicator < 0 && *in.indicator != SQL_NTS) {
    const SQLLEN ind = *in.indicator;
    if (ind == SQL_NULL_DATA) {
      out->SetNull();
      return kParamDone;
    }
    if (ind == SQL_DEFAULT_PARAM) return kParamProcedures;
    if (ind != SQL_DATA_AT_EXEC && ind > SQL_LEN_DATA_AT_EXEC_OFFSET) return kParamInvalidLength;
    length = ind == SQL_DATA_AT_EXEC ? 0 : static_cast<uint64_t>(SQL_LEN_DATA_AT_EXEC_OFFSET - ind);
  } else if (in.data != nullptr && measured) {
    length = in.indicator == nullptr || *in.indicator == SQL_NTS
                 ? Measure(in.data, c->source == kSrcWide)
                 : static_cast<uint64_t>(*in.indicator);
  }
  if (in.data == nullptr) {
    out->SetNull();
    return kParamDone;
  }
  if (c == nullptr || sql == nullptr || !ParamPairConverts(c->source, sql->form))
    return kParamNotSupported;
  if (length >= UINT32_MAX) return kParamInvalidLength;
  ConvertedValue next;
  Job j{in, c, sql, sizes, &next, static_cast<const char*>(in.data), static_cast<uint32_t>(length)};
  ParamOutcome outcome = kParamDone;
  switch (c->source) {
    case kSrcWide: {
      uint32_t n = 0;
      char* text = Utf8FromWide(static_cast<const uint8_t*>(in.data), j.length, &n);
      if (text == nullptr) return kParamMemory;
      j.text = text;
      j.length = n;
      outcome = FromText(j, false);
      VelFree(text);
      break;
    }
    case kSrcBinary:
      if (sql->sizeIndex != kSizeNone) {
        if (j.length != sizes.size[sql->sizeIndex]) return kParamBinaryLength;
        outcome = Done(next.SetBytes(in.data, j.length));
      } else if (sql->form == SqlForm::kText) {
        outcome = Done(next.SetText(j.text, j.length));
      } else {
        outcome = Done(next.SetBytes(in.data, j.length));
      }
      break;
    case kSrcChar:
      outcome = FromText(j, in.cType == SQL_C_DEFAULT);
      break;
    case kSrcInteger:
    case kSrcFloating:
      outcome = FromNumber(j);
      break;
    default:
      outcome = FromDateTime(j);
      break;
  }
  if (outcome == kParamDone) out->Take(&next);
  return outcome;
}
