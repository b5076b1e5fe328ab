// Picking a value's conversion by the application's C type, and the
// conversion of one value into one application buffer (whole, or a piece
// of a long value from where the previous piece stopped).
#ifndef VELORA_CONVERT_CONVERTCOLUMNVALUE_H
#define VELORA_CONVERT_CONVERTCOLUMNVALUE_H

#include "convert/ColumnValue.h"
#include "convert/SqlTypeTable.h"

// Answer of ConvertColumnValue for a C type that has no conversion at all
// (the caller posts "S1003"); also for SQL_C_DEFAULT on a column type
// without a default.
const int kConversionUnknownCType = -1;

// Converts value's held value into fCType: SQL_C_CHAR and SQL_C_BINARY
// with cbValueMax, the fixed-size types without it; SQL_C_DEFAULT by the
// column's SQL type. SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP,
// SQL_C_SBIGINT and SQL_C_UBIGINT are served for ODBC 3 applications.
// Returns a ConversionResult, or kConversionUnknownCType. A null pcbValue
// is allowed (the length is then not reported); a null rgbValue gets only
// the length: the character and binary targets behave as with cbValueMax
// 0, the fixed-size targets answer kConversionFailed and write nothing.
int ConvertColumnValue(const ColumnValue* value, SQLSMALLINT fCType, void* rgbValue,
                       SQLLEN cbValueMax, SQLLEN* pcbValue);

// The outcome of one transfer, which the caller turns into its SQLSTATE.
enum class Conversion : uint8_t {
  kDone,
  kTruncated,         // "01004": characters or bytes left for the next piece, digits dropped
  kFailed,            // "22003": the value does not fit the C type
  kNoMemory,          // "HY001"
  kUnknownCType,      // "HY003": no conversion for the C type at all
  kRefused,           // "22005": the column's type does not convert to the C type
  kMalformed,         // "08S01": the row's bytes are fewer than the column's layout needs
  kIntervalOverflow,  // "22015"
  kInvalidText,       // "22018" (ODBC 2: "22005")
  kRestricted,        // "07006": the pair does not convert (intervals)
};

// The application's C type resolved once for a column's SQL type.
struct ConversionPlan {
  SQLSMALLINT cType;  // SQL_C_DEFAULT resolved
  CTarget op;         // meaningful when check is kDone
  Conversion check;   // kDone, kUnknownCType or (when asked to refuse) kRefused
  bool pieces;        // character and binary targets: a long value goes out in pieces
};

// Plans the conversion of sqlType's values into fCType. With refuse, the
// pairs the type table refuses answer kRefused, checked first (SQLGetData's
// check; bound columns are not checked: their class fails the pairs it
// does not convert).
ConversionPlan PlanConversion(int32_t sqlType, SQLSMALLINT fCType, bool refuse);

// The application's buffer, and for SQL_C_NUMERIC the precision and scale
// its row descriptor gives (precision 0: the column's own).
struct ValueTarget {
  void* rgbValue;
  SQLLEN cbValueMax;
  SQLLEN* pcbValue;  // may be null
  int precision;
  int scale;
};

// Bytes of a row to load into the value before converting it.
struct RowBytes {
  const uint8_t* data;
  uint32_t length;
};

// Where a value read in pieces stands. offset: the bytes of the value's
// character or binary form (its text's UTF-8 bytes for wide pieces) already
// handed out; next receives where the next piece starts and end where the
// value ends (next >= end: everything went out).
struct PiecePlace {
  uint64_t offset;
  uint64_t next;
  uint64_t end;
};

// One transfer: loads bytes into value when given (else converts the value
// it holds), then writes it through plan (whose check is kDone) into
// target. A piece target with place writes the piece from place->offset
// by the piece rule (PutPiece) and fills place; without place (bound
// columns) the value from its start.
Conversion ConvertValue(ColumnValue* value, const RowBytes* bytes, const ConversionPlan& plan,
                        const ValueTarget& target, PiecePlace* place);

#endif
