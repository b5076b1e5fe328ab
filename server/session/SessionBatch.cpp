// Session: many parameter sets of one statement in one request
// (protocol/BATCH.md).
#include <algorithm>
#include <cstdint>

#include "server/Diagnostics.h"
#include "server/session/Session.h"
#include "server/session/SessionStatement.h"

namespace velsrv {

// The outcomes of the sets sent together, into the places their sets
// have among *outcomes (a set refused before it was sent has its own);
// with stop the outcomes end at the first failure.
void Session::Answer(Statement* s, StorageSetRun* together, bool stop,
                     std::vector<SetOutcome>* outcomes, size_t* ended) {
  static thread_local std::vector<SetResult> results;
  together->Finish(&results);
  const StatementKind kind = s->dmlText ? StatementKind::kUpdate : StatementKind::kDdl;
  size_t kept = outcomes->size();
  for (size_t i = 0; i < waiting_.size() && kept == outcomes->size(); ++i) {
    const size_t at = waiting_[i];
    SetOutcome& o = (*outcomes)[at];
    if (i >= results.size()) {
      kept = at;  // not run after the failing set
    } else if (results[i].status.ok) {
      o.rows = s->dmlText ? results[i].rows : -1;
      CountStatement(kind);
      if (o.rows > 0) CountRows(0, static_cast<uint64_t>(o.rows));
    } else {
      o.rc = FailStatus(s->id, results[i].status, __LINE__);
      GetError(s->id, &o.diagnostic);
      if (!storage_->InTransaction()) *ended = at;
      if (stop || limit_->Stopped() != RunLimit::kGoOn) kept = at + 1;
    }
  }
  outcomes->resize(std::min(kept, outcomes->size()));
  if (*ended >= outcomes->size()) *ended = SIZE_MAX;
}

// The transaction: with autocommit on, the request runs in one
// transaction of its own, committed at its end, so that its sets cost
// one commit; a failing set undoes only its own work (both engines undo a
// failing statement alone: SQLite by its statement journal, the
// PostgreSQL storage by the savepoints it runs the statements of a
// transaction under), so what stays is exactly what each set alone would
// have left. With autocommit off the sets join the application's
// transaction in the same way.
int Session::ExecuteBatch(uint32_t id, const std::string& sql, bool stop,
                          const std::function<bool(std::vector<ParamIn>*)>& nextSet,
                          std::vector<SetOutcome>* outcomes) {
  outcomes->clear();
  Statement* s = ReadyWithoutCursor(id);
  if (!s) return kSqlError;
  if (!sql.empty()) {
    const int rc = Compile(s, sql);
    if (rc != kSqlSuccess) return rc;
  } else if (!s->prepared || !s->storage) {
    return Fail(id, kStateSequence, 0, "function sequence error: no prepared statement");
  } else if (FollowSession(s) != kSqlSuccess) {
    return kSqlError;
  }
  Drain(s);
  Rewind(s);
  CloseCursor(s);
  if (s->storage->ColumnCount() > 0)
    return Fail(id, kStateGeneral, 0,
                "a statement that returns rows cannot take an array of parameter sets");
  // The request counts once as a batch; each set also counts as its kind.
  CountStatement(StatementKind::kBatch);
  const bool own = autocommit_ && !storage_->InTransaction();
  Status st = own ? storage_->Begin() : Status::Ok();
  if (!st.ok) return FailStatus(id, st, __LINE__);
  if (!own && BeginIfNeeded(s) != kSqlSuccess) return kSqlError;
  static thread_local std::vector<ParamIn> params;
  // An engine that sends the sets together (PostgreSQL's pipeline) answers
  // them after the last one; the others run each at once.
  // A text of several statements runs them all for each set.
  std::unique_ptr<StorageSetRun> together =
      s->parts.empty() ? s->storage->StartSets(stop) : nullptr;
  waiting_.clear();
  size_t ended = SIZE_MAX;  // the set whose failure ended the transaction
  while (nextSet(&params)) {
    outcomes->emplace_back();
    SetOutcome& o = outcomes->back();
    if (!together)
      o.rc = Run(s, params);
    else if (limit_->Stopped() != RunLimit::kGoOn)  // as Run: nothing is sent once stopped
      o.rc = FailStatus(id, Status::Error(kStateCancelled, 0, "interrupted"), __LINE__);
    else
      o.rc = BindParameters(s, params);
    if (o.rc == kSqlSuccess) {
      if (together) {
        together->Add();
        waiting_.push_back(outcomes->size() - 1);
      } else {
        o.rows = s->rowCount;
        if (!s->parts.empty()) {
          if (!s->dmlText) o.rows = 0;
          o.rc = Drain(s, &o.rows);
        }
      }
      if (o.rc == kSqlSuccess) continue;
    }
    s->storage->Reset();
    GetError(id, &o.diagnostic);
    // (A set refused before it was sent together leaves the engine alone.)
    if (!together && !storage_->InTransaction()) ended = outcomes->size() - 1;
    // After the request's timeout or a cancel no set runs: the set that
    // met the stop is the last.
    if (ended != SIZE_MAX || stop || limit_->Stopped() != RunLimit::kGoOn) break;
  }
  if (together) Answer(s, together.get(), stop, outcomes, &ended);
  int64_t sum = 0;
  for (const SetOutcome& o : *outcomes)
    if (o.rc == kSqlSuccess) sum = o.rows < 0 || sum < 0 ? -1 : sum + o.rows;
  const bool lost = ended != SIZE_MAX;
  s->rowCount = sum;
  if (lost) {
    // Every set of the request shares the failure that ended it.
    const Diagnostic last = (*outcomes)[ended].diagnostic;
    for (SetOutcome& o : *outcomes) {
      o.rc = kSqlError;
      o.diagnostic = last;
      o.rows = -1;
    }
  } else if (own) {
    st = storage_->Commit();
    if (!st.ok) {
      if (storage_->InTransaction()) storage_->Rollback();
      FailStatus(id, st, __LINE__);
      Diagnostic d;
      GetError(id, &d);
      for (SetOutcome& o : *outcomes) {
        o.rc = kSqlError;
        o.diagnostic = d;
        o.rows = -1;
      }
    }
  }
  return kSqlSuccess;
}

}  // namespace velsrv
