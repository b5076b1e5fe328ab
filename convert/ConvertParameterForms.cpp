// Parameter conversion: the target forms values are put in.
#include <cstring>

#include "convert/ParameterJob.h"
#include "protocol/Extensions.h"

namespace paramjob {

ParamOutcome Done(bool stored) { return stored ? kParamDone : kParamMemory; }

ParamOutcome PutForm(Job& j, const void* bytes, uint32_t n) {
  const uint32_t size = j.sizes.size[j.sql->sizeIndex];
  uint8_t* p = j.out->SetSized(size);
  if (p == nullptr) return kParamMemory;
  std::memcpy(p, bytes, n < size ? n : size);
  return kParamDone;
}

ParamOutcome PutBigInt(Job& j, const Whole& w, bool marked) {
  if (w.magnitude > kInt64Max + (w.negative ? 1 : 0)) return kParamDataOutOfRange;
  uint8_t form[layout::kBigIntBytes];
  layout::EncodeBigInt(w.negative, w.magnitude, marked, form);
  return PutForm(j, form, sizeof form);
}

ParamOutcome PutNumericForm(Job& j, bool negative, const char* digits, int count, int exponent) {
  layout::Digits d;
  d.negative = negative;
  d.exponent = static_cast<int8_t>(exponent);
  for (int k = 0; k < count; ++k) d.digits[k] = static_cast<uint8_t>(digits[k] - '0');
  uint8_t form[layout::kNumericParameterBytes];
  layout::EncodeNumeric(d, true, form);
  return PutForm(j, form, sizeof form);
}

ParamOutcome PutNumeric(Job& j, const char* t, uint32_t n) {
  uint8_t form[12] = {};
  uint32_t i = 0;
  if (n > 0 && (t[0] == '-' || t[0] == '+')) {
    form[0] = t[0] == '-' ? 1 : 0;
    i = 1;
  }
  if (n - i >= 18) return kParamDataTruncated;
  char digits[18];
  int count = 0;
  int exponent = 0;
  bool point = false;
  for (; i < n; ++i) {
    if (t[i] == '.' && !point) {
      point = true;
    } else if (t[i] >= '0' && t[i] <= '9') {
      if (point) --exponent;
      if (count > 0 || t[i] != '0') digits[count++] = t[i];
    } else {
      return kParamNonNumeric;
    }
  }
  while (count > 16 && digits[count - 1] == '0') {
    --count;
    ++exponent;
  }
  if (count > 16) return kParamDataTruncated;
  return PutNumericForm(j, form[0] != 0, digits, count, exponent - (16 - count));
}

ParamOutcome PutDecimal(Job& j, const char* t, uint32_t n) {
  if (!j.in.exactDecimal) return PutNumeric(j, t, n);
  uint32_t i = n > 0 && (t[0] == '-' || t[0] == '+') ? 1 : 0;
  const bool negative = i == 1 && t[0] == '-';
  uint32_t digits = 0, point = n, k = i;
  for (; k < n; ++k) {
    if (t[k] == '.' && point == n) {
      point = k;
    } else if (t[k] >= '0' && t[k] <= '9') {
      ++digits;
    } else {
      return kParamNonNumeric;
    }
  }
  if (digits == 0) return kParamNonNumeric;
  // Leading zeros of the whole part go, one before the point stays.
  while (i + 1 < point && t[i] == '0') ++i;
  const uint32_t fraction = point == n ? 0 : n - point - 1;
  const uint32_t pad = j.in.decimalDigits > static_cast<int16_t>(fraction)
                           ? static_cast<uint32_t>(j.in.decimalDigits) - fraction
                           : 0;
  const uint32_t whole = point - i;
  const uint32_t size =
      (negative ? 1 : 0) + (whole == 0 ? 1 : whole) + (fraction + pad > 0 ? 1 + fraction + pad : 0);
  if (size >= UINT32_MAX - 1) return kParamInvalidLength;
  uint8_t* p = j.out->SetSized(size + 1);
  if (p == nullptr) return kParamMemory;
  uint32_t o = 0;
  if (negative) p[o++] = '-';
  if (whole == 0) p[o++] = '0';
  std::memcpy(p + o, t + i, whole);
  o += whole;
  if (fraction + pad > 0) {
    p[o++] = '.';
    std::memcpy(p + o, t + point + 1, fraction);
    o += fraction;
    std::memset(p + o, '0', pad);
  }
  j.out->SetSentType(kSqlDecimalText);
  return kParamDone;
}

ParamOutcome PutInteger(Job& j, const Whole& w, uint32_t sourceWidth) {
  const uint32_t width = j.sql->formSize;
  const uint64_t limit = (1ull << (8 * width - 1)) - (w.negative ? 0 : 1);
  if (w.magnitude > limit) {
    return sourceWidth > width ? kParamWholeDigitsLost : kParamDataOutOfRange;
  }
  const int64_t v =
      w.negative ? -static_cast<int64_t>(w.magnitude) : static_cast<int64_t>(w.magnitude);
  uint8_t bytes[8];
  layout::EncodeInteger(v, width, bytes);
  return PutForm(j, bytes, width);
}

ParamOutcome PutText(Job& j, const char* text) {
  return Done(j.out->SetText(text, static_cast<uint32_t>(std::strlen(text))));
}

ParamOutcome PutBit(Job& j, uint8_t bit) {
  uint8_t form[1];
  layout::EncodeInteger(bit, 1, form);
  return PutForm(j, form, sizeof form);
}

ParamOutcome PutReal(Job& j, float v) {
  uint8_t form[4];
  layout::EncodeReal(v, form);
  return PutForm(j, form, sizeof form);
}

ParamOutcome PutDouble(Job& j, double v) {
  uint8_t form[8];
  layout::EncodeDouble(v, form);
  return PutForm(j, form, sizeof form);
}

ParamOutcome PutDateTime(Job& j, const layout::DateTime& dt) {
  uint8_t form[16];
  layout::EncodeDateTime(j.sql->form, dt, form);
  return PutForm(j, form, layout::DateTimeBytes(j.sql->form));
}

}  // namespace paramjob
