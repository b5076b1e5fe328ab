// Commit and rollback: the transact request of one connection, or of every
// logged-in connection of an environment.
#include <sql.h>
#include <sqlext.h>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "base/Trace.h"
#include "odbc/Workers.h"
#include "protocol/Requests.h"

int TransactConnection(Connection* c, int fType) {
  TransactRequest request;
  Trace('P', 2, "Connection::Transact: tType=%u", static_cast<unsigned>(fType));
  if (request.Failed()) return VEL_POST(c, SQL_ERROR, kDiagMemory);
  // The completion type is the server's to judge.
  request.Get<TransactionTypeElement>()->value = fType;
  int status = kStatusCommunicationFailure;
  const int rc = request.Exchange(&status, &c->clib);
  // The end of a transaction closes the server's cursors. Rows held from
  // blocks fetched before autocommit was switched off go with them, so
  // that the next fetch sees what one row at a time would (odbc/BlockFetch.h).
  if (c->autocommit == 0) {
    for (Statement* s = c->statements.First(); s != nullptr; s = c->statements.Next())
      s->DropBlock();
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

int TransactEnvironment(Environment* env, SQLUSMALLINT fType) {
  // A null hdbc means every connection of the environment. Connections that
  // are not logged in have no transaction and are left alone; each one
  // transacted keeps its own diagnostics.
  int worst = SQL_SUCCESS;
  for (Connection* c = env->connections.Head(); c != nullptr;
       c = static_cast<Connection*>(c->NextItem())) {
    if (!c->LoggedIn()) continue;
    c->ClearErrors();
    const int rc = TransactConnection(c, fType);
    if (Badness(rc) > Badness(worst)) worst = rc;
  }
  return worst;
}
