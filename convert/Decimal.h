// Exact decimal numbers read from the text classes and from NUMERIC's
// packed digits: validation, the integer part, and a correctly rounded
// double, all independent of the process's locale.
#ifndef VELORA_CONVERT_DECIMAL_H
#define VELORA_CONVERT_DECIMAL_H

#include <cstddef>
#include <cstdint>

// value = (negative ? -1 : 1) * digits * 10^exponent, where digits are the
// significant digits without leading zeros ("" for zero) and, unless
// digits were dropped, without trailing zeros.
struct Decimal {
  // Enough digits to round any decimal text to the nearest double.
  static const uint32_t kMaxDigits = 800;
  bool negative = false;
  bool inexact = false;  // non-zero digits beyond kMaxDigits were dropped
  uint32_t count = 0;
  int64_t exponent = 0;
  char digits[kMaxDigits];
};

// Reads text[0..length) as a number: optional blanks, an optional sign,
// digits with at most one point (at least one digit), an optional exponent
// ("e" or "E", optional sign, digits), optional blanks, and nothing else.
// Returns false, leaving *out unspecified, when the text is not a number.
bool ParseDecimalText(const char* text, std::size_t length, Decimal* out);

// Sets *out from sixteen digit values (most significant first), an exponent
// and a sign.
void DecimalFromDigits(const uint8_t digits[16], int exponent, bool negative, Decimal* out);

// The nearest double; overflow gives an infinity of the number's sign.
double DecimalToDouble(const Decimal& value);

// The integer part's magnitude in *magnitude and whether a non-zero
// fraction follows it in *hasFraction. Returns false when the integer part
// exceeds 2^64-1.
bool DecimalToInteger(const Decimal& value, uint64_t* magnitude, bool* hasFraction);

#endif
