// The statement object: construction, destruction and the small
// operations the statement functions share.
#include "base/Unaligned.h"
#include "handles/Statement.h"

#include <sql.h>
#include <sqlext.h>

#include <new>

#include "base/Check.h"
#include "handles/Odbc3Rules.h"
#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "protocol/DataSets.h"
#include "protocol/Framing.h"
#include "protocol/Request.h"
#include "protocol/Requests.h"
#include "protocol/ResultSetDescription.h"

// The parts go in reverse order of declaration: the active request, the
// block, the result columns, the parameter bindings, the records, then the
// column bindings.
Statement::~Statement() = default;

namespace {

// Marks the statement's call as waiting for its reply for the lifetime:
// SQLCancel from another thread may cancel it then.
class Waiting {
 public:
  Waiting(Connection* c, const Statement* s, uint32_t request) : connection_(c) {
    connection_->SetWaiting(s, request);
  }
  ~Waiting() { connection_->SetWaiting(nullptr, 0); }
  Waiting(const Waiting&) = delete;
  Waiting& operator=(const Waiting&) = delete;

 private:
  Connection* connection_;
};

}  // namespace

int Statement::Exchange(Request* request, int* status) {
  unansweredStatus_ = kStatusReplied;
  if (connection_->Revive(this)) request->SetStatementId(statementId_);
  ReplyWait wait(this);
  // A server that offers cancelling ends a statement at its query timeout
  // itself; it learns the timeout before the first request that differs.
  const uint32_t timeout = static_cast<uint32_t>(options.QueryTimeout());
  if (connection_->OffersCancel() && statementId_ != 0 && timeout != sentTimeout_) {
    SetQueryTimeoutRequest set;
    if (set.Failed()) {
      *status = kStatusMemoryFailure;
      return SQL_ERROR;
    }
    set.SetStatementId(statementId_);
    set.Get<QueryTimeoutElement>()->value = timeout;
    const int rc = set.Exchange(status, &connection_->clib);
    if (rc != SQL_SUCCESS || *status != kStatusReplied) return rc;
    sentTimeout_ = timeout;
  }
  Waiting waiting(connection_, this, connection_->clib.Requests() + 1);
  const int rc = request->Exchange(status, &connection_->clib);
  if (*status != kStatusReplied && request->Written()) unansweredStatus_ = *status;
  // What connection resiliency must know: an execution may leave a cursor
  // (until closed, or a reply says there is no result), and in
  // manual-commit mode it begins or extends a transaction.
  const uint16_t code = request->MessageCode();
  const bool execution = code == Msg::kExecute || code == Msg::kExecuteRows ||
                         code == Msg::kExecuteBatch ||
                         (request->ReturnsResultSet() && code != Msg::kPrepare);
  if (code == Msg::kPrepare) resultOpen_ = false;
  if (execution && *status == kStatusReplied) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) resultOpen_ = true;
    if (rc == SQL_NO_DATA_FOUND) resultOpen_ = false;
    connection_->workSinceCommit = !connection_->options.Autocommit();
  }
  return rc;
}

bool Connection::Idle(const Statement* caller) {
  if (workSinceCommit && !options.Autocommit()) return false;
  for (Statement* s = statements.Head(); s != nullptr; s = static_cast<Statement*>(s->NextItem())) {
    if (s->ResultOpen() || (s != caller && s->execution.ActiveRequest() != nullptr) ||
        s->block.Active() || s->scroll.Active() || s->parameters.Progress().selects)
      return false;
  }
  return true;
}

bool Connection::Revive(const Statement* caller) {
  if (relogin == nullptr || reviving_ || !LoggedIn() || !Idle(caller) || !clib.PeerGone())
    return false;
  reviving_ = true;
  const bool revived = relogin(this);
  reviving_ = false;
  return revived;
}

bool Statement::SendAhead(Request* request) {
  // The server must already have the query timeout the request runs under.
  const uint32_t timeout = static_cast<uint32_t>(options.QueryTimeout());
  int status = kStatusCommunicationFailure;
  if ((connection_->OffersCancel() && timeout != sentTimeout_) ||
      !request->Send(&status, &connection_->clib)) {
    delete request;
    return false;
  }
  block.SentAhead(request, &connection_->clib, connection_->clib.Requests());
  return true;
}

