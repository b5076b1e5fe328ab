// Exports: the wide-character forms of the catalog functions and of
// SQLGetTypeInfo, and the ANSI forms of the four catalog functions the 2.0
// library refuses. Each text is converted and handed to the worker of the
// ANSI function.
#include "base/Trace.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/Workers.h"
#include "odbc3/WideArgs.h"

namespace {

// Converts the N texts (lengths in characters) in argument order:
// SQL_SUCCESS, or the call's result when it ends here. A null text stays
// empty, as in the ANSI functions.
template <int N>
int StoreWideTexts(Statement* s, const SQLWCHAR* const (&in)[N], const SQLSMALLINT (&units)[N],
                   String (&texts)[N]) {
  for (SQLSMALLINT length : units) {
    if (!ValidLength(length)) return VEL_POST(s, SQL_ERROR, kDiagInvalidLength);
  }
  for (int i = 0; i < N; ++i) {
    if (in[i] == nullptr) continue;
    const WideResult r = WideToUtf8(in[i], units[i], &texts[i]);
    if (r != WideResult::kOk) return PostWideFailure(s, r);
  }
  return SQL_SUCCESS;
}

}  // namespace

// The rest of a catalog export after its entry line: in (the texts) and
// units (their lengths) name the arguments.
#define VEL_WIDE_CATALOG_CALL(worker)                                    \
  StatementHold hold(hstmt);                                             \
  Statement* s = hold.Get();                                             \
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);          \
  String texts[sizeof in / sizeof in[0]];                                \
  if (int rc = StoreWideTexts(s, in, units, texts); rc != SQL_SUCCESS) { \
    return TraceReturnCode(rc);                                          \
  }                                                                      \
  return TraceReturnCode(worker)

