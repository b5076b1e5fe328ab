// Parameters: binding, description, the data-at-execution sequence and
// the count of parameter markers.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <new>

#include "base/Alloc.h"
#include "base/Check.h"
#include "convert/ColumnValue.h"
#include "convert/ParameterTable.h"
#include "convert/WideText.h"
#include "handles/Connection.h"
#include "handles/Frame.h"
#include "handles/Odbc3Rules.h"
#include "handles/Statement.h"
#include "odbc/fetch/BlockFetch.h"
#include "odbc/fetch/EditRows.h"
#include "odbc/fetch/Fetch.h"
#include "odbc/fetch/GetData.h"
#include "odbc/params/ParamArrays.h"
#include "odbc/Workers.h"
#include "protocol/Elements.h"
#include "protocol/Requests.h"

namespace {

bool WordChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= '0' && u <= '9') || ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') || u == '_' ||
         u >= 0x80;
}

// The length of the "$tag$" (or "$$") that opens a dollar quote at i, or
// 0: "$1" and a "$" inside a word open none.
std::size_t DollarTag(const char* sql, std::size_t n, std::size_t i) {
  if (i > 0 && WordChar(sql[i - 1])) return 0;
  std::size_t j = i + 1;
  if (j < n && sql[j] >= '0' && sql[j] <= '9') return 0;
  while (j < n && WordChar(sql[j])) ++j;
  return j < n && sql[j] == '$' ? j + 1 - i : 0;
}

}  // namespace

// Markers are counted outside quoted text and comments as the server reads
// them, whatever the storage: E'...' takes backslash escapes and
// $tag$...$tag$ quotes text up to the same tag.
uint16_t CountMarkers(const char* sql, long length) {
  if (sql == nullptr) return 0;
  const std::size_t n = length == SQL_NTS ? std::strlen(sql) : static_cast<std::size_t>(length);
  uint16_t count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char ch = sql[i];
    std::size_t tag = 0;
    if (ch == '\'' || ch == '"') {
      const bool escapes =
          ch == '\'' && i > 0 && (sql[i - 1] | 0x20) == 'e' && (i < 2 || !WordChar(sql[i - 2]));
      // A doubled quote inside stays inside.
      for (++i; i < n && sql[i] != ch; ++i) {
        if (escapes && sql[i] == '\\') ++i;
      }
    } else if (ch == '$' && (tag = DollarTag(sql, n, i)) != 0) {
      std::size_t end = i + tag;
      while (end + tag <= n && std::memcmp(sql + end, sql + i, tag) != 0) ++end;
      i = end + tag - 1;
    } else if (ch == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (ch == '/' && i + 1 < n && sql[i + 1] == '*') {
      for (i += 2; i + 1 < n && !(sql[i] == '*' && sql[i + 1] == '/'); ++i) {
      }
      ++i;
    } else if (ch == '?' && count < UINT16_MAX) {
      ++count;
    }
  }
  return count;
}

