// Request decoding and reply encoding around the session's operations.
// A reply whose return code is not SQL_SUCCESS still carries every reply
// element (in its zero state): the driver reads only the return code then.
#include "server/Dispatch.h"

#include <memory>

#include "protocol/Elements.h"
#include "protocol/Request.h"
#include "protocol/WireNumbers.h"
#include "server/Log.h"
#include "server/ValueCodec.h"

namespace velsrv {

namespace {

std::string Text(StringElement* e) {
  if (!e) return "";
  return std::string(e->value.TextOrEmpty(), e->value.Length());
}

void SetText(StringElement* e, const std::string& text) {
  if (!e) return;
  size_t n = text.size() > kMaxStringElementLength ? kMaxStringElementLength : text.size();
  e->value.SetString(text.data(), static_cast<int32_t>(n));
}

uint32_t Id(Request* r) {
  StatementIdElement* e = r->Get<StatementIdElement>();
  return e ? e->value : 0;
}

template <class T>
int32_t Code(Request* r) {
  T* e = r->Get<T>();
  return e ? e->value : 0;
}

bool SetDescription(Request* r, const std::vector<ColumnOut>& columns) {
  ResultSetDescriptionElement* e = r->Get<ResultSetDescriptionElement>();
  if (!e) return true;
  ColumnDescriptionList* list = new (std::nothrow) ColumnDescriptionList();
  if (!list) return false;
  for (const ColumnOut& c : columns) {
    ColumnDescription* d = new (std::nothrow) ColumnDescription();
    if (!d) {
      delete list;
      return false;
    }
    size_t n = c.name.size() > kMaxStringElementLength ? kMaxStringElementLength : c.name.size();
    d->columnName.SetString(c.name.data(), static_cast<int32_t>(n));
    d->length = c.type.length;
    d->nullability = c.nullability;
    d->tableOwner.SetString(c.owner.c_str());
    d->precision = c.type.precision;
    d->scale = c.type.scale;
    n = c.table.size() > kMaxStringElementLength ? kMaxStringElementLength : c.table.size();
    d->tableName.SetString(c.table.data(), static_cast<int32_t>(n));
    d->sqlDataType = c.type.sqlType;
    d->updatable = false;  // cursors are read-only
    list->Append(d);
  }
  e->SetColumns(list);
  return true;
}

std::vector<ParamIn> Parameters(Request* r) {
  std::vector<ParamIn> out;
  ParameterDataSetElement* set = r->Get<ParameterDataSetElement>();
  if (!set || !set->List()) return out;
  for (ParameterDataElement* p = set->List()->Head(); p;
       p = static_cast<ParameterDataElement*>(p->NextItem())) {
    ParamIn in;
    in.number = p->Number();
    in.sqlType = static_cast<int16_t>(p->SqlType());
    in.isNull = p->IsNull();
    if (!in.isNull && p->Data())
      in.data.assign(reinterpret_cast<const char*>(p->Data()), p->Length());
    out.push_back(std::move(in));
  }
  return out;
}

std::vector<uint16_t> Wanted(Request* r) {
  std::vector<uint16_t> wanted;
  ShortVectorElement* v = r->Get<ColumnNumberVectorElement>();
  for (uint16_t i = 0; i < v->Count(); ++i) wanted.push_back(v->At(i));
  return wanted;
}

bool PutCell(FetchDataList* list, const CellOut& cell) {
  FetchDataElement* e = new (std::nothrow) FetchDataElement();
  if (!e) return false;
  if (!e->Set(cell.column, cell.data.data(), static_cast<uint32_t>(cell.data.size()),
              cell.isNull)) {
    delete e;
    return false;
  }
  list->Append(e);
  return true;
}

// The get-error reply's elements, which the fetch-block reply shares.
void PutDiagnostic(Request* r, const Diagnostic& d) {
  SetText(r->Get<SqlstateElement>(), d.sqlstate);
  r->Get<ErrorCodeElement>()->value = static_cast<int16_t>(d.native);
  SetText(r->Get<ErrorTextElement>(), d.text);
  SetText(r->Get<FileNameElement>(), d.file);
  r->Get<LineNumberElement>()->value = static_cast<int16_t>(d.line);
}

// The rows of a block, encoded as they are fetched, and with a return
// code other than SQL_SUCCESS the diagnostic of the row after them.
int RunFetchBlock(Session* s, Request* r) {
  RowBlockElement* block = r->Get<RowBlockElement>();
  auto sink = [block](const std::vector<CellOut>& row) {
    bool ok = block->BeginRow(static_cast<uint16_t>(row.size()));
    for (size_t i = 0; ok && i < row.size(); ++i) {
      const CellOut& cell = row[i];
      ok = block->AppendValue(cell.column, cell.data.data(),
                              static_cast<uint32_t>(cell.data.size()), cell.isNull);
    }
    if (!ok) block->Clear();  // no row is left half written
    return ok;
  };
  Diagnostic d;
  const int rc = s->FetchBlock(Id(r), Wanted(r), r->Get<MaxLengthElement>()->value,
                               RowBlockElement::kMaxRows, sink, &d);
  if (rc != kSqlSuccess) PutDiagnostic(r, d);
  return rc;
}

// Runs the request on the session; fills the reply elements. Returns the
// return code.
int Run(Session* s, uint16_t code, Request* r) {
  std::vector<ColumnOut> columns;
  int rc = kSqlError;
  switch (code) {
    case Msg::kAllocStatement: {
      uint32_t id = 0;
      rc = s->AllocStatement(&id);
      r->Get<StatementIdElement>()->value = id;
      return rc;
    }
    case Msg::kColumns:
      rc = s->Columns(Id(r), Text(r->Get<TableQualifierElement>()),
                      Text(r->Get<TableOwnerElement>()), Text(r->Get<TableNameElement>()),
                      Text(r->Get<ColumnNameElement>()), &columns);
      break;
    case Msg::kConnect: {
      std::string version;
      rc = s->Connect(Text(r->Get<DataSourceElement>()), Text(r->Get<UserNameElement>()),
                      Text(r->Get<PasswordElement>()), &version);
      if (rc == kSqlSuccess) {
        SetText(r->Get<VersionElement>(), version);
        FillTypeSizes(r->Get<NativeLengthValuesElement>()->values);
        if (s->OffersBlocks()) r->Get<FetchTypeElement>()->value = kFetchBlock;
      }
      return rc;
    }
    case Msg::kDisconnect:
      return s->Disconnect();
    case Msg::kGetError: {
      Diagnostic d;
      rc = s->GetError(Id(r), &d);
      PutDiagnostic(r, d);
      return rc;
    }
    case Msg::kExecDirect:
      rc = s->ExecDirect(Id(r), Text(r->Get<StatementElement>()), Parameters(r), &columns);
      break;
    case Msg::kExecute:
      return s->Execute(Id(r), Parameters(r));
    case Msg::kFetch: {
      // One per session thread: the cells keep their buffers from row to
      // row, unless large (an idle session holds little).
      static thread_local std::vector<CellOut> row;
      rc = s->Fetch(Id(r), Wanted(r), &row);
      if (rc == kSqlSuccess) {
        FetchDataSetElement* set = r->Get<FetchDataSetElement>();
        if (!set->ResetList()) return s->PostError(Id(r), "S1001", "memory allocation failure");
        for (const CellOut& cell : row)
          if (!PutCell(set->List(), cell))
            return s->PostError(Id(r), "S1001", "memory allocation failure");
      }
      for (CellOut& cell : row)
        if (cell.data.capacity() > (64u << 10)) std::string().swap(cell.data);
      return rc;
    }
    case Msg::kFetchBlock:
      return RunFetchBlock(s, r);
    case Msg::kFreeStatement:
      return s->FreeStatement(Id(r), Code<FreeOptionElement>(r));
    case Msg::kGetCursorName: {
      std::string name;
      rc = s->GetCursorName(Id(r), &name);
      SetText(r->Get<CursorNameElement>(), name);
      return rc;
    }
    case Msg::kGetData: {
      CellOut cell;
      rc = s->GetData(Id(r), r->Get<ColumnNumberElement>()->value, &cell);
      if (rc == kSqlSuccess) {
        FetchDataElement* e = r->Get<FetchDataElement>();
        if (!e->Set(cell.column, cell.data.data(), static_cast<uint32_t>(cell.data.size()),
                    cell.isNull))
          return s->PostError(Id(r), "S1001", "memory allocation failure");
      }
      return rc;
    }
    case Msg::kGetRowNumber: {
      uint32_t n = 0;
      rc = s->GetRowNumber(Id(r), &n);
      r->Get<RowNumberElement>()->value = n;
      return rc;
    }
    case Msg::kGetTypeInfo:
      rc = s->GetTypeInfo(Id(r), Code<SqlDataTypeElement>(r), &columns);
      break;
    case Msg::kPrepare:
      rc = s->Prepare(Id(r), Text(r->Get<StatementElement>()), &columns);
      break;
    case Msg::kRowCount: {
      int32_t n = -1;
      rc = s->RowCount(Id(r), &n);
      r->Get<NumberOfRowsElement>()->value = n;
      return rc;
    }
    case Msg::kSetAccessMode:
      return s->SetAccessMode(Code<AccessModeElement>(r));
    case Msg::kSetAutocommit:
      return s->SetAutocommit(Code<AutocommitModeElement>(r));
    case Msg::kSetConcurrency:
      return s->SetStatementOption(code, Id(r),
                                   static_cast<uint32_t>(Code<ConcurrencyOptionElement>(r)));
    case Msg::kSetCursorName:
      return s->SetCursorName(Id(r), Text(r->Get<CursorNameElement>()));
    case Msg::kSetCursorType:
      return s->SetStatementOption(code, Id(r),
                                   static_cast<uint32_t>(Code<CursorTypeOptionElement>(r)));
    case Msg::kSetMaxLength:
      return s->SetStatementOption(code, Id(r), r->Get<MaxLengthElement>()->value);
    case Msg::kSetMaxRows:
      return s->SetStatementOption(code, Id(r), r->Get<MaxRowsElement>()->value);
    case Msg::kSetNoscan:
      return s->SetStatementOption(code, Id(r),
                                   static_cast<uint32_t>(Code<NoscanOptionElement>(r)));
    case Msg::kSetRetrieveData:
      return s->SetStatementOption(code, Id(r),
                                   static_cast<uint32_t>(Code<RetrieveDataOptionElement>(r)));
    case Msg::kSetRowsetSize:
      return s->SetStatementOption(code, Id(r), r->Get<RowsetSizeElement>()->value);
    case Msg::kSetIsolation:
      return s->SetIsolation(Code<TransactionIsolationLevelElement>(r));
    case Msg::kSetUseBookmarks:
      return s->SetStatementOption(code, Id(r),
                                   static_cast<uint32_t>(Code<BookmarkUseOptionElement>(r)));
    case Msg::kSpecialColumns:
      rc = s->SpecialColumns(
          Id(r), Code<SpecialColumnTypeElement>(r), Text(r->Get<TableQualifierElement>()),
          Text(r->Get<TableOwnerElement>()), Text(r->Get<TableNameElement>()),
          Code<SpecialColumnScopeElement>(r), Code<NullabilityElement>(r), &columns);
      break;
    case Msg::kStatistics:
      rc = s->Statistics(Id(r), Text(r->Get<TableQualifierElement>()),
                         Text(r->Get<TableOwnerElement>()), Text(r->Get<TableNameElement>()),
                         Code<IndexTypeElement>(r), Code<AccuracyElement>(r), &columns);
      break;
    case Msg::kTables:
      rc =
          s->Tables(Id(r), Text(r->Get<TableQualifierElement>()), Text(r->Get<TableOwnerElement>()),
                    Text(r->Get<TableNameElement>()), Text(r->Get<TableTypeElement>()), &columns);
      break;
    case Msg::kTransact:
      return s->Transact(Code<TransactionTypeElement>(r));
    default:
      return kSqlError;
  }
  // The requests whose reply is a result set description.
  if (rc == kSqlSuccess && !SetDescription(r, columns))
    return s->PostError(Id(r), "S1001", "memory allocation failure");
  return rc;
}

}  // namespace

bool Dispatch(Session* session, uint16_t code, const uint8_t* body, uint32_t size,
              std::string* reply, std::string* why) {
  std::unique_ptr<Request> request(Request::CreateRequest(code));
  if (!request || request->Failed()) {
    *why = "unknown message code " + std::to_string(code);
    return false;
  }
  int status = 0;
  if (!request->DecodeRequestBody(body, size, &status)) {
    *why = "malformed body for message code " + std::to_string(code);
    return false;
  }
  int rc = Run(session, code, request.get());
  request->Get<ReturnCodeElement>()->value = rc;
  Log(2, "request %u -> %d", code, rc);
  if (!request->EncodeReply(&status)) {
    // A reply too large for the frame: answer the error instead.
    session->PostError(Id(request.get()), "S1000", "the reply is too large to send");
    request.reset(Request::CreateRequest(code));
    if (!request || request->Failed()) {
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
  return true;
}

}  // namespace velsrv
