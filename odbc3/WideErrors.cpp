// Export: SQLErrorW, SQLError with its texts in UTF-16.
#include <cstring>
#include <new>

#include "base/Settings.h"
#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/ErrorRecord.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/Workers.h"
#include "odbc3/WideArgs.h"

namespace {

// The narrow message is taken whole up to the largest buffer a 16-bit size
// can give (its 0 included), then converted.
constexpr SQLSMALLINT kMessageBuffer = 32767;

}  // namespace

// cbErrorMsgMax and *pcbErrorMsg count characters; szSqlState has room
// for six.
VEL_EXPORT SQLRETURN SQLErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLWCHAR* szSqlState,
                               SQLINTEGER* pfNativeError, SQLWCHAR* szErrorMsg,
                               SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
  Settings();  // the detail switch is read at the first SQLError
  Trace('A', 2, "SQLErrorW: henv=0x%08lx, hdbc=0x%08lx, hstmt=0x%08lx, cbErrorMsgMax=%d",
        HandleValue(henv), HandleValue(hdbc), HandleValue(hstmt), cbErrorMsgMax);
  // Taken before the record is: without it the record stays queued.
  SQLCHAR* message = new (std::nothrow) SQLCHAR[kMessageBuffer];
  if (message == nullptr) return TraceReturnCode(SQL_ERROR);
  SQLCHAR state[6] = {};
  SQLSMALLINT bytes = 0;
  int rc = ErrorWorker(henv, hdbc, hstmt, state, pfNativeError, message, kMessageBuffer,
                       cbErrorMsgMax, &bytes);
  if (rc == SQL_INVALID_HANDLE || cbErrorMsgMax < 0) {  // nothing written
    delete[] message;
    return TraceReturnCode(rc);
  }
  if (szSqlState != nullptr) {
    const char* text = reinterpret_cast<char*>(state);
    CopyWideOutput(text, static_cast<uint32_t>(std::strlen(text)), szSqlState, 6, nullptr);
  }
  if (rc != SQL_ERROR) {
    long count = 0;
    if (!CopyWideOutput(reinterpret_cast<char*>(message), static_cast<uint32_t>(bytes), szErrorMsg,
                        cbErrorMsgMax, &count) &&
        rc == SQL_SUCCESS) {
      rc = SQL_SUCCESS_WITH_INFO;
    }
    if (pcbErrorMsg) *pcbErrorMsg = ShortCount(count);
  }
  delete[] message;
  return TraceReturnCode(rc);
}
