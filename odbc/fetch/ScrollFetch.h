// Static cursors: a result set whose rows the driver keeps as they arrive
// (handles/StaticCursor.h), so that every fetch direction, SQLSetPos and
// bookmarks work over a server whose cursors only go forward. Rows are
// read from the server only as far as a fetch needs them; SQL_FETCH_LAST
// and negative absolute positions read to the end.
#ifndef VELORA_ODBC_FETCH_SCROLLFETCH_H
#define VELORA_ODBC_FETCH_SCROLLFETCH_H

#include <sql.h>

#include <cstdint>

#include "odbc/fetch/Fetch.h"

class Statement;

// True when stmt's result set is read as a static cursor; a result set
// becomes one at its first fetch when the statement's cursor type is
// SQL_CURSOR_STATIC then.
bool ScrollsStatically(Statement* stmt);

// Where a rowset goes and what is reported with it.
struct RowsetTarget {
  uint64_t size;            // rows in the rowset (at least 1)
  RowShape shape;           // how they lie in the application's memory
  SQLULEN* rowsFetched;     // may be null
  SQLUSMALLINT* rowStatus;  // may be null
  bool infoStatus;          // a cut value marks its row SQL_ROW_SUCCESS_WITH_INFO
  bool odbc3;               // SQLFetchScroll: "01S06" for a rowset moved to the start
};

// Moves a static cursor by orientation (SQL_FETCH_NEXT ... SQL_FETCH_BOOKMARK)
// and offset, and fills target with the rowset found there, by ODBC's
// positioning rules. bookmark is the row SQL_FETCH_BOOKMARK starts from.
SQLRETURN ScrollFetch(Statement* stmt, SQLSMALLINT orientation, SQLLEN offset, uint64_t bookmark,
                      const RowsetTarget& target);

// SQLSetPos: SQL_POSITION and SQL_REFRESH make row irow of the rowset the
// one SQLGetData reads; other operations and locks are refused.
SQLRETURN SetPosWorker(Statement* stmt, SQLULEN irow, SQLUSMALLINT fOption, SQLUSMALLINT fLock);

// Row (from 1) of a static cursor, as it is held, into the bound buffers as
// rowset row slot (SQLBulkOperations SQL_FETCH_BY_BOOKMARK).
SQLRETURN DeliverHeldRow(Statement* stmt, uint64_t row, uint32_t slot, const RowShape& shape);

// Reads the rest of a static cursor's result set, before the end of a
// transaction closes the server's cursor (SQL_CB_PRESERVE: the rows stay).
SQLRETURN ReadStaticToEnd(Statement* stmt);

// A bookmark (the row's number) into an application buffer of C type
// fCType (SQL_C_BOOKMARK, SQL_C_VARBOOKMARK, the integer types, text).
SQLRETURN PutBookmark(Statement* stmt, uint64_t row, const TransferTarget& target);

// The statement's rows counted once the result set's end is known, else -1.
SQLLEN StaticRowCount(Statement* stmt);

#endif
