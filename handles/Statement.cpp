// The statement object: construction, destruction and the small
// operations the statement functions share.
#include "handles/Statement.h"

#include <sql.h>

#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "protocol/Request.h"
#include "protocol/ResultSetDescription.h"

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
  bindType = c.bindType;
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

int Statement::AdoptResultSet(ResultSetDescriptionElement* description) {
  columns.Clear();
  rowsFetched = 0;
  ColumnDescriptionList* list = description ? description->Columns() : nullptr;
  if (list == nullptr) return SQL_SUCCESS;
  uint16_t number = 1;
  for (ColumnDescription* d = list->First(); d != nullptr; d = list->Next(), ++number) {
    // A type without a value class (DECIMAL, DOUBLE, an unknown code) cannot
    // be held either; the columns before it stay.
    ColumnValue* value = CreateColumnValue(d);
    if (value == nullptr) return VEL_POST(this, SQL_ERROR, kDiagMemory);
    value->binding = bindings.Find(number);
    columns.Append(value);
  }
  return SQL_SUCCESS;
}

ColumnValue* Statement::Column(unsigned icol) {
  if (icol == 0 || icol > columns.Count()) return nullptr;
  return columns.ItemAt(static_cast<uint16_t>(icol - 1));
}

void Statement::Unbind() {
  for (ColumnValue* v = columns.First(); v != nullptr; v = columns.Next()) v->binding = nullptr;
  bindings.Clear();
}
