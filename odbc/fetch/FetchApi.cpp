// Exported entry points of binding, fetching (row by row and by rowset),
// SQLGetData, SQLSetPos and SQLSetScrollOptions.
#include <sql.h>
#include <sqlext.h>

#include "handles/ClientDiagnostics.h"
#include "handles/Statement.h"
#include "handles/Frame.h"
#include "base/Trace.h"
#include "odbc/fetch/Fetch.h"
#include "odbc/fetch/GetData.h"
#include "odbc/fetch/ScrollFetch.h"
#include "odbc/Workers.h"

VEL_EXPORT SQLRETURN SQLBindCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT fCType,
                                SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) {
  Trace('A', 2, "SQLBindCol: hstmt=0x%08lx, icol=%u", HandleValue(hstmt), icol);
  Trace('A', 2, " fCType=%d, rgbValue=%p, cbValueMax=%ld", fCType, rgbValue,
        static_cast<long>(cbValueMax));
  StatementHold hold(hstmt);
  Statement* stmt = hold.Get();
  if (stmt == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(
      BindColumn(stmt, icol, {fCType, rgbValue, cbValueMax, pcbValue, pcbValue}));
}

VEL_EXPORT SQLRETURN SQLFetch(SQLHSTMT hstmt) {
  Trace('A', 2, "SQLFetch: hstmt=0x%08lx", HandleValue(hstmt));
  StatementHold hold(hstmt);
  Statement* stmt = hold.Get();
  if (stmt == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(FetchScrollWorker(stmt, SQL_FETCH_NEXT, 0));
}

VEL_EXPORT SQLRETURN SQLGetData(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT fCType,
                                SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) {
  Trace('A', 2, "SQLGetData: hstmt=0x%08lx, icol=%u", HandleValue(hstmt), icol);
  Trace('A', 2, " fCType=%d, rgbValue=%p, cbValueMax=%ld", fCType, rgbValue,
        static_cast<long>(cbValueMax));
  StatementHold hold(hstmt);
  Statement* stmt = hold.Get();
  if (stmt == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(GetData(stmt, icol, {fCType, rgbValue, cbValueMax, pcbValue, pcbValue}));
}

VEL_EXPORT SQLRETURN SQLExtendedFetch(SQLHSTMT hstmt, SQLUSMALLINT fFetchType, SQLLEN irow,
                                      SQLULEN* pcrow, SQLUSMALLINT* rgfRowStatus) {
  Trace('A', 2, "SQLExtendedFetch: hstmt=0x%08lx, fFetchType=%u, irow=%ld", HandleValue(hstmt),
        fFetchType, static_cast<long>(irow));
  StatementHold hold(hstmt);
  Statement* stmt = hold.Get();
  if (stmt == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(FetchRowset(stmt, fFetchType, irow, pcrow, rgfRowStatus));
}

VEL_EXPORT SQLRETURN SQLSetPos(SQLHSTMT hstmt, SQLSETPOSIROW irow, SQLUSMALLINT fOption,
                               SQLUSMALLINT fLock) {
  Trace('A', 2, "SQLSetPos: hstmt=0x%08lx, irow=%lu, fOption=%u, fLock=%u", HandleValue(hstmt),
        static_cast<unsigned long>(irow), fOption, fLock);
  StatementHold hold(hstmt);
  Statement* stmt = hold.Get();
  if (stmt == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(SetPosWorker(stmt, irow, fOption, fLock));
}

VEL_EXPORT SQLRETURN SQLSetScrollOptions(SQLHSTMT hstmt, SQLUSMALLINT fConcurrency,
                                         SQLLEN crowKeyset, SQLUSMALLINT crowRowset) {
  Trace('A', 2,
        "SQLSetScrollOptions: hstmt=0x%08lx, fConcurrency=%u, crowKeyset=%ld, crowRowset=%u",
        HandleValue(hstmt), fConcurrency, static_cast<long>(crowKeyset), crowRowset);
  StatementHold hold(hstmt);
  Statement* stmt = hold.Get();
  if (stmt == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(SetScrollOptionsWorker(stmt, fConcurrency, crowKeyset, crowRowset));
}
