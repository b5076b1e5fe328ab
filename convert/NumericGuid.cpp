#include "convert/NumericGuid.h"

#include <cstdio>
#include <cstring>

#include "convert/ColumnValue.h"
#include "convert/Decimal.h"
#include "convert/ValueOutput.h"
#include "protocol/SqlTypeCatalog.h"

namespace {

const int kMaxPrecision = 38;  // what 16 bytes of magnitude always hold

// The value's SQL_C_CHAR text into text (size bytes); its length, or -1.
long ValueText(const ColumnValue* value, char* text, SQLLEN size) {
  SQLLEN length = 0;
  if (value->GetChar(text, size, &length) != kConversionDone || length < 0) return -1;
  return static_cast<long>(length);
}

// magnitude = magnitude * 10 + digit in 16 little-endian bytes; false on
// overflow.
bool MultiplyAdd(uint8_t (&magnitude)[16], unsigned digit) {
  unsigned carry = digit;
  for (uint8_t& byte : magnitude) {
    carry += byte * 10u;
    byte = static_cast<uint8_t>(carry & 0xff);
    carry >>= 8;
  }
  return carry == 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int GetNumericStruct(const ColumnValue* value, int precision, int scale, void* rgbValue,
                     SQLLEN* pcbValue) {
  char text[512];
  const long length = ValueText(value, text, sizeof text);
  Decimal d;
  if (length < 0 || !ParseDecimalText(text, static_cast<std::size_t>(length), &d))
    return kConversionFailed;
  if (precision <= 0) {
    const SqlTypeInfo* type = FindSqlTypeInfo(value->SqlType());
    const ColumnDescription* desc = value->description;
    if (type != nullptr && type->minScale >= 0 && desc != nullptr && desc->precision > 0) {
      precision = static_cast<int>(desc->precision);
      scale = desc->scale;
    } else {
      precision = kMaxPrecision;
      scale = d.exponent < 0 ? static_cast<int>(-d.exponent) : 0;
      if (scale > kMaxPrecision) scale = kMaxPrecision;
    }
  }
  if (scale > 127 || scale < -128) return kConversionFailed;
  if (precision > kMaxPrecision) precision = kMaxPrecision;
  // The digits of value * 10^scale: d's digits, then zeros, or fewer of
  // them (the fraction beyond the scale cut).
  const int64_t shift = d.exponent + scale;
  int64_t kept = static_cast<int64_t>(d.count) + (shift < 0 ? shift : 0);
  if (kept < 0) kept = 0;
  bool cut = d.inexact;
  for (int64_t i = kept; i < static_cast<int64_t>(d.count); ++i) cut = cut || d.digits[i] != '0';
  const int64_t zeros = shift > 0 ? shift : 0;
  if (kept + zeros > precision && kept > 0) return kConversionFailed;
  SQL_NUMERIC_STRUCT out = {};
  out.precision = static_cast<SQLCHAR>(precision);
  out.scale = static_cast<SQLSCHAR>(scale);
  out.sign = d.negative ? 0 : 1;
  for (int64_t i = 0; i < kept; ++i) {
    if (!MultiplyAdd(out.val, static_cast<unsigned>(d.digits[i] - '0'))) return kConversionFailed;
  }
  for (int64_t i = 0; kept > 0 && i < zeros; ++i) {
    if (!MultiplyAdd(out.val, 0)) return kConversionFailed;
  }
  PutFixed(&out, sizeof out, rgbValue, pcbValue);
  return cut ? kConversionTruncated : kConversionDone;
}

int GetGuid(const ColumnValue* value, void* rgbValue, SQLLEN* pcbValue) {
  char text[512];
  long length = ValueText(value, text, sizeof text);
  if (length < 0) return kConversionFailed;
  const char* p = text;
  while (length > 0 && p[0] == ' ') ++p, --length;
  while (length > 0 && p[length - 1] == ' ') --length;
  if (length == 38 && p[0] == '{' && p[37] == '}') ++p, length -= 2;
  if (length != 36) return kConversionFailed;
  uint8_t bytes[16];
  int n = 0;
  for (long i = 0; i < 36; ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (p[i] != '-') return kConversionFailed;
      continue;
    }
    const int high = HexDigit(p[i]), low = HexDigit(p[i + 1]);
    if (high < 0 || low < 0) return kConversionFailed;
    bytes[n++] = static_cast<uint8_t>(high << 4 | low);
    ++i;
  }
  SQLGUID g;
  g.Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
            static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  g.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  g.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  std::memcpy(g.Data4, bytes + 8, 8);
  return PutFixed(&g, sizeof g, rgbValue, pcbValue);
}

uint32_t NumericStructText(const SQL_NUMERIC_STRUCT& n, char* out) {
  // The magnitude's decimal digits, least significant first, by repeated
  // division of a copy by ten; then zeros up to one before the point.
  uint8_t m[16];
  std::memcpy(m, n.val, sizeof m);
  char digits[168];
  int count = 0;
  for (bool zero = false; !zero;) {
    unsigned rest = 0;
    zero = true;
    for (int i = 15; i >= 0; --i) {
      const unsigned v = rest << 8 | m[i];
      m[i] = static_cast<uint8_t>(v / 10);
      rest = v % 10;
      zero = zero && m[i] == 0;
    }
    digits[count++] = static_cast<char>('0' + rest);
  }
  const int scale = n.scale;
  while (count <= scale) digits[count++] = '0';
  uint32_t o = 0;
  if (n.sign == 0) out[o++] = '-';
  for (int i = count - 1; i >= 0; --i) {
    out[o++] = digits[i];
    if (i == scale && i > 0) out[o++] = '.';
  }
  for (int i = scale; i < 0; ++i) out[o++] = '0';
  out[o] = '\0';
  return o;
}

uint32_t GuidText(const SQLGUID& g, char* out) {
  std::snprintf(out, 37, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned long>(g.Data1), static_cast<unsigned>(g.Data2),
                static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return 36;
}
