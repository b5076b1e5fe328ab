// The small integer kinds. Beside plain range checks they keep their
// widening conversions: a negative value read as an unsigned type comes
// out in two's complement (-1 as SQL_C_ULONG is 4294967295).
#include "convert/IntegerValues.h"

#include <cstdio>
#include <cstring>

#include "convert/ValueOutput.h"
#include "protocol/SqlTypeCatalog.h"
#include "protocol/ValueLayout.h"

struct IntegerKind {
  uint8_t bytes;      // row bytes and GetBinary bytes
  bool isSigned;      // held bytes are signed
  bool bitText;       // GetChar writes "1" for any non-zero value
  bool bitAsIs;       // GetBit writes the byte unchecked
  bool ushortWidens;  // GetUShort widens with the sign, unchecked
  bool utinyIsByte;   // GetUTinyInt writes the low byte unchecked
};

namespace {

const IntegerKind kBit = {1, false, true, true, true, true};
const IntegerKind kTinyInt = {1, true, false, false, true, true};
const IntegerKind kSmallInt = {2, true, false, false, true, false};
const IntegerKind kInteger = {4, true, false, false, false, false};

}  // namespace

BitValue::BitValue() : IntegerFamilyValue(kBit) {}
TinyIntValue::TinyIntValue() : IntegerFamilyValue(kTinyInt) {}
SmallIntValue::SmallIntValue() : IntegerFamilyValue(kSmallInt) {}
IntegerValue::IntegerValue() : IntegerFamilyValue(kInteger) {}

// Fewer bytes than the kind's size: malformed; the value becomes 0.
int IntegerFamilyValue::Load(const uint8_t* bytes, uint32_t size) {
  value_ = 0;
  int64_t v = 0;
  if (!layout::DecodeInteger(bytes, size, kind_.bytes, kind_.isSigned, &v)) return kLoadMalformed;
  value_ = static_cast<int32_t>(v);
  if (HasMark(kOdbc3TypeCodes)) value_ = Odbc3SqlType(value_);
  return kLoadDone;
}

int IntegerFamilyValue::GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  char text[16];
  int n;
  if (kind_.bitText)
    n = std::snprintf(text, sizeof text, "%d", value_ != 0 ? 1 : 0);
  else
    n = std::snprintf(text, sizeof text, "%d", static_cast<int>(value_));
  return PutWholeText(text, static_cast<uint64_t>(n), rgbValue, cbValueMax, pcbValue);
}

// The value's own bytes, as many as the kind holds. The length reported is
// that byte count (not the declared column length), so it always matches
// what was written.
int IntegerFamilyValue::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  uint8_t raw[4];
  switch (kind_.bytes) {
    case 1:
      raw[0] = static_cast<uint8_t>(value_);
      break;
    case 2: {
      int16_t v = static_cast<int16_t>(value_);
      std::memcpy(raw, &v, 2);
      break;
    }
    default:
      std::memcpy(raw, &value_, 4);
      break;
  }
  return PutWhole(raw, kind_.bytes, rgbValue, cbValueMax, pcbValue);
}

int IntegerFamilyValue::GetFloat(void* rgbValue, SQLLEN* pcbValue) const {
  float f = static_cast<float>(value_);
  return PutFixed(&f, sizeof f, rgbValue, pcbValue);
}

int IntegerFamilyValue::GetDouble(void* rgbValue, SQLLEN* pcbValue) const {
  double d = value_;
  return PutFixed(&d, sizeof d, rgbValue, pcbValue);
}

int IntegerFamilyValue::StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const {
  uint64_t widened = static_cast<uint64_t>(static_cast<int64_t>(value_));
  switch (target) {
    case kTargetBit:
      if (kind_.bitAsIs) return StoreRawInteger(target, widened, rgbValue, pcbValue);
      break;
    case kTargetUShort:
      if (kind_.ushortWidens) return StoreRawInteger(target, widened, rgbValue, pcbValue);
      break;
    case kTargetUTinyInt:
      if (kind_.utinyIsByte) return StoreRawInteger(target, widened, rgbValue, pcbValue);
      break;
    // Sign-widened like SQL_C_ULONG, so both unsigned forms agree.
    case kTargetULong:
    case kTargetUBigInt:
      return StoreRawInteger(target, widened, rgbValue, pcbValue);
    default:
      break;
  }
  bool negative = value_ < 0;
  uint64_t magnitude = negative ? 0 - widened : widened;
  return StoreExactInteger(target, negative, magnitude, false, rgbValue, pcbValue);
}