VEL_EXPORT SQLRETURN SQLTablesW(SQLHSTMT hstmt, SQLWCHAR* szTableQualifier,
                                SQLSMALLINT cbTableQualifier, SQLWCHAR* szTableOwner,
                                SQLSMALLINT cbTableOwner, SQLWCHAR* szTableName,
                                SQLSMALLINT cbTableName, SQLWCHAR* szTableType,
                                SQLSMALLINT cbTableType) {
  Trace('A', 2, "SQLTablesW: hstmt=0x%08lx", HandleValue(hstmt));
  const SQLWCHAR* const in[] = {szTableQualifier, szTableOwner, szTableName, szTableType};
  const SQLSMALLINT units[] = {cbTableQualifier, cbTableOwner, cbTableName, cbTableType};
  VEL_WIDE_CATALOG_CALL(TablesWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLColumnsW(SQLHSTMT hstmt, SQLWCHAR* szTableQualifier,
                                 SQLSMALLINT cbTableQualifier, SQLWCHAR* szTableOwner,
                                 SQLSMALLINT cbTableOwner, SQLWCHAR* szTableName,
                                 SQLSMALLINT cbTableName, SQLWCHAR* szColumnName,
                                 SQLSMALLINT cbColumnName) {
  Trace('A', 2, "SQLColumnsW: hstmt=0x%08lx", HandleValue(hstmt));
  const SQLWCHAR* const in[] = {szTableQualifier, szTableOwner, szTableName, szColumnName};
  const SQLSMALLINT units[] = {cbTableQualifier, cbTableOwner, cbTableName, cbColumnName};
  VEL_WIDE_CATALOG_CALL(ColumnsWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLStatisticsW(SQLHSTMT hstmt, SQLWCHAR* szTableQualifier,
                                    SQLSMALLINT cbTableQualifier, SQLWCHAR* szTableOwner,
                                    SQLSMALLINT cbTableOwner, SQLWCHAR* szTableName,
                                    SQLSMALLINT cbTableName, SQLUSMALLINT fUnique,
                                    SQLUSMALLINT fAccuracy) {
  Trace('A', 2, "SQLStatisticsW: hstmt=0x%08lx, fUnique=%u, fAccuracy=%u", HandleValue(hstmt),
        fUnique, fAccuracy);
  const SQLWCHAR* const in[] = {szTableQualifier, szTableOwner, szTableName};
  const SQLSMALLINT units[] = {cbTableQualifier, cbTableOwner, cbTableName};
  VEL_WIDE_CATALOG_CALL(StatisticsWorker(s, texts, fUnique, fAccuracy));
}

VEL_EXPORT SQLRETURN SQLSpecialColumnsW(SQLHSTMT hstmt, SQLUSMALLINT fColType,
                                        SQLWCHAR* szTableQualifier, SQLSMALLINT cbTableQualifier,
                                        SQLWCHAR* szTableOwner, SQLSMALLINT cbTableOwner,
                                        SQLWCHAR* szTableName, SQLSMALLINT cbTableName,
                                        SQLUSMALLINT fScope, SQLUSMALLINT fNullable) {
  Trace('A', 2, "SQLSpecialColumnsW: hstmt=0x%08lx, fColType=%u, fScope=%u, fNullable=%u",
        HandleValue(hstmt), fColType, fScope, fNullable);
  const SQLWCHAR* const in[] = {szTableQualifier, szTableOwner, szTableName};
  const SQLSMALLINT units[] = {cbTableQualifier, cbTableOwner, cbTableName};
  VEL_WIDE_CATALOG_CALL(SpecialColumnsWorker(s, fColType, texts, fScope, fNullable));
}

VEL_EXPORT SQLRETURN SQLTablePrivilegesW(SQLHSTMT hstmt, SQLWCHAR* szTableQualifier,
                                         SQLSMALLINT cbTableQualifier, SQLWCHAR* szTableOwner,
                                         SQLSMALLINT cbTableOwner, SQLWCHAR* szTableName,
                                         SQLSMALLINT cbTableName) {
  Trace('A', 2, "SQLTablePrivilegesW: hstmt=0x%08lx", HandleValue(hstmt));
  const SQLWCHAR* const in[] = {szTableQualifier, szTableOwner, szTableName};
  const SQLSMALLINT units[] = {cbTableQualifier, cbTableOwner, cbTableName};
  VEL_WIDE_CATALOG_CALL(TablePrivilegesWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLColumnPrivilegesW(SQLHSTMT hstmt, SQLWCHAR* szTableQualifier,
                                          SQLSMALLINT cbTableQualifier, SQLWCHAR* szTableOwner,
                                          SQLSMALLINT cbTableOwner, SQLWCHAR* szTableName,
                                          SQLSMALLINT cbTableName, SQLWCHAR* szColumnName,
                                          SQLSMALLINT cbColumnName) {
  Trace('A', 2, "SQLColumnPrivilegesW: hstmt=0x%08lx", HandleValue(hstmt));
  const SQLWCHAR* const in[] = {szTableQualifier, szTableOwner, szTableName, szColumnName};
  const SQLSMALLINT units[] = {cbTableQualifier, cbTableOwner, cbTableName, cbColumnName};
  VEL_WIDE_CATALOG_CALL(ColumnPrivilegesWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLPrimaryKeysW(SQLHSTMT hstmt, SQLWCHAR* szTableQualifier,
                                     SQLSMALLINT cbTableQualifier, SQLWCHAR* szTableOwner,
                                     SQLSMALLINT cbTableOwner, SQLWCHAR* szTableName,
                                     SQLSMALLINT cbTableName) {
  Trace('A', 2, "SQLPrimaryKeysW: hstmt=0x%08lx", HandleValue(hstmt));
  const SQLWCHAR* const in[] = {szTableQualifier, szTableOwner, szTableName};
  const SQLSMALLINT units[] = {cbTableQualifier, cbTableOwner, cbTableName};
  VEL_WIDE_CATALOG_CALL(PrimaryKeysWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLForeignKeysW(SQLHSTMT hstmt, SQLWCHAR* szPkTableQualifier,
                                     SQLSMALLINT cbPkTableQualifier, SQLWCHAR* szPkTableOwner,
                                     SQLSMALLINT cbPkTableOwner, SQLWCHAR* szPkTableName,
                                     SQLSMALLINT cbPkTableName, SQLWCHAR* szFkTableQualifier,
                                     SQLSMALLINT cbFkTableQualifier, SQLWCHAR* szFkTableOwner,
                                     SQLSMALLINT cbFkTableOwner, SQLWCHAR* szFkTableName,
                                     SQLSMALLINT cbFkTableName) {
  Trace('A', 2, "SQLForeignKeysW: hstmt=0x%08lx", HandleValue(hstmt));
  const SQLWCHAR* const in[] = {szPkTableQualifier, szPkTableOwner, szPkTableName,
                                szFkTableQualifier, szFkTableOwner, szFkTableName};
  const SQLSMALLINT units[] = {cbPkTableQualifier, cbPkTableOwner, cbPkTableName,
                               cbFkTableQualifier, cbFkTableOwner, cbFkTableName};
  VEL_WIDE_CATALOG_CALL(ForeignKeysWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLProceduresW(SQLHSTMT hstmt, SQLWCHAR* szProcQualifier,
                                    SQLSMALLINT cbProcQualifier, SQLWCHAR* szProcOwner,
                                    SQLSMALLINT cbProcOwner, SQLWCHAR* szProcName,
                                    SQLSMALLINT cbProcName) {
  Trace('A', 2, "SQLProceduresW: hstmt=0x%08lx", HandleValue(hstmt));
  const SQLWCHAR* const in[] = {szProcQualifier, szProcOwner, szProcName};
  const SQLSMALLINT units[] = {cbProcQualifier, cbProcOwner, cbProcName};
  VEL_WIDE_CATALOG_CALL(ProceduresWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLProcedureColumnsW(SQLHSTMT hstmt, SQLWCHAR* szProcQualifier,
                                          SQLSMALLINT cbProcQualifier, SQLWCHAR* szProcOwner,
                                          SQLSMALLINT cbProcOwner, SQLWCHAR* szProcName,
                                          SQLSMALLINT cbProcName, SQLWCHAR* szColumnName,
                                          SQLSMALLINT cbColumnName) {
  Trace('A', 2, "SQLProcedureColumnsW: hstmt=0x%08lx", HandleValue(hstmt));
  const SQLWCHAR* const in[] = {szProcQualifier, szProcOwner, szProcName, szColumnName};
  const SQLSMALLINT units[] = {cbProcQualifier, cbProcOwner, cbProcName, cbColumnName};
  VEL_WIDE_CATALOG_CALL(ProcedureColumnsWorker(s, texts));
}

// No text: the ANSI call's worker as it is.
VEL_EXPORT SQLRETURN SQLGetTypeInfoW(SQLHSTMT hstmt, SQLSMALLINT fSqlType) {
  Trace('A', 2, "SQLGetTypeInfoW: hstmt=0x%08lx, fSqlType=%d", HandleValue(hstmt), fSqlType);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(GetTypeInfoWorker(s, fSqlType));
}

VEL_EXPORT SQLRETURN SQLProcedures(SQLHSTMT hstmt, SQLCHAR* szProcQualifier,
                                   SQLSMALLINT cbProcQualifier, SQLCHAR* szProcOwner,
                                   SQLSMALLINT cbProcOwner, SQLCHAR* szProcName,
                                   SQLSMALLINT cbProcName) {
  return ProceduresEntry(true, hstmt, szProcQualifier, cbProcQualifier, szProcOwner, cbProcOwner,
                         szProcName, cbProcName);
}

VEL_EXPORT SQLRETURN SQLProcedureColumns(SQLHSTMT hstmt, SQLCHAR* szProcQualifier,
                                         SQLSMALLINT cbProcQualifier, SQLCHAR* szProcOwner,
                                         SQLSMALLINT cbProcOwner, SQLCHAR* szProcName,
                                         SQLSMALLINT cbProcName, SQLCHAR* szColumnName,
                                         SQLSMALLINT cbColumnName) {
  return ProcedureColumnsEntry(true, hstmt, szProcQualifier, cbProcQualifier, szProcOwner,
                               cbProcOwner, szProcName, cbProcName, szColumnName, cbColumnName);
}

VEL_EXPORT SQLRETURN SQLTablePrivileges(SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                                        SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                                        SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                                        SQLSMALLINT cbTableName) {
  return TablePrivilegesEntry(true, hstmt, szTableQualifier, cbTableQualifier, szTableOwner,
                              cbTableOwner, szTableName, cbTableName);
}

VEL_EXPORT SQLRETURN SQLColumnPrivileges(SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                                         SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                                         SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                                         SQLSMALLINT cbTableName, SQLCHAR* szColumnName,
                                         SQLSMALLINT cbColumnName) {
  return ColumnPrivilegesEntry(true, hstmt, szTableQualifier, cbTableQualifier, szTableOwner,
                               cbTableOwner, szTableName, cbTableName, szColumnName, cbColumnName);
}
