// Exports: parameter binding and description, data at execution.
#include <sql.h>
#include <sqlext.h>

#include "base/Trace.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/params/ParamArrays.h"
#include "odbc/Workers.h"

VEL_EXPORT SQLRETURN SQLBindParameter(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType,
                                      SQLSMALLINT fCType, SQLSMALLINT fSqlType, SQLULEN cbColDef,
                                      SQLSMALLINT ibScale, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                                      SQLLEN* pcbValue) {
  Trace('A', 2, "SQLBindParameter: hstmt=0x%08lx, ipar=%u, fCType=%d, fSqlType=%d",
        HandleValue(hstmt), ipar, fCType, fSqlType);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(BindParameterWorker(s, ipar, fParamType, fCType, fSqlType, cbColDef,
                                             ibScale, rgbValue, cbValueMax, pcbValue));
}

VEL_EXPORT SQLRETURN SQLDescribeParam(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType,
                                      SQLULEN* pcbColDef, SQLSMALLINT* pibScale,
                                      SQLSMALLINT* pfNullable) {
  Trace('A', 2, "SQLDescribeParam: hstmt=0x%08lx, ipar=%u", HandleValue(hstmt), ipar);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(DescribeParamWorker(s, ipar, pfSqlType, pcbColDef, pibScale, pfNullable));
}

VEL_EXPORT SQLRETURN SQLNumParams(SQLHSTMT hstmt, SQLSMALLINT* pcpar) {
  VEL_STATEMENT_ENTRY("SQLNumParams");
  return TraceReturnCode(NumParamsWorker(s, pcpar));
}

VEL_EXPORT SQLRETURN SQLParamData(SQLHSTMT hstmt, SQLPOINTER* prgbValue) {
  VEL_STATEMENT_ENTRY("SQLParamData");
  return TraceReturnCode(ParamDataWorker(s, prgbValue));
}

VEL_EXPORT SQLRETURN SQLPutData(SQLHSTMT hstmt, SQLPOINTER rgbValue, SQLLEN cbValue) {
  VEL_STATEMENT_ENTRY("SQLPutData");
  return TraceReturnCode(PutDataWorker(s, rgbValue, cbValue));
}

VEL_EXPORT SQLRETURN SQLParamOptions(SQLHSTMT hstmt, SQLULEN crow, SQLULEN* pirow) {
  VEL_STATEMENT_ENTRY("SQLParamOptions");
  return TraceReturnCode(ParamOptionsWorker(s, crow, pirow));
}
