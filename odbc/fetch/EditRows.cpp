// Cursors that write back: the edit-row requests of SQLSetPos.
#include "odbc/fetch/EditRows.h"

#include <sqlext.h>

#include <new>

#include "base/Unaligned.h"
#include "convert/ColumnValue.h"
#include "convert/ConvertParameter.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Descriptor.h"
#include "handles/Odbc3Rules.h"
#include "handles/Statement.h"
#include "odbc/fetch/Fetch.h"
#include "protocol/Requests.h"
#include "protocol/SqlTypeCatalog.h"

namespace {

// The bound values of rowset row i, each converted as a parameter of its
// column's SQL type, into request's value list; SQL_ERROR posted.
SQLRETURN AddRowValues(Statement* s, uint32_t i, const RowShape& shape, Request* request) {
  ParameterDataList* list = new (std::nothrow) ParameterDataList;
  if (list == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  request->Get<ParameterDataSetElement>()->SetList(list);
  const uint32_t count = s->cursor.ColumnCount();
  for (uint32_t c = 1; c <= count; ++c) {
    ColumnValue* v = s->Column(c);
    if (v == nullptr || v->binding == nullptr) continue;
    const TransferTarget t = RowTarget(*v->binding, i, shape);
    const SQLLEN length = t.pcbValue != nullptr ? LoadUnaligned(t.pcbValue) : SQL_NTS;
    if (length == SQL_COLUMN_IGNORE) continue;
    const bool null = t.indicator != nullptr && LoadUnaligned(t.indicator) == SQL_NULL_DATA;
    const ParameterInput in{t.fCType,
                            v->SqlType(),
                            null ? nullptr : t.rgbValue,
                            t.pcbValue,
                            false,
                            0,
                            FollowsOdbc3(*s),
                            v->binding->precision > 0,
                            v->binding->scale,
                            s->OwningConnection()->OffersDecimal()};
    ConvertedValue converted;
    const ParamOutcome outcome = ConvertParameter(in, s->OwningConnection()->typeSizes, &converted);
    if (outcome != kParamDone) return s->PostConversion(outcome);
    ParameterDataElement* e = new (std::nothrow) ParameterDataElement;
    if (e == nullptr ||
        !e->Set(static_cast<uint16_t>(c), converted.SentType(SentSqlType(v->SqlType())),
                converted.Data(), converted.Length(), converted.IsNull())) {
      delete e;
      return VEL_POST(s, SQL_ERROR, kDiagMemory);
    }
    list->Append(e);
  }
  return SQL_SUCCESS;
}

// One edit-row request: operation on row (0 for an added row), values
// from rowset row i. SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (the row was not
// written: changed by another connection) or SQL_ERROR, posted.
SQLRETURN EditOne(Statement* s, int32_t operation, uint64_t row, uint32_t i,
                  const RowShape& shape) {
  EditRowRequest request;
  if (request.Failed()) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  request.SetStatementId(s->StatementId());
  request.Get<EditOperationElement>()->value = operation;
  request.Get<RowNumberElement>()->value = row > UINT32_MAX ? 0 : static_cast<uint32_t>(row);
  request.Get<ConcurrencyOptionElement>()->value = s->options.Get(OptionSlot::kConcurrency);
  if (operation != kEditDelete) {
    if (AddRowValues(s, i, shape, &request) != SQL_SUCCESS) return SQL_ERROR;
  } else {
    ParameterDataList* list = new (std::nothrow) ParameterDataList;
    if (list == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
    request.Get<ParameterDataSetElement>()->SetList(list);
  }
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(&request, &status);
  return rc == SQL_SUCCESS ? SQL_SUCCESS : s->CheckResult(rc, status);
}

}  // namespace

bool Editable(Statement* stmt) {
  return stmt->OwningConnection()->EditsRows() &&
         stmt->options.Get(OptionSlot::kConcurrency) != SQL_CONCUR_READ_ONLY;
}

SQLRETURN CheckEditable(Statement* stmt, SQLRETURN rc) {
  if ((rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) || !Editable(stmt) ||
      stmt->cursor.ColumnCount() == 0)
    return rc;
  EditRowRequest request;
  if (request.Failed()) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  request.SetStatementId(stmt->StatementId());
  request.Get<EditOperationElement>()->value = kEditCheck;
  int status = kStatusCommunicationFailure;
  const int answer = stmt->Exchange(&request, &status);
  if (answer == SQL_SUCCESS) return rc;
  const SQLRETURN checked = stmt->CheckResult(answer, status);
  if (checked == SQL_SUCCESS_WITH_INFO)
    stmt->options.Set(OptionSlot::kConcurrency, SQL_CONCUR_READ_ONLY);
  return checked == SQL_SUCCESS ? rc : checked;
}

namespace {

SQLRETURN EditRows(Statement* stmt, SQLULEN irow, SQLUSMALLINT fOption, uint64_t addRows) {
  StaticCursor::State& st = stmt->scroll.state;
  const bool odbc3 = FollowsOdbc3(*stmt);
  const Descriptor& ard = stmt->RowDescriptor();
  const RowShape shape =
      odbc3 ? RowShape{ard.BindType(),
                       ard.header.bindOffsetPtr != nullptr ? *ard.header.bindOffsetPtr : 0}
            : RowShape{static_cast<SQLULEN>(static_cast<uint32_t>(stmt->options.BindType())), 0};
  const int32_t operation = fOption == SQL_UPDATE   ? kEditUpdate
                            : fOption == SQL_DELETE ? kEditDelete
                                                    : kEditAdd;
  const uint64_t rows = fOption == SQL_ADD ? addRows : st.rowsetRows;
  const uint64_t first = irow == 0 ? 0 : irow - 1;
  const uint64_t last = irow == 0 ? rows : irow;
  // SQL_ATTR_ROW_OPERATION_PTR: the rows of a whole-rowset operation to
  // leave out.
  const SQLUSMALLINT* operations = odbc3 ? ard.header.arrayStatusPtr : nullptr;
  uint16_t* status = odbc3 ? stmt->ird.header.arrayStatusPtr : st.rowStatus;
  SQLRETURN result = SQL_SUCCESS;
  uint64_t done = 0, failed = 0;
  for (uint64_t i = first; i < last; ++i) {
    if (irow == 0 && operations != nullptr && operations[i] == SQL_ROW_IGNORE) continue;
    const uint64_t row = fOption == SQL_ADD ? 0 : st.start + i;
    const SQLRETURN rc = EditOne(stmt, operation, row, static_cast<uint32_t>(i), shape);
    ++done;
    if (rc != SQL_SUCCESS) ++failed;
    if (status != nullptr) {
      status[i] = rc != SQL_SUCCESS       ? SQL_ROW_ERROR
                  : fOption == SQL_UPDATE ? SQL_ROW_UPDATED
                  : fOption == SQL_DELETE ? SQL_ROW_DELETED
                                          : SQL_ROW_ADDED;
    }
    if (rc != SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
    // A connection lost leaves nothing more to write.
    if (rc == SQL_ERROR && !stmt->OwningConnection()->LoggedIn()) return SQL_ERROR;
  }
  // One row, or every row, failing is the call's error; a row not written
  // because it changed is a warning.
  if (failed != 0 && failed == done && result != SQL_SUCCESS) {
    const ErrorData* last = stmt->errors.Last();
    const bool conflict = last != nullptr && last->sqlstate.TextOrEmpty()[0] == '0';
    if (!conflict) return SQL_ERROR;
  }
  return result;
}

}  // namespace

SQLRETURN EditRowset(Statement* stmt, SQLULEN irow, SQLUSMALLINT fOption) {
  const uint64_t size = stmt->scroll.state.lastSize;
  return EditRows(stmt, irow, fOption, size == 0 ? 1 : size);
}

SQLRETURN BulkOperationsWorker(Statement* stmt, SQLSMALLINT operation) {
  if (operation != SQL_ADD || !Editable(stmt))
    return VEL_POST(stmt, SQL_ERROR, kDiagBulkOperationsUnimplemented);
  if (stmt->cursor.ColumnCount() == 0) return VEL_POST(stmt, SQL_ERROR, kDiagNoResultSet);
  const SQLULEN size = stmt->RowDescriptor().header.arraySize;
  return EditRows(stmt, 0, SQL_ADD, size == 0 ? 1 : size);
}
