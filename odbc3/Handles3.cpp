// Exports: SQLAllocHandle, SQLFreeHandle, SQLSetEnvAttr, SQLGetEnvAttr.
#include <sql.h>
#include <sqlext.h>

#include "base/Trace.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/Workers.h"
#include "odbc/Workers3.h"
#include "odbc3/DescriptorApi.h"

namespace {

// A connection may be made once the application has declared its ODBC
// version; an environment made here starts without one (version 0).
int AllocConnection(SQLHANDLE input, SQLHANDLE* output) {
  EnvironmentHold hold(input);
  Environment* env = hold.Get();
  if (env == nullptr) return SQL_INVALID_HANDLE;
  if (env->OdbcVersion() == 0) {
    if (output != nullptr) *output = SQL_NULL_HDBC;
    return VEL_POST(env, SQL_ERROR, kDiagSequenceError);
  }
  return AllocConnectWorker(env, output);
}

int AllocStatement(SQLHANDLE input, SQLHANDLE* output) {
  ConnectionHold hold(input);
  Connection* c = hold.Get();
  if (c == nullptr) return SQL_INVALID_HANDLE;
  return AllocStmtWorker(c, output);
}

}  // namespace

VEL_EXPORT SQLRETURN SQLAllocHandle(SQLSMALLINT fHandleType, SQLHANDLE hInput,
                                    SQLHANDLE* phOutput) {
  Trace('A', 2, "SQLAllocHandle: fHandleType=%d, hInput=0x%08lx", fHandleType, HandleValue(hInput));
  switch (fHandleType) {
    case SQL_HANDLE_ENV:
      return TraceReturnCode(AllocEnvWorker(phOutput, 0));
    case SQL_HANDLE_DBC:
      return TraceReturnCode(AllocConnection(hInput, phOutput));
    case SQL_HANDLE_STMT:
      return TraceReturnCode(AllocStatement(hInput, phOutput));
    case SQL_HANDLE_DESC:
      return TraceReturnCode(AllocDescriptorHandle(hInput, phOutput));
    default:
      return TraceReturnCode(SQL_ERROR);
  }
}

VEL_EXPORT SQLRETURN SQLFreeHandle(SQLSMALLINT fHandleType, SQLHANDLE handle) {
  Trace('A', 2, "SQLFreeHandle: fHandleType=%d, handle=0x%08lx", fHandleType, HandleValue(handle));
  switch (fHandleType) {
    case SQL_HANDLE_ENV: {
      EnvironmentHold hold(handle, false);
      if (hold.Get() == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
      return TraceReturnCode(FreeEnvWorker(hold.Get()));
    }
    case SQL_HANDLE_DBC: {
      ConnectionHold hold(handle, false);
      if (hold.Get() == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
      return TraceReturnCode(FreeConnectWorker(hold.Get()));
    }
    case SQL_HANDLE_STMT: {
      StatementHold hold(handle);
      if (hold.Get() == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
      return TraceReturnCode(FreeStmtWorker(hold.Get(), SQL_DROP, true));
    }
    case SQL_HANDLE_DESC:
      return TraceReturnCode(FreeDescriptorHandle(handle));
    default:
      return TraceReturnCode(SQL_INVALID_HANDLE);
  }
}

VEL_EXPORT SQLRETURN SQLSetEnvAttr(SQLHENV henv, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                   SQLINTEGER /*cbValue*/) {
  Trace('A', 2, "SQLSetEnvAttr: henv=0x%08lx, fAttribute=%d", HandleValue(henv),
        static_cast<int>(fAttribute));
  EnvironmentHold hold(henv);
  if (hold.Get() == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(SetEnvAttrWorker(hold.Get(), fAttribute, pValue));
}

VEL_EXPORT SQLRETURN SQLGetEnvAttr(SQLHENV henv, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                   SQLINTEGER /*cbValueMax*/, SQLINTEGER* pcbValue) {
  Trace('A', 2, "SQLGetEnvAttr: henv=0x%08lx, fAttribute=%d", HandleValue(henv),
        static_cast<int>(fAttribute));
  EnvironmentHold hold(henv);
  if (hold.Get() == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  const int rc = GetEnvAttrWorker(hold.Get(), fAttribute, pValue);
  if (rc == SQL_SUCCESS && pcbValue != nullptr) *pcbValue = sizeof(SQLUINTEGER);
  return TraceReturnCode(rc);
}