namespace {

// {call ...} or {?= call ...} as the whole text (blanks around it).
Parameters::CallForm CallFormOf(const char* sql, long length) {
  if (sql == nullptr) return Parameters::kNoCall;
  const std::size_t n = length == SQL_NTS ? std::strlen(sql) : static_cast<std::size_t>(length);
  std::size_t i = 0;
  auto blanks = [&] {
    while (i < n && (sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n')) ++i;
  };
  blanks();
  if (i >= n || sql[i] != '{') return Parameters::kNoCall;
  ++i;
  blanks();
  bool returns = false;
  if (i < n && sql[i] == '?') {
    ++i;
    blanks();
    if (i >= n || sql[i] != '=') return Parameters::kNoCall;
    ++i;
    blanks();
    returns = true;
  }
  if (n - i < 5 || (sql[i] | 0x20) != 'c' || (sql[i + 1] | 0x20) != 'a' ||
      (sql[i + 2] | 0x20) != 'l' || (sql[i + 3] | 0x20) != 'l' || WordChar(sql[i + 4]))
    return Parameters::kNoCall;
  return returns ? Parameters::kReturnCall : Parameters::kCall;
}

}  // namespace

void SetParameterText(Statement* s, const SQLCHAR* sql, SQLINTEGER cbSql) {
  const char* text = reinterpret_cast<const char*>(sql);
  s->parameters.SetText(CountMarkers(text, cbSql), CallFormOf(text, cbSql));
}

// Output parameters are the driver's: the server runs a call as the
// storage does ({?= call f(?)} as SELECT f(?), a procedure's CALL giving
// one row of its OUT and INOUT arguments) and the row comes back as any
// result does; here it goes into the parameters' buffers, the return
// value from column 1, each other output marker, in order, from the
// columns after it. So every server that translates calls serves them,
// with no new request. An unbound return value is dropped.
int TakeOutputs(Statement* s, int rc) {
  Parameters& p = s->parameters;
  if (!SQL_SUCCEEDED(rc) || p.Call() == Parameters::kNoCall || s->cursor.ColumnCount() == 0)
    return rc;
  ParameterBindingList& bindings = p.Bindings();
  bool any = p.Call() == Parameters::kReturnCall;
  for (ParameterBinding* b = bindings.First(); b != nullptr && !any; b = bindings.Next())
    any = p.Receives(*b);
  if (!any) return rc;
  // The application's column bindings get nothing of this row.
  ResultColumnList& columns = s->cursor.Columns();
  for (ColumnValue* v = columns.First(); v != nullptr; v = columns.Next()) v->binding = nullptr;
  int result = rc;
  const SQLRETURN fetched = FetchRow(s);
  if (fetched == SQL_ERROR) result = SQL_ERROR;
  uint16_t next = p.Call() == Parameters::kReturnCall ? 2 : 1;
  for (ParameterBinding* b = bindings.Head(); SQL_SUCCEEDED(fetched) && b != nullptr;
       b = static_cast<ParameterBinding*>(b->NextItem())) {
    if (!p.Receives(*b)) continue;
    const uint16_t column = p.ReturnsValue(*b) ? 1 : next++;
    const Statement::ParameterSource at = s->SourceOf(b);
    if (column > s->cursor.ColumnCount() || at.data == nullptr) continue;
    const SQLRETURN got =
        GetData(s, column,
                TransferTarget{at.cType, at.data, at.bufferLength, at.indicator, at.nullIndicator});
    if (got == SQL_ERROR) {
      result = SQL_ERROR;
      break;
    }
    if (got == SQL_SUCCESS_WITH_INFO) result = SQL_SUCCESS_WITH_INFO;
  }
  if (FreeStmtWorker(s, SQL_CLOSE, false) == SQL_ERROR) result = SQL_ERROR;
  s->cursor.HideColumns();
  return result;
}

int BindParameterWorker(Statement* s, SQLUSMALLINT ipar, SQLSMALLINT fParamType, SQLSMALLINT fCType,
                        SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale,
                        SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) {
  if (ipar == 0) return VEL_POST(s, SQL_ERROR, kDiagParameterNumber);
  if (fParamType != SQL_PARAM_INPUT && fParamType != SQL_PARAM_INPUT_OUTPUT &&
      fParamType != SQL_PARAM_OUTPUT)
    return VEL_POST(s, SQL_ERROR, kDiagParameterType);
  if (!IsCType(fCType)) return VEL_POST(s, SQL_ERROR, kDiagProgramTypeOutOfRange);
  if (!IsSqlType(fSqlType)) return VEL_POST(s, SQL_ERROR, kDiagSqlTypeOutOfRange);
  if ((fSqlType == SQL_NUMERIC || fSqlType == SQL_DECIMAL) &&
      (ibScale < 0 || (cbColDef > 0 && static_cast<SQLULEN>(ibScale) > cbColDef)))
    return VEL_POST(s, SQL_ERROR, kDiagScaleValue);
  if (rgbValue == nullptr && pcbValue == nullptr && fParamType != SQL_PARAM_OUTPUT)
    return VEL_POST(s, SQL_ERROR, kDiagInvalidArgument);
  // SQLSetParam comes as SQL_SETPARAM_VALUE_MAX (-1), a buffer of any size.
  if (cbValueMax < 0 && cbValueMax != SQL_SETPARAM_VALUE_MAX)
    return VEL_POST(s, SQL_ERROR, kDiagInvalidLength);
  ParameterBindingList& bindings = s->parameters.Bindings();
  ParameterBinding* b = bindings.Head();
  while (b != nullptr && b->ipar < ipar) b = static_cast<ParameterBinding*>(b->NextItem());
  if (b == nullptr || b->ipar != ipar) {
    ParameterBinding* made = new (std::nothrow) ParameterBinding;
    if (made == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
    if (b == nullptr) {
      bindings.Append(made);
    } else {
      bindings.InsertBefore(b, made);
    }
    b = made;
  } else {
    b->DropPieces();
  }
  // Nothing is read from the application's memory until execution.
  b->fCType = fCType;
  b->ipar = ipar;
  b->pcbValue = pcbValue;
  b->indicator = pcbValue;
  b->rgbValue = rgbValue;
  b->ibScale = ibScale;
  b->fParamType = fParamType;
  b->cbColDef = cbColDef;
  b->cbValueMax = cbValueMax;
  b->fSqlType = fSqlType;
  return SQL_SUCCESS;
}

namespace {

// The server's description of s's markers, asked for once per text
// (protocol/DESCRIBE.md): SQL_SUCCESS with the list in s->parameters.
int AskDescribed(Statement* s) {
  if (s->parameters.Described() != nullptr) return SQL_SUCCESS;
  DescribeParamsRequest request;
  if (request.Failed()) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  request.SetStatementId(s->StatementId());
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(&request, &status);
  if (rc != SQL_SUCCESS) return s->CheckResult(rc, status);
  ColumnDescriptionList* list = request.Get<ParameterSetDescriptionElement>()->TakeColumns();
  if (list == nullptr) list = new (std::nothrow) ColumnDescriptionList;
  if (list == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  s->parameters.SetDescribed(list);
  return SQL_SUCCESS;
}

}  // namespace

int DescribeParamWorker(Statement* s, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                        SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
  if (s->OwningConnection()->OffersDescribe() && s->parameters.HasText()) {
    const int rc = AskDescribed(s);
    if (rc != SQL_SUCCESS) return rc;
    // The server describes the markers after {?= ...}'s, which is
    // described as the value's column.
    const bool returns = s->parameters.Call() == Parameters::kReturnCall;
    const ColumnDescription* d = s->parameters.Described()->Head();
    for (SQLUSMALLINT i = returns ? 2 : 1; d != nullptr && i < ipar; ++i)
      d = static_cast<const ColumnDescription*>(d->NextItem());
    if (returns && ipar == 1) {
      const ColumnValue* value = s->cursor.HiddenColumn();
      d = value != nullptr ? value->description : nullptr;
    }
    if (ipar == 0 || d == nullptr) return VEL_POST(s, SQL_ERROR, kDiagDescribeParamNumber);
    if (pfSqlType != nullptr)
      *pfSqlType = static_cast<SQLSMALLINT>(ReportedSqlType(*s, d->sqlDataType));
    if (pcbColDef != nullptr) *pcbColDef = d->precision;
    if (pibScale != nullptr) *pibScale = d->scale;
    if (pfNullable != nullptr) *pfNullable = static_cast<SQLSMALLINT>(d->nullability);
    return SQL_SUCCESS;
  }
  // Without the server's description: the application's binding, else a
  // type that takes any value, sized as the server sizes a marker it
  // cannot size (protocol/DESCRIBE.md).
  ParameterBinding* b = s->parameters.Bindings().Find(ipar);
  SQLSMALLINT type = SQL_LONGVARCHAR;
  SQLULEN size = kUnsizedMarker;
  SQLSMALLINT scale = 0;
  if (b != nullptr) {
    type = b->fSqlType;
    size = b->cbColDef;
    scale = b->ibScale;
  } else if (ipar == 0 || ipar > s->parameters.Markers()) {
    return VEL_POST(s, SQL_ERROR, kDiagDescribeParamNumber);
  }
  if (pfSqlType != nullptr) *pfSqlType = type;
  if (pcbColDef != nullptr) *pcbColDef = size;
  if (pibScale != nullptr) *pibScale = scale;
  if (pfNullable != nullptr) *pfNullable = SQL_NULLABLE_UNKNOWN;
  return SQL_SUCCESS;
}

int NumParamsWorker(Statement* s, SQLSMALLINT* pcpar) {
  const uint32_t count =
      s->parameters.HasText() ? s->parameters.Markers() : s->parameters.Bindings().Count();
  if (pcpar != nullptr) *pcpar = static_cast<SQLSMALLINT>(count);
  return SQL_SUCCESS;
}

namespace {

// Makes b the parameter whose data is awaited, its earlier data forgotten.
int AwaitData(Statement* s, ParameterBinding* b, SQLPOINTER* prgbValue) {
  b->DropPieces();
  s->execution.SetCurrent(b);
  s->execution.SetStage(Execution::kDataComing);
  if (prgbValue != nullptr) *prgbValue = b->rgbValue;
  return SQL_NEED_DATA;
}

}  // namespace

int ParamDataWorker(Statement* s, SQLPOINTER* prgbValue) {
  if (EditAwaitsData(s)) return EditParamData(s, prgbValue);
  Execution& execution = s->execution;
  if (execution.CurrentStage() == Execution::kAtParameter)
    return AwaitData(s, execution.Current(), prgbValue);
  if (execution.CurrentStage() != Execution::kDataComing)
    return VEL_POST(s, SQL_ERROR, kDiagSequenceError);
  if (s->AddParameterValue(execution.Current(), true) != SQL_SUCCESS) return SQL_ERROR;
  int rc = s->AddParameterValues();
  if (rc == SQL_NEED_DATA) return AwaitData(s, execution.Current(), prgbValue);
  if (rc == SQL_SUCCESS) {
    Request* request = execution.ActiveRequest();
    int status = kStatusCommunicationFailure;
    rc = s->Exchange(request, &status);
    if (rc != SQL_SUCCESS) {
      rc = s->CheckResult(rc, status);
    } else if (request->ReturnsResultSet()) {
      rc = s->AdoptResultSet(request->Get<ResultSetDescriptionElement>());
    } else if (request->MessageCode() == Msg::kExecuteRows) {
      AdoptFirstBlock(s, execution.Release());
    }
  }
  s->DropActiveRequest();
  return ContinueArray(s, TakeOutputs(s, rc));
}

int PutDataWorker(Statement* s, SQLPOINTER rgbValue, SQLLEN cbValue) {
  if (s->execution.CurrentStage() != Execution::kDataComing)
    return VEL_POST(s, SQL_ERROR, kDiagPutDataContext);
  ParameterBinding* b = s->execution.Current();
  VEL_CHECK_TEXT(b != nullptr, "currentParameter != 0", VEL_MODULE);
  // ODBC 3 refuses more data after a NULL, and a value of fixed size in
  // more than one piece; ODBC 2 keeps the last.
  const bool odbc3 = FollowsOdbc3(*s);
  if (odbc3 && b->putNull) return VEL_POST(s, SQL_ERROR, kDiagNullConcatenation);
  if (cbValue == SQL_NULL_DATA) {
    if (odbc3 && (b->putData != nullptr || b->collected != 0))
      return VEL_POST(s, SQL_ERROR, kDiagNullConcatenation);
    b->DropPieces();
    b->putNull = true;
    return SQL_SUCCESS;
  }
  if (cbValue == SQL_DEFAULT_PARAM) return VEL_POST(s, SQL_ERROR, kDiagProcedures);
  if (rgbValue == nullptr && cbValue != 0) return VEL_POST(s, SQL_ERROR, kDiagInvalidArgument);
  if (cbValue < 0 && cbValue != SQL_NTS) return VEL_POST(s, SQL_ERROR, kDiagInvalidLength);
  if (!CollectsPieces(b->fCType, b->fSqlType)) {
    if (odbc3 && b->putData != nullptr) return VEL_POST(s, SQL_ERROR, kDiagPiecesOfFixedData);
    // A fixed-size value is read when SQLParamData converts it.
    b->DropPieces();
    b->putData = rgbValue;
    return SQL_SUCCESS;
  }
  std::size_t piece = static_cast<std::size_t>(cbValue);
  if (cbValue == SQL_NTS) {
    piece = b->fCType == SQL_C_WCHAR ? WideBytes(rgbValue)
                                     : std::strlen(static_cast<const char*>(rgbValue));
  }
  const std::size_t had = b->ownsPieces ? static_cast<std::size_t>(b->collected) : 0;
  if (!b->ownsPieces || had + piece > static_cast<std::size_t>(b->capacity)) {
    // The block grows by half again at least, so many small pieces are
    // copied a bounded number of times.
    const std::size_t room = had + piece + (had + piece) / 2 + 64;
    uint8_t* block = static_cast<uint8_t*>(VelAlloc(room));
    if (block == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
    if (had != 0) std::memcpy(block, b->putData, had);
    b->DropPieces();
    b->putData = block;
    b->ownsPieces = true;
    b->capacity = static_cast<SQLLEN>(room);
  }
  if (piece != 0)
    std::memcpy(static_cast<uint8_t*>(const_cast<void*>(b->putData)) + had, rgbValue, piece);
  b->collected = static_cast<SQLLEN>(had + piece);
  return SQL_SUCCESS;
}
