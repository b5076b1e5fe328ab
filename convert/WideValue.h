// A column's value as wide text (SQL_C_WCHAR): the text SQL_C_CHAR gives,
// in UTF-16, readable from any character boundary on for SQLGetData's
// pieces.
#ifndef VELORA_CONVERT_WIDEVALUE_H
#define VELORA_CONVERT_WIDEVALUE_H

#include <sql.h>

#include <cstdint>

class ColumnValue;

// What one wide conversion wrote and where the next piece starts.
struct WidePiece {
  uint64_t used = 0;   // UTF-8 bytes from the offset whose characters were written whole
  uint64_t total = 0;  // UTF-8 bytes of the whole text
};

// Writes the UTF-16 form of value's text from UTF-8 byte offset on into
// rgbValue (cbValueMax bytes: at most cbValueMax / 2 - 1 units and a 0
// unit, a surrogate pair never cut). *pcbValue receives the bytes of the
// UTF-16 form from offset to the end. Ill-formed UTF-8 from the server
// becomes U+FFFD. Returns kConversionDone, kConversionTruncated, or the
// failure of the value's SQL_C_CHAR conversion (kConversionNoMemory when
// a scratch buffer cannot be had); piece (when not null) is filled on
// success.
int GetWideText(const ColumnValue* value, uint64_t offset, void* rgbValue, SQLLEN cbValueMax,
                SQLLEN* pcbValue, WidePiece* piece);

#endif
