// Length and truncation rules for writing converted values.
#include "convert/ValueOutput.h"

#include <cstring>

#include "convert/ColumnValue.h"

namespace {

// Copies n bytes of src, or n zero bytes when src is null.
void CopyOrZero(void* dest, const void* src, uint64_t n) {
  if (n == 0) return;
  if (src)
    std::memcpy(dest, src, n);
  else
    std::memset(dest, 0, n);
}

// n characters of text (NULs when text is null) and a terminating NUL.
void WriteText(void* rgbValue, const char* text, uint64_t n) {
  CopyOrZero(rgbValue, text, n);
  static_cast<char*>(rgbValue)[n] = '\0';
}

bool Fits(uint64_t needed, SQLLEN cbValueMax) {
  return cbValueMax >= 0 && needed <= static_cast<uint64_t>(cbValueMax);
}

}  // namespace

int PutFixed(const void* value, std::size_t size, void* rgbValue, SQLLEN* pcbValue) {
  std::memcpy(rgbValue, value, size);
  StoreLength(pcbValue, size);
  return kConversionDone;
}

int PutWhole(const void* value, std::size_t size, void* rgbValue, SQLLEN cbValueMax,
             SQLLEN* pcbValue) {
  StoreLength(pcbValue, size);
  if (!Fits(size, cbValueMax)) return kConversionFailed;
  std::memcpy(rgbValue, value, size);
  return kConversionDone;
}

int PutWholeText(const char* text, uint64_t length, void* rgbValue, SQLLEN cbValueMax,
                 SQLLEN* pcbValue) {
  StoreLength(pcbValue, length);
  if (!Fits(length + 1, cbValueMax)) return kConversionFailed;
  WriteText(rgbValue, text, length);
  return kConversionDone;
}

int PutCutText(const char* text, uint64_t length, void* rgbValue, SQLLEN cbValueMax,
               SQLLEN* pcbValue) {
  StoreLength(pcbValue, length);
  if (Fits(length + 1, cbValueMax)) {
    WriteText(rgbValue, text, length);
    return kConversionDone;
  }
  if (cbValueMax > 0) WriteText(rgbValue, text, static_cast<uint64_t>(cbValueMax) - 1);
  return kConversionTruncated;
}

int PutCutBytes(const void* bytes, uint64_t length, void* rgbValue, SQLLEN cbValueMax,
                SQLLEN* pcbValue) {
  StoreLength(pcbValue, length);
  uint64_t room = cbValueMax > 0 ? static_cast<uint64_t>(cbValueMax) : 0;
  uint64_t n = length < room ? length : room;
  CopyOrZero(rgbValue, bytes, n);
  return length > room ? kConversionTruncated : kConversionDone;
}

int PutNumberText(const char* text, uint64_t length, uint64_t wholeLength, void* rgbValue,
                  SQLLEN cbValueMax, SQLLEN* pcbValue) {
  StoreLength(pcbValue, length);
  if (Fits(length + 1, cbValueMax)) {
    WriteText(rgbValue, text, length);
    return kConversionDone;
  }
  if (!Fits(wholeLength + 1, cbValueMax)) return kConversionFailed;
  WriteText(rgbValue, text, static_cast<uint64_t>(cbValueMax) - 1);
  return kConversionTruncated;
}
