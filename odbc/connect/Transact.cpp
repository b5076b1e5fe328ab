// Commit and rollback: the transact request of one connection, or of every
// logged-in connection of an environment.
#include <sql.h>
#include <sqlext.h>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "base/Trace.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Frame.h"
#include "odbc/fetch/ScrollFetch.h"
#include "odbc/Workers.h"
#include "protocol/Requests.h"

int TransactConnection(Connection* c, int fType) {
  // The server's cursors end with the transaction (SQLGetInfo's
  // SQL_CURSOR_COMMIT_BEHAVIOR is SQL_CB_CLOSE). A static cursor first
  // reads the rest of its rows and keeps serving them: more than that
  // answer promises, never less. A failure there is the statement's,
  // found at the fetch that needs the rows.
  if (!c->options.Autocommit()) {
    for (Statement* s = c->statements.First(); s != nullptr; s = c->statements.Next())
      ReadStaticToEnd(s);
  }
  TransactRequest request;
  Trace('P', 2, "Connection::Transact: tType=%u", static_cast<unsigned>(fType));
  if (request.Failed()) return VEL_POST(c, SQL_ERROR, kDiagMemory);
  // The completion type is the server's to judge.
  request.Get<TransactionTypeElement>()->value = fType;
  int status = kStatusCommunicationFailure;
  static_cast<void>(c->Revive());
  const int rc = request.Exchange(&status, &c->clib);
  if (rc == SQL_SUCCESS) c->workSinceCommit = false;
  // The end of a transaction closes the server's cursors. Rows held from
  // blocks fetched before autocommit was switched off go with them, so
  // that the next fetch sees what one row at a time would (odbc/fetch/BlockFetch.h).
  if (!c->options.Autocommit()) {
    for (Statement* s = c->statements.First(); s != nullptr; s = c->statements.Next()) {
      s->DropBlock();
      if (rc == SQL_SUCCESS) s->ResultClosed();
    }
  }
  return rc == SQL_SUCCESS ? SQL_SUCCESS : c->CheckResult(rc, status);
}

namespace {

// Orders results from best to worst.
int Badness(int rc) {
  switch (rc) {
    case SQL_SUCCESS:
      return 0;
    case SQL_NO_DATA_FOUND:
      return 1;
    case SQL_SUCCESS_WITH_INFO:
      return 2;
    default:
      return 3;
  }
}

}  // namespace

int TransactEnvironment(const void* henv, SQLUSMALLINT fType) {
  // A null hdbc means every connection of the environment. They are pinned
  // while the environment is held, and transacted one by one after it is
  // let go: no environment-wide lock is held across an exchange.
  Connection** pinned = nullptr;
  uint32_t count = 0;
  {
    EnvironmentHold hold(henv);
    Environment* env = hold.Get();
    if (env == nullptr) return SQL_INVALID_HANDLE;
    LockGuard guard(Handles().Mutex());
    count = env->connections.Count();
    if (count > 0) {
      pinned = static_cast<Connection**>(VelAlloc(sizeof(Connection*) * count));
      if (pinned == nullptr) return VEL_POST(env, SQL_ERROR, kDiagMemory);
    }
    Connection* c = env->connections.Head();
    for (uint32_t i = 0; i < count; ++i, c = static_cast<Connection*>(c->NextItem())) {
      HandleIndex::PinLocked(c);
      pinned[i] = c;
    }
  }
  // Connections that are not logged in (or were freed meanwhile) have no
  // transaction and are left alone; each one transacted keeps its own
  // diagnostics.
  int worst = SQL_SUCCESS;
  for (uint32_t i = 0; i < count; ++i) {
    Connection* c = pinned[i];
    c->CallLock()->Acquire();
    if (!HandleIndex::Retired(c) && c->LoggedIn()) {
      c->ClearErrors();
      const int rc = TransactConnection(c, fType);
      if (Badness(rc) > Badness(worst)) worst = rc;
    }
    c->CallLock()->Release();
    HandleIndex::Unpin(c);
  }
  VelFree(pinned);
  return worst;
}
