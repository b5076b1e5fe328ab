// SQLite result codes and messages mapped onto ODBC 2.0 SQLSTATEs.
#include "server/storage/SqliteErrors.h"

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
    {"no such table", "S0002"},
    {"no such view", "S0002"},
    {"no such column", "S0022"},
    {"has no column named", "S0022"},   // INSERT naming an unknown column
    {"values were supplied", "21S01"},  // "table t has 2 columns but 3 values ..."
    {"values for", "21S01"},            // "1 values for 2 columns"
    {"ambiguous column name", "37000"},
    {"no such index", "S0012"},
    {"duplicate column name", "S0021"},
    {"index", "S0011"},  // "index X already exists"; only with "already exists"
    {"already exists", "S0001"},
    {"syntax error", "37000"},
    {"incomplete input", "37000"},
    {"unrecognized token", "37000"},
    {"no transaction is active", "25000"},
    {"within a transaction", "25000"},
    {"wrong number of arguments", "37000"},
    {"no such function", "37000"},
    {"misuse of aggregate", "37000"},
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
  return "S1000";
}

}  // namespace

const char* SqliteSqlState(int extendedCode, const std::string& message) {
  // A transaction whose snapshot another writer has overtaken can never
  // write: waiting does not help, rolling back and retrying does.
  if (extendedCode == SQLITE_BUSY_SNAPSHOT) return "40001";
  switch (extendedCode & 0xFF) {
    case SQLITE_ERROR:
      return ForGenericError(message);
    case SQLITE_CONSTRAINT:
      return "23000";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "S1T00";
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return "42000";
    case SQLITE_MISMATCH:
      return "22005";
    case SQLITE_TOOBIG:
      return "22001";
    case SQLITE_RANGE:
      return "S1093";
    case SQLITE_NOMEM:
      return "S1001";
    case SQLITE_CANTOPEN:
      return "08001";
    case SQLITE_INTERRUPT:
      return "S1008";
    default:
      return "S1000";
  }
}

Status SqliteStatus(int extendedCode, const std::string& message) {
  return Status::Error(SqliteSqlState(extendedCode, message), extendedCode & 0xFFFF, message);
}

}  // namespace velsrv
