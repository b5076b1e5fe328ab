// REAL and FLOAT conversions, and what NUMERIC shares with them.
#include "convert/FloatingValues.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "convert/FormatDouble.h"
#include "convert/ValueOutput.h"
#include "protocol/ValueLayout.h"

int FloatingValue::GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  // Room for any double's full text: whole digits are never cut here.
  char text[kFormatDoubleMaxText + 1];
  uint32_t whole = 0;
  uint32_t n = FormatDouble(AsDouble(), text, sizeof text, &whole, TextDigits());
  return PutNumberText(text, n, whole, rgbValue, cbValueMax, pcbValue);
}

int FloatingValue::GetFloat(void* rgbValue, SQLLEN* pcbValue) const {
  double v = AsDouble();
  if (std::fabs(v) > FLT_MAX) return kConversionFailed;
  float f = static_cast<float>(v);
  PutFixed(&f, sizeof f, rgbValue, pcbValue);
  return (static_cast<double>(f) == v || std::isnan(v)) ? kConversionDone : kConversionTruncated;
}

int FloatingValue::GetDouble(void* rgbValue, SQLLEN* pcbValue) const {
  double v = AsDouble();
  return PutFixed(&v, sizeof v, rgbValue, pcbValue);
}

// Ranges are compared in double precision for REAL too, so a float of
// 2147483648 is out of SQL_C_SLONG's range instead of overflowing it.
int FloatingValue::StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const {
  return StoreDoubleInteger(target, AsDouble(), rgbValue, pcbValue);
}

// Fewer than 4 bytes: malformed; the value becomes 0.
int RealValue::Load(const uint8_t* bytes, uint32_t size) {
  value_ = 0;
  return layout::DecodeReal(bytes, size, &value_) ? kLoadDone : kLoadMalformed;
}

int RealValue::GetFloat(void* rgbValue, SQLLEN* pcbValue) const {
  return PutFixed(&value_, sizeof value_, rgbValue, pcbValue);
}

// The length reported and checked is the 4 bytes written, whatever the
// declared column length.
int RealValue::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  return PutWhole(&value_, sizeof value_, rgbValue, cbValueMax, pcbValue);
}

// Fewer than 8 bytes: malformed; the value becomes 0.
int FloatValue::Load(const uint8_t* bytes, uint32_t size) {
  value_ = 0;
  return layout::DecodeDouble(bytes, size, &value_) ? kLoadDone : kLoadMalformed;
}

int FloatValue::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  return PutWhole(&value_, sizeof value_, rgbValue, cbValueMax, pcbValue);
}
