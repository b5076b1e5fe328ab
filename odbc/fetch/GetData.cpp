// SQLGetData: one column of the current row, converted into the C type the
// application asks for; the value comes from the row when it travelled with
// it (a bound column's stays loaded from its transfer), else from the
// server with a get-data request.
#include "odbc/fetch/GetData.h"

#include <sqlext.h>

#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Odbc3Rules.h"
#include "handles/Statement.h"
#include "odbc/fetch/ScrollFetch.h"
#include "odbc/fetch/Transfer.h"
#include "protocol/Requests.h"

SQLRETURN GetData(Statement* stmt, SQLUSMALLINT icol, const TransferTarget& target) {
  if (target.cbValueMax < 0) return VEL_POST(stmt, SQL_ERROR, kDiagInvalidLength);
  const bool scrolls = stmt->scroll.Active();
  // A forward-only cursor's rowset of several rows has no current row of
  // its own: only a static cursor is positioned within one (SQLSetPos).
  if (!scrolls && FollowsOdbc3(*stmt) && stmt->RowDescriptor().header.arraySize > 1)
    return VEL_POST(stmt, SQL_ERROR, kDiagInvalidCursorPosition);
  if (icol == 0) {
    // The bookmark of a static cursor's current row: its number. Without
    // bookmarks column 0 is no column to an ODBC 3 application.
    if (!scrolls || stmt->options.Get(OptionSlot::kUseBookmarks) == SQL_UB_OFF) {
      return FollowsOdbc3(*stmt) ? VEL_POST(stmt, SQL_ERROR, kDiagBookmarkColumn)
                                 : VEL_POST(stmt, SQL_ERROR, kDiagBookmarks);
    }
    if (stmt->scroll.state.current == 0) return VEL_POST(stmt, SQL_ERROR, kDiagNoCurrentRow);
    return PutBookmark(stmt, stmt->scroll.state.current, target);
  }
  ColumnValue* value = stmt->Column(icol);
  if (value == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagColumnOutOfRange);
  // The one resolution of the C type for this call. A C type without a
  // conversion, or one the column's type refuses, is refused before the
  // server is asked, and the column does not start travelling with rows.
  const ConversionPlan plan = PlanConversion(value->SqlType(), target.fCType, true);
  if (plan.check != Conversion::kDone) return ConversionResult(stmt, plan.check);

  // A value under way that has been returned whole answers without asking
  // the server again.
  GetDataPosition* position = stmt->cursor.Position();
  if (plan.pieces && position->Covers(icol, target.fCType) && position->Finished()) {
    value->SetMark(ColumnValue::kReadByGetData);
    return SQL_NO_DATA_FOUND;
  }

  if (value->data != nullptr) {
    value->SetMark(ColumnValue::kReadByGetData);
    const ValueInPlace in = InPlace(value->data);
    return TransferPiece(stmt, value, plan, &in, value->data, target, icol, position);
  }
  // A bound column's value, loaded when the row came.
  if (value->HasMark(ColumnValue::kHeld))
    return TransferPiece(stmt, value, plan, nullptr, nullptr, target, icol, position);

  // A static cursor holds every value of its current row; without one the
  // cursor stands before the start or after the end.
  if (scrolls) return VEL_POST(stmt, SQL_ERROR, kDiagNoCurrentRow);

  // Not held: ask the server for this one value of the current row. A
  // value read whole is not kept (the column travels with the next row
  // instead); a value read in pieces is kept for its remaining pieces, so
  // that a long value crosses the network once, not once a piece.
  GetDataRequest request;
  if (request.Failed()) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  request.SetStatementId(stmt->StatementId());
  request.Get<ColumnNumberElement>()->value = static_cast<int16_t>(icol);
  int status = 0;
  int rc = stmt->Exchange(&request, &status);
  if (rc != SQL_SUCCESS) return stmt->CheckResult(rc, status, ReplyCodes::kWithEnd);
  FetchDataElement* element = request.Get<FetchDataElement>();
  // Another column's value is no answer (its bytes need not fit this one).
  if (element->Column() != icol) return VEL_POST(stmt, SQL_ERROR, kDiagInvalidReply);
  value->SetMark(ColumnValue::kReadByGetData);
  const ValueInPlace in = InPlace(element);
  SQLRETURN result = TransferPiece(stmt, value, plan, &in, element, target, icol, position);
  if (position->Covers(icol, target.fCType) && !position->Finished() && position->Offset() > 0) {
    // Kept as it arrived, taken off the reply: the column value is still
    // loaded from it, so the next piece neither asks nor loads again.
    request.ReplyBody().Unlink(element);
    value->data = element;
    position->SetLoadedFrom(element);
  }
  return result;
}
