// Exports: the four option functions.
#include <sql.h>
#include <sqlext.h>

#include "handles/Connection.h"
#include "handles/Statement.h"
#include "handles/Frame.h"
#include "base/Trace.h"
#include "odbc/Workers.h"

VEL_EXPORT SQLRETURN SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLULEN vParam) {
  Trace('A', 2, "SQLSetConnectOption: hdbc=0x%08lx, fOption=%u", HandleValue(hdbc), fOption);
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(SetConnectOptionWorker(c, fOption, vParam));
}

VEL_EXPORT SQLRETURN SQLGetConnectOption(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLPOINTER pvParam) {
  Trace('A', 2, "SQLGetConnectOption: hdbc=0x%08lx, fOption=%u", HandleValue(hdbc), fOption);
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(GetConnectOptionWorker(c, fOption, pvParam));
}

VEL_EXPORT SQLRETURN SQLSetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLULEN vParam) {
  Trace('A', 2, "SQLSetStmtOption: hstmt=0x%08lx, fOption=%u, vParam=%lu", HandleValue(hstmt),
        fOption, static_cast<unsigned long>(vParam));
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(SetStmtOptionWorker(s, fOption, vParam));
}

VEL_EXPORT SQLRETURN SQLGetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLPOINTER pvParam) {
  Trace('A', 2, "SQLGetStmtOption: hstmt=0x%08lx, fOption=%u", HandleValue(hstmt), fOption);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(GetStmtOptionWorker(s, fOption, pvParam));
}
