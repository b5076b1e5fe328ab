// Cursors that write back (protocol/EDIT.md): a static cursor over a
// query the server can write back, with an optimistic concurrency, sends
// each row SQLSetPos updates, deletes or adds as one edit-row request.
#ifndef VELORA_ODBC_FETCH_EDITROWS_H
#define VELORA_ODBC_FETCH_EDITROWS_H

#include <sql.h>

#include <cstdint>

#include "odbc/fetch/Fetch.h"

class Statement;

// How the application's rowset lies: the ODBC 3.80 library's descriptor
// (bind type and offset), the 2.0 library's SQL_BIND_TYPE.
RowShape AppRowShape(Statement* stmt);

// True when stmt's rows are read with their keys: it writes back, or it
// is keyset-driven on a server that keeps the keys of read-only cursors.
bool KeyedCursor(Statement* stmt);

// True when the server keeps the keys of stmt's rows, so that a row can be
// read again by its key (SQLSetPos SQL_REFRESH, keyset-driven cursors).
bool KeepsKeys(Statement* stmt);

// Reads row (of the result set, from 1) again by its key into the static
// cursor's overrides; *deleted when the row is no longer there. SQL_ERROR
// posted.
SQLRETURN RefreshRow(Statement* stmt, uint64_t row, bool* deleted);

// True when stmt's cursor writes back: the server offered it, the library
// is the ODBC 3.80 one, and the concurrency is not read-only.
bool Editable(Statement* stmt);

// After an execution that ended in rc: a result set opened with a
// concurrency that writes back is checked with the server; a query it
// cannot write back ("01S02", SQL_SUCCESS_WITH_INFO) leaves the statement
// SQL_CONCUR_READ_ONLY.
SQLRETURN CheckEditable(Statement* stmt, SQLRETURN rc);

// SQLSetPos SQL_UPDATE, SQL_DELETE or SQL_ADD on row irow of the rowset
// (0: every row, SQL_ATTR_ROW_OPERATION_PTR's SQL_ROW_IGNORE left out),
// the values from the bound buffers (SQL_COLUMN_IGNORE: left as it is);
// each row's status becomes SQL_ROW_UPDATED, SQL_ROW_DELETED,
// SQL_ROW_ADDED or SQL_ROW_ERROR.
SQLRETURN EditRowset(Statement* stmt, SQLULEN irow, SQLUSMALLINT fOption);

// Before a positioned statement of stmt runs: the row each other cursor of
// the connection that keeps its keys stands on, told to the server.
SQLRETURN TellPositions(Statement* stmt);

// True while a row of SQLSetPos or SQLBulkOperations awaits values given
// at execution; SQLParamData then names the next column's buffer or, the
// values all given, writes the row.
bool EditAwaitsData(Statement* stmt);
SQLRETURN EditParamData(Statement* stmt, SQLPOINTER* token);

// SQLBulkOperations: SQL_ADD adds the rows of the bound arrays
// (SQL_ATTR_ROW_ARRAY_SIZE of them) to the open cursor's table; the other
// operations answer "HYC00".
SQLRETURN BulkOperationsWorker(Statement* stmt, SQLSMALLINT operation);

#endif
