// Parameter conversion from the C integer and floating types.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "convert/ParameterJob.h"

namespace paramjob {

namespace {

ParamOutcome FromWhole(Job& j, const Whole& w) {
  char text[24];
  std::snprintf(text, sizeof text, "%s%llu", w.negative ? "-" : "",
                static_cast<unsigned long long>(w.magnitude));
  switch (layout::LayoutOf(j.sql->code)) {
    case layout::Layout::kNumeric:
      if (j.c->cType == SQL_C_ULONG && w.magnitude > 0x7fffffffu) return kParamUlongTooLarge;
      return PutDecimal(j, text, static_cast<uint32_t>(std::strlen(text)));
    case layout::Layout::kInteger:
      return PutInteger(j, w, j.c->width);
    case layout::Layout::kBit: {
      if (j.c->cType != SQL_C_BIT && (w.negative || w.magnitude > 1)) return kParamValueOutOfRange;
      return PutBit(j, static_cast<uint8_t>(w.magnitude));
    }
    case layout::Layout::kReal:
      return PutReal(j, static_cast<float>(w.AsDouble()));
    case layout::Layout::kDouble:
      return PutDouble(j, w.AsDouble());
    case layout::Layout::kBigInt:
      return PutBigInt(j, w, true);
    default:
      return PutText(j, text);
  }
}

ParamOutcome FromDouble(Job& j, double v) {
  switch (layout::LayoutOf(j.sql->code)) {
    case layout::Layout::kNumeric: {
      // The 16 significant digits the form holds, rounded, at any magnitude
      // the exponent byte reaches: a double's text would need 17 digits
      // (0.1 is 0.10000000000000001) or an exponent, which text refuses.
      if (v == 0) return PutNumeric(j, "0", 1);
      if (!std::isfinite(v)) return kParamValueOutOfRange;
      char text[40];  // "-d.ddddddddddddddde+ddd"
      std::snprintf(text, sizeof text, "%.15e", v);
      const bool negative = text[0] == '-';
      const char* m = text + (negative ? 1 : 0);
      char digits[16];
      digits[0] = m[0];
      std::memcpy(digits + 1, m + 2, 15);
      const int exponent = std::atoi(m + 18) - 15;
      if (exponent < -128 || exponent > 127) return kParamValueOutOfRange;
      return PutNumericForm(j, negative, digits, 16, exponent);
    }
    case layout::Layout::kInteger: {
      const double hi = std::ldexp(1.0, 8 * static_cast<int>(j.sql->formSize) - 1) - 1;
      if (!(v >= -hi - 1 && v <= hi)) return kParamWholeDigitsLost;
      const double whole = std::trunc(v);
      if (whole != v) return kParamFractionalDigitsLost;
      return PutInteger(j, Whole{whole < 0, static_cast<uint64_t>(std::fabs(whole))}, 0);
    }
    case layout::Layout::kBit: {
      if (!(v >= 0 && v < 2)) return kParamValueOutOfRange;
      if (v != 0 && v != 1) return kParamFractionalValue;
      return PutBit(j, static_cast<uint8_t>(v));
    }
    case layout::Layout::kReal:
      return PutReal(j, static_cast<float>(v));
    case layout::Layout::kDouble:
      return PutDouble(j, v);
    case layout::Layout::kBigInt: {
      const double whole = std::trunc(v);
      if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0))
        return kParamDataOutOfRange;
      return PutBigInt(j, Whole{whole < 0, static_cast<uint64_t>(std::fabs(whole))}, true);
    }
    default: {
      // Fixed point: 7 digits after the point for a float, 17 for a double;
      // a zero whole part is left out (0.5 is ".5000000").
      char text[400];
      std::snprintf(text, sizeof text, "%.*f", j.c->width == 4 ? 7 : 17, v);
      char* zero = text + (text[0] == '-' ? 1 : 0);
      if (zero[0] == '0' && zero[1] == '.') std::memmove(zero, zero + 1, std::strlen(zero));
      return PutText(j, text);
    }
  }
}

}  // namespace

ParamOutcome FromNumber(Job& j) {
  const void* p = j.in.data;
  if (j.c->source == kSrcFloating) {
    if (j.c->width == 4) {
      float f;
      std::memcpy(&f, p, 4);
      return FromDouble(j, f);
    }
    double d;
    std::memcpy(&d, p, 8);
    return FromDouble(j, d);
  }
  Whole w{false, 0};
  ReadWholeNumber(*j.c, p, &w.negative, &w.magnitude);
  return FromWhole(j, w);
}

}  // namespace paramjob

void ReadWholeNumber(const ParamCTypeRow& c, const void* data, bool* negative,
                     uint64_t* magnitude) {
  int64_t s = 0;
  uint64_t u = 0;
  switch (c.width) {
    case 1: {
      int8_t v;
      std::memcpy(&v, data, 1);
      s = v;
      u = static_cast<uint8_t>(v);
      break;
    }
    case 2: {
      int16_t v;
      std::memcpy(&v, data, 2);
      s = v;
      u = static_cast<uint16_t>(v);
      break;
    }
    case 4: {
      int32_t v;
      std::memcpy(&v, data, 4);
      s = v;
      u = static_cast<uint32_t>(v);
      break;
    }
    default:
      std::memcpy(&u, data, 8);
      s = static_cast<int64_t>(u);
      break;
  }
  *negative = c.isSigned && s < 0;
  *magnitude = *negative ? 0 - static_cast<uint64_t>(s) : u;
}