Request* Statement::TakeAhead(int* rc, int* status) {
  const uint32_t number = block.AheadOnItsWay();
  if (number == 0) return block.TakeAhead(rc, status);
  ReplyWait wait(this);
  Waiting waiting(connection_, this, number);
  return block.TakeAhead(rc, status);
}

Statement::ReplyWait::ReplyWait(Statement* s)
    : clib_(s->connection_ ? &s->connection_->clib : nullptr),
      timeoutAfter_(s->connection_ ? s->connection_->ConnectionTimeout() : 0) {
  // The server answers a statement that ran out of time itself; the
  // driver waits kQueryTimeoutGrace seconds longer before it takes a
  // silent server for lost (and the connection with it: "08S01"). Without
  // a query timeout a statement's request may take as long as it runs:
  // the connection timeout bounds only the other waits.
  const int32_t timeout = s->options.QueryTimeout();
  if (timeout <= 0 && timeoutAfter_ <= 0) clib_ = nullptr;  // no bound before or after
  if (clib_) clib_->SetTimeout(timeout > 0 ? timeout + kQueryTimeoutGrace : 0);
}

Statement::ReplyWait::~ReplyWait() {
  if (clib_) clib_->SetTimeout(timeoutAfter_);
}

void Statement::Allocated(uint32_t id) {
  statementId_ = id;
  options = connection_->options;
  metadataId = connection_->metadataId;
}

void Execution::Drop() {
  delete request_;
  request_ = nullptr;
  values_ = nullptr;
  current_ = nullptr;
  stage_ = kIdle;
}

namespace {

// Reads and drops the reply of a block asked for ahead that is no longer
// wanted (its statement closed, executed again, or went).
class DroppedReply final : public PendingReply {
 public:
  bool Settle(ClibConnection* connection) override { return DiscardReply(connection); }
};
DroppedReply gDroppedReply;

// Reads and drops the reply of a close sent without waiting for it, once
// the next request has been written.
class UnawaitedReply final : public PendingReply {
 public:
  bool Settle(ClibConnection* connection) override { return DiscardReply(connection); }
  bool AfterNextWrite() const override { return true; }
};
UnawaitedReply gUnawaitedReply;

}  // namespace

bool Statement::SendUnawaited(Request* request, int* status) {
  if (!request->Send(status, &connection_->clib)) return false;
  connection_->clib.SetPending(&gUnawaitedReply);
  return true;
}

FetchBlock::~FetchBlock() {
  Drop();
  DropRow();
  delete spare_;
}

void FetchBlock::Drop() {
  Recycle(reply_);
  reply_ = nullptr;
  budget_ = 0;
  if (AheadOnItsWay() != 0) connection_->SetPending(&gDroppedReply);
  delete ahead_;
  ahead_ = nullptr;
  aheadNumber_ = 0;
}

// One request is kept: a statement executed again and again sends the
// same message each time, and reading its rows needs nothing else.
void FetchBlock::Recycle(Request* request) {
  if (request == nullptr || request == spare_) return;
  if (request->MessageCode() != Msg::kExecuteRows) {
    delete request;
    return;
  }
  delete spare_;
  spare_ = request;
}

Request* FetchBlock::TakeSpare(uint16_t code) {
  Request* spare = spare_;
  spare_ = nullptr;
  if (spare != nullptr && spare->MessageCode() == code && spare->Reset()) return spare;
  delete spare;
  return nullptr;
}

void FetchBlock::SentAhead(Request* request, ClibConnection* connection, uint32_t number) {
  ahead_ = request;
  connection_ = connection;
  aheadNumber_ = number;
  aheadStatus_ = kStatusCommunicationFailure;
  connection->SetPending(this);
}

uint32_t FetchBlock::AheadOnItsWay() const {
  // A connection released meanwhile took the reply with it.
  return ahead_ != nullptr && connection_->Pending() == this ? aheadNumber_ : 0;
}

bool FetchBlock::Settle(ClibConnection* connection) {
  aheadNumber_ = 0;
  aheadStatus_ = kStatusCommunicationFailure;
  if (ahead_->Receive(&aheadStatus_, connection)) aheadStatus_ = kStatusReplied;
  // A reply too large for memory was read and dropped: the stream is whole.
  return connection->IsOpen();
}

