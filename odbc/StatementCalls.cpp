// The small statement calls that are one request each (cursor names, row
// count, more results) and the ones the driver does not offer.
#include <sql.h>
#include <sqlext.h>

#include "base/Unaligned.h"
#include "handles/Connection.h"
#include "handles/Statement.h"
#include "handles/Frame.h"
#include "odbc/ConnectString.h"
#include "odbc/ScrollFetch.h"
#include "odbc/Workers.h"
#include "protocol/Requests.h"

namespace {

int Outcome(Statement* s, int rc, int status) {
  return rc == SQL_SUCCESS ? SQL_SUCCESS : s->CheckResult(rc, status);
}

}  // namespace

// A cursor whose name the application knows may be named by a positioned
// statement: from then on its rows come one per round trip, so that the
// server's cursor stands on the application's row (odbc/BlockFetch.h).
int SetCursorNameWorker(Statement* s, const SQLCHAR* cursor, SQLSMALLINT cbCursor) {
  s->cursor.MarkNamed();
  if (!ValidLength(cbCursor)) return VEL_POST(s, SQL_ERROR, kDiagInvalidLength);
  SetCursorNameRequest request;
  if (request.Failed() || !request.Get<CursorNameElement>()->value.SetString(
                              reinterpret_cast<const char*>(cursor), cbCursor)) {
    return VEL_POST(s, SQL_ERROR, kDiagCursorNameMemory);
  }
  request.SetStatementId(s->StatementId());
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(&request, &status);
  return Outcome(s, rc, status);
}

int GetCursorNameText(Statement* s, String* name) {
  s->cursor.MarkNamed();
  GetCursorNameRequest request;
  if (request.Failed()) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  request.SetStatementId(s->StatementId());
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(&request, &status);
  if (rc != SQL_SUCCESS) return s->CheckResult(rc, status);
  if (!name->SetString(request.Get<CursorNameElement>()->value)) {
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  }
  return SQL_SUCCESS;
}

int GetCursorNameWorker(Statement* s, SQLCHAR* cursor, SQLSMALLINT cbCursorMax,
                        SQLSMALLINT* pcbCursor) {
  String name;
  const int rc = GetCursorNameText(s, &name);
  if (rc != SQL_SUCCESS) return rc;
  if (pcbCursor) *pcbCursor = static_cast<SQLSMALLINT>(name.Length());
  if (CopyOutput(name.TextOrEmpty(), name.Length(), reinterpret_cast<char*>(cursor), cbCursorMax)) {
    return SQL_SUCCESS;
  }
  return VEL_POST(s, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
}

int RowCountWorker(Statement* s, SQLLEN* pcrow) {
  // An array of parameter sets: the sum over its sets.
  const SQLLEN arrayRows = s->parameters.ArrayRowCount();
  if (arrayRows != -2) {
    if (pcrow == nullptr) return VEL_POST(s, SQL_ERROR, kDiagNullPcrow);
    StoreUnaligned(pcrow, arrayRows);
    return SQL_SUCCESS;
  }
  // A static cursor counts its rows once it has read the last one.
  if (ScrollsStatically(s)) {
    if (pcrow == nullptr) return VEL_POST(s, SQL_ERROR, kDiagNullPcrow);
    StoreUnaligned<SQLLEN>(pcrow, StaticRowCount(s));
    return SQL_SUCCESS;
  }
  RowCountRequest request;
  if (request.Failed()) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  request.SetStatementId(s->StatementId());
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(&request, &status);
  if (rc != SQL_SUCCESS) return s->CheckResult(rc, status);
  if (pcrow == nullptr) return VEL_POST(s, SQL_ERROR, kDiagNullPcrow);
  // A count: -1 (not known) or more.
  const int32_t rows = request.Get<NumberOfRowsElement>()->value;
  if (rows < -1) return VEL_POST(s, SQL_ERROR, kDiagInvalidReply);
  StoreUnaligned<SQLLEN>(pcrow, rows);
  return SQL_SUCCESS;
}

int MoreResultsWorker(Statement* s) {
  // A statement has one result set at most: there is never another, and
  // the cursor of the one there was is closed (nothing to close without).
  if (s->cursor.ColumnCount() != 0) {
    const int rc = FreeStmtWorker(s, SQL_CLOSE, false);
    if (rc == SQL_ERROR) return rc;
  }
  return SQL_NO_DATA_FOUND;
}

int NativeSqlWorker(Connection* c, const SQLCHAR* in, SQLINTEGER cbIn) {
  if (!ValidLength(cbIn)) return VEL_POST(c, SQL_ERROR, kDiagInvalidLength);
  String text;
  if (!text.SetString(reinterpret_cast<const char*>(in), static_cast<int32_t>(cbIn))) {
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  return VEL_POST(c, SQL_ERROR, kDiagNativeSqlUnimplemented);
}
