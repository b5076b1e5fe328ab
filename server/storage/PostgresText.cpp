// Statement splitting, marker numbering, SQLSTATE mapping and location
// redaction for the PostgreSQL engine.
#include "server/storage/PostgresText.h"
#include "server/Diagnostics.h"

#include <cctype>
#include <cstring>

namespace velsrv {

namespace {

bool IdentifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
         (static_cast<unsigned char>(c) & 0x80);
}

// The end (one past) of the quoted text opening at i, or npos. Backslash
// escapes count in E'...' strings only.
size_t QuotedEnd(const std::string& s, size_t i, bool backslashes) {
  char q = s[i];
  for (size_t j = i + 1; j < s.size(); ++j) {
    if (backslashes && s[j] == '\\') {
      ++j;
    } else if (s[j] == q) {
      if (j + 1 < s.size() && s[j + 1] == q) {
        ++j;  // doubled quote
        continue;
      }
      return j + 1;
    }
  }
  return std::string::npos;
}

// The end of a block comment opening at i (they nest), or npos.
size_t CommentEnd(const std::string& s, size_t i) {
  int depth = 0;
  for (size_t j = i; j + 1 < s.size(); ++j) {
    if (s.compare(j, 2, "/*") == 0) {
      ++depth, ++j;
    } else if (s.compare(j, 2, "*/") == 0) {
      ++j;
      if (--depth == 0) return j + 1;
    }
  }
  return std::string::npos;
}

// "$tag$" at i: its length, or 0 when i does not open a dollar quote.
size_t DollarTag(const std::string& s, size_t i) {
  size_t j = i + 1;
  if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) return 0;  // $1
  while (j < s.size() && IdentifierChar(s[j])) ++j;
  return j < s.size() && s[j] == '$' ? j + 1 - i : 0;
}

struct StateRule {
  const char* prefix;    // PostgreSQL SQLSTATE or its class
  const char* fragment;  // in the message, or null
  const char* odbc;
};

// Tried in order: the first rule whose prefix begins the state (and whose
// fragment, if any, is in the message) gives the ODBC 2.0 SQLSTATE.
const StateRule kStateRules[] = {
    {"42P01", nullptr, kStateTableNotFound},   // undefined table
    {"42703", nullptr, kStateColumnNotFound},  // undefined column
    {"42P07", nullptr, kStateTableExists},     // relation already exists
    {"42701", nullptr, kStateColumnExists},    // duplicate column
    {"42704", "index", kStateIndexNotFound},   // index does not exist
    {"42601", "more expressions than target columns", kStateValueCount},
    {"42601", "more target columns than expressions", kStateValueCount},
    {"42601", "VALUES lists must all be the same length", kStateValueCount},
    {"42804", nullptr, kStateInvalidCharacter},  // datatype mismatch in an assignment
    {"42501", nullptr, kStateAccess},            // insufficient privilege
    {"42P03", nullptr, kStateDuplicateCursor},   // duplicate cursor
    {"42", nullptr, kStateSyntax},               // syntax error or access rule violation
    {"23", nullptr, kStateIntegrity},
    {"22001", nullptr, kStateTruncated},
    {"22003", nullptr, kStateOutOfRange},
    {"22008", nullptr, kStateDatetimeOverflow},
    {"22012", nullptr, kStateDivisionByZero},
    {"22026", nullptr, kStateLengthMismatch},
    {"22", nullptr, kStateInvalidCharacter},
    {"25006", nullptr, kStateAccess},  // read-only transaction: as SQLite's read-only refusal
    {"25", nullptr, kStateTransactionState},
    {"40", nullptr, kStateSerialization},       // serialization failure, deadlock
    {"55P03", nullptr, kStateTimeout},          // lock not available
    {"57014", nullptr, kStateTimeout},          // statement cancelled: time-out or server stopping
    {"57P", nullptr, kStateCommunicationLink},  // the database server is shutting down
    {"08", nullptr, kStateCommunicationLink},
    {"53200", nullptr, kStateMemory},     // out of memory
    {"54000", nullptr, kStateTruncated},  // program limit: value too large
    {"34000", nullptr, kStateCursorName},
    {"0A000", nullptr, kStateNotCapable},     // feature not supported
    {"28", nullptr, kStateCannotConnect},     // the server's own credentials refused
    {"3D000", nullptr, kStateCannotConnect},  // no such database
};

}  // namespace

bool FirstPostgresStatement(const std::string& sql, std::string* statement, std::string* rest,
                            int* markers, std::string* error) {
  statement->clear();
  rest->clear();
  *markers = 0;
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    size_t end = i + 1;
    if (c == '\'' || c == '"') {
      bool escapes = c == '\'' && i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e') &&
                     (i < 2 || !IdentifierChar(sql[i - 2]));
      end = QuotedEnd(sql, i, escapes);
      if (end == std::string::npos) return *error = "unterminated quoted text", false;
    } else if (sql.compare(i, 2, "--") == 0) {
      end = sql.find('\n', i);
      if (end == std::string::npos) end = sql.size();
    } else if (sql.compare(i, 2, "/*") == 0) {
      end = CommentEnd(sql, i);
      if (end == std::string::npos) return *error = "unterminated comment", false;
    } else if (c == '$' && (i == 0 || !IdentifierChar(sql[i - 1])) && DollarTag(sql, i)) {
      size_t tag = DollarTag(sql, i);
      end = sql.find(sql.substr(i, tag), i + tag);
      if (end == std::string::npos) return *error = "unterminated dollar-quoted text", false;
      end += tag;
    } else if (c == '?') {
      *statement += "$" + std::to_string(++*markers);
      ++i;
      continue;
    } else if (c == ';') {
      *rest = sql.substr(i + 1);
      return true;
    }
    statement->append(sql, i, end - i);
    i = end;
  }
  return true;
}

const char* PostgresSqlState(const std::string& state, const std::string& message) {
  for (const StateRule& rule : kStateRules) {
    if (state.compare(0, std::strlen(rule.prefix), rule.prefix) != 0) continue;
    if (rule.fragment && message.find(rule.fragment) == std::string::npos) continue;
    return rule.odbc;
  }
  return kStateGeneral;
}

std::string RedactedLocation(const std::string& location) {
  size_t start = location.find("://");
  if (start == std::string::npos) return location;
  start += 3;
  std::string out = location.substr(0, start);
  size_t authorityEnd = location.find_first_of("/?", start);
  if (authorityEnd == std::string::npos) authorityEnd = location.size();
  size_t at = location.rfind('@', authorityEnd);
  if (at != std::string::npos && at >= start) start = at + 1;
  size_t query = location.find('?', start);
  out += location.substr(start, query == std::string::npos ? std::string::npos : query - start);
  if (query == std::string::npos) return out;
  // Parameters other than the credentials stay.
  char separator = '?';
  size_t p = query + 1;
  while (p <= location.size()) {
    size_t amp = location.find('&', p);
    if (amp == std::string::npos) amp = location.size();
    std::string item = location.substr(p, amp - p);
    std::string key = item.substr(0, item.find('='));
    if (!item.empty() && key != "password" && key != "user" && key != "sslpassword") {
      out += separator + item;
      separator = '&';
    }
    p = amp + 1;
  }
  return out;
}

}  // namespace velsrv
