// Session: many parameter sets of one statement in one request
// (protocol/BATCH.md).
#include "server/Diagnostics.h"
#include "server/Session.h"
#include "server/SessionStatement.h"

namespace velsrv {

// The transaction: with autocommit on, the request runs in one
// transaction of its own, committed at its end, so that its sets cost
// one commit; a failing set undoes only its own work (both engines undo a
// failing statement alone: SQLite by its statement journal, the
// PostgreSQL storage by the savepoint it runs every statement of a
// transaction under), so what stays is exactly what each set alone would
// have left. With autocommit off the sets join the application's
// transaction in the same way.
int Session::ExecuteBatch(uint32_t id, const std::string& sql, bool stop,
                          const std::function<bool(std::vector<ParamIn>*)>& nextSet,
                          std::vector<SetOutcome>* outcomes) {
  outcomes->clear();
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  if (!sql.empty()) {
    const int rc = Compile(s, sql);
    if (rc != kSqlSuccess) return rc;
  } else if (!s->prepared || !s->storage) {
    return Fail(id, kStateSequence, 0, "function sequence error: no prepared statement");
  } else if (FollowSession(s) != kSqlSuccess) {
    return kSqlError;
  }
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
  int64_t sum = 0;
  bool lost = false;  // the engine ended the transaction: earlier sets are gone
  while (nextSet(&params)) {
    outcomes->emplace_back();
    SetOutcome& o = outcomes->back();
    o.rc = Run(s, params);
    if (o.rc == kSqlSuccess) {
      o.rows = s->rowCount;
      sum = o.rows < 0 || sum < 0 ? -1 : sum + o.rows;
    } else {
      s->storage->Reset();
      GetError(id, &o.diagnostic);
      lost = !storage_->InTransaction();
      // After the request's timeout or a cancel no set runs: the set that
      // met the stop is the last.
      if (lost || stop || limit_->Stopped() != RunLimit::kGoOn) break;
    }
  }
  s->rowCount = sum;
  if (lost) {
    // Every set of the request shares the failure that ended it.
    for (SetOutcome& o : *outcomes) {
      o.rc = kSqlError;
      o.diagnostic = outcomes->back().diagnostic;
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
