// Storing a number into one of the integer C types with the range,
// truncation and result rules common to the value classes.
#ifndef VELORA_CONVERT_INTEGERTARGETS_H
#define VELORA_CONVERT_INTEGERTARGETS_H

#include <sql.h>

#include <cstdint>

enum IntegerTarget : uint8_t {
  kTargetBit,       // 0 <= v < 2
  kTargetTinyInt,   // -128..127
  kTargetShort,     // -32768..32767
  kTargetLong,      // -2147483648..2147483647
  kTargetSBigInt,   // -2^63..2^63-1
  kTargetUTinyInt,  // 0..255
  kTargetUShort,    // 0..65535
  kTargetULong,     // 0..4294967295
  kTargetUBigInt,   // 0..2^64-1
  kTargetCount
};

// The number negative? -(magnitude + f) : magnitude + f, 0 <= f < 1, with
// hasFraction telling whether f is non-zero. A value outside the target's
// range (limits inclusive; the bit target takes 0 <= v < 2) answers
// kConversionFailed and writes nothing. Otherwise the value truncated
// toward zero is written, *pcbValue = the target's size, and the result is
// kConversionTruncated when a fraction was dropped, else kConversionDone.
int StoreExactInteger(IntegerTarget target, bool negative, uint64_t magnitude, bool hasFraction,
                      void* rgbValue, SQLLEN* pcbValue);

// As StoreExactInteger for a double; NaN and infinities are out of range.
int StoreDoubleInteger(IntegerTarget target, double value, void* rgbValue, SQLLEN* pcbValue);

// Writes bits as the target's C type, unchecked: the low bytes of a two's
// complement value (used where a class widens its value with its sign).
int StoreRawInteger(IntegerTarget target, uint64_t bits, void* rgbValue, SQLLEN* pcbValue);

#endif
