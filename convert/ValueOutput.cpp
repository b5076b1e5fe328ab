// Length and truncation rules for writing converted values.
#include "convert/ValueOutput.h"

#include <cstring>

#include "convert/ColumnValue.h"

namespace {

// Writes n bytes: the first of the held bytes of src, then zero bytes.
void CopyPadded(void* dest, const void* src, uint64_t held, uint64_t n) {
  const uint64_t copied = src != nullptr && held < n ? held : (src != nullptr ? n : 0);
  if (copied > 0) std::memcpy(dest, src, copied);
  if (n > copied) std::memset(static_cast<char*>(dest) + copied, 0, n - copied);
}

// n characters (text's held ones, then NULs) and a terminating NUL.
void WriteText(void* rgbValue, const char* text, uint64_t held, uint64_t n) {
  CopyPadded(rgbValue, text, held, n);
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
  WriteText(rgbValue, text, length, length);
  return kConversionDone;
}

int PutCutText(const char* text, uint64_t held, uint64_t length, void* rgbValue, SQLLEN cbValueMax,
               SQLLEN* pcbValue) {
  StoreLength(pcbValue, length);
  if (Fits(length + 1, cbValueMax)) {
    WriteText(rgbValue, text, held, length);
    return kConversionDone;
  }
  if (cbValueMax > 0) WriteText(rgbValue, text, held, static_cast<uint64_t>(cbValueMax) - 1);
  return kConversionTruncated;
}

int PutCutBytes(const void* bytes, uint64_t held, uint64_t length, void* rgbValue,
                SQLLEN cbValueMax, SQLLEN* pcbValue) {
  StoreLength(pcbValue, length);
  uint64_t room = cbValueMax > 0 ? static_cast<uint64_t>(cbValueMax) : 0;
  uint64_t n = length < room ? length : room;
  CopyPadded(rgbValue, bytes, held, n);
  return length > room ? kConversionTruncated : kConversionDone;
}

int PutNumberText(const char* text, uint64_t length, uint64_t wholeLength, void* rgbValue,
                  SQLLEN cbValueMax, SQLLEN* pcbValue) {
  StoreLength(pcbValue, length);
  if (Fits(length + 1, cbValueMax)) {
    WriteText(rgbValue, text, length, length);
    return kConversionDone;
  }
  if (!Fits(wholeLength + 1, cbValueMax)) return kConversionFailed;
  WriteText(rgbValue, text, length, static_cast<uint64_t>(cbValueMax) - 1);
  return kConversionTruncated;
}
