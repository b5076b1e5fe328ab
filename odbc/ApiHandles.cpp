// SQLAllocEnv, SQLAllocConnect, SQLFreeConnect, SQLFreeEnv.
#include <sql.h>
#include <sqlext.h>

#include <new>

#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "base/Check.h"
#include "handles/Frame.h"
#include "base/Trace.h"

// A handle the registry does not hold (stale, foreign or null) gives
// SQL_INVALID_HANDLE and touches nothing, output arguments included.

VEL_EXPORT SQLRETURN SQLAllocEnv(SQLHENV* phenv) {
  Trace('A', 2, "SQLAllocEnv:");
  if (phenv == nullptr) return SQL_ERROR;  // nowhere to put a handle
  Environment* env = new (std::nothrow) Environment;
  if (env == nullptr || env->Failed() || !env->errors.Reserve()) {
    delete env;
    *phenv = SQL_NULL_HENV;
    return SQL_ERROR;
  }
  Registry().AddEnvironment(env);
  *phenv = env;
  Trace('A', 2, "henv=0x%08lx", HandleValue(env));
  return SQL_SUCCESS;
}

VEL_EXPORT SQLRETURN SQLAllocConnect(SQLHENV henv, SQLHDBC* phdbc) {
  Trace('A', 2, "SQLAllocConnect: henv=0x%08lx", HandleValue(henv));
  EnvironmentHold hold(henv);
  Environment* env = hold.Get();
  if (env == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  if (phdbc == nullptr) {
    return TraceReturnCode(VEL_POST(env, SQL_ERROR, kDiagInvalidArgument));
  }
  Connection* conn = new (std::nothrow) Connection;
  if (conn == nullptr || conn->Failed() || !conn->errors.Reserve()) {
    delete conn;
    *phdbc = SQL_NULL_HDBC;
    return TraceReturnCode(VEL_POST(env, SQL_ERROR, kDiagHdbcAllocation));
  }
  conn->environment = env;
  env->AddConnection(conn);
  *phdbc = conn;
  Trace('A', 2, "hdbc=0x%08lx", HandleValue(conn));
  return TraceReturnCode(SQL_SUCCESS);
}

VEL_EXPORT SQLRETURN SQLFreeConnect(SQLHDBC hdbc) {
  Trace('A', 2, "SQLFreeConnect: hdbc=0x%08lx", HandleValue(hdbc));
  ConnectionHold hold(hdbc, false);
  Connection* conn = hold.Get();
  if (conn == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  Environment* env = conn->environment;
  VEL_CHECK_TEXT(env != nullptr, "envp", VEL_MODULE);
  // A connection still logged in is dropped without a word to the server.
  // It is deleted when the hold ends (or when a call that waits for it has
  // found it gone).
  env->RemoveConnection(conn);
  return TraceReturnCode(SQL_SUCCESS);
}

VEL_EXPORT SQLRETURN SQLFreeEnv(SQLHENV henv) {
  Trace('A', 2, "SQLFreeEnv: henv=0x%08lx", HandleValue(henv));
  EnvironmentHold hold(henv, false);
  Environment* env = hold.Get();
  if (env == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  Registry().RemoveEnvironment(env);
  return TraceReturnCode(SQL_SUCCESS);
}
