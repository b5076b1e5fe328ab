// SQLite result codes and messages mapped onto ODBC 2.0 SQLSTATEs.
#include "server/storage/SqliteErrors.h"
#include "server/Diagnostics.h"

#include <sqlite3.h>

#include <cstring>

namespace velsrv {

namespace {

struct MessageState {
  const char* fragment;
  const char* sqlstate;
};

// Generic SQLITE_ERROR messages, tried in order.
const MessageState kMessageStates[] = {
    {"no such table", kStateTableNotFound},
    {"no such view", kStateTableNotFound},
    {"no such column", kStateColumnNotFound},
    {"has no column named", kStateColumnNotFound},  // INSERT naming an unknown column
    {"values were supplied", kStateValueCount},     // "table t has 2 columns but 3 values ..."
    {"values for", kStateValueCount},               // "1 values for 2 columns"
    {"ambiguous column name", kStateSyntax},
    {"no such index", kStateIndexNotFound},
    {"duplicate column name", kStateColumnExists},
    {"index", kStateIndexExists},  // "index X already exists"; only with "already exists"
    {"already exists", kStateTableExists},
    {"syntax error", kStateSyntax},
    {"incomplete input", kStateSyntax},
    {"unrecognized token", kStateSyntax},
    {"no transaction is active", kStateTransactionState},
    {"within a transaction", kStateTransactionState},
    {"wrong number of arguments", kStateSyntax},
    {"no such function", kStateSyntax},
    {"misuse of aggregate", kStateSyntax},
};

const char* ForGenericError(const std::string& message) {
  for (const MessageState& entry : kMessageStates) {
    if (message.find(entry.fragment) == std::string::npos) continue;
    if (std::strcmp(entry.fragment, "index") == 0 &&
        (message.compare(0, 6, "index ") != 0 ||
         message.find("already exists") == std::string::npos))
      continue;
    return entry.sqlstate;
  }
  return kStateGeneral;
}

}  // namespace

const char* SqliteSqlState(int extendedCode, const std::string& message) {
  // A transaction whose snapshot another writer has overtaken can never
  // write: waiting does not help, rolling back and retrying does.
  if (extendedCode == SQLITE_BUSY_SNAPSHOT) return kStateSerialization;
  switch (extendedCode & 0xFF) {
    case SQLITE_ERROR:
      return ForGenericError(message);
    case SQLITE_CONSTRAINT:
      return kStateIntegrity;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kStateTimeout;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kStateAccess;
    case SQLITE_MISMATCH:
      return kStateInvalidCharacter;
    case SQLITE_TOOBIG:
      return kStateTruncated;
    case SQLITE_RANGE:
      return kStateParameterNumber;
    case SQLITE_NOMEM:
      return kStateMemory;
    case SQLITE_CANTOPEN:
      return kStateCannotConnect;
    case SQLITE_INTERRUPT:
      return kStateCancelled;
    default:
      return kStateGeneral;
  }
}

Status SqliteStatus(int extendedCode, const std::string& message) {
  return Status::Error(SqliteSqlState(extendedCode, message), extendedCode & 0xFFFF, message);
}

}  // namespace velsrv
