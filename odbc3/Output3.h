// Answers of the workers written into the application's buffers: numbers
// as wide as their kind, UTF-8 texts as UTF-16 for the wide (W) entry
// points.
#ifndef VELORA_ODBC3_OUTPUT3_H
#define VELORA_ODBC3_OUTPUT3_H

#include <sql.h>

#include "base/String.h"
#include "convert/WideText.h"
#include "odbc/Workers3.h"

// Stores value's number in buffer (when not null) as wide as its size.
inline void PutNumber(const FieldValue& value, SQLPOINTER buffer) {
  if (buffer == nullptr) return;
  if (value.size == sizeof(SQLLEN)) {
    *static_cast<SQLLEN*>(buffer) = value.number;
  } else if (value.size == sizeof(SQLINTEGER)) {
    *static_cast<SQLINTEGER*>(buffer) = static_cast<SQLINTEGER>(value.number);
  } else {
    *static_cast<SQLSMALLINT*>(buffer) = static_cast<SQLSMALLINT>(value.number);
  }
}

// Writes text as UTF-16 into buffer (units characters, nothing when null),
// cut to whole characters with a 0 as Utf8ToWide cuts; *needUnits is the
// whole text's characters. True when the text and its 0 fit.
inline bool PutWide(const String& text, SQLPOINTER buffer, long units, long* needUnits) {
  Utf8ToWide(text.TextOrEmpty(), static_cast<long>(text.Length()), static_cast<SQLWCHAR*>(buffer),
             buffer != nullptr && units > 0 ? units : 0, needUnits);
  return *needUnits < units;
}

// A length in 16 bits: the most those hold for a longer one.
inline SQLSMALLINT ShortLength(long length) {
  return static_cast<SQLSMALLINT>(length > 32767 ? 32767 : length);
}

#endif
