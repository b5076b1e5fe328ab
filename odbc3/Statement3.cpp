// Exports: SQLEndTran, SQLCloseCursor, SQLFetchScroll, SQLColAttribute,
// SQLBulkOperations.
#include <sql.h>
#include <sqlext.h>

#include "base/Alloc.h"
#include "base/Trace.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/fetch/Fetch.h"
#include "odbc/Workers.h"
#include "odbc/Workers3.h"
#include "odbc3/Output3.h"

VEL_EXPORT SQLRETURN SQLEndTran(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT fType) {
  Trace('A', 2, "SQLEndTran: fHandleType=%d, handle=0x%08lx, fType=%d", fHandleType,
        HandleValue(handle), fType);
  if (fHandleType == SQL_HANDLE_ENV) {
    return TraceReturnCode(TransactEnvironment(handle, static_cast<SQLUSMALLINT>(fType)));
  }
  if (fHandleType != SQL_HANDLE_DBC) return TraceReturnCode(SQL_INVALID_HANDLE);
  ConnectionHold hold(handle);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(TransactConnection(c, fType));
}

VEL_EXPORT SQLRETURN SQLCloseCursor(SQLHSTMT hstmt) {
  VEL_STATEMENT_ENTRY("SQLCloseCursor");
  return TraceReturnCode(CloseCursorWorker(s));
}

VEL_EXPORT SQLRETURN SQLFetchScroll(SQLHSTMT hstmt, SQLSMALLINT fOrientation, SQLLEN offset) {
  Trace('A', 2, "SQLFetchScroll: hstmt=0x%08lx, fOrientation=%d", HandleValue(hstmt), fOrientation);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(FetchScrollWorker(s, fOrientation, offset));
}

// SQLColAttribute's numeric output as the system's headers declare it: a
// bare pointer in 32-bit Windows', the SQLLEN it points to everywhere.
#if defined(_WIN32) && !defined(_WIN64)
using NumericAttribute = SQLPOINTER;
#else
using NumericAttribute = SQLLEN*;
#endif

VEL_EXPORT SQLRETURN SQLColAttribute(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fField,
                                     SQLPOINTER rgbText, SQLSMALLINT cbTextMax,
                                     SQLSMALLINT* pcbText, NumericAttribute numeric) {
  SQLLEN* pNumber = static_cast<SQLLEN*>(numeric);
  Trace('A', 2, "SQLColAttribute: hstmt=0x%08lx, icol=%u, fField=%u", HandleValue(hstmt), icol,
        fField);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  if (cbTextMax < 0 && ColAttributeIsText(fField)) {
    return TraceReturnCode(VEL_POST(s, SQL_ERROR, kDiagInvalidLength));
  }
  return TraceReturnCode(ColAttributeWorker(s, icol, fField, rgbText, cbTextMax, pcbText, pNumber));
}

// A text field goes out as UTF-16, its lengths in bytes.
VEL_EXPORT SQLRETURN SQLColAttributeW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fField,
                                      SQLPOINTER rgbText, SQLSMALLINT cbTextMax,
                                      SQLSMALLINT* pcbText, NumericAttribute numeric) {
  SQLLEN* pNumber = static_cast<SQLLEN*>(numeric);
  Trace('A', 2, "SQLColAttributeW: hstmt=0x%08lx, icol=%u, fField=%u", HandleValue(hstmt), icol,
        fField);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  if (!ColAttributeIsText(fField)) {
    return TraceReturnCode(ColAttributeWorker(s, icol, fField, nullptr, 0, nullptr, pNumber));
  }
  if (cbTextMax < 0) return TraceReturnCode(VEL_POST(s, SQL_ERROR, kDiagInvalidLength));
  // A text a column describes is counted in 16 bits.
  constexpr SQLSMALLINT kMost = 32767;
  char* narrow = static_cast<char*>(VelAlloc(kMost));
  if (narrow == nullptr) return TraceReturnCode(VEL_POST(s, SQL_ERROR, kDiagMemory));
  SQLSMALLINT length = 0;
  int rc = ColAttributeWorker(s, icol, fField, narrow, kMost, &length, pNumber);
  if (length >= kMost) length = kMost - 1;  // cut, as the narrow call cuts
  String text;
  if (SQL_SUCCEEDED(rc) && !text.SetString(narrow, static_cast<int32_t>(length))) {
    rc = VEL_POST(s, SQL_ERROR, kDiagMemory);
  }
  VelFree(narrow);
  if (!SQL_SUCCEEDED(rc)) return TraceReturnCode(rc);
  long need = 0;
  const bool whole = CopyWideOutput(text, rgbText, cbTextMax / kWideUnitBytes, &need);
  if (pcbText != nullptr) *pcbText = ShortCount(need * kWideUnitBytes);
  return TraceReturnCode(whole ? rc : VEL_POST(s, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated));
}

VEL_EXPORT SQLRETURN SQLBulkOperations(SQLHSTMT hstmt, SQLSMALLINT /*operation*/) {
  VEL_STATEMENT_ENTRY("SQLBulkOperations");
  return TraceReturnCode(VEL_POST(s, SQL_ERROR, kDiagBulkOperationsUnimplemented));
}
