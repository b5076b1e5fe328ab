// The transfer: one column value of the current row into one application
// buffer, converted to the application's C type by convert/ (one plan, one
// conversion), with the outcome turned into an ODBC result. Used for bound
// columns by the fetches and for single values by SQLGetData.
#ifndef VELORA_ODBC_FETCH_TRANSFER_H
#define VELORA_ODBC_FETCH_TRANSFER_H

#include <sql.h>

#include <cstdint>

#include "convert/ConvertColumnValue.h"
#include "handles/GetDataPosition.h"

class FetchDataElement;
class Statement;

// Arguments of one transfer: the application's buffer as SQLBindCol or
// SQLGetData gave it.
struct TransferTarget {
  SQLSMALLINT fCType;
  SQLPOINTER rgbValue;
  SQLLEN cbValueMax;
  SQLLEN* pcbValue;  // may be null
};

// A column's value as it stands in a reply's bytes (data may be null when
// length is 0).
struct ValueInPlace {
  bool isNull;
  const uint8_t* data;
  uint32_t length;
};

// The value of element as the transfer reads it.
ValueInPlace InPlace(const FetchDataElement* element);

// Posts the diagnostic of a conversion's outcome and returns the call's code.
SQLRETURN ConversionResult(Statement* stmt, Conversion outcome);

// A bound column's value of a row, loaded into value and converted into
// target. A NULL stores SQL_NULL_DATA in *pcbValue, or fails with "22002"
// when there is no indicator. Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO
// with "01004" when the value was cut, or SQL_ERROR with the diagnostic
// posted. The value stays loaded (marked kHeld) for SQLGetData.
SQLRETURN TransferBound(Statement* stmt, ColumnValue* value, const ValueInPlace& in,
                        const TransferTarget& target);

// SQLGetData's transfer of column icol through plan (checked). in holds
// the value's bytes, or is null when value already holds the row's value
// (a bound column's); source is the element in holds, when one does (a
// value read in pieces stays loaded from it). Character and binary values
// go out in pieces from position; a call after the last piece answers
// SQL_NO_DATA_FOUND.
SQLRETURN TransferPiece(Statement* stmt, ColumnValue* value, const ConversionPlan& plan,
                        const ValueInPlace* in, const FetchDataElement* source,
                        const TransferTarget& target, uint16_t icol, GetDataPosition* position);

#endif
