// BIGINT conversions work on the exact 64-bit magnitude and the sign.
#include "convert/BigIntValue.h"

#include <cstdio>
#include <cstring>

#include "convert/ValueOutput.h"
#include "protocol/ValueLayout.h"

// Fewer than 10 bytes: malformed; the value becomes 0.
int BigIntValue::Load(const uint8_t* bytes, uint32_t size) {
  negative_ = false;
  magnitude_ = 0;
  if (!layout::DecodeBigInt(bytes, size, false, &negative_, &magnitude_)) return kLoadMalformed;
  return kLoadDone;
}

// The whole range of each target, -128 and -32768 and -2147483648
// included; a negative zero reads as 0.
int BigIntValue::StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const {
  return StoreExactInteger(target, Negative(), Magnitude(), false, rgbValue, pcbValue);
}

int BigIntValue::GetDouble(void* rgbValue, SQLLEN* pcbValue) const {
  double d = static_cast<double>(Magnitude());
  if (Negative()) d = -d;
  return PutFixed(&d, sizeof d, rgbValue, pcbValue);
}

// Every BIGINT lies within single precision's range: zero and negative
// values convert too.
int BigIntValue::GetFloat(void* rgbValue, SQLLEN* pcbValue) const {
  float f = static_cast<float>(Magnitude());
  if (Negative()) f = -f;
  return PutFixed(&f, sizeof f, rgbValue, pcbValue);
}

int BigIntValue::GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  char text[24];
  uint64_t m = Magnitude();
  int n = std::snprintf(text, sizeof text, "%s%llu", Negative() && m != 0 ? "-" : "",
                        static_cast<unsigned long long>(m));
  return PutWholeText(text, static_cast<uint64_t>(n), rgbValue, cbValueMax, pcbValue);
}

// A magnitude of 2^63 or more has no room beside the sign bit: refused
// rather than written as a different number.
int BigIntValue::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  uint64_t m = Magnitude();
  const uint64_t kSignBit = 1ull << 63;
  if (m & kSignBit) {
    StoreLength(pcbValue, 8);
    return kConversionFailed;
  }
  if (Negative()) m |= kSignBit;
  return PutWhole(&m, 8, rgbValue, cbValueMax, pcbValue);
}
