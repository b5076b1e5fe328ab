// The statement object: construction, destruction and the small
// operations the statement functions share.
#include "driver/Statement.h"

#include <sql.h>

#include "driver/Connection.h"
#include "protocol/Request.h"

Statement::~Statement() {
  DropActiveRequest();
  // The members go in reverse order of declaration: the result columns,
  // the parameter bindings, the records, then the column bindings.
}

int Statement::Exchange(Request* request, int* status) {
  return request->Exchange(status, &connection->clib);
}

void Statement::CopyOptions(const Connection& c) {
  useBookmarks = c.useBookmarks;
  concurrency = c.concurrency;
  cursorType = c.cursorType;
  maxLength = c.maxLength;
  maxRows = c.maxRows;
  noScan = c.noScan;
  queryTimeout = c.queryTimeout;
  retrieveData = c.retrieveData;
  rowsetSize = c.rowsetSize;
}

void Statement::DropActiveRequest() {
  delete activeRequest;
  activeRequest = nullptr;
  parameterValues = nullptr;
  currentParameter = nullptr;
  needData = 0;
}

int Statement::AddParameterValues() {
  // Parameters are bound with SQLBindParameter, which comes with its own
  // conversions; until then every execution carries the empty set, the
  // right request for a statement without parameter markers.
  return SQL_SUCCESS;
}
