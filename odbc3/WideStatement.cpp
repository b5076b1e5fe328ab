// Exports: the wide-character forms of the statement calls with texts:
// SQLPrepare, SQLExecDirect, the cursor names, SQLDescribeCol and
// SQLColAttributes.
#include <new>

#include "base/Trace.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/descriptors/ColumnAttributes.h"
#include "odbc/Workers.h"
#include "odbc3/WideArgs.h"

namespace {

// The frame's steps 1 to 3 for an entry point whose first argument is
// hstmt, then its SQL text (units characters) converted into sql.
#define VEL_WIDE_SQL_ENTRY(name, text, units)                      \
  Trace('A', 2, name ": hstmt=0x%08lx", HandleValue(hstmt));       \
  StatementHold hold(hstmt);                                       \
  Statement* s = hold.Get();                                       \
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);    \
  WideArg sql;                                                     \
  if (WideResult r = sql.Set(text, units); r != WideResult::kOk) { \
    return TraceReturnCode(PostWideFailure(s, r));                 \
  }                                                                \
  TraceArgument("szSqlStr", sql.Value().TextOrEmpty(), sql.Length() < 0 ? -1 : SQL_NTS)

// Hands a text the driver holds to an application's buffer of units
// characters, its whole count of characters in *count: rc, or
// SQL_SUCCESS_WITH_INFO with "01004" when it was cut.
int HandOut(Statement* s, int rc, const char* text, uint32_t length, SQLWCHAR* buffer, long units,
            long* count) {
  if (CopyWideOutput(text, length, buffer, units, count)) return rc;
  return VEL_POST(s, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
}

// A narrow text a worker writes, in a buffer that grows to hold it.
struct NarrowText {
  char local[256];
  char* text = local;
  long size = sizeof local;
  ~NarrowText() {
    if (text != local) delete[] text;
  }
  // Room for length bytes and a 0; false when memory runs out.
  bool Grow(long length) {
    char* bigger = new (std::nothrow) char[length + 1];
    if (bigger == nullptr) return false;
    if (text != local) delete[] text;
    text = bigger;
    size = length + 1;
    return true;
  }
};

}  // namespace

VEL_EXPORT SQLRETURN SQLPrepareW(SQLHSTMT hstmt, SQLWCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
  VEL_WIDE_SQL_ENTRY("SQLPrepareW", szSqlStr, cbSqlStr);
  return TraceReturnCode(PrepareWorker(s, sql.Text(), sql.Length()));
}

VEL_EXPORT SQLRETURN SQLExecDirectW(SQLHSTMT hstmt, SQLWCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
  VEL_WIDE_SQL_ENTRY("SQLExecDirectW", szSqlStr, cbSqlStr);
  return TraceReturnCode(ExecDirectWorker(s, sql.Text(), sql.Length()));
}

VEL_EXPORT SQLRETURN SQLSetCursorNameW(SQLHSTMT hstmt, SQLWCHAR* szCursor, SQLSMALLINT cbCursor) {
  VEL_STATEMENT_ENTRY("SQLSetCursorNameW");
  WideArg name;
  if (WideResult r = name.Set(szCursor, cbCursor); r != WideResult::kOk) {
    return TraceReturnCode(PostWideFailure(s, r));
  }
  return TraceReturnCode(SetCursorNameWorker(s, name.Text(), name.ShortLength()));
}

// cbCursorMax and *pcbCursor count characters.
VEL_EXPORT SQLRETURN SQLGetCursorNameW(SQLHSTMT hstmt, SQLWCHAR* szCursor, SQLSMALLINT cbCursorMax,
                                       SQLSMALLINT* pcbCursor) {
  VEL_STATEMENT_ENTRY("SQLGetCursorNameW");
  String name;
  const int rc = GetCursorNameText(s, &name);
  if (rc != SQL_SUCCESS) return TraceReturnCode(rc);
  long count = 0;
  const int result =
      HandOut(s, rc, name.TextOrEmpty(), name.Length(), szCursor, cbCursorMax, &count);
  if (pcbCursor) *pcbCursor = ShortCount(count);
  return TraceReturnCode(result);
}

// cbColNameMax and *pcbColName count characters.
VEL_EXPORT SQLRETURN SQLDescribeColW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLWCHAR* szColName,
                                     SQLSMALLINT cbColNameMax, SQLSMALLINT* pcbColName,
                                     SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                                     SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
  Trace('A', 2, "SQLDescribeColW: hstmt=0x%08lx, icol=%u", HandleValue(hstmt), icol);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  NarrowText name;
  SQLSMALLINT bytes = 0;
  auto describe = [&] {
    return DescribeColWorker(s, icol, reinterpret_cast<SQLCHAR*>(name.text),
                             static_cast<SQLSMALLINT>(name.size), &bytes, pfSqlType, pcbColDef,
                             pibScale, pfNullable);
  };
  int rc = describe();
  if (rc == SQL_ERROR) return TraceReturnCode(rc);
  if (bytes >= name.size) {
    // A longer name than the first buffer: describe again (no request is
    // made) into one that holds it; the first cut's record goes.
    if (!name.Grow(bytes)) return TraceReturnCode(VEL_POST(s, SQL_ERROR, kDiagMemory));
    s->ClearErrors();
    rc = describe();
    if (rc == SQL_ERROR) return TraceReturnCode(rc);
  }
  long count = 0;
  const int result =
      HandOut(s, rc, name.text, static_cast<uint32_t>(bytes), szColName, cbColNameMax, &count);
  if (pcbColName) *pcbColName = ShortCount(count);
  return TraceReturnCode(result);
}

// A text answer goes to rgbDesc as UTF-16: cbDescMax and *pcbDesc count
// bytes, as ODBC has it for this call (an odd size holds whole characters
// only). Number answers are the ANSI call's.
VEL_EXPORT SQLRETURN SQLColAttributesW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType,
                                       SQLPOINTER rgbDesc, SQLSMALLINT cbDescMax,
                                       SQLSMALLINT* pcbDesc, SQLLEN* pfDesc) {
  Trace('A', 2, "SQLColAttributesW: hstmt=0x%08lx, icol=%u, fDescType=%u", HandleValue(hstmt), icol,
        fDescType);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  const AttributeRow* row = FindAttribute(fDescType);
  if (row == nullptr || row->kind != AttributeKind::kString) {
    return TraceReturnCode(
        ColAttributesWorker(s, icol, fDescType, rgbDesc, cbDescMax, pcbDesc, pfDesc));
  }
  if (cbDescMax < 0) return TraceReturnCode(VEL_POST(s, SQL_ERROR, kDiagInvalidLength));
  NarrowText text;
  SQLSMALLINT bytes = 0;
  auto attribute = [&] {
    return ColAttributesWorker(s, icol, fDescType, text.text, static_cast<SQLSMALLINT>(text.size),
                               &bytes, pfDesc);
  };
  int rc = attribute();
  if (rc == SQL_ERROR) return TraceReturnCode(rc);
  if (bytes >= text.size) {
    if (!text.Grow(bytes)) return TraceReturnCode(VEL_POST(s, SQL_ERROR, kDiagMemory));
    s->ClearErrors();
    rc = attribute();
    if (rc == SQL_ERROR) return TraceReturnCode(rc);
  }
  long count = 0;
  const int result = HandOut(s, rc, text.text, static_cast<uint32_t>(bytes),
                             static_cast<SQLWCHAR*>(rgbDesc), cbDescMax / kWideUnitBytes, &count);
  if (pcbDesc) *pcbDesc = ShortCount(count * kWideUnitBytes);
  return TraceReturnCode(result);
}
