// Exports: statement allocation, freeing, preparation and execution, cursor
// names, row count, and the result-set description calls.
#include <sql.h>
#include <sqlext.h>

#include "handles/Connection.h"
#include "handles/Odbc3Rules.h"
#include "handles/Statement.h"
#include "handles/Frame.h"
#include "base/Trace.h"
#include "odbc/Workers.h"

VEL_EXPORT SQLRETURN SQLAllocStmt(SQLHDBC hdbc, SQLHSTMT* phstmt) {
  Trace('A', 2, "SQLAllocStmt: hdbc=0x%08lx", HandleValue(hdbc));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(AllocStmtWorker(c, phstmt));
}

VEL_EXPORT SQLRETURN SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT fOption) {
  Trace('A', 2, "SQLFreeStmt: hstmt=0x%08lx, fOption=%u", HandleValue(hstmt), fOption);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(FreeStmtWorker(s, fOption, true));
}

// SQLCancel usually comes from another thread than the statement's own
// calls (the driver manager lets it through at any threading level but
// 3). While a call of the statement waits for its reply from a server
// that offers cancelling, a cancel request stops the server's work and
// SQLCancel returns at once; the waiting call fails with "S1008".
// Otherwise it waits for a call in progress on the connection to finish
// its exchange, then, for an ODBC 2 application, closes the cursor as
// SQL_CLOSE does (ODBC 3 gives a cancel with nothing running no effect);
// the call it waited for returns its own result. It leaves the statement's records
// alone: they are that call's, and the application may not have read
// them yet. From a signal handler that interrupted a call on this thread
// (Perl's DBI cancels so) it never waits: that call could not go on until
// the handler returns; it only sends the cancel request when it can.
VEL_EXPORT SQLRETURN SQLCancel(SQLHSTMT hstmt) {
  Trace('A', 2, "SQLCancel: hstmt=0x%08lx", HandleValue(hstmt));
  if (CancelWaitingCall(hstmt) == CancelOutcome::kSent || HandleHold::InStatementCall())
    return TraceReturnCode(SQL_SUCCESS);
  StatementHold hold(hstmt, false);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  if (FollowsOdbc3(*s)) return TraceReturnCode(SQL_SUCCESS);
  return TraceReturnCode(FreeStmtWorker(s, SQL_CLOSE, false));
}

VEL_EXPORT SQLRETURN SQLPrepare(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
  Trace('A', 2, "SQLPrepare: hstmt=0x%08lx", HandleValue(hstmt));
  TraceArgument("szSqlStr", reinterpret_cast<const char*>(szSqlStr), cbSqlStr);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(PrepareWorker(s, szSqlStr, cbSqlStr));
}

VEL_EXPORT SQLRETURN SQLExecute(SQLHSTMT hstmt) {
  VEL_STATEMENT_ENTRY("SQLExecute");
  return TraceReturnCode(ExecuteWorker(s));
}

VEL_EXPORT SQLRETURN SQLExecDirect(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
  Trace('A', 2, "SQLExecDirect: hstmt=0x%08lx", HandleValue(hstmt));
  TraceArgument("szSqlStr", reinterpret_cast<const char*>(szSqlStr), cbSqlStr);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(ExecDirectWorker(s, szSqlStr, cbSqlStr));
}

VEL_EXPORT SQLRETURN SQLSetCursorName(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cbCursor) {
  VEL_STATEMENT_ENTRY("SQLSetCursorName");
  return TraceReturnCode(SetCursorNameWorker(s, szCursor, cbCursor));
}

VEL_EXPORT SQLRETURN SQLGetCursorName(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cbCursorMax,
                                      SQLSMALLINT* pcbCursor) {
  VEL_STATEMENT_ENTRY("SQLGetCursorName");
  return TraceReturnCode(GetCursorNameWorker(s, szCursor, cbCursorMax, pcbCursor));
}

VEL_EXPORT SQLRETURN SQLRowCount(SQLHSTMT hstmt, SQLLEN* pcrow) {
  VEL_STATEMENT_ENTRY("SQLRowCount");
  return TraceReturnCode(RowCountWorker(s, pcrow));
}

VEL_EXPORT SQLRETURN SQLMoreResults(SQLHSTMT hstmt) {
  VEL_STATEMENT_ENTRY("SQLMoreResults");
  return TraceReturnCode(MoreResultsWorker(s));
}

VEL_EXPORT SQLRETURN SQLNumResultCols(SQLHSTMT hstmt, SQLSMALLINT* pccol) {
  VEL_STATEMENT_ENTRY("SQLNumResultCols");
  return TraceReturnCode(NumResultColsWorker(s, pccol));
}

VEL_EXPORT SQLRETURN SQLDescribeCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLCHAR* szColName,
                                    SQLSMALLINT cbColNameMax, SQLSMALLINT* pcbColName,
                                    SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                                    SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
  Trace('A', 2, "SQLDescribeCol: hstmt=0x%08lx, icol=%u", HandleValue(hstmt), icol);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(DescribeColWorker(s, icol, szColName, cbColNameMax, pcbColName, pfSqlType,
                                           pcbColDef, pibScale, pfNullable));
}

VEL_EXPORT SQLRETURN SQLColAttributes(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType,
                                      SQLPOINTER rgbDesc, SQLSMALLINT cbDescMax,
                                      SQLSMALLINT* pcbDesc, SQLLEN* pfDesc) {
  Trace('A', 2, "SQLColAttributes: hstmt=0x%08lx, icol=%u, fDescType=%u", HandleValue(hstmt), icol,
        fDescType);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(
      ColAttributesWorker(s, icol, fDescType, rgbDesc, cbDescMax, pcbDesc, pfDesc));
}
