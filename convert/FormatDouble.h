// A double as plain decimal text: 12 significant digits (or fewer, when
// asked), never an exponent.
#ifndef VELORA_CONVERT_FORMATDOUBLE_H
#define VELORA_CONVERT_FORMATDOUBLE_H

#include <cstdint>

// Longest text FormatDouble produces (a NUL not counted): a sign, "0.",
// 323 zeros and 12 digits for the smallest magnitudes.
const uint32_t kFormatDoubleMaxText = 340;

// Formats value (rounded to 12 significant digits, trailing zeros and a
// final point removed, "0" for zero) into dest: at most limit-1 characters
// and a NUL; nothing when limit is 0. Returns the full text length; when
// wholeLength is given it receives the number of characters before the
// point (the whole length when there is none). NaN and infinities give
// "nan", "inf" and "-inf".
// significant (1..12) rounds to fewer digits: a single-precision value is
// shown with the 7 digits it holds, not with the noise of its widening.
uint32_t FormatDouble(double value, char* dest, uint32_t limit, uint32_t* wholeLength = nullptr,
                      int significant = 12);

#endif
