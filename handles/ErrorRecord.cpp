// Hands one diagnostic record to the application as SQLError does, with
// the prefixes that say who produced it.
#include "handles/ErrorRecord.h"

#include <cstdio>
#include <cstring>

#include "base/Settings.h"
#include "base/String.h"
#include "base/Trace.h"

// Every piece goes through Concatenate, which drops a piece's trailing blank.
bool BuildErrorMessage(const ErrorData& record, String* message) {
  if (!message->SetString("[QTX]")) return false;
  const char* prefix =
      record.source == kSourceClient ? "[Velora ODBC Client] " : "[Velora ODBC Server] ";
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

SQLRETURN ReturnErrorRecord(ErrorData* record, SQLCHAR* szSqlState, SQLINTEGER* pfNativeError,
                            SQLCHAR* szErrorMsg, SQLSMALLINT cbErrorMsgMax,
                            SQLSMALLINT* pcbErrorMsg) {
  if (record == nullptr) {
    if (szSqlState != nullptr) std::memcpy(szSqlState, "00000", 6);
    if (pfNativeError != nullptr) *pfNativeError = 0;
    if (pcbErrorMsg != nullptr) *pcbErrorMsg = 0;
    if (szErrorMsg != nullptr && cbErrorMsgMax > 0) szErrorMsg[0] = '\0';
    return SQL_NO_DATA_FOUND;
  }
  // A server SQLSTATE longer than five characters is cut to five.
  char state[6] = {};
  std::strncpy(state, record->sqlstate.TextOrEmpty(), 5);
  if (szSqlState != nullptr) std::memcpy(szSqlState, state, sizeof state);
  if (pfNativeError != nullptr) *pfNativeError = record->native;

  String message;
  const bool built = BuildErrorMessage(*record, &message);
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
