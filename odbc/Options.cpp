// The four option functions: the values kept in the Connection and the
// Statement, and the option requests that tell the server.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "handles/Connection.h"
#include "handles/Statement.h"
#include "odbc/OptionTable.h"
#include "odbc/Workers.h"
#include "protocol/Requests.h"

namespace {

// Puts value into the option element of an option request.
void SetOptionValue(Request* request, uint16_t code, uint32_t value) {
  const int32_t asEnum = static_cast<int32_t>(value);
  switch (code) {
    case Msg::kSetAccessMode:
      request->Get<AccessModeElement>()->value = asEnum;
      break;
    case Msg::kSetAutocommit:
      request->Get<AutocommitModeElement>()->value = asEnum;
      break;
    case Msg::kSetConcurrency:
      request->Get<ConcurrencyOptionElement>()->value = asEnum;
      break;
    case Msg::kSetCursorType:
      request->Get<CursorTypeOptionElement>()->value = asEnum;
      break;
    case Msg::kSetMaxLength:
      request->Get<MaxLengthElement>()->value = value;
      break;
    case Msg::kSetMaxRows:
      request->Get<MaxRowsElement>()->value = value;
      break;
    case Msg::kSetNoscan:
      request->Get<NoscanOptionElement>()->value = asEnum;
      break;
    case Msg::kSetRetrieveData:
      request->Get<RetrieveDataOptionElement>()->value = asEnum;
      break;
    case Msg::kSetRowsetSize:
      request->Get<RowsetSizeElement>()->value = value;
      break;
    case Msg::kSetIsolation:
      request->Get<TransactionIsolationLevelElement>()->value = asEnum;
      break;
    case Msg::kSetUseBookmarks:
      request->Get<BookmarkUseOptionElement>()->value = asEnum;
      break;
    default:
      break;
  }
}

// Bounds the socket waits of its lifetime (the option's exchange and its
// get-error request) by the owner's query timeout, as every statement
// exchange is: a silent server cannot hold the call for ever.
class OptionWait {
 public:
  OptionWait(Connection* c, int32_t timeout)
      : clib_(timeout > 0 ? &c->clib : nullptr), after_(c->ConnectionTimeout()) {
    if (clib_) clib_->SetTimeout(timeout + Statement::kQueryTimeoutGrace);
  }
  ~OptionWait() {
    if (clib_) clib_->SetTimeout(after_);
  }
  OptionWait(const OptionWait&) = delete;
  OptionWait& operator=(const OptionWait&) = delete;

 private:
  ClibConnection* clib_;
  int32_t after_;
};

// Sends the option request code with value on connection's socket; the
// outcome is posted on owner (the connection or the statement).
template <class Owner>
int SendOption(Owner* owner, Connection* connection, uint16_t code, uint32_t statementId,
               uint32_t value) {
  OptionWait wait(connection, owner->options.QueryTimeout());
  Request* request = Request::CreateRequest(code);
  if (request == nullptr || request->Failed()) {
    delete request;
    return VEL_POST(owner, SQL_ERROR, kDiagMemory);
  }
  request->SetStatementId(statementId);
  SetOptionValue(request, code, value);
  int status = kStatusCommunicationFailure;
  const int rc = request->Exchange(&status, &connection->clib);
  delete request;
  if (rc == SQL_SUCCESS) return SQL_SUCCESS;
  const uint32_t recordsBefore = owner->errors.Count();
  const int result = owner->CheckResult(rc, status);
  // The server fetches one row per request whatever the rowset size and
  // says so (01S02); the driver builds the rowsets itself, so any size is
  // honoured and that warning is not the application's.
  if (code == Msg::kSetRowsetSize && result == SQL_SUCCESS_WITH_INFO &&
      owner->errors.Count() == recordsBefore + 1 &&
      std::strcmp(owner->errors.Last()->sqlstate.TextOrEmpty(), "01S02") == 0) {
    delete owner->errors.TakeLast();
    return SQL_SUCCESS;
  }
  return result;
}

template <class Owner>
int Refuse(Owner* owner, const OptionRow* row) {
  return VEL_POST(owner, SQL_ERROR, *row->refusal);
}

}  // namespace

