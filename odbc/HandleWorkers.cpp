// Allocating and freeing environments and connections: the workers behind
// SQLAllocEnv, SQLAllocConnect, SQLFreeConnect and SQLFreeEnv.
#include <sql.h>
#include <sqlext.h>

#include <new>

#include "base/Check.h"
#include "base/Trace.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Frame.h"
#include "odbc/Workers.h"

int AllocEnvWorker(SQLHENV* phenv, uint32_t odbcVersion) {
  if (phenv == nullptr) return SQL_ERROR;  // nowhere to put a handle
  Environment* env = new (std::nothrow) Environment;
  if (env == nullptr || env->Failed() || !env->errors.Reserve()) {
    delete env;
    *phenv = SQL_NULL_HENV;
    return SQL_ERROR;
  }
  env->SetOdbcVersion(odbcVersion);
  Registry().AddEnvironment(env);
  *phenv = env;
  Trace('A', 2, "henv=0x%08lx", HandleValue(env));
  return SQL_SUCCESS;
}

int AllocConnectWorker(Environment* env, SQLHDBC* phdbc) {
  if (phdbc == nullptr) return VEL_POST(env, SQL_ERROR, kDiagInvalidArgument);
  Connection* conn = new (std::nothrow) Connection;
  if (conn == nullptr || conn->Failed() || !conn->errors.Reserve()) {
    delete conn;
    *phdbc = SQL_NULL_HDBC;
    return VEL_POST(env, SQL_ERROR, kDiagHdbcAllocation);
  }
  conn->environment = env;
  env->AddConnection(conn);
  *phdbc = conn;
  Trace('A', 2, "hdbc=0x%08lx", HandleValue(conn));
  return SQL_SUCCESS;
}

int FreeConnectWorker(Connection* conn) {
  Environment* env = conn->environment;
  VEL_CHECK_TEXT(env != nullptr, "envp", VEL_MODULE);
  // A connection still logged in is dropped without a word to the server.
  // It is deleted when the hold ends (or when a call that waits for it has
  // found it gone).
  env->RemoveConnection(conn);
  return SQL_SUCCESS;
}

int FreeEnvWorker(Environment* env) {
  Registry().RemoveEnvironment(env);
  return SQL_SUCCESS;
}
