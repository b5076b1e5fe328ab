// Parameter conversion: the target forms values are put in.
#include <cstring>

#include "convert/ParameterJob.h"

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
  uint16_t words[5] = {static_cast<uint16_t>(w.magnitude >> 48),
                       static_cast<uint16_t>(w.magnitude >> 32),
                       static_cast<uint16_t>(w.magnitude >> 16), static_cast<uint16_t>(w.magnitude),
                       static_cast<uint16_t>(w.negative)};
  // A negative value made from a C number below 2^32 carries the mark the
  // server expects of it.
  if (marked && w.negative && w.magnitude <= 0xffffffffull) words[0] = 0x8000;
  return PutForm(j, words, sizeof words);
}

ParamOutcome PutNumericForm(Job& j, bool negative, const char* digits, int count, int exponent) {
  uint8_t form[12] = {};
  form[0] = negative ? 1 : 0;
  form[1] = static_cast<uint8_t>(static_cast<int8_t>(exponent));
  uint32_t words[2] = {0, 0};
  for (int k = 0; k < count; ++k) {
    const int position = 15 - k;
    words[position / 8] |= static_cast<uint32_t>(digits[k] - '0') << (4 * (position % 8));
  }
  std::memcpy(form + 4, words, 8);
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

ParamOutcome PutInteger(Job& j, const Whole& w, uint32_t sourceWidth) {
  const uint32_t width = j.sql->formSize;
  const uint64_t limit = (1ull << (8 * width - 1)) - (w.negative ? 0 : 1);
  if (w.magnitude > limit) {
    return sourceWidth > width ? kParamWholeDigitsLost : kParamDataOutOfRange;
  }
  const int64_t v =
      w.negative ? -static_cast<int64_t>(w.magnitude) : static_cast<int64_t>(w.magnitude);
  uint8_t bytes[8];
  std::memcpy(bytes, &v, sizeof bytes);  // little-endian: the low bytes first
  return PutForm(j, bytes, width);
}

ParamOutcome PutText(Job& j, const char* text) {
  return Done(j.out->SetText(text, static_cast<uint32_t>(std::strlen(text))));
}

}  // namespace paramjob
