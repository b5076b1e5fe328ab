// The transfer: one column value of the current row into one application
// buffer, converted to the application's C type, with the conversion's
// result turned into an ODBC outcome. Used for bound columns by SQLFetch
// and for single values by SQLGetData.
#ifndef VELORA_ODBC_TRANSFER_H
#define VELORA_ODBC_TRANSFER_H

#include <sql.h>

#include <cstdint>

class ColumnValue;
class FetchDataElement;
class Statement;

// Where SQLGetData stands inside one column's value of the current row:
// long character and binary values are read in pieces, each call going on
// where the previous one stopped. Any other column, another C type or a
// fetch starts again from the beginning.
struct GetDataPosition {
  uint16_t column = 0;        // 0: no value under way
  SQLSMALLINT cType = 0;
  uint64_t offset = 0;        // bytes (characters) already returned
  uint64_t total = 0;         // the converted value's whole length
  bool finished = false;      // everything returned: further calls get no data
  // The held row element the column's value was last loaded from: a later
  // piece of the same held value needs no new Load. Held elements live
  // until the next fetch, which resets the position.
  const FetchDataElement* loadedFrom = nullptr;

  void Reset() { *this = GetDataPosition(); }
  bool Covers(uint16_t icol, SQLSMALLINT fCType) const {
    return column != 0 && column == icol && cType == fCType;
  }
};

// Arguments of one transfer: the application's buffer as SQLBindCol or
// SQLGetData gave it.
struct TransferTarget {
  SQLSMALLINT fCType;
  SQLPOINTER rgbValue;
  SQLLEN cbValueMax;
  SQLLEN* pcbValue;  // may be null
};

// True when the transfer converts value into fCType (SQL_C_DEFAULT taken
// by the column's SQL type); otherwise it refuses with "S1003".
bool TransferConverts(const ColumnValue* value, SQLSMALLINT fCType);

// Converts element (the column's value of the current row) through value
// into target. A null element value stores SQL_NULL_DATA in *pcbValue and
// leaves rgbValue alone. Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO with
// "01004" posted on stmt when the value was cut, or SQL_ERROR with the
// diagnostic posted ("22003" the value does not fit, "S1001" memory,
// "S1003" a C type the driver has no conversion for).
//
// position is given by SQLGetData only: for SQL_C_CHAR and SQL_C_BINARY
// the value is then returned in pieces (see GetDataPosition), and a call
// after the last piece answers SQL_NO_DATA_FOUND.
SQLRETURN TransferValue(Statement* stmt, ColumnValue* value, const FetchDataElement* element,
                        const TransferTarget& target, uint16_t icol,
                        GetDataPosition* position);

#endif
