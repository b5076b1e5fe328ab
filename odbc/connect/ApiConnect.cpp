// Exports: SQLConnect, SQLDriverConnect, SQLBrowseConnect, SQLDisconnect,
// SQLTransact and the password dialog procedure.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "handles/Connection.h"
#include "handles/Frame.h"
#include "base/Trace.h"
#include "odbc/connect/ConnectString.h"
#include "odbc/connect/PasswordDialog.h"
#include "odbc/Workers.h"

namespace {

const char* Shown(const SQLCHAR* text) {
  return text ? reinterpret_cast<const char*>(text) : "<null>";
}

// A password as traces show it.
const char* Secret(const SQLCHAR* text) { return text ? "****" : "<null>"; }

// A connection string as traces show it, its passwords masked (into
// shown; without memory for it, a remark).
const char* Masked(const SQLCHAR* text, SQLSMALLINT length, String* shown) {
  if (!text) return "<null>";
  const char* in = reinterpret_cast<const char*>(text);
  const uint32_t n = static_cast<uint32_t>(length >= 0 ? length : std::strlen(in));
  return SetMaskedConnectString(in, n, shown) ? shown->TextOrEmpty() : "<no memory to show>";
}

// The precision that traces a text argument with "%.*s": its explicit
// length, so that a text without a NUL is never read past its end, or
// (SQL_NTS, a null text) up to the NUL.
int ShownLength(const SQLCHAR* text, SQLSMALLINT length) {
  return text && length >= 0 ? length : -1;
}

}  // namespace

VEL_EXPORT SQLRETURN SQLConnect(SQLHDBC hdbc, SQLCHAR* szDSN, SQLSMALLINT cbDSN, SQLCHAR* szUID,
                                SQLSMALLINT cbUID, SQLCHAR* szAuthStr, SQLSMALLINT cbAuthStr) {
  Trace('A', 2,
        "SQLConnect: hdbc=0x%08lx\n             szDSN=[%.*s]\n             szUID=[%.*s]\n"
        "             szAuthStr=[%s]",
        HandleValue(hdbc), ShownLength(szDSN, cbDSN), Shown(szDSN), ShownLength(szUID, cbUID),
        Shown(szUID), Secret(szAuthStr));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(ConnectWorker(c, szDSN, cbDSN, szUID, cbUID, szAuthStr, cbAuthStr));
}

VEL_EXPORT SQLRETURN SQLDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* szConnStrIn,
                                      SQLSMALLINT cbConnStrIn, SQLCHAR* szConnStrOut,
                                      SQLSMALLINT cbConnStrOutMax, SQLSMALLINT* pcbConnStrOut,
                                      SQLUSMALLINT fDriverCompletion) {
  if (TraceEnabled('A', 2)) {
    String shown;
    Trace('A', 2,
          "SQLDriverConnect: hdbc=0x%08lx\n             szConnStrIn=[%s]\n"
          "             fDriverCompletion=%u",
          HandleValue(hdbc), Masked(szConnStrIn, cbConnStrIn, &shown), fDriverCompletion);
  }
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(DriverConnectWorker(c, hwnd, szConnStrIn, cbConnStrIn, szConnStrOut,
                                             cbConnStrOutMax, pcbConnStrOut));
}

VEL_EXPORT SQLRETURN SQLBrowseConnect(SQLHDBC hdbc, SQLCHAR* szConnStrIn, SQLSMALLINT cbConnStrIn,
                                      SQLCHAR*, SQLSMALLINT, SQLSMALLINT*) {
  if (TraceEnabled('A', 2)) {
    String shown;
    Trace('A', 2, "SQLBrowseConnect: hdbc=0x%08lx\n             szConnStrIn=[%s]",
          HandleValue(hdbc), Masked(szConnStrIn, cbConnStrIn, &shown));
  }
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(BrowseConnectWorker(c, szConnStrIn, cbConnStrIn));
}

VEL_EXPORT SQLRETURN SQLDisconnect(SQLHDBC hdbc) {
  Trace('A', 2, "SQLDisconnect: hdbc=0x%08lx", HandleValue(hdbc));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(DisconnectWorker(c));
}

VEL_EXPORT SQLRETURN SQLTransact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT fType) {
  Trace('A', 2, "SQLTransact: henv=0x%08lx, hdbc=0x%08lx, fType=%u", HandleValue(henv),
        HandleValue(hdbc), fType);
  if (hdbc == SQL_NULL_HDBC) return TraceReturnCode(TransactEnvironment(henv, fType));
  // With a connection the environment is only traced.
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(TransactConnection(c, fType));
}

VEL_EXPORT INT_PTR CALLBACK PswdDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return PasswordDialogProc(hwnd, message, wParam, lParam);
}
