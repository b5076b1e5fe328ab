// Escape clause rewriting: a small scanner that copies quoted text and
// comments unchanged and rewrites each {...} clause, innermost included.
// What counts as quoted follows the storage's SQL: '...' ('' inside) and
// "..." everywhere; [...] and `...` on SQLite; E'...' (with backslash
// escapes), $tag$...$tag$ and nested /* */ comments on PostgreSQL.
#include "server/session/Escapes.h"

#include <cctype>
#include <vector>

#include "server/TextCase.h"

namespace velsrv {

namespace {

class Scanner {
 public:
  Scanner(const std::string& sql, SqlDialect dialect)
      : sql_(sql), postgres_(dialect == SqlDialect::kPostgres) {}

  // Translates up to the end of the text (depth 0) or the closing brace
  // of the current clause.
  bool Text(std::string* out, bool inClause) {
    while (i_ < sql_.size()) {
      char c = sql_[i_];
      if (c == '\'' || c == '"' || (!postgres_ && (c == '`' || c == '['))) {
        if (!Quoted(out, postgres_ && c == '\'' && EscapeString()))
          return Fail("unterminated quoted text");
      } else if (postgres_ && c == '$' && DollarQuoted(out)) {
        continue;
      } else if (sql_.compare(i_, 2, "--") == 0) {
        size_t end = sql_.find('\n', i_);
        end = end == std::string::npos ? sql_.size() : end;
        out->append(sql_, i_, end - i_);
        i_ = end;
      } else if (sql_.compare(i_, 2, "/*") == 0) {
        if (!Comment(out)) return Fail("unterminated comment");
      } else if (c == '{') {
        ++i_;
        if (++depth_ > 32) return Fail("escape clauses nested too deeply");
        bool ok = Clause(out);
        --depth_;
        if (!ok) return false;
      } else if (c == '}') {
        if (!inClause) return Fail("\"}\" without an escape clause");
        ++i_;
        return true;
      } else {
        out->push_back(c);
        ++i_;
      }
    }
    return inClause ? Fail("unterminated escape clause") : true;
  }

  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& text) {
    if (error_.empty()) error_ = text;
    return false;
  }

