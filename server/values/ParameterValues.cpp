// Parameter forms the server receives, decoded by SQL type: texts with
// their NUL, bytes, fixed-size numbers, BIGINT words with the 0x8000 mark
// of negative values made from C numbers, the 12-byte NUMERIC form and
// the exact decimal text,
// DATE/TIME/TIMESTAMP fields.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/IntervalText.h"
#include "protocol/Extensions.h"
#include "protocol/ValueLayout.h"
#include "server/values/DecimalText.h"
#include "server/Diagnostics.h"
#include "server/values/ValueCodec.h"

namespace velsrv {

namespace {

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

Status DecodeNumericParameter(const uint8_t* p, uint32_t length, Value* out) {
  layout::Digits form;
  if (!layout::DecodeNumeric(p, length, true, &form))
    return Status::Error(kStateInvalidCharacter, 0, "NUMERIC parameter holds a digit above 9");
  const bool negative = form.negative;
  const int exponent = form.exponent;
  std::string digits;
  for (uint8_t digit : form.digits) digits += static_cast<char>('0' + digit);
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

// The exact form: the application's decimal text. Whole numbers that fit
// travel as integers; others as the text, which PostgreSQL reads as the
// exact numeric and SQLite as its column's affinity makes it.
Status DecodeDecimalText(const uint8_t* p, uint32_t length, Value* out) {
  std::string text(reinterpret_cast<const char*>(p), layout::ParameterTextLength(p, length));
  Decimal d;
  if (!ParseDecimal(text, &d) || text.find_first_of("eE \t") != std::string::npos)
    return Status::Error(kStateInvalidCharacter, 0, "NUMERIC parameter is not a decimal number");
  if (text.find('.') == std::string::npos) {
    size_t first = text.find_first_not_of("+-0");
    if (first == std::string::npos) first = text.size();
    if (text.size() - first <= 18) {
      const int64_t v = std::strtoll(text.c_str(), nullptr, 10);
      *out = Value::Integer(v);
      return Status::Ok();
    }
  }
  *out = Value::Text(text);
  out->decimal = true;
  return Status::Ok();
}

Status DecodeBigIntParameter(const uint8_t* p, uint32_t length, Value* out) {
  bool negative = false;
  uint64_t magnitude = 0;
  layout::DecodeBigInt(p, length, true, &negative, &magnitude);
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
  if (sqlType == kSqlDecimalText) return DecodeDecimalText(p, length, out);
  const SqlTypeInfo* type = FindSqlTypeInfo(sqlType);
  if (type != nullptr && type->sizeIndex != kSizeNone && length != type->formSize)
    return WrongSize(sqlType, length);
  int64_t integer = 0;
  float real = 0;
  double number = 0;
  layout::DateTime dt;
  if (sqlType >= kSqlIntervalYear && sqlType <= kSqlIntervalMinuteToSecond) {
    // ODBC's form as ISO 8601, which PostgreSQL reads whatever the
    // marker's type (protocol/INTERVALS.md); other text goes as it came,
    // for the storage to judge.
    interval::Fields f;
    char text[interval::kTextBytes];
    const uint32_t n = layout::ParameterTextLength(p, length);
    const char* given = reinterpret_cast<const char*>(p);
    *out =
        interval::Parse(sqlType - interval::kSqlCodeBase, given, n, &f) == interval::Outcome::kDone
            ? Value::Text(std::string(text, interval::ToIso8601(f, text)))
            : Value::Text(std::string(given, n));
    return Status::Ok();
  }
  switch (layout::LayoutOf(sqlType)) {
    case layout::Layout::kText:
      *out = Value::Text(
          std::string(reinterpret_cast<const char*>(p), layout::ParameterTextLength(p, length)));
      return Status::Ok();
    case layout::Layout::kBinary:
      *out = Value::Blob(std::string(reinterpret_cast<const char*>(p), length));
      return Status::Ok();
    case layout::Layout::kBit:
    case layout::Layout::kInteger:
      layout::DecodeInteger(p, length, type->formSize, !type->isUnsigned, &integer);
      *out = Value::Integer(integer);
      return Status::Ok();
    case layout::Layout::kBigInt:
      return DecodeBigIntParameter(p, length, out);
    case layout::Layout::kReal:
      layout::DecodeReal(p, length, &real);
      *out = Value::Real(real);
      return Status::Ok();
    case layout::Layout::kDouble:
      layout::DecodeDouble(p, length, &number);
      *out = Value::Real(number);
      return Status::Ok();
    case layout::Layout::kNumeric:
      return DecodeNumericParameter(p, length, out);
    case layout::Layout::kDate: {
      layout::DecodeDateTime(type->form, p, length, &dt);
      char b[32];
      std::snprintf(b, sizeof b, "%04d-%s-%s", dt.year, TwoDigits(dt.month).c_str(),
                    TwoDigits(dt.day).c_str());
      *out = Value::Text(b);
      return Status::Ok();
    }
    case layout::Layout::kTime:
      layout::DecodeDateTime(type->form, p, length, &dt);
      *out =
          Value::Text(TwoDigits(dt.hour) + ":" + TwoDigits(dt.minute) + ":" + TwoDigits(dt.second));
      return Status::Ok();
    case layout::Layout::kTimestamp: {
      layout::DecodeDateTime(type->form, p, length, &dt);
      char b[32];
      std::snprintf(b, sizeof b, "%04d-%s-%s ", dt.year, TwoDigits(dt.month).c_str(),
                    TwoDigits(dt.day).c_str());
      *out = Value::Text(std::string(b) + TwoDigits(dt.hour) + ":" + TwoDigits(dt.minute) + ":" +
                         TwoDigits(dt.second) + FractionText(dt.fraction));
      return Status::Ok();
    }
    case layout::Layout::kNone:
      break;
  }
  return Status::Error(kStateTypeOutOfRange, 0,
                       "parameter SQL type " + std::to_string(sqlType) + " is not supported");
}

}  // namespace velsrv