Request* FetchBlock::TakeAhead(int* rc, int* status) {
  if (AheadOnItsWay() != 0) {
    connection_->SetPending(nullptr);
    Settle(connection_);
  }
  Request* ahead = ahead_;
  ahead_ = nullptr;
  *status = aheadNumber_ != 0 ? kStatusCommunicationFailure : aheadStatus_;
  aheadNumber_ = 0;
  *rc = *status == kStatusReplied ? ahead->ReturnCode() : SQL_ERROR;
  return ahead;
}

FetchDataSetElement* FetchBlock::Row() {
  if (row_ == nullptr) row_ = new (std::nothrow) FetchDataSetElement;
  return row_;
}

void FetchBlock::DropRow() {
  delete row_;
  row_ = nullptr;
}

namespace {

// The client diagnostic of each conversion outcome, by ParamOutcome.
const ClientDiagnostic* const kOutcomeDiagnostics[] = {
    nullptr,
    &kDiagMemory,
    &kDiagConversionNotSupported,
    &kDiagProcedures,
    &kDiagInvalidArgument,
    &kDiagDataOutOfRange,
    &kDiagWholeDigitsLost,
    &kDiagValueOutOfRange,
    &kDiagBitOutOfRange,
    &kDiagUlongTooLarge,
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
    &kDiagInvalidWideText,
    &kDiagIntervalText,
    &kDiagIntervalOverflow,
};
static_assert(sizeof kOutcomeDiagnostics / sizeof kOutcomeDiagnostics[0] == kParamOutcomeCount,
              "one diagnostic per conversion outcome");

}  // namespace

Statement::ParameterSource Statement::SourceOf(const ParameterBinding* b) {
  ParameterSource source{b->fCType, b->rgbValue, b->cbValueMax, b->pcbValue, b->indicator};
  if (explicitApd_ != nullptr) {
    // The application side comes from the associated descriptor's record.
    const ColumnBinding* r = explicitApd_->records.Find(b->ipar);
    if (r != nullptr) source = {r->fCType, r->rgbValue, r->cbValueMax, r->pcbValue, r->indicator};
  }
  const ArrayHeader& h = ParamDescriptor().header;
  const SQLLEN offset = h.bindOffsetPtr != nullptr ? *h.bindOffsetPtr : 0;
  const SQLULEN row = parameters.SetRow();
  if (row == 0 && offset == 0) return source;
  const SQLULEN type = ParamDescriptor().BindType();
  source.data = ArrayElement(static_cast<char*>(source.data), row, type,
                             ValueStride(source.cType, source.bufferLength), offset);
  source.indicator =
      ArrayElement(source.indicator, row, type, static_cast<SQLLEN>(sizeof(SQLLEN)), offset);
  source.nullIndicator =
      ArrayElement(source.nullIndicator, row, type, static_cast<SQLLEN>(sizeof(SQLLEN)), offset);
  return source;
}

int Statement::AddParameterValue(ParameterBinding* b, bool atExec) {
  // An output parameter's buffer holds no value: it goes as NULL (a
  // procedure's OUT argument takes one), its memory unread.
  const bool output = b->fParamType == SQL_PARAM_OUTPUT;
  if (!output && ConvertParameterValue(b, atExec) != SQL_SUCCESS) return SQL_ERROR;
  ParameterDataElement* e = new (std::nothrow) ParameterDataElement;
  if (e == nullptr) return VEL_POST(this, SQL_ERROR, kDiagMemory);
  const uint16_t number = parameters.SentNumber(*b);
  if (output ? !e->Set(number, SentSqlType(b->fSqlType), nullptr, 0, true)
             : !e->Set(number, b->converted.SentType(SentSqlType(b->fSqlType)), b->converted.Data(),
                       b->converted.Length(), b->converted.IsNull())) {
    delete e;
    return VEL_POST(this, SQL_ERROR, kDiagMemory);
  }
  execution.Values()->List()->Append(e);
  return SQL_SUCCESS;
}

