// The four option functions: the values kept in the Connection and the
// Statement, and the option requests that tell the server.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <type_traits>

#include "handles/Connection.h"
#include "handles/Statement.h"
#include "odbc/options/OptionTable.h"
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

// The value the server uses when it changes an option ("01S02"): cursors
// are read-only, a read-only session's access mode stays read-only, and an
// isolation level becomes the least strict level the server runs that is
// at least as strict (its session-info offer).
uint32_t UsedValue(const Connection* c, uint16_t code, uint32_t asked) {
  switch (code) {
    case Msg::kSetConcurrency:
      // Cursors that write back lock no rows: the check compares versions.
      return c->EditsRows() && asked == SQL_CONCUR_LOCK ? SQL_CONCUR_ROWVER : SQL_CONCUR_READ_ONLY;
    case Msg::kSetAccessMode:
      return SQL_MODE_READ_ONLY;
    case Msg::kSetIsolation:
      for (uint32_t level = asked; level != 0 && level <= 8; level <<= 1) {
        if ((c->IsolationLevels() & level) != 0) return level;
      }
      return asked;
    default:
      return asked;
  }
}

uint32_t StatementIdOf(const Connection*) { return 0; }
uint32_t StatementIdOf(const Statement* s) { return s->StatementId(); }

// Whether owner's read-only cursors keep their keys: keyset-driven ones
// on a server that offers it.
template <class Owner>
bool KeysWished(Owner* owner, const Connection* connection) {
  return connection->KeepsCursorKeys() &&
         owner->options.Get(OptionSlot::kCursorType) == SQL_CURSOR_KEYSET_DRIVEN;
}

// Sends the option request code with value on connection's socket; the
// outcome is posted on owner (the connection or the statement).
template <class Owner>
int SendOption(Owner* owner, Connection* connection, uint16_t code, uint32_t statementId,
               uint32_t value) {
  OptionWait wait(connection, owner->options.QueryTimeout());
  if (connection->Revive() && statementId != 0) statementId = StatementIdOf(owner);
  Request* request = Request::CreateRequest(code);
  if (request == nullptr || request->Failed()) {
    delete request;
    return VEL_POST(owner, SQL_ERROR, kDiagMemory);
  }
  request->SetStatementId(statementId);
  // A server that offered cursors that write back is asked for one
  // (protocol/EDIT.md); any other is told the value as always.
  const bool editable = code == Msg::kSetConcurrency && connection->EditsRows() &&
                        value <= SQL_CONCUR_VALUES &&
                        (value != SQL_CONCUR_READ_ONLY || KeysWished(owner, connection));
  SetOptionValue(request, code, editable ? value | kConcurrencyEditable : value);
  int status = kStatusCommunicationFailure;
  const int rc = request->Exchange(&status, &connection->clib);
  delete request;
  if (rc == SQL_SUCCESS) return SQL_SUCCESS;
  const uint32_t recordsBefore = owner->errors.Count();
  const int result = owner->CheckResult(rc, status);
  // The server fetches one row per request whatever the rowset size, its
  // cursors only go forward and it keeps no bookmarks, and it says so
  // (01S02); the driver builds rowsets, static cursors and bookmarks
  // itself, so those values are honoured and that warning is not the
  // application's.
  const bool honoured = code == Msg::kSetRowsetSize ||
                        (code == Msg::kSetCursorType &&
                         (value == SQL_CURSOR_STATIC || value == SQL_CURSOR_KEYSET_DRIVEN)) ||
                        (code == Msg::kSetUseBookmarks && value != SQL_UB_OFF);
  const bool changed = result == SQL_SUCCESS_WITH_INFO &&
                       owner->errors.Count() == recordsBefore + 1 &&
                       std::strcmp(owner->errors.Last()->sqlstate.TextOrEmpty(), "01S02") == 0;
  if (honoured && changed) {
    delete owner->errors.TakeLast();
    return SQL_SUCCESS;
  }
  // The option reads back as the value the server used instead.
  if (changed) {
    for (const OptionDefault& d : kOptionDefaults) {
      if (d.request == code) owner->options.Set(d.slot, UsedValue(connection, code, value));
    }
  }
  return result;
}

// The value the driver keeps for a statement option. Keyset-driven and
// dynamic cursors become static ones (*changed then): ODBC's rule for a
// driver without the type asked for, and what applications expect (office
// suites and report tools ask for keyset-driven cursors to scroll, and
// take the static one with "01S02"); refusing them would end their work.
// A server that keeps cursors' keys (protocol/EDIT.md, EDIT_KEYS) has
// keyset-driven cursors in the ODBC 3.80 library.
SQLULEN KeptValue(const Connection* c, SQLUSMALLINT option, SQLULEN value, bool* changed) {
  *changed = false;
  if (option == SQL_CURSOR_TYPE && value == SQL_CURSOR_KEYSET_DRIVEN && c->KeepsCursorKeys())
    return value;
  if (option == SQL_CURSOR_TYPE &&
      (value == SQL_CURSOR_KEYSET_DRIVEN || value == SQL_CURSOR_DYNAMIC)) {
    *changed = true;
    return SQL_CURSOR_STATIC;
  }
  return value;
}

