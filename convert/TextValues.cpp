// Loading text values and converting them to characters, bytes and numbers.
#include "convert/TextValues.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "convert/ValueOutput.h"
#include "protocol/ValueLayout.h"

TextValue::~TextValue() { VelFree(buffer_); }

int TextValue::GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  return PutCutText(buffer_, textLength_, length, rgbValue, cbValueMax, pcbValue);
}

int TextValue::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  return PutCutBytes(buffer_, textLength_, length, rgbValue, cbValueMax, pcbValue);
}

bool TextValue::HeldBytes(const char** bytes, uint64_t* held, uint64_t* count) const {
  if (buffer_ == nullptr) return false;  // nothing loaded: the conversions write NULs
  *bytes = buffer_;
  *held = textLength_;
  *count = length;
  return true;
}

// The whole text must be a number (blanks around it and a sign allowed):
// "7abc" is refused rather than read as 7, and "0" and "-5" read as the
// numbers they are.
bool TextValue::ReadNumber(Decimal* value) const {
  return ParseDecimalText(Text(), textLength_, value);
}

uint32_t TextValue::TrimmedLength() const {
  uint32_t n = textLength_;
  while (n > 0 && (buffer_[n - 1] == ' ' || buffer_[n - 1] == '\t')) --n;
  return n;
}

int TextValue::StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const {
  Decimal value;
  uint64_t magnitude;
  bool hasFraction;
  if (!ReadNumber(&value) || !DecimalToInteger(value, &magnitude, &hasFraction))
    return kConversionFailed;
  return StoreExactInteger(target, value.negative, magnitude, hasFraction, rgbValue, pcbValue);
}

// Only magnitudes above the largest single-precision value are out of
// range; zero and negative numbers convert.
int TextValue::GetFloat(void* rgbValue, SQLLEN* pcbValue) const {
  Decimal value;
  if (!ReadNumber(&value)) return kConversionFailed;
  double v = DecimalToDouble(value);
  if (std::fabs(v) > FLT_MAX) return kConversionFailed;
  float f = static_cast<float>(v);
  return PutFixed(&f, sizeof f, rgbValue, pcbValue);
}

int TextValue::GetDouble(void* rgbValue, SQLLEN* pcbValue) const {
  Decimal value;
  if (!ReadNumber(&value)) return kConversionFailed;
  double v = DecimalToDouble(value);
  if (std::isinf(v)) return kConversionFailed;
  return PutFixed(&v, sizeof v, rgbValue, pcbValue);
}

// A short text's buffer is kept from row to row (one allocation per
// column, not per value); a long one is made to measure each time.
bool TextValue::Hold(const uint8_t* bytes, uint32_t n) {
  constexpr uint32_t kKeptBytes = 256;
  textLength_ = 0;
  const uint64_t need = static_cast<uint64_t>(n) + 1;
  if (buffer_ == nullptr || need > capacity_ || capacity_ > kKeptBytes) {
    VelFree(buffer_);
    capacity_ = 0;
    const uint64_t size = need < kKeptBytes ? kKeptBytes : need;
    buffer_ = static_cast<char*>(VelAlloc(static_cast<std::size_t>(size)));
    if (!buffer_) return false;
    capacity_ = static_cast<uint32_t>(size);
  }
  if (n > 0) std::memcpy(buffer_, bytes, n);
  buffer_[n] = '\0';
  textLength_ = n;
  return true;
}

// The declared length is the server's word, unchecked: it sizes nothing.
// It counts characters, one to four UTF-8 bytes each: the buffer holds the
// text that arrived, cut after that many characters, and the value's
// length is its bytes (at least the declared length: the conversions make
// up the NUL padding as they write it).
int CharValue::Load(const uint8_t* bytes, uint32_t size) {
  const uint32_t declared = description != nullptr ? description->length : length;
  const uint32_t held = layout::RowTextLength(bytes, size);
  uint32_t n = 0;
  for (uint32_t characters = 0; n < held; ++n)
    if ((bytes[n] & 0xC0) != 0x80 && characters++ == declared) break;
  length = n > declared ? n : declared;
  return Hold(bytes, n) ? kLoadDone : kLoadNoMemory;
}

int VarCharValue::Load(const uint8_t* bytes, uint32_t size) {
  length = 0;
  if (!Hold(bytes, layout::RowTextLength(bytes, size))) return kLoadNoMemory;
  length = textLength_;
  return kLoadDone;
}