  // True for a letter, digit, underscore or byte of a UTF-8 sequence:
  // the characters of an unquoted name on both storages.
  static bool NameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80) != 0;
  }

  // The quote at i_ opens E'...' (PostgreSQL): an E alone before it.
  bool EscapeString() const {
    return i_ > 0 && (sql_[i_ - 1] == 'E' || sql_[i_ - 1] == 'e') &&
           (i_ == 1 || (!NameChar(sql_[i_ - 2]) && sql_[i_ - 2] != '$'));
  }

  // $tag$...$tag$ at i_ (PostgreSQL), the tag empty or a name not starting
  // with a digit, the $ not inside a name (a$b is a name, $1 a parameter):
  // copied whole. False, nothing copied, when there is none.
  bool DollarQuoted(std::string* out) {
    if (i_ > 0 && (NameChar(sql_[i_ - 1]) || sql_[i_ - 1] == '$')) return false;
    size_t j = i_ + 1;
    if (j < sql_.size() && std::isdigit(static_cast<unsigned char>(sql_[j]))) return false;
    while (j < sql_.size() && NameChar(sql_[j])) ++j;
    if (j >= sql_.size() || sql_[j] != '$') return false;
    const std::string tag = sql_.substr(i_, j + 1 - i_);
    const size_t end = sql_.find(tag, j + 1);
    if (end == std::string::npos) return false;
    out->append(sql_, i_, end + tag.size() - i_);
    i_ = end + tag.size();
    return true;
  }

  // /* ... */ at i_, nested on PostgreSQL: copied whole.
  bool Comment(std::string* out) {
    size_t j = i_ + 2;
    for (int level = 1; level > 0; ++j) {
      if (j + 1 >= sql_.size()) return false;
      if (sql_.compare(j, 2, "*/") == 0) {
        --level;
        ++j;
      } else if (postgres_ && sql_.compare(j, 2, "/*") == 0) {
        ++level;
        ++j;
      }
    }
    out->append(sql_, i_, j - i_);
    i_ = j;
    return true;
  }

  // Quoted text at i_, the quote doubled inside it; with backslashes, a
  // backslash takes the character after it as it is.
  bool Quoted(std::string* out, bool backslashes) {
    char open = sql_[i_], close = open == '[' ? ']' : open;
    size_t j = i_ + 1;
    for (;;) {
      if (j >= sql_.size()) return false;
      if (backslashes && sql_[j] == '\\') {
        j += 2;
        continue;
      }
      if (sql_[j] == close) {
        if (close != ']' && j + 1 < sql_.size() && sql_[j + 1] == close) {
          j += 2;  // doubled quote
          continue;
        }
        break;
      }
      ++j;
    }
    out->append(sql_, i_, j + 1 - i_);
    i_ = j + 1;
    return true;
  }

  bool Clause(std::string* out) {
    while (i_ < sql_.size() && std::isspace(static_cast<unsigned char>(sql_[i_]))) ++i_;
    size_t start = i_;
    while (i_ < sql_.size() && (std::isalpha(static_cast<unsigned char>(sql_[i_])) ||
                                sql_[i_] == '?' || sql_[i_] == '='))
      ++i_;
    std::string keyword = Upper(sql_.substr(start, i_ - start));
    std::string inner;
    if (!Text(&inner, true)) return false;
    inner = Trim(inner);
    if (keyword == "D" || keyword == "T" || keyword == "TS") {
      if (inner.size() < 2 || inner.front() != '\'' || inner.back() != '\'')
        return Fail("{" + Upper(keyword) + "} needs a quoted literal");
      // PostgreSQL needs the literal's type: a bare literal has none.
      if (postgres_)
        out->append(keyword == "D" ? "DATE " : keyword == "T" ? "TIME " : "TIMESTAMP ");
      out->append(inner);
    } else if (keyword == "OJ") {
      out->append(inner);
    } else if (keyword == "ESCAPE") {
      out->append(" ESCAPE " + inner);
    } else if (keyword == "FN") {
      return Function(inner, out);
    } else if (keyword == "CALL" || keyword == "?=CALL") {
      return Fail("procedures are not supported");
    } else {
      return Fail("unknown escape clause {" + keyword + "}");
    }
    return true;
  }

  // Splits "NAME(a, b)" at top-level commas.
  static bool Call(const std::string& text, std::string* name, std::vector<std::string>* args) {
    size_t open = text.find('(');
    if (open == std::string::npos || text.back() != ')') return false;
    *name = Upper(Trim(text.substr(0, open)));
    std::string body = text.substr(open + 1, text.size() - open - 2);
    int level = 0;
    char quote = 0;
    std::string current;
    for (char c : body) {
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '(') {
        ++level;
      } else if (c == ')') {
        --level;
      } else if (c == ',' && level == 0) {
        args->push_back(Trim(current));
        current.clear();
        continue;
      }
      current += c;
    }
    if (!Trim(current).empty() || !args->empty()) args->push_back(Trim(current));
    return true;
  }

  bool Function(const std::string& text, std::string* out) {
    std::string name;
    std::vector<std::string> a;
    if (!Call(text, &name, &a)) {
      out->append(text);
      return true;
    }
    auto need = [&](size_t n) {
      return a.size() == n || Fail("{fn " + name + "} takes " + std::to_string(n) + " arguments");
    };
    if (name == "CONVERT") {
      if (!need(2)) return false;
      std::string type = Upper(a[1]);
      if (postgres_) return PostgresCast(a[0], type, out);
      if (type == "SQL_DATE") return out->append("date(" + a[0] + ")"), true;
      if (type == "SQL_TIME") return out->append("time(" + a[0] + ")"), true;
      if (type == "SQL_TIMESTAMP") return out->append("datetime(" + a[0] + ")"), true;
      const char* cast = nullptr;
      if (type == "SQL_CHAR" || type == "SQL_VARCHAR" || type == "SQL_LONGVARCHAR")
        cast = "TEXT";
      else if (type == "SQL_INTEGER" || type == "SQL_SMALLINT" || type == "SQL_TINYINT" ||
               type == "SQL_BIGINT" || type == "SQL_BIT")
        cast = "INTEGER";
      else if (type == "SQL_NUMERIC" || type == "SQL_DECIMAL")
        cast = "NUMERIC";
      else if (type == "SQL_FLOAT" || type == "SQL_DOUBLE" || type == "SQL_REAL")
        cast = "REAL";
      else if (type == "SQL_BINARY" || type == "SQL_VARBINARY" || type == "SQL_LONGVARBINARY")
        cast = "BLOB";
      if (!cast) return Fail("{fn CONVERT} to unknown type " + a[1]);
      out->append("CAST(" + a[0] + " AS " + cast + ")");
    } else if (name == "MONTH" || name == "YEAR" || name == "DAYOFMONTH" || name == "HOUR" ||
               name == "MINUTE" || name == "SECOND") {
      if (!need(1)) return false;
      if (postgres_) {
        // SECOND has a fraction in PostgreSQL; the function's is whole.
        out->append("CAST(floor(EXTRACT(" + (name == "DAYOFMONTH" ? std::string("DAY") : name) +
                    " FROM " + a[0] + ")) AS INTEGER)");
        return true;
      }
      const char* f = name == "MONTH"        ? "%m"
                      : name == "YEAR"       ? "%Y"
                      : name == "DAYOFMONTH" ? "%d"
                      : name == "HOUR"       ? "%H"
                      : name == "MINUTE"     ? "%M"
                                             : "%S";
      out->append(std::string("CAST(strftime('") + f + "', " + a[0] + ") AS INTEGER)");
    } else if (name == "UCASE" || name == "LCASE") {
      if (!need(1)) return false;
      out->append((name == "UCASE" ? "upper(" : "lower(") + a[0] + ")");
    } else if (name == "CONCAT") {
      if (!need(2)) return false;
      out->append("(" + a[0] + " || " + a[1] + ")");
    } else if (name == "NOW" || name == "CURDATE" || name == "CURTIME") {
      out->append(name == "NOW"       ? "CURRENT_TIMESTAMP"
                  : name == "CURDATE" ? "CURRENT_DATE"
                                      : "CURRENT_TIME");
    } else {
      out->append(text);  // the same name in SQLite (LENGTH, ABS, ...)
    }
    return true;
  }

  bool PostgresCast(const std::string& value, const std::string& type, std::string* out) {
    static const char* const kCasts[][2] = {
        {"SQL_DATE", "DATE"},           {"SQL_TIME", "TIME"},
        {"SQL_TIMESTAMP", "TIMESTAMP"}, {"SQL_CHAR", "TEXT"},
        {"SQL_VARCHAR", "TEXT"},        {"SQL_LONGVARCHAR", "TEXT"},
        {"SQL_INTEGER", "INTEGER"},     {"SQL_SMALLINT", "SMALLINT"},
        {"SQL_TINYINT", "SMALLINT"},    {"SQL_BIGINT", "BIGINT"},
        {"SQL_BIT", "BOOLEAN"},         {"SQL_NUMERIC", "NUMERIC"},
        {"SQL_DECIMAL", "NUMERIC"},     {"SQL_FLOAT", "FLOAT8"},
        {"SQL_DOUBLE", "FLOAT8"},       {"SQL_REAL", "REAL"},
        {"SQL_BINARY", "BYTEA"},        {"SQL_VARBINARY", "BYTEA"},
        {"SQL_LONGVARBINARY", "BYTEA"},
    };
    for (const auto& cast : kCasts)
      if (type == cast[0]) return out->append("CAST(" + value + " AS " + cast[1] + ")"), true;
    return Fail("{fn CONVERT} to unknown type " + type);
  }

  const std::string& sql_;
  bool postgres_;
  size_t i_ = 0;
  int depth_ = 0;
  std::string error_;
};

}  // namespace

bool TranslateEscapes(const std::string& sql, SqlDialect dialect, std::string* out,
                      std::string* error) {
  if (sql.find('{') == std::string::npos) {
    *out = sql;
    return true;
  }
  Scanner scanner(sql, dialect);
  out->clear();
  if (scanner.Text(out, false)) return true;
  *error = scanner.error();
  return false;
}

}  // namespace velsrv
