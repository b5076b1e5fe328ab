// Request decoding and reply encoding around the session's operations:
// one handler per message, found by its code in kHandlers. A handler reads
// its request's elements, runs the session's operation and fills the
// reply elements; it returns the return code. A reply whose return code is
// not SQL_SUCCESS still carries every reply element (in its zero state):
// the driver reads only the return code then.
//
// To serve a new message: add it to the message list (protocol/
// WireNumbers.h) and write its Handle<Name> here; the table follows.
#include "server/session/Dispatch.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>

#include "protocol/Elements.h"
#include "protocol/Request.h"
#include "protocol/WireNumbers.h"
#include "server/Diagnostics.h"
#include "server/Log.h"
#include "server/session/RequestFields.h"
#include "server/values/ValueCodec.h"

namespace velsrv {

namespace {

using Handler = int (*)(Session*, Request*);

// Not a return code: a handler's work was done, but its reply cannot say
// what it did; Dispatch ends the session without a reply.
constexpr int kReplyLost = INT32_MIN;

// The end of the requests whose reply is a result set description.
int Described(Session* s, Request* r, int rc, const std::vector<ColumnOut>& columns) {
  if (rc == kSqlSuccess && !SetDescription(r, columns))
    return s->PostError(Id(r), kStateMemory, kTextMemory);
  return rc;
}

// ---- login and statement handles ----

int HandleConnect(Session* s, Request* r) {
  std::string version;
  const int rc = s->Connect(Text(r->Get<DataSourceElement>()), Text(r->Get<UserNameElement>()),
                            Text(r->Get<PasswordElement>()), &version);
  if (rc == kSqlSuccess) {
    if (!SetText(r->Get<VersionElement>(), version))
      return s->PostError(0, kStateMemory, kTextMemory);
    FillTypeSizes(r->Get<NativeLengthValuesElement>()->values);
    if (s->OffersBlocks()) r->Get<FetchTypeElement>()->value = kFetchBlock;
    if (s->OffersBatch()) r->Get<BatchTypeElement>()->value = kBatchSets;
    if (s->OffersStream()) r->Get<StreamTypeElement>()->value = kStreamAhead;
    r->Get<CatalogTypeElement>()->value = kCatalogKeys;
    if (s->OffersDescribe()) r->Get<DescribeTypeElement>()->value = kDescribeParams;
    if (s->OffersResults()) r->Get<ResultsTypeElement>()->value = kResultsMore;
    r->Get<RoutineTypeElement>()->value = kRoutinesAndRights;
    if (s->OffersQuick()) r->Get<QuickTypeElement>()->value = kQuickRows;
    r->Get<EditTypeElement>()->value = kEditKeys;
    r->Get<IntervalTypeElement>()->value = kIntervalTypes;
    r->Get<DecimalTypeElement>()->value = kDecimalText;
    if (s->CancelKey() != 0) {
      r->Get<CancelTypeElement>()->value = kCancelRequest;
      r->Get<CancelKeyElement>()->value = s->CancelKey();
    }
    r->Get<SessionInfoElement>()->value = s->SessionInfo();
    InfoAnswersElement* answers = r->Get<InfoAnswersElement>();
    for (const auto& [type, value] : s->InfoAnswers()) {
      if (answers->count == InfoAnswersElement::kMaxAnswers) break;
      answers->types[answers->count] = type;
      answers->values[answers->count++] = value;
    }
  }
  return rc;
}

int HandleDisconnect(Session* s, Request*) { return s->Disconnect(); }

int HandleSetIntervals(Session* s, Request* r) {
  return s->SetIntervals(Code<IntervalTypeElement>(r) == kIntervalTypes);
}

int HandleGetError(Session* s, Request* r) {
  Diagnostic d;
  const int rc = s->GetError(Id(r), &d);
  PutDiagnostic(r, d);
  return rc;
}

int HandleAllocStatement(Session* s, Request* r) {
  uint32_t id = 0;
  const int rc = s->AllocStatement(&id);
  r->Get<StatementIdElement>()->value = id;
  return rc;
}

int HandleFreeStatement(Session* s, Request* r) {
  return s->FreeStatement(Id(r), Code<FreeOptionElement>(r));
}

// ---- statements ----

int HandlePrepare(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  return Described(s, r, s->Prepare(Id(r), Text(r->Get<StatementElement>()), &columns), columns);
}

int HandleDescribeParams(Session* s, Request* r) {
  std::vector<ColumnOut> params;
  const int rc = s->DescribeParams(Id(r), &params);
  if (rc == kSqlSuccess && !SetDescription(r, params, r->Get<ParameterSetDescriptionElement>()))
    return s->PostError(Id(r), kStateMemory, kTextMemory);
  return rc;
}

int HandleNativeSql(Session* s, Request* r) {
  std::string text;
  const int rc = s->NativeSql(Text(r->Get<StatementElement>()), &text);
  if (rc == kSqlSuccess && !SetText(r->Get<NativeStatementElement>(), text))
    return s->PostError(0, kStateMemory, kTextMemory);
  return rc;
}

int HandleExecDirect(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  const int rc = s->ExecDirect(Id(r), Text(r->Get<StatementElement>()), Parameters(r), &columns);
  return Described(s, r, rc, columns);
}

int HandleExecute(Session* s, Request* r) { return s->Execute(Id(r), Parameters(r)); }

int HandleMoreResults(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  bool more = false;
  const int rc = s->MoreResults(Id(r), &more, &columns);
  r->Get<ResultsTypeElement>()->value = more ? kResultsMore : kResultsNone;
  return Described(s, r, rc, columns);
}

// The sets are decoded one at a time into parameters whose buffers stay
// from set to set; the outcomes are encoded after the last set ran.
int HandleExecuteBatch(Session* s, Request* r) {
  ParameterSetsElement* sets = r->Get<ParameterSetsElement>();
  auto next = [sets](std::vector<ParamIn>* params) {
    uint16_t values = 0;
    if (!sets->NextSet(&values)) return false;
    params->resize(values);
    for (ParamIn& p : *params) {
      const uint8_t* data = nullptr;
      uint32_t length = 0;
      sets->NextValue(&p.number, &p.sqlType, &p.isNull, &data, &length);
      p.data.assign(reinterpret_cast<const char*>(data), length);
    }
    return true;
  };
  static thread_local std::vector<SetOutcome> outcomes;
  const int rc = s->ExecuteBatch(Id(r), Text(r->Get<StatementElement>()),
                                 r->Get<BatchModeElement>()->value == kBatchStop, next, &outcomes);
  BatchOutcomesElement* out = r->Get<BatchOutcomesElement>();
  for (const SetOutcome& o : outcomes) {
    BatchOutcome b;
    b.returnCode = static_cast<int16_t>(o.rc);
    b.rows = o.rows < -1 || o.rows > INT32_MAX ? -1 : static_cast<int32_t>(o.rows);
    if (o.rc != kSqlSuccess) {
      const Diagnostic& d = o.diagnostic;
      b.sqlstate = d.sqlstate.data();
      b.sqlstateLength = static_cast<uint16_t>(d.sqlstate.size() > 5 ? 5 : d.sqlstate.size());
      b.native = d.native;
      b.text = d.text.data();
      b.textLength = static_cast<uint16_t>(d.text.size() > 32767 ? 32767 : d.text.size());
      b.file = d.file.data();
      b.fileLength = static_cast<uint16_t>(d.file.size() > 255 ? 255 : d.file.size());
      b.line = static_cast<int16_t>(d.line);
    }
    if (!out->Append(b)) return kReplyLost;
  }
  return rc;
}

int HandleGetCursorName(Session* s, Request* r) {
  std::string name;
  const int rc = s->GetCursorName(Id(r), &name);
  if (!SetText(r->Get<CursorNameElement>(), name))
    return s->PostError(Id(r), kStateMemory, kTextMemory);
  return rc;
}

int HandleSetCursorName(Session* s, Request* r) {
  return s->SetCursorName(Id(r), Text(r->Get<CursorNameElement>()));
}

// ---- rows ----

int HandleFetch(Session* s, Request* r) {
  // One per session thread: the cells keep their buffers from row to
  // row, unless large (an idle session holds little).
  static thread_local std::vector<CellOut> row;
  const int rc = s->Fetch(Id(r), Wanted(r), &row);
  if (rc == kSqlSuccess) {
    FetchDataSetElement* set = r->Get<FetchDataSetElement>();
    if (!set->ResetList()) return s->PostError(Id(r), kStateMemory, kTextMemory);
    for (const CellOut& cell : row)
      if (!PutCell(set->List(), cell)) return s->PostError(Id(r), kStateMemory, kTextMemory);
  }
  for (CellOut& cell : row)
    if (cell.data.capacity() > (64u << 10)) std::string().swap(cell.data);
  return rc;
}

// Encodes each row fetched for a block into the reply's block.
std::function<bool(const std::vector<CellOut>&)> RowSink(Request* r) {
  RowBlockElement* block = r->Get<RowBlockElement>();
  return [block](const std::vector<CellOut>& row) {
    uint64_t data = 0;
    for (const CellOut& cell : row) data += cell.data.size();
    bool ok = block->BeginRow(static_cast<uint16_t>(row.size()), data);
    for (size_t i = 0; ok && i < row.size(); ++i) {
      const CellOut& cell = row[i];
      ok = block->AppendValue(cell.column, cell.data.data(),
                              static_cast<uint32_t>(cell.data.size()), cell.isNull);
    }
    if (!ok) block->Clear();  // no row is left half written
    return ok;
  };
}

// The rows of a block, encoded as they are fetched, and with a return
// code other than SQL_SUCCESS the diagnostic of the row after them.
int HandleFetchBlock(Session* s, Request* r) {
  Diagnostic d;
  // The block ends at the row that reaches the budget: room for the
  // budget and a row or so is made once.
  const uint32_t budget =
      std::min<uint32_t>(r->Get<MaxLengthElement>()->value, Session::kMaxBlockBudget);
  if (!r->Get<RowBlockElement>()->Expect(budget + 512))
    return s->PostError(Id(r), kStateMemory, kTextMemory);
  const int rc = s->FetchBlock(Id(r), Wanted(r), r->Get<MaxLengthElement>()->value,
                               RowBlockElement::kMaxRows, RowSink(r), &d);
  if (rc != kSqlSuccess) PutDiagnostic(r, d);
  return rc;
}

// An execution with its row count and the first block of its rows; the
// block's own code and record travel beside the execution's return code.
int HandleExecuteRows(Session* s, Request* r) {
  int32_t count = -1;
  int blockCode = kSqlNoDataFound;
  Diagnostic d;
  const int rc = s->ExecuteRows(Id(r), Parameters(r), r->Get<MaxLengthElement>()->value, RowSink(r),
                                &count, &blockCode, &d);
  r->Get<NumberOfRowsElement>()->value = count;
  r->Get<BlockCodeElement>()->value = blockCode;
  if (blockCode != kSqlSuccess && !d.sqlstate.empty()) PutDiagnostic(r, d);
  return rc;
}

int HandleGetData(Session* s, Request* r) {
  CellOut cell;
  const int rc = s->GetData(Id(r), r->Get<ColumnNumberElement>()->value, &cell);
  if (rc == kSqlSuccess &&
      !r->Get<FetchDataElement>()->Set(cell.column, cell.data.data(),
                                       static_cast<uint32_t>(cell.data.size()), cell.isNull))
    return s->PostError(Id(r), kStateMemory, kTextMemory);
  return rc;
}

int HandleEditRow(Session* s, Request* r) {
  std::vector<CellOut> row;
  int64_t changed = 0;
  const int rc = s->EditRow(Id(r), Code<EditOperationElement>(r), r->Get<RowNumberElement>()->value,
                            static_cast<uint32_t>(Code<ConcurrencyOptionElement>(r)), Parameters(r),
                            &changed, &row);
  r->Get<NumberOfRowsElement>()->value =
      changed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(changed);
  FetchDataSetElement* set = r->Get<FetchDataSetElement>();
  if (!set->ResetList()) return s->PostError(Id(r), kStateMemory, kTextMemory);
  for (const CellOut& cell : row)
    if (!PutCell(set->List(), cell)) return s->PostError(Id(r), kStateMemory, kTextMemory);
  return rc;
}

int HandleGetRowNumber(Session* s, Request* r) {
  uint32_t n = 0;
  const int rc = s->GetRowNumber(Id(r), &n);
  r->Get<RowNumberElement>()->value = n;
  return rc;
}

int HandleRowCount(Session* s, Request* r) {
  int32_t n = -1;
  const int rc = s->RowCount(Id(r), &n);
  r->Get<NumberOfRowsElement>()->value = n;
  return rc;
}

// ---- catalog functions ----

// A trailing catalogType of CATALOG_ODBC3 asks for ODBC 3's columns too.
bool WantsOdbc3(Request* r) { return Code<CatalogTypeElement>(r) == kCatalogOdbc3; }

int HandleGetTypeInfo(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  const int rc = s->GetTypeInfo(Id(r), Code<SqlDataTypeElement>(r), WantsOdbc3(r), &columns);
  return Described(s, r, rc, columns);
}

int HandleTables(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  const int rc =
      s->Tables(Id(r), Text(r->Get<TableQualifierElement>()), Text(r->Get<TableOwnerElement>()),
                Text(r->Get<TableNameElement>()), Text(r->Get<TableTypeElement>()), &columns);
  return Described(s, r, rc, columns);
}

int HandleColumns(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  const int rc = s->Columns(Id(r), Text(r->Get<TableQualifierElement>()),
                            Text(r->Get<TableOwnerElement>()), Text(r->Get<TableNameElement>()),
                            Text(r->Get<ColumnNameElement>()), WantsOdbc3(r), &columns);
  return Described(s, r, rc, columns);
}

int HandleStatistics(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  const int rc = s->Statistics(Id(r), Text(r->Get<TableQualifierElement>()),
                               Text(r->Get<TableOwnerElement>()), Text(r->Get<TableNameElement>()),
                               Code<IndexTypeElement>(r), Code<AccuracyElement>(r), &columns);
  return Described(s, r, rc, columns);
}

int HandleSpecialColumns(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  const int rc = s->SpecialColumns(
      Id(r), Code<SpecialColumnTypeElement>(r), Text(r->Get<TableQualifierElement>()),
      Text(r->Get<TableOwnerElement>()), Text(r->Get<TableNameElement>()),
      Code<SpecialColumnScopeElement>(r), Code<NullabilityElement>(r), &columns);
  return Described(s, r, rc, columns);
}

// The qualifiers and owners of the key requests are not looked at: the
// storages have none (as for the columns).
int HandlePrimaryKeys(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  return Described(s, r, s->PrimaryKeys(Id(r), Text(r->Get<TableNameElement>()), &columns),
                   columns);
}

int HandleForeignKeys(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  const int rc = s->ForeignKeys(Id(r), Text(r->Get<TableNameElement>()),
                                Text(r->Get<FkTableNameElement>()), WantsOdbc3(r), &columns);
  return Described(s, r, rc, columns);
}

int HandleProcedures(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  return Described(s, r, s->Procedures(Id(r), Text(r->Get<TableNameElement>()), &columns), columns);
}

int HandleProcedureColumns(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  const int rc = s->ProcedureColumns(Id(r), Text(r->Get<TableNameElement>()),
                                     Text(r->Get<ColumnNameElement>()), WantsOdbc3(r), &columns);
  return Described(s, r, rc, columns);
}

int HandleTablePrivileges(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  return Described(s, r, s->TablePrivileges(Id(r), Text(r->Get<TableNameElement>()), &columns),
                   columns);
}

int HandleColumnPrivileges(Session* s, Request* r) {
  std::vector<ColumnOut> columns;
  const int rc = s->ColumnPrivileges(Id(r), Text(r->Get<TableNameElement>()),
                                     Text(r->Get<ColumnNameElement>()), &columns);
  return Described(s, r, rc, columns);
}

// ---- options and transactions ----

int HandleSetAccessMode(Session* s, Request* r) {
  return s->SetAccessMode(Code<AccessModeElement>(r));
}

int HandleSetAutocommit(Session* s, Request* r) {
  return s->SetAutocommit(Code<AutocommitModeElement>(r));
}

int HandleSetIsolation(Session* s, Request* r) {
  return s->SetIsolation(Code<TransactionIsolationLevelElement>(r));
}

int HandleTransact(Session* s, Request* r) { return s->Transact(Code<TransactionTypeElement>(r)); }

// A statement option: message code, and the element that carries its value.
template <Msg::Code kCode, class E>
int StatementOption(Session* s, Request* r) {
  return s->SetStatementOption(kCode, Id(r), static_cast<uint32_t>(r->Get<E>()->value));
}

constexpr Handler HandleSetConcurrency =
    StatementOption<Msg::kSetConcurrency, ConcurrencyOptionElement>;
constexpr Handler HandleSetCursorType =
    StatementOption<Msg::kSetCursorType, CursorTypeOptionElement>;
constexpr Handler HandleSetMaxLength = StatementOption<Msg::kSetMaxLength, MaxLengthElement>;
constexpr Handler HandleSetMaxRows = StatementOption<Msg::kSetMaxRows, MaxRowsElement>;
constexpr Handler HandleSetNoscan = StatementOption<Msg::kSetNoscan, NoscanOptionElement>;
constexpr Handler HandleSetRetrieveData =
    StatementOption<Msg::kSetRetrieveData, RetrieveDataOptionElement>;
constexpr Handler HandleSetRowsetSize = StatementOption<Msg::kSetRowsetSize, RowsetSizeElement>;
constexpr Handler HandleSetUseBookmarks =
    StatementOption<Msg::kSetUseBookmarks, BookmarkUseOptionElement>;
constexpr Handler HandleSetQueryTimeout =
    StatementOption<Msg::kSetQueryTimeout, QueryTimeoutElement>;

// A cancel request is the one request of a connection of its own (the
// listener serves it); inside a session it is out of place.
int HandleCancel(Session* s, Request*) {
  return s->PostError(0, kStateSequence,
                      "function sequence error: a cancel request goes alone "
                      "on a connection of its own");
}

// ---- the table ----

struct Route {
  uint16_t code;
  Handler handler;
};

// Every message of the list has a handler (a message without one does
// not compile), and the connect request.
constexpr Route kHandlers[] = {
#define VEL_ROUTE(code, Name) {Msg::k##Name, Handle##Name},
    VEL_MESSAGES(VEL_ROUTE)
#undef VEL_ROUTE
        {Msg::kConnect, HandleConnect},
    {Msg::kSetIntervals, HandleSetIntervals},
};

// Runs the request on the session; fills the reply elements. Returns the
// return code.
int Run(Session* s, uint16_t code, Request* r) {
  for (const Route& route : kHandlers)
    if (route.code == code) return route.handler(s, r);
  return kSqlError;
}

// Messages of up to this code keep their request from one message to the
// next; the others share one slot.
constexpr uint16_t kKeptCodes = 128;
// Requests that took more bytes than this are not kept.
constexpr uint32_t kKeptBytes = 64u << 10;

// The request of code, made once per session thread and reset for each
// message after (its elements keep their buffers), or made anew when its
// elements cannot be reset; null for an unknown code.
std::unique_ptr<Request>& RequestFor(uint16_t code) {
  static thread_local std::unique_ptr<Request> kept[kKeptCodes];
  static thread_local std::unique_ptr<Request> other;
  std::unique_ptr<Request>& request = code < kKeptCodes ? kept[code] : other;
  if (!request || request->MessageCode() != code || request->Failed() || !request->Reset())
    request.reset(Request::CreateRequest(code));
  return request;
}

}  // namespace

bool Dispatch(Session* session, uint16_t code, const uint8_t* body, uint32_t size,
              std::string* reply, std::string* why) {
  std::unique_ptr<Request>& request = RequestFor(code);
  if (!request || request->Failed()) {
    *why = "unknown message code " + std::to_string(code);
    return false;
  }
  int status = 0;
  if (!request->DecodeRequestBody(body, size, &status)) {
    *why = "malformed body for message code " + std::to_string(code);
    return false;
  }
  session->BeginRequest(Id(request.get()));
  const int rc = Run(session, code, request.get());
  session->EndRequest();
  // Sets of an execute-batch request that ran (return code 0) but whose
  // outcomes cannot be sent (memory): an error reply would tell the client
  // that none ran, though their work may be committed. The connection
  // closes instead, so the client reports their outcomes unknown, as
  // after any reply lost on the way; an open transaction ends with the
  // session.
  const bool setsRan = rc == kReplyLost || (code == Msg::kExecuteBatch && rc == kSqlSuccess);
  if (rc != kReplyLost) request->Get<ReturnCodeElement>()->value = rc;
  Log(2, "request %u -> %d", code, rc);
  if (rc == kReplyLost || !request->EncodeReply(&status)) {
    if (setsRan) {
      *why = "the outcomes of the sets that ran cannot be sent";
      return false;
    }
    // A reply too large for the frame: answer the error instead.
    session->PostError(Id(request.get()), kStateGeneral, "the reply is too large to send");
    request.reset(Request::CreateRequest(code));
    if (!request || request->Failed()) {
      request.reset();
      *why = "out of memory";
      return false;
    }
    request->Get<ReturnCodeElement>()->value = kSqlError;
    if (!request->EncodeReply(&status)) {
      *why = "reply cannot be encoded";
      return false;
    }
  }
  reply->assign(reinterpret_cast<const char*>(request->FrameBytes()), request->FrameLength());
  if (size > kKeptBytes || request->FrameLength() > kKeptBytes) request.reset();
  return true;
}

}  // namespace velsrv
