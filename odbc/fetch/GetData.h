// SQLGetData's worker.
#ifndef VELORA_ODBC_FETCH_GETDATA_H
#define VELORA_ODBC_FETCH_GETDATA_H

#include <sql.h>

#include <cstdint>

#include "odbc/fetch/Transfer.h"

class Statement;

// Converts column icol of the current row into target. Bookmarks (icol 0),
// columns beyond the result set and the pairs the SQL type table refuses
// ("22005", RefusesConversion) are refused; a value that did not
// travel with the row is asked from the server. Character and binary
// values are returned in pieces by successive calls; once a value has been
// returned whole, further calls answer SQL_NO_DATA_FOUND.
SQLRETURN GetData(Statement* stmt, SQLUSMALLINT icol, const TransferTarget& target);

#endif