int Statement::ConvertParameterValue(ParameterBinding* b, bool atExec) {
  const ParameterSource source = SourceOf(b);
  // SQL_NULL_DATA in an indicator of its own makes the value NULL.
  const bool null = source.nullIndicator != nullptr && source.nullIndicator != source.indicator &&
                    LoadUnaligned(source.nullIndicator) == SQL_NULL_DATA;
  ParameterInput in{source.cType,
                    b->fSqlType,
                    null     ? nullptr
                    : atExec ? b->putData
                             : source.data,
                    source.indicator,
                    atExec,
                    b->collected,
                    FollowsOdbc3(*this),
                    b->appPrecision > 0,
                    b->appScale,
                    connection_->OffersDecimal(),
                    b->ibScale};
  const ParamOutcome outcome = ConvertParameter(in, connection_->typeSizes, &b->converted);
  if (outcome != kParamDone) return VEL_POST(this, SQL_ERROR, *kOutcomeDiagnostics[outcome]);
  return SQL_SUCCESS;
}

int Statement::PostConversion(int outcome) {
  return VEL_POST(this, SQL_ERROR, *kOutcomeDiagnostics[outcome]);
}

int Statement::AddParameterValues() {
  ParameterBinding* current = execution.Current();
  ParameterBinding* b = current != nullptr ? static_cast<ParameterBinding*>(current->NextItem())
                                           : parameters.Bindings().Head();
  for (; b != nullptr && parameters.Sends(*b); b = static_cast<ParameterBinding*>(b->NextItem())) {
    if (parameters.ReturnsValue(*b)) continue;
    if (b->fParamType == SQL_PARAM_OUTPUT) {
      if (AddParameterValue(b, false) != SQL_SUCCESS) return SQL_ERROR;
      continue;
    }
    const SQLLEN* indicator = SourceOf(b).indicator;
    const SQLLEN ind = indicator != nullptr ? LoadUnaligned(indicator) : 0;
    if (indicator != nullptr && ind == SQL_IGNORE) continue;
    if (indicator != nullptr && (ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET)) {
      execution.SetCurrent(b);
      return SQL_NEED_DATA;
    }
    if (AddParameterValue(b, false) != SQL_SUCCESS) return SQL_ERROR;
  }
  execution.SetCurrent(nullptr);
  return SQL_SUCCESS;
}

int Statement::AdoptResultSet(ResultSetDescriptionElement* description) {
  ResultColumnList& columns = cursor.Columns();
  columns.Clear();
  Restart();
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
    value->binding = RowBindings().FindBound(number);
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

void Cursor::HideColumns() {
  hidden_.Clear();
  while (ColumnValue* v = columns_.Head()) {
    columns_.Unlink(v);
    v->binding = nullptr;
    hidden_.Append(v);
  }
  columns_.Clear();
}

ColumnValue* Cursor::HiddenColumn() const { return hidden_.Head(); }

void Cursor::ShowColumns() {
  if (hidden_.Count() == 0) return;
  columns_.Clear();
  while (ColumnValue* v = hidden_.Head())
    columns_.Append(static_cast<ColumnValue*>(hidden_.Unlink(v)));
  hidden_.Clear();
}

void Statement::Unbind() {
  ResultColumnList& columns = cursor.Columns();
  for (ColumnValue* v = columns.First(); v != nullptr; v = columns.Next()) v->binding = nullptr;
  RowBindings().Clear();
  if (explicitArd_ != nullptr) explicitArd_->RecordsChanged();
}

void Statement::Associate(Descriptor* d, bool ard) {
  (ard ? explicitArd_ : explicitApd_) = d;
  if (ard) RelinkColumns();
}

void Statement::RelinkColumns() {
  ResultColumnList& columns = cursor.Columns();
  ColumnBindingList& records = RowBindings();
  uint16_t number = 1;
  for (ColumnValue* v = columns.First(); v != nullptr; v = columns.Next(), ++number)
    v->binding = records.FindBound(number);
}

void Statement::BindColumn(uint16_t icol, ColumnBinding* binding) {
  ColumnValue* value = Column(icol);
  ColumnBinding* existing = nullptr;
  if (value != nullptr && value->binding != nullptr) {
    existing = value->binding;
    VEL_CHECK_TEXT(existing->ColumnNumber() == icol, "bc->ColumnNumber() == colNo", VEL_MODULE);
  } else {
    existing = RowBindings().Find(icol);
  }
  if (existing != nullptr) {
    if (value != nullptr) value->binding = nullptr;
    RowBindings().Delete(existing);
  }
  if (binding != nullptr) {
    RowBindings().Append(binding);
    if (value != nullptr) value->binding = binding;
  }
  // Other statements may share an explicit row descriptor.
  if (explicitArd_ != nullptr) explicitArd_->RecordsChanged();
}
