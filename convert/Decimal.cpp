// Exact decimal reading and conversion.
#include "convert/Decimal.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Explicit exponents are capped here; beyond it every value is an
// overflow or zero either way.
const int64_t kExponentCap = 1000000000000LL;

void AddDigit(Decimal* out, char c, bool afterPoint) {
  if (out->count == 0 && c == '0') {
    if (afterPoint) --out->exponent;  // leading zero of a fraction
    return;
  }
  if (out->count < Decimal::kMaxDigits) {
    out->digits[out->count++] = c;
    if (afterPoint) --out->exponent;
  } else {
    if (c != '0') out->inexact = true;
    if (!afterPoint) ++out->exponent;
  }
}

// Trailing zeros move into the exponent, except when digits were dropped:
// the dropped ones stand right after the last digit held.
void Normalise(Decimal* out) {
  if (out->inexact) return;
  while (out->count > 0 && out->digits[out->count - 1] == '0') {
    --out->count;
    ++out->exponent;
  }
  if (out->count == 0) out->exponent = 0;
}

}  // namespace

bool ParseDecimalText(const char* text, std::size_t length, Decimal* out) {
  out->negative = false;
  out->inexact = false;
  out->count = 0;
  out->exponent = 0;
  std::size_t i = 0;
  while (i < length && IsBlank(text[i])) ++i;
  if (i < length && (text[i] == '+' || text[i] == '-')) out->negative = text[i++] == '-';
  bool anyDigit = false;
  bool afterPoint = false;
  for (; i < length; ++i) {
    char c = text[i];
    if (IsDigit(c)) {
      anyDigit = true;
      AddDigit(out, c, afterPoint);
    } else if (c == '.' && !afterPoint) {
      afterPoint = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  if (i < length && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (i >= length || !IsDigit(text[i])) return false;
    int64_t e = 0;
    for (; i < length && IsDigit(text[i]); ++i) {
      if (e < kExponentCap) e = e * 10 + (text[i] - '0');
    }
    out->exponent += negativeExponent ? -e : e;
  }
  while (i < length && IsBlank(text[i])) ++i;
  if (i != length) return false;
  Normalise(out);
  return true;
}

void DecimalFromDigits(const uint8_t digits[16], int exponent, bool negative, Decimal* out) {
  out->negative = negative;
  out->inexact = false;
  out->count = 0;
  out->exponent = exponent;
  for (int i = 0; i < 16; ++i) {
    if (out->count == 0 && digits[i] == 0) continue;
    out->digits[out->count++] = static_cast<char>('0' + digits[i]);
  }
  // The digits form an integer: its exponent is the given one.
  Normalise(out);
}

double DecimalToDouble(const Decimal& value) {
  if (value.count == 0) return value.negative ? -0.0 : 0.0;
  // digits, a sticky "1" standing for dropped digits, "e", the exponent:
  // no decimal point, so the locale cannot change the reading.
  char text[Decimal::kMaxDigits + 32];
  uint32_t n = 0;
  if (value.negative) text[n++] = '-';
  for (uint32_t i = 0; i < value.count; ++i) text[n++] = value.digits[i];
  int64_t exponent = value.exponent;
  if (value.inexact) {
    text[n++] = '1';
    --exponent;
  }
  // With at most 801 digits, exponents beyond these bounds overflow or
  // round to zero whatever their size.
  if (exponent > 2000) exponent = 2000;
  if (exponent < -2000) exponent = -2000;
  std::snprintf(text + n, sizeof text - n, "e%d", static_cast<int>(exponent));
  return std::strtod(text, nullptr);
}

bool DecimalToInteger(const Decimal& value, uint64_t* magnitude, bool* hasFraction) {
  *magnitude = 0;
  *hasFraction = false;
  if (value.count == 0) return true;
  int64_t wholeDigits = static_cast<int64_t>(value.count) + value.exponent;
  if (wholeDigits > 20) return false;
  uint64_t m = 0;
  for (int64_t i = 0; i < wholeDigits; ++i) {
    unsigned d = i < value.count ? static_cast<unsigned>(value.digits[i] - '0') : 0;
    if (m > (UINT64_MAX - d) / 10) return false;
    m = m * 10 + d;
  }
  *magnitude = m;
  // Trailing zeros are normalised away (unless digits were dropped, which
  // makes a fraction anyway): any digit after the whole part is a non-zero
  // fraction.
  *hasFraction = wholeDigits < static_cast<int64_t>(value.count) || value.inexact;
  return true;
}
