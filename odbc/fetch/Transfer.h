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
  SQLLEN* pcbValue;   // the length's; may be null
  SQLLEN* indicator;  // SQL_NULL_DATA's (the same unless a descriptor set them apart); may be null
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

// Posts the diagnostic of a conversion's outcome and returns the call's
// code. A cut value is "01004" for character and binary targets (pieces),
// "01S07" for the others (a fraction lost).
SQLRETURN ConversionResult(Statement* stmt, Conversion outcome, bool pieces = true);

// A bound column's value of a row, loaded into value and converted into
// target. A NULL stores SQL_NULL_DATA in *indicator, or fails with "22002"
// when there is no indicator; any other value sets an indicator apart from
// the length to 0. Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO with "01004"
// ("01S07" for a lost fraction) when the value was cut, or SQL_ERROR with the diagnostic
// posted. The value stays loaded (marked kHeld) for SQLGetData.
SQLRETURN TransferBound(Statement* stmt, ColumnValue* value, const ValueInPlace& in,
                        const TransferTarget& target);

// The common pairs of a bound value that no SQLGetData will read (another
// row of the rowset follows): a NULL with an indicator, a number whose
// wire form is the C type's, a VARCHAR, date or time that fits its
// SQL_C_CHAR buffer, written as TransferBound writes them, not held. False, with
// nothing written, for every other value (TransferBound's then).
bool TransferQuick(ColumnValue* value, const ValueInPlace& in, const TransferTarget& target);

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
