// Range checks and stores for the integer C types.
#include "convert/IntegerTargets.h"

#include <cmath>
#include <cstring>

#include "convert/ColumnValue.h"
#include "convert/ValueOutput.h"

namespace {

struct TargetRange {
  uint8_t size;
  uint64_t negativeLimit;  // largest magnitude of a negative value
  uint64_t positiveLimit;  // largest positive value
};

// Indexed by IntegerTarget.
const TargetRange kRanges[] = {
    {1, 0, 1},
    {1, 128, 127},
    {2, 32768, 32767},
    {4, 2147483648u, 2147483647u},
    {8, 9223372036854775808u, 9223372036854775807u},
    {1, 0, 255},
    {2, 0, 65535},
    {4, 0, 4294967295u},
    {8, 0, UINT64_MAX},
};
static_assert(sizeof kRanges / sizeof kRanges[0] == kTargetCount, "one range per IntegerTarget");

}  // namespace

int StoreRawInteger(IntegerTarget target, uint64_t bits, void* rgbValue, SQLLEN* pcbValue) {
  switch (kRanges[target].size) {
    case 1: {
      uint8_t v = static_cast<uint8_t>(bits);
      return PutFixed(&v, 1, rgbValue, pcbValue);
    }
    case 2: {
      uint16_t v = static_cast<uint16_t>(bits);
      return PutFixed(&v, 2, rgbValue, pcbValue);
    }
    case 4: {
      uint32_t v = static_cast<uint32_t>(bits);
      return PutFixed(&v, 4, rgbValue, pcbValue);
    }
    default:
      return PutFixed(&bits, 8, rgbValue, pcbValue);
  }
}

int StoreExactInteger(IntegerTarget target, bool negative, uint64_t magnitude, bool hasFraction,
                      void* rgbValue, SQLLEN* pcbValue) {
  const TargetRange& range = kRanges[target];
  bool inRange;
  if (negative && (magnitude > 0 || hasFraction)) {
    inRange = magnitude < range.negativeLimit || (magnitude == range.negativeLimit && !hasFraction);
  } else if (target == kTargetBit) {
    inRange = magnitude <= 1;
  } else {
    inRange = magnitude < range.positiveLimit || (magnitude == range.positiveLimit && !hasFraction);
  }
  if (!inRange) return kConversionFailed;
  uint64_t bits = negative ? 0 - magnitude : magnitude;
  StoreRawInteger(target, bits, rgbValue, pcbValue);
  return hasFraction ? kConversionTruncated : kConversionDone;
}

int StoreDoubleInteger(IntegerTarget target, double value, void* rgbValue, SQLLEN* pcbValue) {
  // 2^64: every double of smaller magnitude truncates into a uint64_t.
  const double kTwoTo64 = 18446744073709551616.0;
  if (!(std::fabs(value) < kTwoTo64)) return kConversionFailed;
  double whole = std::trunc(value);
  uint64_t magnitude = static_cast<uint64_t>(std::fabs(whole));
  return StoreExactInteger(target, value < 0, magnitude, whole != value, rgbValue, pcbValue);
}