namespace {

// The slot of an option kept before the login, or -1.
int KeptSlot(const Connection* c, uint16_t option) {
  for (int i = 0; i < c->keptCount; ++i) {
    if (c->keptOption[i] == option) return i;
  }
  return -1;
}

// An option set before the login. The driver manager replays the options
// an application set before connecting at this point and ignores any
// refusal, so each is kept: stored where the session will read it, sent
// once the session exists (SendChangedOptions), or, when only a session
// can answer it, held and applied then.
int KeepBeforeLogin(Connection* c, const OptionRow* row, SQLUSMALLINT fOption, SQLULEN vParam) {
  switch (row->action) {
    case OptionAction::kQuietMode:
      c->quietModeWindow = reinterpret_cast<void*>(vParam);
      return SQL_SUCCESS;
    case OptionAction::kStore:
    case OptionAction::kStoreAndSend:
      c->options.Set(row->slot, static_cast<int32_t>(vParam));
      return SQL_SUCCESS;
    case OptionAction::kQualifier:
      c->currentQualifier.SetString(reinterpret_cast<const char*>(vParam));
      return SQL_SUCCESS;
    case OptionAction::kRefuse: {
      int slot = KeptSlot(c, fOption);
      if (slot < 0 && c->keptCount < Connection::kKeptOptionSlots) slot = c->keptCount++;
      if (slot < 0) return VEL_POST(c, SQL_ERROR, kDiagInternalError);
      c->keptOption[slot] = fOption;
      c->keptValue[slot] = vParam;
      return SQL_SUCCESS;
    }
    default:
      return SQL_SUCCESS;
  }
}

}  // namespace

int SetConnectOptionWorker(Connection* c, SQLUSMALLINT fOption, SQLULEN vParam) {
  const OptionRow* row = SetConnectOptionRow(fOption);
  if (!c->LoggedIn()) {
    if (fOption == SQL_LOGIN_TIMEOUT) {
      c->options.Set(OptionSlot::kLoginTimeout, static_cast<int32_t>(vParam));
      return SQL_SUCCESS;
    }
    // A translation library belongs to a session.
    if (fOption == SQL_TRANSLATE_DLL || fOption == SQL_TRANSLATE_OPTION) {
      return VEL_POST(c, SQL_ERROR, kDiagConnectionNotOpen);
    }
    return KeepBeforeLogin(c, row, fOption, vParam);
  }
  switch (row->action) {
    case OptionAction::kQuietMode:
      c->quietModeWindow = reinterpret_cast<void*>(vParam);
      return SQL_SUCCESS;
    case OptionAction::kStore:
      c->options.Set(row->slot, static_cast<int32_t>(vParam));
      return SQL_SUCCESS;
    case OptionAction::kStoreAndSend:
      // Statement options set here are the default of later statements and
      // travel with statementId 0; existing statements keep their values.
      c->options.Set(row->slot, static_cast<int32_t>(vParam));
      return SendOption(c, c, OptionDefaultOf(row->slot).request, 0, static_cast<uint32_t>(vParam));
    case OptionAction::kRefuse:
      return Refuse(c, row);
    case OptionAction::kQualifier:
      // A qualifier that cannot be stored leaves the empty one; the call
      // still succeeds, as nothing reaches the server either way.
      c->currentQualifier.SetString(reinterpret_cast<const char*>(vParam));
      return SQL_SUCCESS;
    default:
      return SQL_SUCCESS;
  }
}

