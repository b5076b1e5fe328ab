// Plain decimal text of a double.
#include "convert/FormatDouble.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The significant (at most 12) rounded digits of |value| into digits, the
// rest of the 12 places "0", and the position of the point relative to
// them (digits "125", point 2: 12.5). Reads printf's exponent form and
// skips whatever radix character the locale uses.
void RoundedDigits(double value, int significant, char digits[12], int* point) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*e", significant - 1, std::fabs(value));
  int n = 0;
  const char* p = text;
  for (; *p && *p != 'e' && *p != 'E'; ++p) {
    if (*p >= '0' && *p <= '9' && n < 12) digits[n++] = *p;
  }
  while (n < 12) digits[n++] = '0';
  int exponent = *p ? std::atoi(p + 1) : 0;
  *point = exponent + 1;
}

}  // namespace

uint32_t FormatDouble(double value, char* dest, uint32_t limit, uint32_t* wholeLength,
                      int significant) {
  if (significant < 1 || significant > 12) significant = 12;
  char text[kFormatDoubleMaxText + 8];
  uint32_t n = 0;
  uint32_t whole = 0;
  bool hasPoint = false;
  if (std::isnan(value)) {
    std::memcpy(text, "nan", 3);
    n = 3;
  } else if (std::isinf(value)) {
    if (value < 0) text[n++] = '-';
    std::memcpy(text + n, "inf", 3);
    n += 3;
  } else {
    char digits[12];
    int point = 0;
    RoundedDigits(value, significant, digits, &point);
    int count = 12;
    while (count > 0 && digits[count - 1] == '0') --count;
    if (count == 0) {
      text[n++] = '0';
    } else {
      if (value < 0) text[n++] = '-';
      if (point > 0) {
        for (int i = 0; i < point; ++i) text[n++] = i < count ? digits[i] : '0';
        whole = n;
        hasPoint = true;
        text[n++] = '.';
        for (int i = point; i < count; ++i) text[n++] = digits[i];
      } else {
        text[n++] = '0';
        whole = n;
        hasPoint = true;
        text[n++] = '.';
        for (int i = 0; i < -point; ++i) text[n++] = '0';
        for (int i = 0; i < count; ++i) text[n++] = digits[i];
      }
      if (text[n - 1] == '.') {
        --n;
        hasPoint = false;
      }
    }
  }
  if (!hasPoint) whole = n;
  if (wholeLength) *wholeLength = whole;
  if (limit > 0) {
    uint32_t copy = n < limit - 1 ? n : limit - 1;
    std::memcpy(dest, text, copy);
    dest[copy] = '\0';
  }
  return n;
}
