// Cursors that write back: the edit-row requests of SQLSetPos.
#include "odbc/fetch/EditRows.h"

#include <sqlext.h>

#include <cstring>
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
#include "odbc/fetch/ScrollFetch.h"
#include "protocol/Requests.h"
#include "protocol/SqlTypeCatalog.h"

namespace {

// An edit request on owner's cursor for row (operation, the row's number,
// the concurrency) with an empty value list; false without memory.
bool StartEditRequest(EditRowRequest* request, Statement* owner, int32_t operation, uint64_t row) {
  ParameterDataList* list = new (std::nothrow) ParameterDataList;
  if (request->Failed() || list == nullptr) {
    delete list;
    return false;
  }
  request->Get<ParameterDataSetElement>()->SetList(list);
  request->SetStatementId(owner->StatementId());
  request->Get<EditOperationElement>()->value = operation;
  request->Get<RowNumberElement>()->value = row > UINT32_MAX ? 0 : static_cast<uint32_t>(row);
  request->Get<ConcurrencyOptionElement>()->value = owner->options.Get(OptionSlot::kConcurrency);
  return true;
}

// The bound values of rowset row i, each converted as a parameter of its
// column's SQL type, into request's value list; SQL_ERROR posted. A value
// given at execution gets a binding on s->editPieces.
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
    if (length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET) {
      ParameterBinding* b = new (std::nothrow) ParameterBinding;
      if (b == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
      b->ipar = static_cast<uint16_t>(c);
      b->fCType = t.fCType;
      b->fSqlType = static_cast<SQLSMALLINT>(v->SqlType());
      b->rgbValue = t.rgbValue;
      s->editPieces.Append(b);
      continue;
    }
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
// written: changed by another connection), SQL_NEED_DATA (values at
// execution awaited: the request is the statement's execution's) or
// SQL_ERROR, posted.
SQLRETURN EditOne(Statement* s, int32_t operation, uint64_t row, uint32_t i,
                  const RowShape& shape) {
  EditRowRequest* request = new (std::nothrow) EditRowRequest;
  if (request == nullptr || request->Failed()) {
    delete request;
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  }
  request->SetStatementId(s->StatementId());
  request->Get<EditOperationElement>()->value = operation;
  request->Get<RowNumberElement>()->value = row > UINT32_MAX ? 0 : static_cast<uint32_t>(row);
  request->Get<ConcurrencyOptionElement>()->value = s->options.Get(OptionSlot::kConcurrency);
  s->editPieces.Clear();
  SQLRETURN rc = SQL_SUCCESS;
  if (operation != kEditDelete) {
    rc = AddRowValues(s, i, shape, request);
  } else {
    ParameterDataList* list = new (std::nothrow) ParameterDataList;
    if (list == nullptr) rc = VEL_POST(s, SQL_ERROR, kDiagMemory);
    if (list != nullptr) request->Get<ParameterDataSetElement>()->SetList(list);
  }
  if (rc == SQL_SUCCESS && s->editPieces.Count() != 0) {
    s->execution.Begin(request, request->Get<ParameterDataSetElement>());
    s->execution.SetCurrent(s->editPieces.Head());
    s->execution.SetStage(Execution::kAtParameter);
    return SQL_NEED_DATA;
  }
  int status = kStatusCommunicationFailure;
  if (rc == SQL_SUCCESS) {
    rc = s->Exchange(request, &status);
    if (rc != SQL_SUCCESS) rc = s->CheckResult(rc, status);
  }
  delete request;
  return rc;
}

SQLRETURN ResumeEdits(Statement* stmt, SQLRETURN written);

}  // namespace

RowShape AppRowShape(Statement* stmt) {
  if (!FollowsOdbc3(*stmt))
    return RowShape{static_cast<SQLULEN>(static_cast<uint32_t>(stmt->options.BindType())), 0};
  const Descriptor& ard = stmt->RowDescriptor();
  return RowShape{ard.BindType(),
                  ard.header.bindOffsetPtr != nullptr ? *ard.header.bindOffsetPtr : 0};
}

bool KeyedCursor(Statement* stmt) {
  return Editable(stmt) || (stmt->OwningConnection()->KeepsCursorKeys() &&
                            stmt->options.Get(OptionSlot::kCursorType) == SQL_CURSOR_KEYSET_DRIVEN);
}

bool KeepsKeys(Statement* stmt) { return KeyedCursor(stmt) && stmt->scroll.Active(); }

SQLRETURN RefreshRow(Statement* s, uint64_t row, bool* deleted) {
  *deleted = false;
  EditRowRequest request;
  if (!StartEditRequest(&request, s, kEditRefresh, row)) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(&request, &status);
  if (rc != SQL_SUCCESS) {
    const SQLRETURN checked = s->CheckResult(rc, status);
    if (checked != SQL_SUCCESS_WITH_INFO) return checked == SQL_SUCCESS ? SQL_ERROR : checked;
    // The server's "01001" (the row is gone) is the row's status, not a
    // warning of the call.
    delete s->TakeLastError();
    *deleted = true;
  }
  RowOverride* o = s->scroll.OverrideOf(row);
  if (o == nullptr) {
    o = new (std::nothrow) RowOverride;
    if (o == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
    o->row = row;
    s->scroll.overrides.Append(o);
  }
  VelFree(o->bytes);
  o->bytes = nullptr;
  o->length = 0;
  o->deleted = *deleted;
  if (*deleted) return SQL_SUCCESS;
  FetchDataSetElement* values = request.Get<FetchDataSetElement>();
  const uint32_t size = values->ElementSize();
  o->bytes = static_cast<uint8_t*>(VelAlloc(size == 0 ? 1 : size));
  if (o->bytes == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  ElementCursor cursor{o->bytes, o->bytes + size};
  int put = 0;
  if (!values->PutElement(&cursor, &put)) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  o->length = size;
  return SQL_SUCCESS;
}

bool Editable(Statement* stmt) {
  return stmt->OwningConnection()->EditsRows() &&
         stmt->options.Get(OptionSlot::kConcurrency) != SQL_CONCUR_READ_ONLY;
}

bool EditAwaitsData(Statement* stmt) {
  return stmt->editPieces.Count() != 0 && stmt->execution.CurrentStage() != Execution::kIdle;
}

SQLRETURN EditParamData(Statement* s, SQLPOINTER* token) {
  Execution& execution = s->execution;
  ParameterBinding* b = execution.Current();
  if (execution.CurrentStage() == Execution::kDataComing) {
    // The value b's pieces make, as a parameter of its column's type.
    const SQLLEN length = b->putNull ? SQL_NULL_DATA : b->collected;
    const ParameterInput in{b->fCType,        b->fSqlType, b->putNull ? nullptr : b->putData,
                            &length,          true,        b->collected,
                            FollowsOdbc3(*s), false,       0};
    ConvertedValue converted;
    const ParamOutcome outcome = ConvertParameter(in, s->OwningConnection()->typeSizes, &converted);
    ParameterDataElement* e =
        outcome == kParamDone ? new (std::nothrow) ParameterDataElement : nullptr;
    SQLRETURN rc = SQL_SUCCESS;
    if (outcome != kParamDone) {
      rc = s->PostConversion(outcome);
    } else if (e == nullptr || !e->Set(b->ipar, SentSqlType(b->fSqlType), converted.Data(),
                                       converted.Length(), converted.IsNull())) {
      delete e;
      rc = VEL_POST(s, SQL_ERROR, kDiagMemory);
    } else {
      execution.Values()->List()->Append(e);
      b = static_cast<ParameterBinding*>(b->NextItem());
    }
    if (rc == SQL_SUCCESS && b == nullptr) {
      // Every value is in: the row is written.
      int status = kStatusCommunicationFailure;
      rc = s->Exchange(execution.ActiveRequest(), &status);
      if (rc != SQL_SUCCESS) rc = s->CheckResult(rc, status);
    }
    if (rc != SQL_SUCCESS || b == nullptr) {
      // The row is written (or failed): the call goes on with the next
      // rows, up to one whose first value at execution is named now.
      execution.Drop();
      s->editPieces.Clear();
      rc = ResumeEdits(s, rc);
      if (rc != SQL_NEED_DATA) return rc;
      b = execution.Current();
    }
  }
  b->DropPieces();
  execution.SetCurrent(b);
  execution.SetStage(Execution::kDataComing);
  if (token != nullptr) *token = b->rgbValue;
  return SQL_NEED_DATA;
}

SQLRETURN TellPositions(Statement* stmt) {
  Connection* c = stmt->OwningConnection();
  if (!c->KeepsCursorKeys()) return SQL_SUCCESS;
  const uint32_t count = c->statements.Count();
  for (uint32_t i = 0; i < count && i <= UINT16_MAX; ++i) {
    Statement* other = c->statements.ItemAt(static_cast<uint16_t>(i));
    if (other == nullptr || other == stmt || !Editable(other) || other->cursor.ColumnCount() == 0)
      continue;
    // A static cursor's current row; a forward-only cursor's last row
    // handed to the application (the server may have read ahead).
    const uint64_t row =
        other->scroll.Active() ? other->scroll.state.current : other->cursor.RowsFetched();
    if (row == 0 || row > UINT32_MAX) continue;
    EditRowRequest request;
    if (!StartEditRequest(&request, other, kEditPosition, row))
      return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
    int status = kStatusCommunicationFailure;
    const int rc = other->Exchange(&request, &status);
    if (rc == SQL_SUCCESS) continue;
    // A cursor the server cannot place keeps its record; the positioned
    // statement's own outcome says what became of it.
    other->CheckResult(rc, status);
    if (status != kStatusReplied) return VEL_POST(stmt, SQL_ERROR, kDiagCommunicationFailure);
  }
  return SQL_SUCCESS;
}

SQLRETURN CheckEditable(Statement* stmt, SQLRETURN rc) {
  if ((rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) || !KeyedCursor(stmt) ||
      stmt->cursor.ColumnCount() == 0)
    return rc;
  const bool keyset = stmt->options.Get(OptionSlot::kCursorType) == SQL_CURSOR_KEYSET_DRIVEN;
  EditRowRequest request;
  if (request.Failed()) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  request.SetStatementId(stmt->StatementId());
  request.Get<EditOperationElement>()->value = kEditCheck;
  int status = kStatusCommunicationFailure;
  const int answer = stmt->Exchange(&request, &status);
  if (answer == SQL_SUCCESS) {
    if (!keyset) return rc;
    // A keyset-driven cursor's keys are those of the rows there are now:
    // every row is read (and its key kept by the server) at once.
    const SQLRETURN read = ScrollsStatically(stmt) ? ReadStaticToEnd(stmt) : SQL_SUCCESS;
    return read == SQL_SUCCESS ? rc : read;
  }
  const SQLRETURN checked = stmt->CheckResult(answer, status);
  if (checked == SQL_SUCCESS_WITH_INFO) {
    // A query without a key: read-only, and a keyset-driven cursor static.
    stmt->options.Set(OptionSlot::kConcurrency, SQL_CONCUR_READ_ONLY);
    if (keyset) stmt->options.Set(OptionSlot::kCursorType, SQL_CURSOR_STATIC);
  }
  return checked == SQL_SUCCESS ? rc : checked;
}

namespace {

// The row a bookmark names: the 4-byte row number in column 0's buffer of
// rowset row i (0: none, or not a row the cursor holds).
uint64_t MarkedRow(Statement* s, const ColumnBinding& mark, uint32_t i, const RowShape& shape) {
  const TransferTarget t = RowTarget(mark, i, shape);
  uint32_t number = 0;
  if (t.rgbValue != nullptr) std::memcpy(&number, t.rgbValue, sizeof number);
  return number <= s->scroll.Held() ? number : 0;
}

// The row statuses of the call: SQL_ATTR_ROW_STATUS_PTR, or the 2.0
// library's SQLExtendedFetch array.
uint16_t* RowStatuses(Statement* stmt) {
  return FollowsOdbc3(*stmt) ? stmt->ird.header.arrayStatusPtr : stmt->scroll.state.rowStatus;
}

// Rowset row i done with rc (deleted: a refresh found it gone): its status
// and the call's counts. False when the call is to end with SQL_ERROR.
bool Account(Statement* stmt, uint64_t i, SQLRETURN rc, bool deleted) {
  Statement::EditRun& run = stmt->editRun;
  const uint16_t fOption = run.option;
  uint16_t* status = RowStatuses(stmt);
  ++run.done;
  if (rc != SQL_SUCCESS) ++run.failed, run.result = SQL_SUCCESS_WITH_INFO;
  if (status != nullptr) {
    status[i] = rc != SQL_SUCCESS       ? SQL_ROW_ERROR
                : deleted               ? SQL_ROW_DELETED
                : fOption == SQL_UPDATE ? SQL_ROW_UPDATED
                : fOption == SQL_DELETE ? SQL_ROW_DELETED
                : fOption == SQL_ADD    ? SQL_ROW_ADDED
                                        : SQL_ROW_SUCCESS;
  }
  if (rc != SQL_ERROR) return true;
  // A connection lost, or memory run out (its record may be lost too),
  // leaves nothing more to write: the call fails.
  const ErrorData* last = stmt->errors.Last();
  return stmt->OwningConnection()->LoggedIn() && last != nullptr &&
         std::strcmp(last->sqlstate.TextOrEmpty(), "S1001") != 0;
}

// The rows of the run from its next one on; SQL_NEED_DATA when a row
// awaits values given at execution (the run resumes once they are in).
SQLRETURN RunEdits(Statement* stmt) {
  Statement::EditRun& run = stmt->editRun;
  const RowShape shape = AppRowShape(stmt);
  const uint16_t fOption = run.option;
  const int32_t operation = fOption == SQL_UPDATE   ? kEditUpdate
                            : fOption == SQL_DELETE ? kEditDelete
                                                    : kEditAdd;
  // SQL_ATTR_ROW_OPERATION_PTR: the rows of a whole-rowset operation to
  // leave out.
  const SQLUSMALLINT* operations =
      FollowsOdbc3(*stmt) ? stmt->RowDescriptor().header.arrayStatusPtr : nullptr;
  for (; run.next < run.last; ++run.next) {
    const uint64_t i = run.next;
    if (run.irow == 0 && operations != nullptr && operations[i] == SQL_ROW_IGNORE) continue;
    const uint32_t slot = static_cast<uint32_t>(i);
    const uint64_t row = run.marks != nullptr ? MarkedRow(stmt, *run.marks, slot, shape)
                         : fOption == SQL_ADD ? 0
                                              : stmt->scroll.state.start + i;
    SQLRETURN rc = SQL_SUCCESS;
    bool deleted = false;
    if (run.marks != nullptr && row == 0) {
      rc = VEL_POST(stmt, SQL_ERROR, kDiagInvalidBookmark);
    } else if (fOption == SQL_REFRESH) {
      if (KeepsKeys(stmt)) rc = RefreshRow(stmt, row, &deleted);
      if (rc == SQL_SUCCESS && !deleted) rc = DeliverHeldRow(stmt, row, slot, shape);
    } else {
      // Values at execution are asked for row by row, in the rowset's order.
      rc = EditOne(stmt, operation, row, slot, shape);
      if (rc == SQL_NEED_DATA) return rc;
    }
    if (!Account(stmt, i, rc, deleted)) return SQL_ERROR;  // nothing more to write
  }
  // One row, or every row, failing is the call's error; a row not written
  // because it changed is a warning.
  if (run.failed != 0 && run.failed == run.done && run.result != SQL_SUCCESS) {
    const ErrorData* last = stmt->errors.Last();
    const bool conflict = last != nullptr && last->sqlstate.TextOrEmpty()[0] == '0';
    if (!conflict) return SQL_ERROR;
  }
  return run.result;
}

SQLRETURN ResumeEdits(Statement* stmt, SQLRETURN written) {
  if (!Account(stmt, stmt->editRun.next, written, false)) return SQL_ERROR;
  ++stmt->editRun.next;
  return RunEdits(stmt);
}

// fOption: SQLSetPos's SQL_UPDATE, SQL_DELETE or SQL_ADD on rowset row irow
// (0: every row), or with marks (column 0's binding) the rows the
// bookmarks of the bound arrays name, SQL_REFRESH then fetching them.
SQLRETURN EditRows(Statement* stmt, SQLULEN irow, SQLUSMALLINT fOption, uint64_t addRows,
                   const ColumnBinding* marks = nullptr) {
  Statement::EditRun& run = stmt->editRun;
  const uint64_t rows =
      fOption == SQL_ADD || marks != nullptr ? addRows : stmt->scroll.state.rowsetRows;
  run = Statement::EditRun{};
  run.next = irow == 0 ? 0 : irow - 1;
  run.last = irow == 0 ? rows : irow;
  run.irow = irow;
  run.option = fOption;
  run.marks = marks;
  return RunEdits(stmt);
}

}  // namespace

SQLRETURN EditRowset(Statement* stmt, SQLULEN irow, SQLUSMALLINT fOption) {
  const uint64_t size = stmt->scroll.state.lastSize;
  return EditRows(stmt, irow, fOption, size == 0 ? 1 : size);
}

SQLRETURN BulkOperationsWorker(Statement* stmt, SQLSMALLINT operation) {
  if (operation < SQL_ADD || operation > SQL_FETCH_BY_BOOKMARK)
    return VEL_POST(stmt, SQL_ERROR, kDiagOptionOutOfRange);
  // Fetching by bookmark needs no cursor that writes back.
  if (operation != SQL_FETCH_BY_BOOKMARK && !Editable(stmt))
    return VEL_POST(stmt, SQL_ERROR, kDiagBulkOperationsUnimplemented);
  if (stmt->cursor.ColumnCount() == 0) return VEL_POST(stmt, SQL_ERROR, kDiagNoResultSet);
  const SQLULEN size = stmt->RowDescriptor().header.arraySize;
  if (operation == SQL_ADD) return EditRows(stmt, 0, SQL_ADD, size == 0 ? 1 : size);
  // The other operations name their rows by the bookmarks bound to column 0.
  if (stmt->options.Get(OptionSlot::kUseBookmarks) == SQL_UB_OFF)
    return VEL_POST(stmt, SQL_ERROR, kDiagOptionOutOfRange);
  const ColumnBinding* marks = stmt->RowBindings().Find(0);
  if (marks == nullptr || !stmt->scroll.Active())
    return VEL_POST(stmt, SQL_ERROR, kDiagInvalidCursorPosition);
  const SQLUSMALLINT fOption = operation == SQL_UPDATE_BY_BOOKMARK   ? SQL_UPDATE
                               : operation == SQL_DELETE_BY_BOOKMARK ? SQL_DELETE
                                                                     : SQL_REFRESH;
  return EditRows(stmt, 0, fOption, size == 0 ? 1 : size, marks);
}