// What the server is told: it knows bookmarks on or off only.
uint32_t SentValue(SQLUSMALLINT option, SQLULEN value) {
  if (option == SQL_USE_BOOKMARKS && value == SQL_UB_VARIABLE) return SQL_UB_ON;
  return static_cast<uint32_t>(value);
}

template <class Owner>
int StoreAndSend(Owner* owner, const OptionRow* row, SQLUSMALLINT fOption, SQLULEN vParam,
                 uint32_t statementId) {
  Connection* connection = nullptr;
  if constexpr (std::is_same_v<Owner, Statement>) {
    connection = owner->OwningConnection();
  } else {
    connection = owner;
  }
  bool changed = false;
  const SQLULEN kept = KeptValue(connection, fOption, vParam, &changed);
  const bool keysBefore = KeysWished(owner, connection);
  owner->options.Set(row->slot, static_cast<int32_t>(kept));
  int rc = SendOption(owner, connection, OptionDefaultOf(row->slot).request, statementId,
                      SentValue(fOption, kept));
  // A read-only cursor keeps its keys while it is keyset-driven: the
  // server is told when that changes with the cursor type.
  if (rc != SQL_ERROR && fOption == SQL_CURSOR_TYPE &&
      KeysWished(owner, connection) != keysBefore) {
    const int told =
        SendOption(owner, connection, Msg::kSetConcurrency, statementId,
                   static_cast<uint32_t>(owner->options.Get(OptionSlot::kConcurrency)));
    if (told != SQL_SUCCESS) rc = told;
  }
  if (changed && rc == SQL_SUCCESS)
    return VEL_POST(owner, SQL_SUCCESS_WITH_INFO, kDiagCursorTypeChanged);
  return rc;
}

template <class Owner>
int Refuse(Owner* owner, const OptionRow* row) {
  return VEL_POST(owner, SQL_ERROR, *row->refusal);
}

