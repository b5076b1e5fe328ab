// Parameter forms the server receives, decoded by SQL type: texts with
// their NUL, bytes, fixed-size numbers, BIGINT words with the 0x8000 mark
// of negative values made from C numbers, the 12-byte NUMERIC form,
// DATE/TIME/TIMESTAMP fields.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server/values/DecimalText.h"
#include "server/Diagnostics.h"
#include "server/values/ValueCodec.h"

namespace velsrv {

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

Status OutOfRange(const char* type) {
  return Status::Error(kStateOutOfRange, 0, std::string("value out of range for ") + type);
}

Status WrongSize(int16_t sqlType, uint32_t length) {
  return Status::Error(kStateLength, 0,
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
    if (nibble > 9)
      return Status::Error(kStateInvalidCharacter, 0, "NUMERIC parameter holds a digit above 9");
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
  const SqlTypeInfo* type = FindSqlTypeInfo(sqlType);
  if (type != nullptr && type->sizeIndex != kSizeNone && length != type->formSize)
    return WrongSize(sqlType, length);
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
      *out = Value::Integer(p[0]);
      return Status::Ok();
    case kSqlTinyInt:
      *out = Value::Integer(static_cast<int8_t>(p[0]));
      return Status::Ok();
    case kSqlSmallInt:
      *out = Value::Integer(static_cast<int16_t>(Get16(p)));
      return Status::Ok();
    case kSqlInteger:
      *out = Value::Integer(static_cast<int32_t>(Get32(p)));
      return Status::Ok();
    case kSqlBigInt:
      return DecodeBigIntParameter(p, out);
    case kSqlReal: {
      float f;
      std::memcpy(&f, p, 4);
      *out = Value::Real(f);
      return Status::Ok();
    }
    case kSqlFloat:
    case kSqlDouble: {
      double d;
      std::memcpy(&d, p, 8);
      *out = Value::Real(d);
      return Status::Ok();
    }
    case kSqlNumeric:
    case kSqlDecimal:
      return DecodeNumericParameter(p, out);
    case kSqlDate: {
      char b[32];
      std::snprintf(b, sizeof b, "%04d-%s-%s", static_cast<int16_t>(Get16(p)),
                    TwoDigits(Get16(p + 2)).c_str(), TwoDigits(Get16(p + 4)).c_str());
      *out = Value::Text(b);
      return Status::Ok();
    }
    case kSqlTime: {
      *out = Value::Text(TwoDigits(Get16(p)) + ":" + TwoDigits(Get16(p + 2)) + ":" +
                         TwoDigits(Get16(p + 4)));
      return Status::Ok();
    }
    case kSqlTimestamp: {
      char b[32];
      std::snprintf(b, sizeof b, "%04d-%s-%s ", static_cast<int16_t>(Get16(p)),
                    TwoDigits(Get16(p + 2)).c_str(), TwoDigits(Get16(p + 4)).c_str());
      *out = Value::Text(std::string(b) + TwoDigits(Get16(p + 6)) + ":" + TwoDigits(Get16(p + 8)) +
                         ":" + TwoDigits(Get16(p + 10)) + FractionText(Get32(p + 12)));
      return Status::Ok();
    }
    default:
      return Status::Error(kStateTypeOutOfRange, 0,
                           "parameter SQL type " + std::to_string(sqlType) + " is not supported");
  }
}

}  // namespace velsrv
