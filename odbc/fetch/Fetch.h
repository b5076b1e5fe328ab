// SQLBindCol, SQLFetch and SQLExtendedFetch: bound columns and the
// row-by-row transfer.
#ifndef VELORA_ODBC_FETCH_FETCH_H
#define VELORA_ODBC_FETCH_FETCH_H

#include <sql.h>

#include <cstdint>

#include "odbc/fetch/Transfer.h"

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
// How the rows of a rowset lie in the application's memory: its bind type
// (SQL_BIND_BY_COLUMN or the size of a row) and the bind offset.
struct RowShape {
  SQLULEN bindType;
  SQLLEN offset;
};

class ColumnBinding;
// Where binding b puts its value of row number row (from 0) of a rowset.
TransferTarget RowTarget(const ColumnBinding& b, uint32_t row, const RowShape& shape);

// shape: where row goes; by default the statement's SQL_BIND_TYPE without
// an offset. followed: another row of the rowset comes after this one.
SQLRETURN FetchRow(Statement* stmt, uint32_t row = 0, bool* arrived = nullptr,
                   const RowShape* shape = nullptr, bool followed = false);

// SQLExtendedFetch: on a static cursor every direction (odbc/fetch/ScrollFetch.h);
// on a forward-only cursor SQL_FETCH_NEXT, and SQL_FETCH_FIRST before the
// first row; a rowset of SQL_ROWSET_SIZE rows,
// one fetch request each. A row whose values fail is marked SQL_ROW_ERROR
// with its record queued while the rest of the rowset is delivered (the
// call then warns; a rowset of one row fails as SQLFetch does).
SQLRETURN FetchRowset(Statement* stmt, SQLUSMALLINT fFetchType, SQLLEN irow, SQLULEN* pcrow,
                      SQLUSMALLINT* rgfRowStatus);

// The rowset of size rows placed by shape: *pcrow (when given) the rows
// delivered, rgfRowStatus (when given) one status per row, SQL_ROW_NOROW
// past the end (nothing is written when no row came); with infoStatus a row cut with
// a warning is SQL_ROW_SUCCESS_WITH_INFO rather than SQL_ROW_SUCCESS.
SQLRETURN FetchRows(Statement* stmt, uint32_t size, const RowShape& shape, SQLULEN* pcrow,
                    SQLUSMALLINT* rgfRowStatus, bool infoStatus);

// SQLFetch and SQLFetchScroll: the rowset of the application row
// descriptor's array size, placed by its bind type and bind offset, with
// the rows fetched and their statuses where the implementation row
// descriptor points. Static cursors: every orientation (odbc/fetch/ScrollFetch.h).
// Forward-only: SQL_FETCH_NEXT, and SQL_FETCH_FIRST
// before the first row ("S1106" otherwise).
SQLRETURN FetchScrollWorker(Statement* stmt, SQLSMALLINT orientation, SQLLEN offset);

#endif
