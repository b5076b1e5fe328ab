// Exports: SQLGetInfo and SQLGetFunctions of the ODBC 3.x library.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Frame.h"
#include "odbc/info/InfoTable.h"
#include "odbc/Workers.h"
#include "odbc3/Output3.h"
#include "odbc3/OwnExports.h"

namespace {

struct FunctionName {
  SQLUSMALLINT id;
  const char* name;
};

// Every function number ODBC 3.80 defines for a driver, with its export;
// the ODBC 2 name of number 6 is listed as well.
constexpr FunctionName kFunctions[] = {
    {SQL_API_SQLALLOCCONNECT, "SQLAllocConnect"},
    {SQL_API_SQLALLOCENV, "SQLAllocEnv"},
    {SQL_API_SQLALLOCSTMT, "SQLAllocStmt"},
    {SQL_API_SQLBINDCOL, "SQLBindCol"},
    {SQL_API_SQLCANCEL, "SQLCancel"},
    {SQL_API_SQLCOLATTRIBUTE, "SQLColAttribute"},
    {SQL_API_SQLCOLATTRIBUTES, "SQLColAttributes"},
    {SQL_API_SQLCONNECT, "SQLConnect"},
    {SQL_API_SQLDESCRIBECOL, "SQLDescribeCol"},
    {SQL_API_SQLDISCONNECT, "SQLDisconnect"},
    {SQL_API_SQLERROR, "SQLError"},
    {SQL_API_SQLEXECDIRECT, "SQLExecDirect"},
    {SQL_API_SQLEXECUTE, "SQLExecute"},
    {SQL_API_SQLFETCH, "SQLFetch"},
    {SQL_API_SQLFREECONNECT, "SQLFreeConnect"},
    {SQL_API_SQLFREEENV, "SQLFreeEnv"},
    {SQL_API_SQLFREESTMT, "SQLFreeStmt"},
    {SQL_API_SQLGETCURSORNAME, "SQLGetCursorName"},
    {SQL_API_SQLNUMRESULTCOLS, "SQLNumResultCols"},
    {SQL_API_SQLPREPARE, "SQLPrepare"},
    {SQL_API_SQLROWCOUNT, "SQLRowCount"},
    {SQL_API_SQLSETCURSORNAME, "SQLSetCursorName"},
    {SQL_API_SQLSETPARAM, "SQLSetParam"},
    {SQL_API_SQLTRANSACT, "SQLTransact"},
    {SQL_API_SQLBULKOPERATIONS, "SQLBulkOperations"},
    {SQL_API_SQLCOLUMNS, "SQLColumns"},
    {SQL_API_SQLDRIVERCONNECT, "SQLDriverConnect"},
    {SQL_API_SQLGETCONNECTOPTION, "SQLGetConnectOption"},
    {SQL_API_SQLGETDATA, "SQLGetData"},
    {SQL_API_SQLGETFUNCTIONS, "SQLGetFunctions"},
    {SQL_API_SQLGETINFO, "SQLGetInfo"},
    {SQL_API_SQLGETSTMTOPTION, "SQLGetStmtOption"},
    {SQL_API_SQLGETTYPEINFO, "SQLGetTypeInfo"},
    {SQL_API_SQLPARAMDATA, "SQLParamData"},
    {SQL_API_SQLPUTDATA, "SQLPutData"},
    {SQL_API_SQLSETCONNECTOPTION, "SQLSetConnectOption"},
    {SQL_API_SQLSETSTMTOPTION, "SQLSetStmtOption"},
    {SQL_API_SQLSPECIALCOLUMNS, "SQLSpecialColumns"},
    {SQL_API_SQLSTATISTICS, "SQLStatistics"},
    {SQL_API_SQLTABLES, "SQLTables"},
    {SQL_API_SQLBROWSECONNECT, "SQLBrowseConnect"},
    {SQL_API_SQLCOLUMNPRIVILEGES, "SQLColumnPrivileges"},
    {SQL_API_SQLDATASOURCES, "SQLDataSources"},
    {SQL_API_SQLDESCRIBEPARAM, "SQLDescribeParam"},
    {SQL_API_SQLEXTENDEDFETCH, "SQLExtendedFetch"},
    {SQL_API_SQLFOREIGNKEYS, "SQLForeignKeys"},
    {SQL_API_SQLMORERESULTS, "SQLMoreResults"},
    {SQL_API_SQLNATIVESQL, "SQLNativeSql"},
    {SQL_API_SQLNUMPARAMS, "SQLNumParams"},
    {SQL_API_SQLPARAMOPTIONS, "SQLParamOptions"},
    {SQL_API_SQLPRIMARYKEYS, "SQLPrimaryKeys"},
    {SQL_API_SQLPROCEDURECOLUMNS, "SQLProcedureColumns"},
    {SQL_API_SQLPROCEDURES, "SQLProcedures"},
    {SQL_API_SQLSETPOS, "SQLSetPos"},
    {SQL_API_SQLSETSCROLLOPTIONS, "SQLSetScrollOptions"},
    {SQL_API_SQLTABLEPRIVILEGES, "SQLTablePrivileges"},
    {SQL_API_SQLDRIVERS, "SQLDrivers"},
    {SQL_API_SQLBINDPARAMETER, "SQLBindParameter"},
    {SQL_API_SQLALLOCHANDLE, "SQLAllocHandle"},
    {SQL_API_SQLBINDPARAM, "SQLBindParam"},
    {SQL_API_SQLCLOSECURSOR, "SQLCloseCursor"},
    {SQL_API_SQLCOPYDESC, "SQLCopyDesc"},
    {SQL_API_SQLENDTRAN, "SQLEndTran"},
    {SQL_API_SQLFREEHANDLE, "SQLFreeHandle"},
    {SQL_API_SQLGETCONNECTATTR, "SQLGetConnectAttr"},
    {SQL_API_SQLGETDESCFIELD, "SQLGetDescField"},
    {SQL_API_SQLGETDESCREC, "SQLGetDescRec"},
    {SQL_API_SQLGETDIAGFIELD, "SQLGetDiagField"},
    {SQL_API_SQLGETDIAGREC, "SQLGetDiagRec"},
    {SQL_API_SQLGETENVATTR, "SQLGetEnvAttr"},
    {SQL_API_SQLGETSTMTATTR, "SQLGetStmtAttr"},
    {SQL_API_SQLSETCONNECTATTR, "SQLSetConnectAttr"},
    {SQL_API_SQLSETDESCFIELD, "SQLSetDescField"},
    {SQL_API_SQLSETDESCREC, "SQLSetDescRec"},
    {SQL_API_SQLSETENVATTR, "SQLSetEnvAttr"},
    {SQL_API_SQLSETSTMTATTR, "SQLSetStmtAttr"},
    {SQL_API_SQLFETCHSCROLL, "SQLFetchScroll"},
};

// Exported, yet always "HYC00": not claimed, so that applications do not
// count on them.
constexpr SQLUSMALLINT kNotImplemented[] = {
    SQL_API_SQLBROWSECONNECT,
};

// The key functions, and the procedure and privilege functions, only where
// the connection's server offered them at login (protocol/KEYS.md);
// elsewhere they answer "S1C00". SQLBulkOperations (SQL_ADD) where
// cursors write back (protocol/EDIT.md).
bool Offered(SQLUSMALLINT id, const Connection* c) {
  for (SQLUSMALLINT never : kNotImplemented) {
    if (id == never) return false;
  }
  switch (id) {
    case SQL_API_SQLPRIMARYKEYS:
    case SQL_API_SQLFOREIGNKEYS:
      return c->OffersKeys();
    case SQL_API_SQLPROCEDURES:
    case SQL_API_SQLPROCEDURECOLUMNS:
    case SQL_API_SQLTABLEPRIVILEGES:
    case SQL_API_SQLCOLUMNPRIVILEGES:
      return c->OffersRoutines();
    // Where the server translates texts (protocol/ESCAPES.md).
    case SQL_API_SQLNATIVESQL:
      return c->OffersNativeSql();
    case SQL_API_SQLBULKOPERATIONS:
      return c->EditsRows();
    default:
      return true;
  }
}

bool Exported(const OwnExports& exports, SQLUSMALLINT id, const Connection* c) {
  for (const FunctionName& f : kFunctions) {
    if (f.id == id && exports.Has(f.name)) return Offered(id, c);
  }
  return false;
}

// SQL_API_ODBC3_ALL_FUNCTIONS fills a bitmap of 250 16-bit words,
// SQL_API_ALL_FUNCTIONS 100 flags for the numbers below 100, any other
// number its one flag.
int GetFunctions3(SQLUSMALLINT fFunction, SQLUSMALLINT* pfExists, const Connection* c) {
  if (pfExists == nullptr) return SQL_SUCCESS;
  const OwnExports exports;
  if (fFunction == SQL_API_ODBC3_ALL_FUNCTIONS) {
    std::memset(pfExists, 0, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * sizeof(SQLUSMALLINT));
    for (const FunctionName& f : kFunctions) {
      if (exports.Has(f.name) && Offered(f.id, c)) {
        pfExists[f.id >> 4] = static_cast<SQLUSMALLINT>(pfExists[f.id >> 4] | (1u << (f.id & 15)));
      }
    }
  } else if (fFunction == SQL_API_ALL_FUNCTIONS) {
    for (SQLUSMALLINT i = 0; i < 100; ++i) {
      pfExists[i] = Exported(exports, i, c) ? SQL_TRUE : SQL_FALSE;
    }
  } else {
    *pfExists = Exported(exports, fFunction, c) ? SQL_TRUE : SQL_FALSE;
  }
  return SQL_SUCCESS;
}

}  // namespace

