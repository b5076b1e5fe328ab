// Answers of the workers written into the application's buffers: numbers
// as wide as their kind, UTF-8 texts as UTF-16 for the wide (W) entry
// points.
#ifndef VELORA_ODBC3_OUTPUT3_H
#define VELORA_ODBC3_OUTPUT3_H

#include <sql.h>

#include "base/String.h"
#include "convert/WideText.h"
#include "odbc3/WideArgs.h"
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

#endif
