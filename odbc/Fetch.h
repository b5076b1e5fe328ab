// SQLBindCol, SQLFetch and SQLExtendedFetch: bound columns and the
// row-by-row transfer.
#ifndef VELORA_ODBC_FETCH_H
#define VELORA_ODBC_FETCH_H

#include <sql.h>

#include <cstdint>

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
//
// row places the values as row number row (from 0) of a rowset, by the
// statement's SQL_BIND_TYPE; *arrived (when given) tells whether the
// server delivered the row, so that a failure after it is the row's own.
SQLRETURN FetchRow(Statement* stmt, uint32_t row = 0, bool* arrived = nullptr);

// SQLExtendedFetch on a forward-only cursor: SQL_FETCH_NEXT, and
// SQL_FETCH_FIRST before the first row; a rowset of SQL_ROWSET_SIZE rows,
// one fetch request each. A row whose values fail is marked SQL_ROW_ERROR
// with its record queued while the rest of the rowset is delivered (the
// call then warns; a rowset of one row fails as SQLFetch does).
SQLRETURN FetchRowset(Statement* stmt, SQLUSMALLINT fFetchType, SQLULEN* pcrow,
                      SQLUSMALLINT* rgfRowStatus);

#endif
