// Exports: the wide-character forms of SQLConnect, SQLDriverConnect,
// SQLBrowseConnect and SQLNativeSql, and SQLNativeSql's narrow form.
#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/Frame.h"
#include "odbc/connect/ConnectString.h"
#include "odbc/Workers.h"
#include "odbc3/WideArgs.h"

VEL_EXPORT SQLRETURN SQLConnectW(SQLHDBC hdbc, SQLWCHAR* szDSN, SQLSMALLINT cbDSN, SQLWCHAR* szUID,
                                 SQLSMALLINT cbUID, SQLWCHAR* szAuthStr, SQLSMALLINT cbAuthStr) {
  Trace('A', 2, "SQLConnectW: hdbc=0x%08lx", HandleValue(hdbc));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  WideArg args[3];
  const SQLWCHAR* texts[] = {szDSN, szUID, szAuthStr};
  const long units[] = {cbDSN, cbUID, cbAuthStr};
  if (int rc = SetWideArgs(c, args, texts, units, 3); rc != SQL_SUCCESS) return TraceReturnCode(rc);
  TraceArgument("szDSN", args[0].Value().TextOrEmpty(), SQL_NTS);
  TraceArgument("szUID", args[1].Value().TextOrEmpty(), SQL_NTS);
  return TraceReturnCode(ConnectWorker(c, args[0].Text(), args[0].ShortLength(), args[1].Text(),
                                       args[1].ShortLength(), args[2].Text(),
                                       args[2].ShortLength()));
}

// cbConnStrOutMax and *pcbConnStrOut count characters; a cut output keeps
// whole characters and posts "01004".
VEL_EXPORT SQLRETURN SQLDriverConnectW(SQLHDBC hdbc, SQLHWND hwnd, SQLWCHAR* szConnStrIn,
                                       SQLSMALLINT cbConnStrIn, SQLWCHAR* szConnStrOut,
                                       SQLSMALLINT cbConnStrOutMax, SQLSMALLINT* pcbConnStrOut,
                                       SQLUSMALLINT fDriverCompletion) {
  Trace('A', 2, "SQLDriverConnectW: hdbc=0x%08lx, fDriverCompletion=%u", HandleValue(hdbc),
        fDriverCompletion);
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  WideArg in;
  if (WideResult r = in.Set(szConnStrIn, cbConnStrIn); r != WideResult::kOk) {
    return TraceReturnCode(PostWideFailure(c, r));
  }
  TraceMaskedConnectString("             szConnStrIn=", in.Value().TextOrEmpty(),
                           in.Value().Length());
  String output;
  const int rc = DriverConnectText(c, hwnd, in.Text(), in.ShortLength(), cbConnStrOutMax, &output);
  if (rc == SQL_ERROR || rc == SQL_NO_DATA_FOUND) return TraceReturnCode(rc);
  TraceMaskedConnectString("             szConnStrOut=", output.TextOrEmpty(), output.Length());
  long need = 0;
  const bool whole =
      CopyWideOutput(output.TextOrEmpty(), output.Length(), szConnStrOut, cbConnStrOutMax, &need);
  if (pcbConnStrOut) *pcbConnStrOut = ShortCount(need);
  if (whole) return TraceReturnCode(rc);
  return TraceReturnCode(VEL_POST(c, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated));
}

VEL_EXPORT SQLRETURN SQLBrowseConnectW(SQLHDBC hdbc, SQLWCHAR* szConnStrIn, SQLSMALLINT cbConnStrIn,
                                       SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*) {
  Trace('A', 2, "SQLBrowseConnectW: hdbc=0x%08lx", HandleValue(hdbc));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  WideArg in;
  if (WideResult r = in.Set(szConnStrIn, cbConnStrIn); r != WideResult::kOk) {
    return TraceReturnCode(PostWideFailure(c, r));
  }
  return TraceReturnCode(BrowseConnectWorker(c, in.Text(), in.ShortLength()));
}

// The text as the server will run it (its escape clauses translated),
// from a server that offered the translation at login; cbSqlStrMax and
// *pcbSqlStr count characters, a cut text keeps whole characters and
// posts "01004".
VEL_EXPORT SQLRETURN SQLNativeSqlW(SQLHDBC hdbc, SQLWCHAR* szSqlStrIn, SQLINTEGER cbSqlStrIn,
                                   SQLWCHAR* szSqlStr, SQLINTEGER cbSqlStrMax,
                                   SQLINTEGER* pcbSqlStr) {
  Trace('A', 2, "SQLNativeSqlW: hdbc=0x%08lx", HandleValue(hdbc));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  WideArg in;
  if (WideResult r = in.Set(szSqlStrIn, cbSqlStrIn); r != WideResult::kOk) {
    return TraceReturnCode(PostWideFailure(c, r));
  }
  TraceArgument("szSqlStrIn", in.Value().TextOrEmpty(), SQL_NTS);
  if (!c->OffersNativeSql()) return TraceReturnCode(NativeSqlWorker(c, in.Text(), in.Length()));
  if (szSqlStr != nullptr && cbSqlStrMax < 0)
    return TraceReturnCode(VEL_POST(c, SQL_ERROR, kDiagInvalidLength));
  String text;
  const int rc = TranslateSqlWorker(c, in.Text(), in.Length(), &text);
  if (rc != SQL_SUCCESS) return TraceReturnCode(rc);
  long need = 0;
  const bool whole = CopyWideOutput(text, szSqlStr, cbSqlStrMax, &need);
  if (pcbSqlStr) *pcbSqlStr = static_cast<SQLINTEGER>(need);
  if (whole) return TraceReturnCode(SQL_SUCCESS);
  return TraceReturnCode(VEL_POST(c, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated));
}

// The narrow form: lengths in bytes, a cut text posts "01004".
VEL_EXPORT SQLRETURN SQLNativeSql(SQLHDBC hdbc, SQLCHAR* szSqlStrIn, SQLINTEGER cbSqlStrIn,
                                  SQLCHAR* szSqlStr, SQLINTEGER cbSqlStrMax,
                                  SQLINTEGER* pcbSqlStr) {
  Trace('A', 2, "SQLNativeSql: hdbc=0x%08lx", HandleValue(hdbc));
  TraceArgument("szSqlStrIn", reinterpret_cast<const char*>(szSqlStrIn), cbSqlStrIn);
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  if (!c->OffersNativeSql()) return TraceReturnCode(NativeSqlWorker(c, szSqlStrIn, cbSqlStrIn));
  if (szSqlStr != nullptr && cbSqlStrMax < 0)
    return TraceReturnCode(VEL_POST(c, SQL_ERROR, kDiagInvalidLength));
  String text;
  const int rc = TranslateSqlWorker(c, szSqlStrIn, cbSqlStrIn, &text);
  if (rc != SQL_SUCCESS) return TraceReturnCode(rc);
  if (pcbSqlStr) *pcbSqlStr = static_cast<SQLINTEGER>(text.Length());
  if (CopyOutput(text.TextOrEmpty(), text.Length(), reinterpret_cast<char*>(szSqlStr), cbSqlStrMax))
    return TraceReturnCode(SQL_SUCCESS);
  return TraceReturnCode(VEL_POST(c, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated));
}
