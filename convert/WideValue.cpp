#include "convert/WideValue.h"

#include "base/Alloc.h"
#include "convert/ColumnValue.h"
#include "convert/ValueOutput.h"
#include "convert/WideText.h"

int GetWideText(const ColumnValue* value, uint64_t offset, void* rgbValue, SQLLEN cbValueMax,
                SQLLEN* pcbValue, WidePiece* piece) {
  const char* text = nullptr;
  uint64_t held = 0, count = 0;
  // Texts are read where they are held; other values (and a text the
  // server sent short of its padding) take their SQL_C_CHAR text, in a
  // buffer of its own when it is long (binary values as hexadecimal).
  char local[256];
  char* owned = nullptr;
  if (!value->HeldBytes(true, &text, &held, &count) || held != count) {
    SQLLEN length = 0;
    int result = value->GetChar(local, sizeof local, &length);
    count = length > 0 ? static_cast<uint64_t>(length) : 0;
    text = local;
    if (count >= sizeof local) {
      // Longer than the local buffer (whole-or-nothing texts fail there).
      owned = static_cast<char*>(VelAlloc(static_cast<std::size_t>(count) + 1));
      if (owned == nullptr) return kConversionNoMemory;
      result = value->GetChar(owned, static_cast<SQLLEN>(count) + 1, &length);
      text = owned;
    }
    if (result != kConversionDone) {
      VelFree(owned);
      return result == kConversionTruncated ? kConversionFailed : result;
    }
  }
  if (offset > count) offset = count;
  const long units = rgbValue != nullptr && cbValueMax > 0 ? static_cast<long>(cbValueMax / 2) : 0;
  long need = 0, used = 0;
  const long written = Utf8ToWidePiece(text + offset, static_cast<long>(count - offset),
                                       static_cast<SQLWCHAR*>(rgbValue), units, &need, &used);
  VelFree(owned);
  StoreLength(pcbValue, static_cast<uint64_t>(need) * sizeof(SQLWCHAR));
  if (piece != nullptr) {
    piece->used = static_cast<uint64_t>(used);
    piece->total = count;
  }
  return written < need ? kConversionTruncated : kConversionDone;
}
