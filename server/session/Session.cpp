// Session: construction, diagnostics, login and the statements' handles.
#include "server/session/Session.h"

#include "server/Diagnostics.h"
#include "server/Log.h"
#include "server/session/SessionStatement.h"
#include "server/admin/Users.h"

namespace velsrv {

namespace {
constexpr char kVersion[] = "Velora ODBC Server 0.1.0";
constexpr char kFile[] = "Session.cpp";  // the file diagnostics name
}  // namespace

Session::Session(const Options& options, StorageEngine* engine, std::string peer)
    : options_(options), engine_(engine), peer_(std::move(peer)) {}

Session::~Session() {
  statements_.clear();  // statements finalise before the database closes
  storage_.reset();
  other_.reset();
}

// ---- diagnostics ----

int Session::Fail(uint32_t subject, const char* sqlstate, int native, const std::string& text,
                  int rc, int line) {
  Diagnostic d;
  d.sqlstate = sqlstate;
  d.native = native & 0xFFFF;
  d.text = text;
  d.file = kFile;
  d.line = line;
  if (rc == kSqlError && loggedIn_) CountError(sqlstate);
  // Errors are logged by default; warnings and the end of data only with -v.
  Log(rc == kSqlError ? 0 : 1, "%s: %s %s", peer_.c_str(), sqlstate, text.c_str());
  if (subject == 0 || statements_.count(subject)) {
    diagnostics_[subject] = std::move(d);
  } else {
    strayId_ = subject;
    strayDiagnostic_ = std::move(d);
    hasStray_ = true;
  }
  return rc;
}

int Session::FailStatus(uint32_t subject, const Status& status, int line) {
  // An interruption the run limit caused is worded by its reason.
  const RunLimit::Reason why = limit_->Stopped();
  if (why != RunLimit::kGoOn &&
      (status.sqlstate == kStateCancelled || status.sqlstate == kStateTimeout)) {
    std::string text = why == RunLimit::kTimeout ? "timeout expired" : "operation canceled";
    // SQLite ends the whole transaction when it interrupts a statement
    // that writes: the client must know its earlier work is gone.
    if (inTransactionBefore_ && storage_ && !storage_->InTransaction())
      text += "; the transaction was rolled back";
    Log(0, "%s: statement %u stopped, not finished: %s", peer_.c_str(), subject, text.c_str());
    return Fail(subject, why == RunLimit::kTimeout ? kStateTimeout : kStateCancelled, 0, text,
                kSqlError, line);
  }
  return Fail(subject, status.sqlstate.c_str(), status.native, status.message, kSqlError, line);
}

void Session::BeginRequest(uint32_t id) {
  const Statement* s = id != 0 && loggedIn_ ? Find(id) : nullptr;
  inTransactionBefore_ = storage_ && storage_->InTransaction();
  limit_->Arm(requests_, s ? s->options.queryTimeout : 0);
}

int Session::Info(uint32_t subject, const char* sqlstate, const std::string& text) {
  return Fail(subject, sqlstate, 0, text, kSqlSuccessWithInfo, __LINE__);
}

int Session::NotLoggedIn(uint32_t subject) {
  return Fail(subject, kStateConnectionNotOpen, 0, "connection not open: log in first", kSqlError,
              __LINE__);
}

int Session::GetError(uint32_t id, Diagnostic* diagnostic) {
  auto it = diagnostics_.find(id);
  if (it != diagnostics_.end()) {
    *diagnostic = std::move(it->second);
    diagnostics_.erase(it);
    return kSqlSuccess;
  }
  if (hasStray_ && strayId_ == id) {
    *diagnostic = std::move(strayDiagnostic_);
    hasStray_ = false;
    return kSqlSuccess;
  }
  *diagnostic = Diagnostic();
  return kSqlNoDataFound;
}

// ---- login ----

int Session::Connect(const std::string& dataSource, const std::string& user,
                     const std::string& password, std::string* version) {
  if (loggedIn_) return Fail(0, kStateConnectionInUse, 0, "connection already open");
  if (draining_ && *draining_) {
    Log(0, "%s: login refused: the server is stopping", peer_.c_str());
    return Fail(0, kStateConnectionRejected, 0,
                "the server is stopping and accepts no new sessions: connect to another server");
  }
  UserRights rights;
  if (!options_.users.empty()) {
    const std::string address = LoginGuard::AddressOf(peer_);
    if (guard_ && !guard_->Admit(address)) {
      Log(0, "%s: login of user \"%s\" refused unchecked: too many failed logins from %s",
          peer_.c_str(), user.c_str(), address.c_str());
      CountRefusal(Refusal::kThrottled);
      return Fail(0, kStateAuthorization, 0,
                  "login refused: too many failed logins from this address; try again later");
    }
    std::string error;
    const bool known = CheckUser(options_.users, user, password, &error, &rights);
    const int failures = guard_ ? guard_->Finish(address, !known) : 0;
    if (!known) {
      if (!error.empty()) Log(0, "%s", error.c_str());
      Log(0, "%s: login refused for user \"%s\" (failure %d from %s)", peer_.c_str(), user.c_str(),
          failures, address.c_str());
      CountRefusal(Refusal::kPassword);
      return Fail(0, kStateAuthorization, 0, "login refused: wrong user name or password");
    }
    if (!rights.MayOpen(dataSource)) {
      Log(0, "%s: user \"%s\" may not open data source \"%s\"", peer_.c_str(), user.c_str(),
          dataSource.c_str());
      CountRefusal(Refusal::kDataSource);
      return Fail(0, kStateAuthorization, 0,
                  "login refused: user " + user + " may not open data source " + dataSource);
    }
  }
  const std::string& path = options_.DatabaseFor(dataSource);
  location_ = path;
  // A read-only user's session runs on a standby and never opens the
  // primary; without a standby that answers it runs on the primary.
  onStandby_ = rights.readOnly && OpenStandby(&storage_);
  Status st = onStandby_ ? Status::Ok() : engine_->Open(path, &storage_);
  if (st.ok && rights.readOnly) st = storage_->LockReadOnly();
  if (st.ok && abandoned_) storage_->SetAbandoned(abandoned_);
  if (st.ok) storage_->SetRunLimit(limit_.get());
  if (!st.ok) {
    storage_.reset();
    Log(0, "%s: data source \"%s\": %s", peer_.c_str(), dataSource.c_str(), st.message.c_str());
    CountRefusal(Refusal::kStorage);
    return FailStatus(0, st, __LINE__);
  }
  userReadOnly_ = rights.readOnly;
  user_ = user;
  if (userReadOnly_) accessMode_ = 1;
  if (!encrypted_ && options_.allowPlaintext)
    Log(0, "%s: user \"%s\" logs in without encryption (--allow-plaintext)", peer_.c_str(),
        user.c_str());
  loggedIn_ = true;
  // Data sources without a pair of their own share one label: a client
  // names any data source it likes, and must not make new label values.
  gauge_.Open(options_.datasources.count(dataSource) ? dataSource : "default", encrypted_);
  *version = std::string(kVersion) + " (" + storage_->EngineVersion() + ")";
  Log(0, "%s: user \"%s\" logged in to data source \"%s\" (%s%s)", peer_.c_str(), user.c_str(),
      dataSource.c_str(), LoggedLocation(path).c_str(),
      userReadOnly_ ? (onStandby_ ? ", read-only, on a standby" : ", read-only") : "");
  return kSqlSuccess;
}

bool Session::HasStandby() const {
  return !options_.readStorage.empty() && location_ == options_.database;
}

bool Session::OpenStandby(std::unique_ptr<StorageSession>* out) {
  if (!HasStandby()) return false;
  for (const std::string& standby : options_.readStorage) {
    Status st = engine_->Open(standby, out);
    if (st.ok) return true;
    Log(0, "%s: standby %s: %s", peer_.c_str(), LoggedLocation(standby).c_str(),
        st.message.c_str());
  }
  return false;
}

bool Session::MoveForReads(bool toStandby) {
  if (toStandby == onStandby_) return true;
  if (!other_) {
    if (!(toStandby ? OpenStandby(&other_) : engine_->Open(location_, &other_).ok)) return false;
    if (abandoned_) other_->SetAbandoned(abandoned_);
    other_->SetRunLimit(limit_.get());
    int applied = 0;
    if (isolation_ != SessionDefault(OptionSlot::kTxnIsolation))
      other_->SetIsolation(static_cast<int>(isolation_), &applied);
  }
  Log(1, "%s: moves to the %s", peer_.c_str(), toStandby ? "standby" : "primary");
  // The other side's session is kept for the next move: a cursor opened
  // before reads on to its end there, and prepared statements compile
  // again on the new side at their next execution (FollowSession).
  storage_.swap(other_);
  onStandby_ = toStandby;
  return true;
}

int Session::Disconnect() {
  // An open transaction is rolled back: nothing is committed that the
  // client did not commit. In autocommit the statements not reached yet
  // run, as when their statement is freed.
  if (storage_ && autocommit_ && !storage_->InTransaction()) DrainAll();
  if (storage_ && storage_->InTransaction()) {
    CloseAllCursors();
    storage_->Rollback();
  }
  statements_.clear();
  diagnostics_.clear();
  storage_.reset();
  other_.reset();
  onStandby_ = false;
  loggedIn_ = false;
  finished_ = true;
  gauge_.Close();
  return kSqlSuccess;
}

// ---- statement handles ----

Session::Statement* Session::Find(uint32_t id) {
  auto it = statements_.find(id);
  return it == statements_.end() ? nullptr : it->second.get();
}

Session::Statement* Session::Require(uint32_t id) {
  Statement* s = Find(id);
  if (!s)
    Fail(id, kStateGeneral, 0, "unknown statement identifier " + std::to_string(id), kSqlError,
         __LINE__);
  return s;
}

Session::Statement* Session::Ready(uint32_t id) {
  if (!loggedIn_) {
    NotLoggedIn(id);
    return nullptr;
  }
  return Require(id);
}

int Session::AllocStatement(uint32_t* id) {
  *id = 0;
  if (!loggedIn_) return NotLoggedIn(0);
  if (static_cast<int>(statements_.size()) >= options_.maxStatements)
    return Fail(0, kStateNoMoreStatements, 0,
                "no more statements: the limit per connection is " +
                    std::to_string(options_.maxStatements));
  while (nextId_ == 0 || statements_.count(nextId_)) ++nextId_;
  std::unique_ptr<Statement> s(new Statement());
  s->id = nextId_++;
  s->cursorName = "SQL_CUR" + std::to_string(s->id);
  s->options = defaults_;
  *id = s->id;
  statements_[s->id] = std::move(s);
  return kSqlSuccess;
}

// A cursor read to its end may be replaced without closing it first, as
// the driver manager lets applications do; one with rows left may not.
Session::Statement* Session::ReadyWithoutCursor(uint32_t id) {
  Statement* s = Ready(id);
  if (s && (s->position == Position::kBefore || s->position == Position::kOnRow)) {
    Fail(id, kStateCursorState, 0, "invalid cursor state: a cursor is open");
    return nullptr;
  }
  return s;
}

void Session::CloseCursor(Statement* s) {
  if (s->storage && s->position != Position::kNone) s->storage->Reset();
  s->position = Position::kNone;
  s->pendingRow = false;
  s->rowNumber = 0;
  s->isStatic = false;
  s->rows.clear();
  s->staticIndex = 0;
  s->edit.rowKeys.clear();
  s->edit.rowValues.clear();
}

bool Session::Busy() const {
  if (storage_ && storage_->InTransaction()) return true;
  for (const auto& entry : statements_)
    if (entry.second->position != Position::kNone) return true;
  return false;
}

void Session::CloseAllCursors() {
  for (auto& entry : statements_) CloseCursor(entry.second.get());
}

int Session::FreeStatement(uint32_t id, int option) {
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  // The statements of a text of several that were not reached run now,
  // their results dropped: closing gives up results, not work.
  if (option == 0) {
    Drain(s);
    Rewind(s);
    CloseCursor(s);  // closing without a cursor is fine
    return kSqlSuccess;
  }
  if (option == 1) {
    Drain(s);
    CloseCursor(s);
    statements_.erase(id);
    diagnostics_.erase(id);
    return kSqlSuccess;
  }
  return Fail(id, kStateOptionType, 0, "option type out of range: " + std::to_string(option));
}

}  // namespace velsrv
