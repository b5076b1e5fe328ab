// NUMERIC: packed decimal digits converted exactly.
#include <cstring>

#include "convert/FloatingValues.h"
#include "convert/ValueOutput.h"
#include "protocol/ValueLayout.h"

// Fewer than 10 bytes, or a nibble above 9: malformed; the value becomes 0.
int NumericValue::Load(const uint8_t* bytes, uint32_t size) {
  sign_ = 0;
  exponent_ = 0;
  std::memset(packed_, 0, sizeof packed_);
  std::memset(digits_, 0, sizeof digits_);
  layout::Digits d;
  if (!layout::DecodeNumeric(bytes, size, false, &d)) return kLoadMalformed;
  sign_ = bytes[0];
  exponent_ = d.exponent;
  std::memcpy(packed_, bytes + 2, 8);
  std::memcpy(digits_, d.digits, 16);
  return kLoadDone;
}

void NumericValue::ToDecimal(Decimal* value) const {
  DecimalFromDigits(digits_, exponent_, sign_ != 0, value);
}

double NumericValue::AsDouble() const {
  Decimal value;
  ToDecimal(&value);
  return DecimalToDouble(value);
}

int NumericValue::StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const {
  Decimal value;
  ToDecimal(&value);
  uint64_t magnitude;
  bool hasFraction;
  if (!DecimalToInteger(value, &magnitude, &hasFraction)) return kConversionFailed;
  return StoreExactInteger(target, value.negative, magnitude, hasFraction, rgbValue, pcbValue);
}

// Leading zeros go; the digits after the point are as many as the negative
// exponent says, trailing zeros included. A zero value has no sign.
uint32_t NumericValue::FormatExact(char* text, uint32_t* wholeLength) const {
  char digits[16];
  int count = 0;
  for (int i = 0; i < 16; ++i) {
    if (count == 0 && digits_[i] == 0) continue;
    digits[count++] = static_cast<char>('0' + digits_[i]);
  }
  uint32_t n = 0;
  if (sign_ != 0 && count > 0) text[n++] = '-';
  if (exponent_ >= 0) {
    if (count == 0) {
      text[n++] = '0';
    } else {
      for (int i = 0; i < count; ++i) text[n++] = digits[i];
      for (int i = 0; i < exponent_; ++i) text[n++] = '0';
    }
    *wholeLength = n;
    return n;
  }
  int fractionDigits = -exponent_;
  int width = count > fractionDigits ? count : fractionDigits + 1;  // one whole digit at least
  for (int i = 0; i < width; ++i) {
    if (i == width - fractionDigits) {
      *wholeLength = n;
      text[n++] = '.';
    }
    int d = i - (width - count);
    text[n++] = d >= 0 ? digits[d] : '0';
  }
  return n;
}

int NumericValue::GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  char text[kMaxText + 1];
  uint32_t whole = 0;
  uint32_t n = FormatExact(text, &whole);
  return PutNumberText(text, n, whole, rgbValue, cbValueMax, pcbValue);
}

int NumericValue::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  uint8_t raw[12] = {};
  raw[0] = sign_;
  raw[1] = static_cast<uint8_t>(exponent_);
  std::memcpy(raw + 4, packed_, 8);
  return PutWhole(raw, sizeof raw, rgbValue, cbValueMax, pcbValue);
}
