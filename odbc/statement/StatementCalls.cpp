// The small statement calls that are one request each (cursor names, row
// count, more results) and the ones the driver does not offer.
#include <sql.h>
#include <sqlext.h>

#include "base/Unaligned.h"
#include "handles/Connection.h"
#include "handles/Statement.h"
#include "handles/Frame.h"
#include "odbc/connect/ConnectString.h"
#include "odbc/fetch/ScrollFetch.h"
#include "odbc/params/ParamArrays.h"
#include "odbc/Workers.h"
#include "protocol/Requests.h"

namespace {

int Outcome(Statement* s, int rc, int status) {
  return rc == SQL_SUCCESS ? SQL_SUCCESS : s->CheckResult(rc, status);
}

}  // namespace

// A cursor whose name the application knows may be named by a positioned
// statement: from then on its rows come one per round trip, so that the
// server's cursor stands on the application's row (odbc/fetch/BlockFetch.h).
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
  if (rc == SQL_SUCCESS && s->OwningConnection()->relogin != nullptr &&
      !s->cursorName.SetString(request.Get<CursorNameElement>()->value))
    return VEL_POST(s, SQL_ERROR, kDiagCursorNameMemory);
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

namespace {

// The count the driver holds itself: a parameter array's sum over its sets,
// a static cursor's rows once it has read the last one.
bool HeldRowCount(Statement* s, SQLLEN* rows) {
  const SQLLEN arrayRows = s->parameters.ArrayRowCount();
  if (arrayRows != -2) {
    *rows = arrayRows;
    return true;
  }
  if (!ScrollsStatically(s)) return false;
  *rows = StaticRowCount(s);
  return true;
}

// Asks the server for the count of s's last statement: the exchange's
// result (SQL_ERROR with *built false when the request cannot be built),
// *rows on SQL_SUCCESS.
int AskRowCount(Statement* s, int32_t* rows, int* status, bool* built) {
  RowCountRequest request;
  *built = !request.Failed();
  if (!*built) return SQL_ERROR;
  request.SetStatementId(s->StatementId());
  const int rc = s->Exchange(&request, status);
  if (rc == SQL_SUCCESS) *rows = request.Get<NumberOfRowsElement>()->value;
  return rc;
}

}  // namespace

int RowCountWorker(Statement* s, SQLLEN* pcrow) {
  SQLLEN held = 0;
  if (HeldRowCount(s, &held)) {
    if (pcrow == nullptr) return VEL_POST(s, SQL_ERROR, kDiagNullPcrow);
    StoreUnaligned(pcrow, held);
    return SQL_SUCCESS;
  }
  int32_t rows = -1;
  int status = kStatusCommunicationFailure;
  bool built = false;
  const int rc = AskRowCount(s, &rows, &status, &built);
  if (!built) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  if (rc != SQL_SUCCESS) return s->CheckResult(rc, status);
  if (pcrow == nullptr) return VEL_POST(s, SQL_ERROR, kDiagNullPcrow);
  // A count: -1 (not known) or more.
  if (rows < -1) return VEL_POST(s, SQL_ERROR, kDiagInvalidReply);
  StoreUnaligned<SQLLEN>(pcrow, rows);
  return SQL_SUCCESS;
}

SQLLEN QuietRowCount(Statement* s) {
  SQLLEN held = -1;
  if (HeldRowCount(s, &held)) return held;
  int32_t rows = -1;
  int status = kStatusCommunicationFailure;
  bool built = false;
  const bool counted = AskRowCount(s, &rows, &status, &built) == SQL_SUCCESS && rows >= -1;
  return counted ? rows : -1;
}

int MoreResultsWorker(Statement* s) {
  if (s->OwningConnection()->OffersResults()) {
    // The server closes the cursor and runs the text's next statement
    // (protocol/RESULTS.md); after the last one, a query's array runs its
    // next set.
    s->DropActiveRequest();
    s->Restart();
    MoreResultsRequest request;
    if (request.Failed()) return VEL_POST(s, SQL_ERROR, kDiagMemory);
    request.SetStatementId(s->StatementId());
    int status = kStatusCommunicationFailure;
    const int rc = s->Exchange(&request, &status);
    if (rc != SQL_SUCCESS) {
      s->ForgetResultSet();
      return s->CheckResult(rc, status);
    }
    const int adopted = s->AdoptResultSet(request.Get<ResultSetDescriptionElement>());
    if (adopted != SQL_SUCCESS || request.Get<ResultsTypeElement>()->value == kResultsMore)
      return adopted;
    return s->parameters.Progress().selects ? NextSelectSet(s) : SQL_NO_DATA_FOUND;
  }
  // A statement has one result set at most: there is never another, and
  // the cursor of the one there was is closed (nothing to close without).
  if (s->cursor.ColumnCount() != 0) {
    const int rc = FreeStmtWorker(s, SQL_CLOSE, false);
    if (rc == SQL_ERROR) return rc;
  }
  return SQL_NO_DATA_FOUND;
}

int TranslateSqlWorker(Connection* c, const SQLCHAR* in, SQLINTEGER cbIn, String* out) {
  if (in == nullptr) return VEL_POST(c, SQL_ERROR, kDiagInvalidArgument);
  if (!ValidLength(cbIn)) return VEL_POST(c, SQL_ERROR, kDiagInvalidLength);
  if (!c->LoggedIn()) return VEL_POST(c, SQL_ERROR, kDiagConnectionNotOpen);
  NativeSqlRequest request;
  if (request.Failed() || !request.Get<StatementElement>()->value.SetString(
                              reinterpret_cast<const char*>(in), static_cast<int32_t>(cbIn)))
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  int status = kStatusCommunicationFailure;
  static_cast<void>(c->Revive());
  const int rc = request.Exchange(&status, &c->clib);
  if (rc != SQL_SUCCESS) return c->CheckResult(rc, status);
  if (!out->SetString(request.Get<NativeStatementElement>()->value))
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  return SQL_SUCCESS;
}

int NativeSqlWorker(Connection* c, const SQLCHAR* in, SQLINTEGER cbIn) {
  if (!ValidLength(cbIn)) return VEL_POST(c, SQL_ERROR, kDiagInvalidLength);
  String text;
  if (!text.SetString(reinterpret_cast<const char*>(in), static_cast<int32_t>(cbIn))) {
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  return VEL_POST(c, SQL_ERROR, kDiagNativeSqlUnimplemented);
}
