// Arrays of parameter sets, executed one set at a time.
#include "odbc/ParamArrays.h"

#include <sqlext.h>

#include "handles/ClientDiagnostics.h"
#include "handles/Statement.h"
#include "odbc/Workers.h"

namespace {

// Adds the server's row count of the set just executed to *sum; an
// unknown count (-1) makes the sum unknown.
void CountSet(Statement* s, SQLLEN* sum) {
  SQLLEN rows = -1;
  const uint32_t recordsBefore = s->errors.Count();
  if (RowCountWorker(s, &rows) != SQL_SUCCESS) {
    // The count is not the set's outcome: its failure only loses the sum.
    while (s->errors.Count() > recordsBefore) delete s->errors.TakeLast();
    rows = -1;
  }
  *sum = rows < 0 || *sum < 0 ? -1 : *sum + rows;
}

}  // namespace

int RunParameterSets(Statement* s, ExecuteOnceFunction once, const SQLCHAR* sql, SQLINTEGER cbSql) {
  const ArrayHeader& apd = s->ParamDescriptor().header;
  const ArrayHeader& ipd = s->ipd.header;
  s->parameters.SetArrayRowCount(-2);
  s->parameters.SetSetRow(0);
  const SQLULEN size = apd.arraySize == 0 ? 1 : apd.arraySize;
  if (size == 1 && apd.arrayStatusPtr == nullptr && ipd.arrayStatusPtr == nullptr &&
      ipd.rowsProcessedPtr == nullptr) {
    return once(s, sql, cbSql);
  }
  SQLUSMALLINT* statuses = ipd.arrayStatusPtr;
  SQLULEN* processed = ipd.rowsProcessedPtr;
  if (processed != nullptr) *processed = 0;
  SQLLEN sum = 0;
  SQLULEN run = 0, failed = 0;
  bool warned = false;
  SQLULEN row = 0;
  for (; row < size; ++row) {
    if (apd.arrayStatusPtr != nullptr && apd.arrayStatusPtr[row] == SQL_PARAM_IGNORE) {
      if (statuses != nullptr) statuses[row] = SQL_PARAM_UNUSED;
      continue;
    }
    s->parameters.SetSetRow(row);
    int rc = once(s, sql, cbSql);
    if (rc == SQL_NEED_DATA && size > 1) {
      // Data at execution needs the application between sets.
      s->DropActiveRequest();
      rc = VEL_POST(s, SQL_ERROR, kDiagArrayAtExec);
    } else if (rc == SQL_NEED_DATA) {
      s->parameters.SetSetRow(0);
      return rc;  // a single set: SQLParamData continues it
    }
    ++run;
    // Processed counts every set the driver reached, ignored ones before
    // it included.
    if (processed != nullptr) *processed = row + 1;
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
      if (statuses != nullptr)
        statuses[row] = rc == SQL_SUCCESS ? SQL_PARAM_SUCCESS : SQL_PARAM_SUCCESS_WITH_INFO;
      warned = warned || rc == SQL_SUCCESS_WITH_INFO;
      CountSet(s, &sum);
      continue;
    }
    ++failed;
    if (statuses == nullptr) break;  // the first failure ends the array
    statuses[row] = SQL_PARAM_ERROR;
  }
  s->parameters.SetSetRow(0);
  s->parameters.SetArrayRowCount(sum);
  if (failed != 0 && (failed == run || statuses == nullptr)) return SQL_ERROR;
  return failed != 0 || warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}
