// The columns behind parameter markers, read from the statement's text.
#include "server/session/MarkerColumns.h"

#include <cctype>

#include "server/TextCase.h"

namespace velsrv {

namespace {

enum class Kind { kName, kQuotedName, kWord, kMarker, kOther };

struct Token {
  Kind kind;
  std::string text;  // names without their quotes; other words upper case
};

bool NameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80);
}
bool NamePart(char c) {
  return NameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$';
}

std::vector<Token> Tokens(const std::string& sql) {
  std::vector<Token> out;
  size_t i = 0;
  const size_t n = sql.size();
  while (i < n) {
    const char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (sql.compare(i, 2, "--") == 0) {
      i = sql.find('\n', i);
      if (i == std::string::npos) i = n;
    } else if (sql.compare(i, 2, "/*") == 0) {
      i = sql.find("*/", i + 2);
      i = i == std::string::npos ? n : i + 2;
    } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
      const char close = c == '[' ? ']' : c;
      std::string text;
      for (++i; i < n; ++i) {
        if (sql[i] == close) {
          if (close != ']' && i + 1 < n && sql[i + 1] == close) {
            text += close;
            ++i;
            continue;
          }
          break;
        }
        text += sql[i];
      }
      ++i;
      out.push_back({c == '\'' ? Kind::kOther : Kind::kQuotedName, text});
    } else if (NameStart(c)) {
      size_t j = i;
      while (j < n && NamePart(sql[j])) ++j;
      out.push_back({Kind::kName, sql.substr(i, j - i)});
      i = j;
    } else if (c == '?') {
      // ?NNN numbers a marker of its own: not one of the plain markers.
      size_t j = i + 1;
      while (j < n && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
      out.push_back({j == i + 1 ? Kind::kMarker : Kind::kOther, sql.substr(i, j - i)});
      i = j;
    } else {
      static const char* const kPairs[] = {"<=", ">=", "<>", "!=", "=="};
      size_t length = 1;
      for (const char* pair : kPairs)
        if (sql.compare(i, 2, pair) == 0) length = 2;
      out.push_back({Kind::kWord, sql.substr(i, length)});
      i += length;
    }
  }
  // Unquoted names that are key words are words.
  for (Token& t : out) {
    if (t.kind != Kind::kName) continue;
    const std::string upper = Upper(t.text);
    static const char* const kWords[] = {
        "INSERT", "REPLACE", "INTO", "VALUES", "FROM",   "JOIN",   "UPDATE", "SET", "WHERE",
        "AND",    "OR",      "NOT",  "LIKE",   "SELECT", "DELETE", "ON",     "AS",  "DEFAULT"};
    for (const char* w : kWords)
      if (upper == w) t = {Kind::kWord, upper};
  }
  return out;
}

bool IsName(const Token& t) { return t.kind == Kind::kName || t.kind == Kind::kQuotedName; }
bool Is(const std::vector<Token>& t, size_t i, const char* word) {
  return i < t.size() && t[i].kind == Kind::kWord && t[i].text == word;
}

bool Comparison(const Token& t) {
  static const char* const kOps[] = {"=", "==", "<>", "!=", "<", ">", "<=", ">=", "LIKE"};
  if (t.kind != Kind::kWord) return false;
  for (const char* op : kOps)
    if (t.text == op) return true;
  return false;
}

}  // namespace

std::vector<MarkerColumn> MarkerColumns(const std::string& sql) {
  const std::vector<Token> t = Tokens(sql);
  std::vector<MarkerColumn> out;
  std::vector<std::string> tables;
  std::vector<size_t> markers;  // token positions
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind == Kind::kMarker) markers.push_back(i);
    // A name after these words is a table (its schema left off).
    if ((Is(t, i, "FROM") || Is(t, i, "JOIN") || Is(t, i, "UPDATE") || Is(t, i, "INTO")) &&
        i + 1 < t.size() && IsName(t[i + 1])) {
      size_t j = i + 1;
      while (j + 2 < t.size() && Is(t, j + 1, ".") && IsName(t[j + 2])) j += 2;
      tables.push_back(t[j].text);
    }
  }
  out.resize(markers.size());
  for (size_t m = 0; m < markers.size(); ++m) {
    const size_t p = markers[m];
    // name op ?, or ? op name not followed by more of an expression.
    if (p >= 2 && Comparison(t[p - 1]) && IsName(t[p - 2]))
      out[m].column = t[p - 2].text;
    else if (p + 2 < t.size() && Comparison(t[p + 1]) && IsName(t[p + 2]) &&
             !(p + 3 < t.size() && (Is(t, p + 3, ".") || Is(t, p + 3, "("))))
      out[m].column = t[p + 2].text;
    out[m].tables = tables;
  }
  // INSERT [OR ...] INTO table [(columns)] VALUES (values)[, (values)...]
  size_t i = 0;
  if (!(Is(t, 0, "INSERT") || Is(t, 0, "REPLACE"))) return out;
  while (i < t.size() && !Is(t, i, "INTO")) ++i;
  if (++i >= t.size() || !IsName(t[i])) return out;
  while (i + 2 < t.size() && Is(t, i + 1, ".") && IsName(t[i + 2])) i += 2;
  const std::string table = t[i++].text;
  std::vector<std::string> columns;  // empty: the table's own order, by position
  if (Is(t, i, "(")) {
    for (++i; i < t.size() && !Is(t, i, ")"); ++i)
      if (IsName(t[i])) columns.push_back(t[i].text);
    ++i;
  }
  if (!Is(t, i, "VALUES")) return out;
  ++i;
  while (Is(t, i, "(")) {
    size_t position = 0;
    int depth = 0;
    for (++i; i < t.size(); ++i) {
      if (Is(t, i, "(")) ++depth;
      if (Is(t, i, ")") && depth-- == 0) break;
      if (depth == 0 && Is(t, i, ",")) {
        ++position;
      } else if (depth == 0 && t[i].kind == Kind::kMarker &&
                 (Is(t, i - 1, "(") || Is(t, i - 1, ",")) &&
                 (Is(t, i + 1, ")") || Is(t, i + 1, ","))) {
        for (size_t m = 0; m < markers.size(); ++m) {
          if (markers[m] != i) continue;
          out[m].tables = {table};
          out[m].column = position < columns.size() ? columns[position] : "";
          out[m].position = columns.empty() ? static_cast<int>(position) : -1;
        }
      }
    }
    if (!Is(t, i + 1, ",")) break;
    i += 2;  // past the list's ")" and the "," to the next list's "("
  }
  return out;
}

}  // namespace velsrv
