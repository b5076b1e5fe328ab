// Decimal numbers as sign, digits and power of ten, shared by the row and
// parameter forms of NUMERIC.
#ifndef VELORA_SERVER_VALUES_DECIMALTEXT_H
#define VELORA_SERVER_VALUES_DECIMALTEXT_H

#include <string>

namespace velsrv {

// A decimal number as sign, significant digits (no leading zeros) and a
// power of ten: value = digits * 10^exponent.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

// Parses [+-]digits[.digits][(e|E)[+-]digits] (blanks around allowed);
// false for anything else.
bool ParseDecimal(const std::string& text, Decimal* out);

// Drops leading zeros, moves trailing zeros into the exponent and rounds
// to at most kSqlNumericDigits digits; zero becomes no digits.
void Normalize(Decimal* d);

}  // namespace velsrv

#endif