int GetConnectOptionWorker(Connection* c, SQLUSMALLINT fOption, SQLPOINTER pvParam) {
  const int slot = c->LoggedIn() ? -1 : KeptSlot(c, fOption);
  if (slot >= 0) {
    const uint32_t value = static_cast<uint32_t>(c->keptValue[slot]);
    if (pvParam) std::memcpy(pvParam, &value, sizeof value);
    return SQL_SUCCESS;
  }
  const OptionRow* row = GetConnectOptionRow(fOption);
  switch (row->action) {
    case OptionAction::kStore:
    case OptionAction::kQuietMode: {
      // Connection options are read through 32-bit variables, by unixODBC
      // itself and by its clients; the quiet-mode window handle is cut to
      // them like every other value.
      const uint32_t value =
          row->action == OptionAction::kQuietMode
              ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(c->quietModeWindow))
              : static_cast<uint32_t>(c->options.Get(row->slot));
      if (pvParam) std::memcpy(pvParam, &value, sizeof value);
      return SQL_SUCCESS;
    }
    case OptionAction::kQualifier: {
      // Option texts are at most SQL_MAX_OPTION_STRING_LENGTH bytes with
      // their NUL; a longer qualifier is cut there.
      if (!pvParam) return SQL_SUCCESS;
      uint32_t n = c->currentQualifier.Length();
      if (n > SQL_MAX_OPTION_STRING_LENGTH - 1) n = SQL_MAX_OPTION_STRING_LENGTH - 1;
      char* target = static_cast<char*>(pvParam);
      if (n) std::memcpy(target, c->currentQualifier.TextOrEmpty(), n);
      target[n] = '\0';
      return SQL_SUCCESS;
    }
    case OptionAction::kRefuse:
      return Refuse(c, row);
    default:
      return SQL_SUCCESS;
  }
}

int SetStmtOptionWorker(Statement* s, SQLUSMALLINT fOption, SQLULEN vParam) {
  const OptionRow* row = SetStmtOptionRow(fOption);
  switch (row->action) {
    case OptionAction::kStore:
      s->options.Set(row->slot, static_cast<int32_t>(vParam));
      return SQL_SUCCESS;
    case OptionAction::kStoreAndSend:
      s->options.Set(row->slot, static_cast<int32_t>(vParam));
      return SendOption(s, s->OwningConnection(), OptionDefaultOf(row->slot).request,
                        s->StatementId(), static_cast<uint32_t>(vParam));
    case OptionAction::kRefuse:
      return Refuse(s, row);
    default:
      return SQL_SUCCESS;
  }
}

int GetStmtOptionWorker(Statement* s, SQLUSMALLINT fOption, SQLPOINTER pvParam) {
  // Applications read statement options through SQLULEN variables (the
  // driver manager hands SQLGetStmtAttr's buffer through), so every numeric
  // answer fills a whole SQLULEN.
  const OptionRow* row = GetStmtOptionRow(fOption);
  SQLULEN answer = 0;
  switch (row->action) {
    case OptionAction::kStore:
      answer = static_cast<uint32_t>(s->options.Get(row->slot));
      break;
    case OptionAction::kAnswerZero:
      answer = 0;
      break;
    case OptionAction::kRefuse:
      return Refuse(s, row);
    case OptionAction::kRowNumber: {
      // The current row came from a block: the server's cursor may stand
      // further on, or past the end; the row's number is the driver's count.
      if (s->block.Active()) {
        answer = s->cursor.RowsFetched();
        break;
      }
      GetRowNumberRequest request;
      if (request.Failed()) return VEL_POST(s, SQL_ERROR, kDiagMemory);
      request.SetStatementId(s->StatementId());
      int status = kStatusCommunicationFailure;
      const int rc = s->Exchange(&request, &status);
      if (rc != SQL_SUCCESS) return s->CheckResult(rc, status);
      answer = request.Get<RowNumberElement>()->value;
      break;
    }
    default:
      return SQL_SUCCESS;
  }
  if (pvParam) std::memcpy(pvParam, &answer, sizeof answer);
  return SQL_SUCCESS;
}

int SendChangedOptions(Connection* c) {
  int result = SQL_SUCCESS;
  // The options a session starts with are the defaults a new connection
  // holds; only the ones set otherwise are sent, in the table's order.
  for (const OptionDefault& d : kOptionDefaults) {
    const int32_t value = c->options.Get(d.slot);
    if (d.request == 0 || value == d.value) continue;
    const int rc = SendOption(c, c, d.request, 0, static_cast<uint32_t>(value));
    if (rc != SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
  }
  // The options only a session answers, as if set now; a refusal is the
  // connect's warning.
  const uint8_t kept = c->keptCount;
  c->keptCount = 0;
  for (uint8_t i = 0; i < kept; ++i) {
    const int rc =
        SetConnectOptionWorker(c, c->keptOption[i], static_cast<SQLULEN>(c->keptValue[i]));
    if (rc != SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
  }
  return result;
}
