// The statement object: construction, destruction and the small
// operations the statement functions share.
#include "handles/Statement.h"

#include <sql.h>
#include <sqlext.h>

#include <new>

#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "protocol/DataSets.h"
#include "protocol/Request.h"
#include "protocol/ResultSetDescription.h"

Statement::~Statement() {
  DropActiveRequest();
  DropBlock();
  delete blockRow;
  // The members go in reverse order of declaration: the result columns,
  // the parameter bindings, the records, then the column bindings.
}

int Statement::Exchange(Request* request, int* status) {
  ReplyWait wait(this);
  return request->Exchange(status, &connection->clib);
}

Statement::ReplyWait::ReplyWait(Statement* s)
    : clib_(s->queryTimeout > 0 && s->connection ? &s->connection->clib : nullptr) {
  // The server answers a statement that ran out of time itself; the
  // driver waits kQueryTimeoutGrace seconds longer before it takes a
  // silent server for lost (and the connection with it: "08S01").
  if (clib_) clib_->SetTimeout(s->queryTimeout + kQueryTimeoutGrace);
}

Statement::ReplyWait::~ReplyWait() {
  if (clib_) clib_->SetTimeout(0);
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

void Statement::DropBlock() {
  delete block;
  block = nullptr;
  blockBudget = 0;
}

void Statement::DropActiveRequest() {
  delete activeRequest;
  activeRequest = nullptr;
  parameterValues = nullptr;
  currentParameter = nullptr;
  needData = 0;
}

namespace {

// The client diagnostic of each conversion outcome, by ParamOutcome.
const ClientDiagnostic* const kOutcomeDiagnostics[kParamOutcomeCount] = {
    nullptr,
    &kDiagMemory,
    &kDiagConversionNotSupported,
    &kDiagProcedures,
    &kDiagInvalidArgument,
    &kDiagDataOutOfRange,
    &kDiagWholeDigitsLost,
    &kDiagValueOutOfRange,
    &kDiagBitOutOfRange,
    &kDiagTooStupid,
    &kDiagBinaryLength,
    &kDiagNonNumeric,
    &kDiagNotNumeric,
    &kDiagDataTruncated,
    &kDiagFractionalDigitsLost,
    &kDiagFractionalValue,
    &kDiagBitFraction,
    &kDiagTimeLost,
    &kDiagFractionLost,
    &kDiagDateText,
    &kDiagTimeText,
};

}  // namespace

int Statement::AddParameterValue(ParameterBinding* b, bool atExec) {
  ParameterInput in{b->fCType,   b->fSqlType, atExec ? b->putData : b->rgbValue,
                    b->pcbValue, atExec,      b->collected};
  const ParamOutcome outcome = ConvertParameter(in, connection->typeSizes, &b->converted);
  if (outcome != kParamDone) return VEL_POST(this, SQL_ERROR, *kOutcomeDiagnostics[outcome]);
  ParameterDataElement* e = new (std::nothrow) ParameterDataElement;
  if (e == nullptr) return VEL_POST(this, SQL_ERROR, kDiagMemory);
  if (!e->Set(b->ipar, SentSqlType(b->fSqlType), b->converted.Data(), b->converted.Length(),
              b->converted.IsNull())) {
    delete e;
    return VEL_POST(this, SQL_ERROR, kDiagMemory);
  }
  parameterValues->List()->Append(e);
  return SQL_SUCCESS;
}

int Statement::AddParameterValues() {
  ParameterBinding* b = currentParameter != nullptr
                            ? static_cast<ParameterBinding*>(currentParameter->NextItem())
                            : parameters.Head();
  for (; b != nullptr; b = static_cast<ParameterBinding*>(b->NextItem())) {
    if (b->pcbValue != nullptr && *b->pcbValue == SQL_IGNORE) continue;
    if (b->AtExec()) {
      currentParameter = b;
      return SQL_NEED_DATA;
    }
    if (AddParameterValue(b, false) != SQL_SUCCESS) return SQL_ERROR;
  }
  currentParameter = nullptr;
  return SQL_SUCCESS;
}

int Statement::AdoptResultSet(ResultSetDescriptionElement* description) {
  columns.Clear();
  rowsFetched = 0;
  DropBlock();
  ColumnDescriptionList* list = description ? description->Columns() : nullptr;
  if (list == nullptr) return SQL_SUCCESS;
  // SQLNumResultCols counts and SQLDescribeCol gives a name's length in a
  // SQLSMALLINT; nullability is one of three answers.
  bool fits = list->Count() <= 32767;
  for (ColumnDescription* d = list->First(); fits && d != nullptr; d = list->Next()) {
    fits = d->columnName.Length() <= 32767 && d->nullability >= SQL_NO_NULLS &&
           d->nullability <= SQL_NULLABLE_UNKNOWN;
  }
  if (!fits) return VEL_POST(this, SQL_ERROR, kDiagInvalidReply);
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

ResultColumnList::~ResultColumnList() { VelFree(index_); }

void ResultColumnList::Append(ColumnValue* value) {
  indexed_ = 0;
  LinkedList::Append(value);
}

ColumnValue* ResultColumnList::IndexAndFind(unsigned number) {
  const uint32_t count = Count();
  if (number == 0 || number > count) return nullptr;
  if (indexed_ != count) {
    if (capacity_ < count) {
      // Without room for the index the columns are walked instead: every
      // SQLGetData and bound transfer still finds its column.
      void* room = VelAlloc(sizeof(ColumnValue*) * count);
      if (room == nullptr) return ItemAt(static_cast<uint16_t>(number - 1));
      VelFree(index_);
      index_ = static_cast<ColumnValue**>(room);
      capacity_ = count;
    }
    uint32_t i = 0;
    for (ColumnValue* v = Head(); v != nullptr; v = static_cast<ColumnValue*>(v->NextItem())) {
      index_[i++] = v;
    }
    indexed_ = count;
  }
  return index_[number - 1];
}

void Statement::Unbind() {
  for (ColumnValue* v = columns.First(); v != nullptr; v = columns.Next()) v->binding = nullptr;
  bindings.Clear();
}