// SQL_ASYNC_ENABLE: calls always run to their end (SQL_ASYNC_MODE is
// none); asking for more is answered with the value kept, off.
template <class Owner>
int Synchronous(Owner* owner, SQLULEN value) {
  if (value == SQL_ASYNC_ENABLE_OFF) return SQL_SUCCESS;
  return VEL_POST(owner, SQL_SUCCESS_WITH_INFO, kDiagSynchronousOnly);
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
  if (row->refusal == &kDiagOptionOutOfRange) return Refuse(c, row);
  switch (row->action) {
    case OptionAction::kSynchronous:
      return Synchronous(c, vParam);
    case OptionAction::kQuietMode:
      c->quietModeWindow = reinterpret_cast<void*>(vParam);
      return SQL_SUCCESS;
    case OptionAction::kStore:
    case OptionAction::kStoreAndSend: {
      bool changed = false;
      c->options.Set(row->slot, static_cast<int32_t>(KeptValue(c, fOption, vParam, &changed)));
      return SQL_SUCCESS;
    }
    case OptionAction::kQualifier:
      // As in SetConnectOptionWorker: a qualifier that cannot be stored
      // leaves the empty one.
      static_cast<void>(c->currentQualifier.SetString(reinterpret_cast<const char*>(vParam)));
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
  if (fOption == SQL_TXN_ISOLATION) c->flags |= kConnectionIsolationSet;
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
    case OptionAction::kSynchronous:
      return Synchronous(c, vParam);
    case OptionAction::kStore:
      c->options.Set(row->slot, static_cast<int32_t>(vParam));
      return SQL_SUCCESS;
    case OptionAction::kStoreAndSend:
      // Statement options set here are the default of later statements and
      // travel with statementId 0; existing statements keep their values.
      return StoreAndSend(c, row, fOption, vParam, 0);
    case OptionAction::kRefuse:
      return Refuse(c, row);
    case OptionAction::kQualifier:
      // A qualifier that cannot be stored leaves the empty one; the call
      // still succeeds, as nothing reaches the server either way.
      static_cast<void>(c->currentQualifier.SetString(reinterpret_cast<const char*>(vParam)));
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
    case OptionAction::kAnswerZero: {
      const uint32_t zero = 0;
      if (pvParam) std::memcpy(pvParam, &zero, sizeof zero);
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
    case OptionAction::kSynchronous:
      return Synchronous(s, vParam);
    case OptionAction::kStore:
      s->options.Set(row->slot, static_cast<int32_t>(vParam));
      return SQL_SUCCESS;
    case OptionAction::kStoreAndSend:
      return StoreAndSend(s, row, fOption, vParam, s->StatementId());
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
  // A static cursor knows its current row, which is also its bookmark.
  const uint64_t current = s->scroll.Active() ? s->scroll.state.current : 0;
  if (fOption == SQL_GET_BOOKMARK && current != 0 &&
      s->options.Get(OptionSlot::kUseBookmarks) != SQL_UB_OFF) {
    answer = current;
    if (pvParam) std::memcpy(pvParam, &answer, sizeof answer);
    return SQL_SUCCESS;
  }
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
      if (s->scroll.Active()) {
        answer = current;  // 0 before the start and after the end
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
  // A session starts at its storage's isolation level (its session-info
  // offer), which the connection takes unless the application set one.
  const int32_t isolation = static_cast<int32_t>(c->DefaultIsolation());
  if ((c->flags & kConnectionIsolationSet) == 0)
    c->options.Set(OptionSlot::kTxnIsolation, isolation);
  // The options a session starts with are the defaults a new connection
  // holds; only the ones set otherwise are sent, in the table's order.
  for (const OptionDefault& d : kOptionDefaults) {
    const int32_t value = c->options.Get(d.slot);
    const int32_t start = d.slot == OptionSlot::kTxnIsolation ? isolation : d.value;
    if (d.request == 0 || value == start) continue;
    const int rc = SendOption(c, c, d.request, 0,
                              d.slot == OptionSlot::kUseBookmarks && value == SQL_UB_VARIABLE
                                  ? SQL_UB_ON
                                  : static_cast<uint32_t>(value));
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

void SendStatementOptions(Statement* s) {
  Connection* c = s->OwningConnection();
  for (const OptionDefault& d : kOptionDefaults) {
    const int32_t value = s->options.Get(d.slot);
    const bool session = d.slot == OptionSlot::kAccessMode || d.slot == OptionSlot::kAutocommit ||
                         d.slot == OptionSlot::kTxnIsolation;
    if (d.request == 0 || session || value == c->options.Get(d.slot)) continue;
    static_cast<void>(SendOption(s, c, d.request, s->StatementId(),
                                 d.slot == OptionSlot::kUseBookmarks && value == SQL_UB_VARIABLE
                                     ? SQL_UB_ON
                                     : static_cast<uint32_t>(value)));
  }
}

int SetScrollOptionsWorker(Statement* s, SQLUSMALLINT fConcurrency, SQLLEN crowKeyset,
                           SQLUSMALLINT crowRowset) {
  if (fConcurrency < SQL_CONCUR_READ_ONLY || fConcurrency > SQL_CONCUR_VALUES)
    return VEL_POST(s, SQL_ERROR, kDiagConcurrencyOutOfRange);
  if (crowRowset == 0 || (crowKeyset > 0 && crowKeyset < crowRowset))
    return VEL_POST(s, SQL_ERROR, kDiagRowValueOutOfRange);
  // Forward-only and static cursors, read-only or (with a server whose
  // cursors write back) optimistic, and keyset-driven ones whose keyset
  // is the whole result set where the server keeps keys; this older call
  // has no "option value changed" to substitute another.
  const Connection* c = s->OwningConnection();
  const bool optimistic = fConcurrency == SQL_CONCUR_ROWVER || fConcurrency == SQL_CONCUR_VALUES;
  if (fConcurrency != SQL_CONCUR_READ_ONLY && !(optimistic && c->EditsRows()))
    return VEL_POST(s, SQL_ERROR, kDiagReadOnlyCursor);
  const bool keyset = crowKeyset == SQL_SCROLL_KEYSET_DRIVEN && c->KeepsCursorKeys();
  if (crowKeyset != SQL_SCROLL_FORWARD_ONLY && crowKeyset != SQL_SCROLL_STATIC && !keyset)
    return VEL_POST(s, SQL_ERROR, kDiagKeysetCursors);
  const SQLULEN type = keyset                            ? SQL_CURSOR_KEYSET_DRIVEN
                       : crowKeyset == SQL_SCROLL_STATIC ? SQL_CURSOR_STATIC
                                                         : SQL_CURSOR_FORWARD_ONLY;
  int rc = SetStmtOptionWorker(s, SQL_CURSOR_TYPE, type);
  if (rc == SQL_ERROR) return rc;
  // The concurrency is sent only when it changes: a read-only cursor's
  // call sends what it always sent.
  if (s->options.Get(OptionSlot::kConcurrency) != fConcurrency &&
      SetStmtOptionWorker(s, SQL_CONCURRENCY, fConcurrency) == SQL_ERROR)
    return SQL_ERROR;
  const int sized = SetStmtOptionWorker(s, SQL_ROWSET_SIZE, crowRowset);
  return sized != SQL_SUCCESS ? sized : rc;
}
