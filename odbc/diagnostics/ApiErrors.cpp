// Export: SQLError, the newest diagnostic record of the most specific
// handle given, its SQLSTATE in the form the environment declared.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "base/Settings.h"
#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/ErrorRecord.h"
#include "handles/Frame.h"
#include "handles/SqlStates.h"
#include "handles/Statement.h"
#include "odbc/Workers.h"

int ErrorWorker(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* szSqlState,
                SQLINTEGER* pfNativeError, SQLCHAR* message, SQLSMALLINT messageMax,
                SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbMessage) {
  // The most specific handle given is the only one looked at. A handle
  // that is given but not live is refused without touching anything.
  // Each is held only when it is the one looked at (a null handle is never
  // found, and holds nothing).
  const bool byStatement = hstmt != SQL_NULL_HSTMT;
  const bool byConnection = !byStatement && hdbc != SQL_NULL_HDBC;
  StatementHold statementHold(byStatement ? hstmt : nullptr, false);
  ConnectionHold connectionHold(byConnection ? hdbc : nullptr, false);
  EnvironmentHold environmentHold(byStatement || byConnection ? nullptr : henv, false);
  Statement* stmt = statementHold.Get();
  Connection* conn = connectionHold.Get();
  Environment* env = environmentHold.Get();
  if ((byStatement && stmt == nullptr) || (byConnection && conn == nullptr) ||
      (!byStatement && !byConnection && henv != SQL_NULL_HENV && env == nullptr)) {
    return SQL_INVALID_HANDLE;
  }
  // A negative buffer size is the caller's error: nothing is written and no
  // record is consumed.
  if (cbErrorMsgMax < 0) return SQL_ERROR;

  ErrorData* record = nullptr;
  if (stmt != nullptr) {
    record = stmt->TakeLastError();
    conn = stmt->OwningConnection();
  } else if (conn != nullptr) {
    record = conn->TakeLastError();
  } else if (env != nullptr) {
    record = env->TakeLastError();
  }
  if (conn != nullptr) env = conn->environment;
  const int rc =
      ReturnErrorRecord(record, szSqlState, pfNativeError, message, messageMax, pcbMessage);
  // Records are posted in either form; the application reads its own.
  if (record != nullptr && szSqlState != nullptr && env != nullptr) {
    char* state = reinterpret_cast<char*>(szSqlState);
    std::memmove(state, SqlStateFor(state, env->OdbcVersion() >= SQL_OV_ODBC3), 6);
  }
  return rc;
}

VEL_EXPORT SQLRETURN SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* szSqlState,
                              SQLINTEGER* pfNativeError, SQLCHAR* szErrorMsg,
                              SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
  Settings();  // the detail switch is read at the first SQLError
  Trace('A', 2, "SQLError: henv=0x%08lx, hdbc=0x%08lx, hstmt=0x%08lx, cbErrorMsgMax=%d",
        HandleValue(henv), HandleValue(hdbc), HandleValue(hstmt), cbErrorMsgMax);

  return TraceReturnCode(ErrorWorker(henv, hdbc, hstmt, szSqlState, pfNativeError, szErrorMsg,
                                     cbErrorMsgMax, cbErrorMsgMax, pcbErrorMsg));
}