VEL_EXPORT SQLRETURN SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                                SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue) {
  Trace('A', 2, "SQLGetInfo: hdbc=0x%08lx, fInfoType=%u", HandleValue(hdbc), fInfoType);
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(
      GetInfoWorker(c, fInfoType, rgbInfoValue, cbInfoValueMax, pcbInfoValue, true));
}

// A text answer goes out as UTF-16, its lengths in bytes; numbers as they
// are.
VEL_EXPORT SQLRETURN SQLGetInfoW(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                                 SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue) {
  Trace('A', 2, "SQLGetInfoW: hdbc=0x%08lx, fInfoType=%u", HandleValue(hdbc), fInfoType);
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  const InfoRow* row = FindInfoRow3(fInfoType);
  if (row == nullptr) row = FindInfoRow(fInfoType);
  if (row == nullptr || row->kind != InfoKind::kText) {
    return TraceReturnCode(
        GetInfoWorker(c, fInfoType, rgbInfoValue, cbInfoValueMax, pcbInfoValue, true));
  }
  if (cbInfoValueMax < 0) return TraceReturnCode(VEL_POST(c, SQL_ERROR, kDiagInvalidLength));
  // The longest text answer (the keyword list) is below a kilobyte; names
  // (data source, server, user) are shorter still.
  char narrow[4096] = {};
  int rc = GetInfoWorker(c, fInfoType, narrow, sizeof narrow, nullptr, true);
  String text;
  if (SQL_SUCCEEDED(rc) && !text.SetString(narrow)) rc = VEL_POST(c, SQL_ERROR, kDiagMemory);
  if (!SQL_SUCCEEDED(rc)) return TraceReturnCode(rc);
  long need = 0;
  const bool whole = CopyWideOutput(text, rgbInfoValue, cbInfoValueMax / kWideUnitBytes, &need);
  if (pcbInfoValue != nullptr) *pcbInfoValue = ShortCount(need * kWideUnitBytes);
  return TraceReturnCode(whole ? rc : VEL_POST(c, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated));
}

VEL_EXPORT SQLRETURN SQLGetFunctions(SQLHDBC hdbc, SQLUSMALLINT fFunction, SQLUSMALLINT* pfExists) {
  Trace('A', 2, "SQLGetFunctions: hdbc=0x%08lx, fFunction=%u", HandleValue(hdbc), fFunction);
  ConnectionHold hold(hdbc);
  if (hold.Get() == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(GetFunctions3(fFunction, pfExists, hold.Get()));
}
