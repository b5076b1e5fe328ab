// SQLBindCol and SQLFetch: bound columns and the row-by-row transfer.
#ifndef VELORA_ODBC_FETCH_H
#define VELORA_ODBC_FETCH_H

#include <sql.h>

#include "odbc/Transfer.h"

class Statement;

// Binds column icol to target, replacing any earlier binding of icol; a
// null rgbValue only removes the binding. Nothing in target is read or
// checked here: the pointers are used at fetch time. Bookmarks (icol 0)
// are refused with "S1C00"; "S1001" when the binding cannot be created.
SQLRETURN BindColumn(Statement* stmt, SQLUSMALLINT icol, const TransferTarget& target);

// Advances the cursor by one row. The columns that travel with it are the
// bound ones (converted into their buffers at once) and those read with
// SQLGetData on the previous row (kept for it). SQL_NO_DATA_FOUND at the end
// of the result set; SQL_SUCCESS_WITH_INFO when a bound value was cut.
SQLRETURN FetchRow(Statement* stmt);

#endif
