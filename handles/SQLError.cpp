// SQLError: hands the diagnostic records of a handle to the application,
// newest first, each with the prefixes that say who produced it.

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "handles/Frame.h"
#include "base/Trace.h"
#include "base/Settings.h"

namespace {

// Builds "[QTX][Velora ODBC Client] text" (or "...Server] text"), with
// " (file, line)" when the detail switch is on. Every piece goes through
// Concatenate, which drops a piece's trailing blank. False when memory runs
// out.
bool BuildMessage(const ErrorData& record, String* message) {
  if (!message->SetString("[QTX]")) return false;
  const char* prefix =
      record.source == VEL_SOURCE_CLIENT ? "[Velora ODBC Client] " : "[Velora ODBC Server] ";
  if (!message->Concatenate(prefix) || !message->Concatenate(record.text)) return false;
  if (Settings().debug != 0) {
    char line[16];
    std::snprintf(line, sizeof line, "%d)", static_cast<int>(record.line));
    if (!message->Concatenate(" (") || !message->Concatenate(record.file) ||
        !message->Concatenate(", ") || !message->Concatenate(line)) {
      return false;
    }
  }
  return true;
}

SQLRETURN ReturnRecord(ErrorData* record, SQLCHAR* szSqlState, SQLINTEGER* pfNativeError,
                       SQLCHAR* szErrorMsg, SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
  // A server SQLSTATE longer than five characters is cut to five.
  char state[6] = {};
  std::strncpy(state, record->sqlstate.TextOrEmpty(), 5);
  if (szSqlState != nullptr) std::memcpy(szSqlState, state, sizeof state);
  if (pfNativeError != nullptr) *pfNativeError = record->native;

  String message;
  const bool built = BuildMessage(*record, &message);
  delete record;
  if (!built) return SQL_ERROR;  // the record is lost with the memory

  uint32_t length = message.Length();
  // The length is reported in 16 bits; a longer message reports the most
  // those can hold rather than a negative count.
  if (pcbErrorMsg != nullptr) {
    *pcbErrorMsg = static_cast<SQLSMALLINT>(length > 32767 ? 32767 : length);
  }
  Trace('A', 1, " ErrorMsg=\"%s\"", message.TextOrEmpty());
  if (length < static_cast<uint32_t>(cbErrorMsgMax)) {
    if (szErrorMsg != nullptr) std::memcpy(szErrorMsg, message.TextOrEmpty(), length + 1);
    return SQL_SUCCESS;
  }
  if (szErrorMsg != nullptr && cbErrorMsgMax != 0) {
    std::memcpy(szErrorMsg, message.TextOrEmpty(), static_cast<size_t>(cbErrorMsgMax - 1));
    szErrorMsg[cbErrorMsgMax - 1] = '\0';
  }
  return SQL_SUCCESS_WITH_INFO;
}

}  // namespace

VEL_EXPORT SQLRETURN SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* szSqlState,
                              SQLINTEGER* pfNativeError, SQLCHAR* szErrorMsg,
                              SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
  Settings();  // the detail switch is read at the first SQLError
  Trace('A', 2, "SQLError: henv=0x%08lx, hdbc=0x%08lx, hstmt=0x%08lx, cbErrorMsgMax=%d",
        HandleValue(henv), HandleValue(hdbc), HandleValue(hstmt), cbErrorMsgMax);

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
    return TraceReturnCode(SQL_INVALID_HANDLE);
  }
  // A negative buffer size is the caller's error: nothing is written and no
  // record is consumed.
  if (cbErrorMsgMax < 0) return TraceReturnCode(SQL_ERROR);

  ErrorData* record = nullptr;
  if (stmt != nullptr) {
    record = stmt->TakeLastError();
  } else if (conn != nullptr) {
    record = conn->TakeLastError();
  } else if (env != nullptr) {
    record = env->TakeLastError();
  }
  if (record == nullptr) {
    if (szSqlState != nullptr) std::memcpy(szSqlState, "00000", 6);
    if (pfNativeError != nullptr) *pfNativeError = 0;
    if (pcbErrorMsg != nullptr) *pcbErrorMsg = 0;
    if (szErrorMsg != nullptr && cbErrorMsgMax > 0) szErrorMsg[0] = '\0';
    return TraceReturnCode(SQL_NO_DATA_FOUND);
  }
  return TraceReturnCode(
      ReturnRecord(record, szSqlState, pfNativeError, szErrorMsg, cbErrorMsgMax, pcbErrorMsg));
}
