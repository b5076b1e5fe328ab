// The transfer: one column value of the current row into one application
// buffer, converted to the application's C type, with the conversion's
// result turned into an ODBC outcome. Used for bound columns by SQLFetch
// and for single values by SQLGetData.
#ifndef VELORA_ODBC_FETCH_TRANSFER_H
#define VELORA_ODBC_FETCH_TRANSFER_H

#include <sql.h>

#include <cstdint>

#include "handles/GetDataPosition.h"

class ColumnValue;
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

// Converts element (the column's value of the current row) through value
// into target. A null element value stores SQL_NULL_DATA in *indicator and
// leaves rgbValue alone; any other value sets a separate indicator to 0. Returns SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO with "01004" posted on stmt when the value was cut, or SQL_ERROR with the
// diagnostic posted ("22003" the value does not fit, "S1001" memory,
// "S1003" a C type the driver has no conversion for).
//
// position is given by SQLGetData only: for SQL_C_CHAR and SQL_C_BINARY
// the value is then returned in pieces (see GetDataPosition), and a call
// after the last piece answers SQL_NO_DATA_FOUND.
SQLRETURN TransferValue(Statement* stmt, ColumnValue* value, const FetchDataElement* element,
                        const TransferTarget& target, uint16_t icol, GetDataPosition* position);

// A column's value as it stands in a reply's bytes (data may be null when
// length is 0), for a bound column read in place, without a copy.
struct ValueInPlace {
  bool isNull;
  const uint8_t* data;
  uint32_t length;
};

// TransferValue for a bound column whose value is read where it lies.
SQLRETURN TransferValueInPlace(Statement* stmt, ColumnValue* value, const ValueInPlace& in,
                               const TransferTarget& target);

#endif
