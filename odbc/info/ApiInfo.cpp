// Exports of the ODBC 2.0 library only: SQLGetInfo, SQLGetFunctions, and
// the four catalog functions it refuses ("S1C00") whatever the server
// offers. The ODBC 3.x library answers these with its own exports (odbc3/),
// which add what it supports beyond these and fall back on the same workers.
#include <sql.h>
#include <sqlext.h>

#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/Frame.h"
#include "odbc/info/Functions.h"
#include "odbc/Workers.h"

VEL_EXPORT SQLRETURN SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                                SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue) {
  Trace('A', 2, "SQLGetInfo: hdbc=0x%08lx, fInfoType=%u", HandleValue(hdbc), fInfoType);
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(GetInfoWorker(c, fInfoType, rgbInfoValue, cbInfoValueMax, pcbInfoValue));
}

VEL_EXPORT SQLRETURN SQLGetFunctions(SQLHDBC hdbc, SQLUSMALLINT fFunction, SQLUSMALLINT* pfExists) {
  Trace('A', 2, "SQLGetFunctions: hdbc=0x%08lx, fFunction=%u", HandleValue(hdbc), fFunction);
  ConnectionHold hold(hdbc);
  if (hold.Get() == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(GetFunctions(fFunction, pfExists, hold.Get()));
}

VEL_EXPORT SQLRETURN SQLProcedures(SQLHSTMT hstmt, SQLCHAR* szProcQualifier,
                                   SQLSMALLINT cbProcQualifier, SQLCHAR* szProcOwner,
                                   SQLSMALLINT cbProcOwner, SQLCHAR* szProcName,
                                   SQLSMALLINT cbProcName) {
  return ProceduresEntry(false, hstmt, szProcQualifier, cbProcQualifier, szProcOwner, cbProcOwner,
                         szProcName, cbProcName);
}

VEL_EXPORT SQLRETURN SQLProcedureColumns(SQLHSTMT hstmt, SQLCHAR* szProcQualifier,
                                         SQLSMALLINT cbProcQualifier, SQLCHAR* szProcOwner,
                                         SQLSMALLINT cbProcOwner, SQLCHAR* szProcName,
                                         SQLSMALLINT cbProcName, SQLCHAR* szColumnName,
                                         SQLSMALLINT cbColumnName) {
  return ProcedureColumnsEntry(false, hstmt, szProcQualifier, cbProcQualifier, szProcOwner,
                               cbProcOwner, szProcName, cbProcName, szColumnName, cbColumnName);
}

VEL_EXPORT SQLRETURN SQLTablePrivileges(SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                                        SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                                        SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                                        SQLSMALLINT cbTableName) {
  return TablePrivilegesEntry(false, hstmt, szTableQualifier, cbTableQualifier, szTableOwner,
                              cbTableOwner, szTableName, cbTableName);
}

VEL_EXPORT SQLRETURN SQLColumnPrivileges(SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                                         SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                                         SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                                         SQLSMALLINT cbTableName, SQLCHAR* szColumnName,
                                         SQLSMALLINT cbColumnName) {
  return ColumnPrivilegesEntry(false, hstmt, szTableQualifier, cbTableQualifier, szTableOwner,
                               cbTableOwner, szTableName, cbTableName, szColumnName, cbColumnName);
}
