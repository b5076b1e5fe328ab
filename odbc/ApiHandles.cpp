// Exports: SQLAllocEnv, SQLAllocConnect, SQLFreeConnect, SQLFreeEnv.
#include <sql.h>
#include <sqlext.h>

#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Frame.h"
#include "odbc/Workers.h"

// A handle the registry does not hold (stale, foreign or null) gives
// SQL_INVALID_HANDLE and touches nothing, output arguments included.

// An environment made here belongs to an ODBC 2 application.
VEL_EXPORT SQLRETURN SQLAllocEnv(SQLHENV* phenv) {
  Trace('A', 2, "SQLAllocEnv:");
  return AllocEnvWorker(phenv, SQL_OV_ODBC2);
}

VEL_EXPORT SQLRETURN SQLAllocConnect(SQLHENV henv, SQLHDBC* phdbc) {
  Trace('A', 2, "SQLAllocConnect: henv=0x%08lx", HandleValue(henv));
  EnvironmentHold hold(henv);
  Environment* env = hold.Get();
  if (env == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(AllocConnectWorker(env, phdbc));
}

VEL_EXPORT SQLRETURN SQLFreeConnect(SQLHDBC hdbc) {
  Trace('A', 2, "SQLFreeConnect: hdbc=0x%08lx", HandleValue(hdbc));
  ConnectionHold hold(hdbc, false);
  Connection* conn = hold.Get();
  if (conn == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(FreeConnectWorker(conn));
}

VEL_EXPORT SQLRETURN SQLFreeEnv(SQLHENV henv) {
  Trace('A', 2, "SQLFreeEnv: henv=0x%08lx", HandleValue(henv));
  EnvironmentHold hold(henv, false);
  Environment* env = hold.Get();
  if (env == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(FreeEnvWorker(env));
}
