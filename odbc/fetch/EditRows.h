// Cursors that write back (protocol/EDIT.md): a static cursor over a
// query the server can write back, with an optimistic concurrency, sends
// each row SQLSetPos updates, deletes or adds as one edit-row request.
#ifndef VELORA_ODBC_FETCH_EDITROWS_H
#define VELORA_ODBC_FETCH_EDITROWS_H

#include <sql.h>

class Statement;

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

// SQLBulkOperations: SQL_ADD adds the rows of the bound arrays
// (SQL_ATTR_ROW_ARRAY_SIZE of them) to the open cursor's table; the other
// operations answer "HYC00".
SQLRETURN BulkOperationsWorker(Statement* stmt, SQLSMALLINT operation);

#endif
