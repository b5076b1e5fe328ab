// Statement splitting, marker numbering, SQLSTATE mapping and location
// redaction for the PostgreSQL engine.
#include "server/storage/PostgresText.h"
#include "server/Diagnostics.h"

#include <cctype>
#include <cstdlib>
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

namespace {

size_t SkipSpace(const std::string& s, size_t i) {
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  return i;
}

// The keyword word (upper case) at i followed by no identifier character:
// the position after it, or npos.
size_t Keyword(const std::string& s, size_t i, const char* word) {
  const size_t n = std::strlen(word);
  if (i + n > s.size()) return std::string::npos;
  for (size_t k = 0; k < n; ++k)
    if (std::toupper(static_cast<unsigned char>(s[i + k])) != word[k]) return std::string::npos;
  return i + n < s.size() && IdentifierChar(s[i + n]) ? std::string::npos : i + n;
}

// The end of the parenthesised text opening at i (quotes inside skipped),
// or npos; false in *plain when it holds a dollar sign not opening a
// marker.
size_t ParenEnd(const std::string& s, size_t i, bool* plain) {
  int depth = 0;
  for (size_t j = i; j < s.size(); ++j) {
    const char c = s[j];
    if (c == '\'' || c == '"') {
      const bool escapes = c == '\'' && j > 0 && (s[j - 1] == 'E' || s[j - 1] == 'e');
      const size_t end = QuotedEnd(s, j, escapes);
      if (end == std::string::npos) return end;
      j = end - 1;
    } else if (c == '$' &&
               (j + 1 >= s.size() || !std::isdigit(static_cast<unsigned char>(s[j + 1])))) {
      *plain = false;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return j + 1;
    }
  }
  return std::string::npos;
}

}  // namespace

bool SplitInsertValues(const std::string& statement, std::string* table, std::string* head,
                       std::string* row) {
  const std::string& s = statement;
  if (s.find("--") != std::string::npos || s.find("/*") != std::string::npos) return false;
  size_t i = Keyword(s, SkipSpace(s, 0), "INSERT");
  if (i != std::string::npos) i = Keyword(s, SkipSpace(s, i), "INTO");
  if (i == std::string::npos) return false;
  i = SkipSpace(s, i);
  const size_t name = i;
  for (;;) {  // a name, qualified or quoted
    const size_t start = i;
    if (i < s.size() && s[i] == '"') {
      i = QuotedEnd(s, i, false);
      if (i == std::string::npos) return false;
    } else {
      while (i < s.size() && IdentifierChar(s[i])) ++i;
    }
    if (i == start) return false;
    if (i >= s.size() || s[i] != '.') break;
    ++i;
  }
  *table = s.substr(name, i - name);
  bool plain = true;
  i = SkipSpace(s, i);
  if (i < s.size() && s[i] == '(') {  // the columns
    i = ParenEnd(s, i, &plain);
    if (i == std::string::npos) return false;
    i = SkipSpace(s, i);
  }
  i = Keyword(s, i, "VALUES");
  if (i == std::string::npos) return false;
  i = SkipSpace(s, i);
  if (i >= s.size() || s[i] != '(') return false;
  const size_t start = i;
  const size_t end = ParenEnd(s, i, &plain);
  if (!plain || end == std::string::npos || SkipSpace(s, end) != s.size() || s.find('$') < start)
    return false;
  *head = s.substr(0, start);
  *row = s.substr(start, end - start);
  return true;
}

std::string ShiftMarkers(const std::string& row, int offset) {
  std::string out;
  for (size_t i = 0; i < row.size();) {
    const char c = row[i];
    size_t end = i + 1;
    if (c == '\'' || c == '"') {
      end = QuotedEnd(row, i, c == '\'' && i > 0 && (row[i - 1] == 'E' || row[i - 1] == 'e'));
      if (end == std::string::npos) end = row.size();
    } else if (c == '$') {
      while (end < row.size() && std::isdigit(static_cast<unsigned char>(row[end]))) ++end;
      if (end > i + 1) {
        out += "$" + std::to_string(std::atoi(row.c_str() + i + 1) + offset);
        i = end;
        continue;
      }
    }
    out.append(row, i, end - i);
    i = end;
  }
  return out;
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
