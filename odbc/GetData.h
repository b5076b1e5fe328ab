// SQLGetData's worker and its conversion check.
#ifndef VELORA_ODBC_GETDATA_H
#define VELORA_ODBC_GETDATA_H

#include <sql.h>

#include <cstdint>

#include "odbc/Transfer.h"

class Statement;

// False when SQLGetData refuses C type fCType for a column of sqlType
// ("22005" "invalid conversion requested"). Character columns accept every
// C type; the check is not made for bound columns.
bool GetDataConversionAllowed(int32_t sqlType, SQLSMALLINT fCType);

// Converts column icol of the current row into target. Bookmarks (icol 0)
// and columns beyond the result set are refused; a value that did not
// travel with the row is asked from the server. Character and binary
// values are returned in pieces by successive calls; once a value has been
// returned whole, further calls answer SQL_NO_DATA_FOUND.
SQLRETURN GetData(Statement* stmt, SQLUSMALLINT icol, const TransferTarget& target);

#endif
