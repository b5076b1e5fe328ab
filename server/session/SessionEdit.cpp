// Session: cursors that write back (protocol/EDIT.md). A query that reads
// one table with a key is compiled with that key's columns after the
// result columns (hidden from the description); each row read keeps its
// key and its values, and the edit-row request writes a row by its key
// through the session's storage, its rights and its transaction.
#include <cctype>

#include "protocol/Extensions.h"
#include "server/Diagnostics.h"
#include "server/TextCase.h"
#include "server/session/Session.h"
#include "server/session/SessionStatement.h"
#include "server/values/ValueCodec.h"

namespace velsrv {

namespace {

struct Token {
  size_t begin = 0, end = 0;
  std::string text;   // as written
  std::string upper;  // a word in capitals; empty for anything else
};

// The tokens of sql (words, quoted names, strings, numbers and single
// marks); comments and blanks are skipped. False on an unterminated
// quote.
bool Tokens(const std::string& sql, std::vector<Token>* out) {
  size_t i = 0;
  while (i < sql.size()) {
    const unsigned char c = static_cast<unsigned char>(sql[i]);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (sql.compare(i, 2, "--") == 0) {
      i = sql.find('\n', i);
      if (i == std::string::npos) break;
      continue;
    }
    if (sql.compare(i, 2, "/*") == 0) {
      i = sql.find("*/", i + 2);
      if (i == std::string::npos) return false;
      i += 2;
      continue;
    }
    Token t;
    t.begin = i;
    if (c == '"' || c == '\'' || c == '`' || c == '[') {
      const char close = c == '[' ? ']' : static_cast<char>(c);
      for (++i;; ++i) {
        if (i >= sql.size()) return false;
        if (sql[i] == close) {
          if (i + 1 < sql.size() && sql[i + 1] == close && close != ']') {
            ++i;
            continue;
          }
          ++i;
          break;
        }
      }
    } else if (std::isalnum(c) || c == '_') {
      while (i < sql.size() &&
             (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_' || sql[i] == '$'))
        ++i;
    } else {
      ++i;
    }
    t.end = i;
    t.text = sql.substr(t.begin, t.end - t.begin);
    if (std::isalpha(c) || c == '_') t.upper = Upper(t.text);
    out->push_back(std::move(t));
  }
  return true;
}

bool IsName(const Token& t) {
  return !t.upper.empty() || (!t.text.empty() && (t.text[0] == '"' || t.text[0] == '`'));
}

// A name as the catalogue keeps it: quotes taken off; an unquoted name as
// the dialect folds it.
std::string CatalogName(const Token& t, SqlDialect dialect) {
  if (t.text[0] == '"' || t.text[0] == '`') {
    std::string name;
    for (size_t i = 1; i + 1 < t.text.size(); ++i) {
      name += t.text[i];
      if (t.text[i] == t.text[0]) ++i;
    }
    return name;
  }
  if (dialect != SqlDialect::kPostgres) return t.text;
  std::string lower = t.text;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return lower;
}

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char ch : name) {
    out += ch;
    if (ch == '"') out += '"';
  }
  return out + "\"";
}

bool SameValue(const Value& a, const Value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Value::Kind::kNull:
      return true;
    case Value::Kind::kInteger:
      return a.integer == b.integer;
    case Value::Kind::kReal:
      return a.real == b.real;
    default:
      return a.bytes == b.bytes;
  }
}

std::string KeyCondition(const EditPlan& plan) {
  std::string where;
  for (size_t k = 0; k < plan.keys.size(); ++k)
    where += (k ? " AND " : " WHERE ") + plan.keys[k] + " = ?";
  return where;
}

std::string KeyList(const EditPlan& plan) {
  std::string list;
  for (const std::string& k : plan.keys) list += (list.empty() ? "" : ", ") + k;
  return list;
}

}  // namespace

// The query must be SELECT <columns or *> FROM <table> [alias] followed
// by nothing or WHERE / ORDER BY / LIMIT / OFFSET; every result column a
// column of the table. The key is the table's primary key, else SQLite's
// rowid or PostgreSQL's ctid (the values compared before each write are
// the check that the row found by its ctid is still the one read).
void Session::PlanEdit(Statement* s, std::string* text) {
  EditPlan& plan = s->edit;
  plan = EditPlan();
  plan.why = "the query does not read a single table";
  std::vector<Token> t;
  if (!Tokens(*text, &t) || t.empty() || t[0].upper != "SELECT") return;
  size_t from = 0;
  int depth = 0;
  for (size_t i = 1; i < t.size(); ++i) {
    if (t[i].text == "(") ++depth;
    if (t[i].text == ")") --depth;
    if (depth != 0) continue;
    static const char* const kRefused[] = {"JOIN",   "UNION",    "INTERSECT", "EXCEPT", "GROUP",
                                           "HAVING", "DISTINCT", "WINDOW",    "FOR",    "INTO"};
    for (const char* word : kRefused)
      if (t[i].upper == word) return;
    if (t[i].upper == "FROM" && from == 0) from = i;
  }
  if (from < 2 || from + 1 >= t.size() || !IsName(t[from + 1])) return;
  size_t after = from + 2;
  if (after < t.size() && t[after].upper == "AS") ++after;
  if (after < t.size() && IsName(t[after]) && t[after].upper != "WHERE" &&
      t[after].upper != "ORDER" && t[after].upper != "LIMIT" && t[after].upper != "OFFSET")
    ++after;
  if (after < t.size() && t[after].upper != "WHERE" && t[after].upper != "ORDER" &&
      t[after].upper != "LIMIT" && t[after].upper != "OFFSET")
    return;
  const SqlDialect dialect = storage_->Dialect();
  const std::string table = CatalogName(t[from + 1], dialect);
  std::vector<TableEntry> tables;
  bool isTable = false;
  if (storage_->Tables(&tables).ok)
    for (const TableEntry& e : tables) isTable |= e.name == table && e.type == "TABLE";
  plan.why = "\"" + table + "\" is not a table";
  if (!isTable) return;
  std::vector<TableColumnEntry> columns;
  if (!storage_->TableColumns(table, &columns).ok || columns.empty()) return;
  // The result columns: the table's (*), or names of its columns.
  plan.why = "a result column is not a column of \"" + table + "\"";
  for (size_t i = 1; i < from;) {
    size_t end = i;
    while (end < from && t[end].text != ",") ++end;
    const size_t n = end - i;
    if (n == 1 && t[i].text == "*") {
      for (const TableColumnEntry& c : columns) plan.columns.push_back(Quoted(c.name));
    } else if ((n == 1 && IsName(t[i])) ||
               (n == 3 && IsName(t[i]) && t[i + 1].text == "." && IsName(t[i + 2]))) {
      const Token& name = t[end - 1];
      bool known = false;
      for (const TableColumnEntry& c : columns)
        known |= Upper(c.name) == Upper(CatalogName(name, dialect));
      if (!known) return;
      plan.columns.push_back(name.text);
    } else {
      plan.columns.clear();
      return;
    }
    i = end + 1;
  }
  PrimaryKeyEntry key;
  if (storage_->PrimaryKey(table, &key).ok && !key.columns.empty()) {
    for (const std::string& c : key.columns) plan.keys.push_back(Quoted(c));
  } else if (dialect == SqlDialect::kPostgres) {
    plan.keys.push_back("ctid");
  } else if (storage_->HasRowId(table)) {
    plan.keys.push_back("rowid");
  } else {
    plan.why = "\"" + table + "\" has no key";
    plan.columns.clear();
    return;
  }
  plan.table = t[from + 1].text;
  // SQL_CONCUR_LOCK (kept on PostgreSQL only): the rows read are locked
  // until the transaction ends. In autocommit mode that is the query's own
  // transaction, so the lock lasts while the storage runs the query, as
  // ODBC allows; with autocommit off, until the commit or rollback.
  if (s->options.concurrency == 2) {
    const bool semicolon = t.back().text == ";";
    text->insert(semicolon ? t.back().begin : text->size(), " FOR UPDATE");
  }
  std::string hidden;
  for (const std::string& k : plan.keys) hidden += ", " + k;
  text->insert(t[from].begin, hidden.substr(2) + " ");
  text->insert(t[from].begin, ", ");
  plan.on = true;
  plan.why.clear();
}

void Session::KeepEditRow(Statement* s) {
  EditPlan& plan = s->edit;
  if (!plan.on || s->isStatic || s->rowNumber != plan.rowKeys.size() + 1) return;
  const int visible = static_cast<int>(plan.columns.size());
  std::vector<Value> key, values;
  for (int i = 0; i < visible; ++i) values.push_back(s->storage->ColumnValue(i));
  for (size_t k = 0; k < plan.keys.size(); ++k)
    key.push_back(s->storage->ColumnValue(visible + static_cast<int>(k)));
  plan.rowKeys.push_back(std::move(key));
  plan.rowValues.push_back(std::move(values));
}

int Session::PlanPositioned(Statement* s, std::string* text) {
  s->positionedOn.clear();
  s->positionedKeys = 0;
  // Most texts are not positioned: only one naming CURRENT is read further.
  if (Upper(*text).find("CURRENT") == std::string::npos) return kSqlSuccess;
  std::vector<Token> t;
  if (!Tokens(*text, &t)) return kSqlSuccess;
  size_t n = t.size();
  if (n > 0 && t[n - 1].text == ";") --n;
  if (n < 6 || t[n - 4].upper != "WHERE" || t[n - 3].upper != "CURRENT" || t[n - 2].upper != "OF" ||
      !IsName(t[n - 1]) || (t[0].upper != "UPDATE" && t[0].upper != "DELETE"))
    return kSqlSuccess;
  const std::string name = CatalogName(t[n - 1], SqlDialect::kSqlite);
  Statement* cursor = nullptr;
  for (auto& entry : statements_)
    if (entry.second.get() != s && Upper(entry.second->cursorName) == Upper(name))
      cursor = entry.second.get();
  if (cursor == nullptr)
    return Fail(s->id, kStateCursorName, 0, "invalid cursor name \"" + name + "\"");
  if (!cursor->edit.on || cursor->position == Position::kNone)
    return Fail(
        s->id, kStateCursorState, 0,
        "invalid cursor state: cursor \"" + name + "\" is not open over rows it can write back");
  // The statement's table must be the cursor's.
  const size_t table = t[0].upper == "DELETE" ? 2 : 1;
  const SqlDialect dialect = storage_->Dialect();
  std::vector<Token> own;
  if (!Tokens(cursor->edit.table, &own) || own.empty() || table >= n ||
      CatalogName(own[0], dialect) != CatalogName(t[table], dialect))
    return Fail(
        s->id, kStateSyntax, 0,
        "syntax error: the positioned statement's table is not that of cursor \"" + name + "\"");
  *text = text->substr(0, t[n - 4].begin) + KeyCondition(cursor->edit).substr(1);
  s->positionedOn = name;
  s->positionedKeys = static_cast<int>(cursor->edit.keys.size());
  return kSqlSuccess;
}

int Session::BindPositioned(Statement* s, int first) {
  if (s->positionedOn.empty()) return kSqlSuccess;
  Statement* cursor = nullptr;
  for (auto& entry : statements_)
    if (entry.second.get() != s && Upper(entry.second->cursorName) == Upper(s->positionedOn))
      cursor = entry.second.get();
  const EditPlan* plan = cursor ? &cursor->edit : nullptr;
  if (plan == nullptr || !plan->on || cursor->position == Position::kNone ||
      static_cast<int>(plan->keys.size()) != s->positionedKeys)
    return Fail(s->id, kStateCursorState, 0,
                "invalid cursor state: cursor \"" + s->positionedOn + "\" is not open");
  if (cursor->options.concurrency == 1)
    return Fail(s->id, kStateCursorState, 0,
                "invalid cursor state: cursor \"" + s->positionedOn + "\" is read-only");
  const size_t row = plan->current != 0 ? plan->current : plan->rowKeys.size();
  if (row == 0 || (cursor->position == Position::kAfter && plan->current == 0))
    return Fail(s->id, kStateCursorState, 0,
                "invalid cursor state: cursor \"" + s->positionedOn + "\" stands on no row");
  for (int k = 0; k < s->positionedKeys; ++k) {
    Status st = s->storage->Bind(first + k + 1, plan->rowKeys[row - 1][k]);
    if (!st.ok) return FailStatus(s->id, st, __LINE__);
  }
  return kSqlSuccess;
}

Status Session::RunOnce(const std::string& sql, const std::vector<Value>& values,
                        std::vector<Value>* row, bool* found, int64_t* changed) {
  std::unique_ptr<StorageStatement> statement;
  std::string rest;
  Status st = storage_->Prepare(sql, &statement, &rest);
  if (!st.ok) return st;
  for (size_t i = 0; i < values.size() && st.ok; ++i)
    st = statement->Bind(static_cast<int>(i + 1), values[i]);
  if (!st.ok) return st;
  StepResult r = statement->Step(&st);
  if (found) *found = r == StepResult::kRow;
  if (row && r == StepResult::kRow) {
    row->clear();
    for (int i = 0; i < statement->ColumnCount(); ++i) row->push_back(statement->ColumnValue(i));
  }
  while (r == StepResult::kRow) r = statement->Step(&st);
  if (r == StepResult::kError) return st;
  if (changed) *changed = statement->ChangedRows();
  statement->Reset();
  return Status();
}

int Session::EditRow(uint32_t id, int operation, uint32_t rowNumber, uint32_t concurrency,
                     const std::vector<ParamIn>& values, int64_t* changed,
                     std::vector<CellOut>* row) {
  *changed = 0;
  row->clear();
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  EditPlan& plan = s->edit;
  if (operation == kEditCheck)
    return plan.on || s->position == Position::kNone
               ? kSqlSuccess
               : Info(id, kStateOptionChanged,
                      "option value changed: the cursor is read-only: " + plan.why);
  if (!plan.on || s->position == Position::kNone)
    return Fail(id, kStateCursorState, 0,
                "invalid cursor state: the cursor cannot write back" +
                    (plan.why.empty() ? std::string() : ": " + plan.why));
  if (operation == kEditPosition) {
    if (rowNumber < 1 || rowNumber > plan.rowKeys.size())
      return Fail(id, kStateRowOutOfRange, 0, "row " + std::to_string(rowNumber) + " was not read");
    plan.current = rowNumber;
    return kSqlSuccess;
  }
  // A read-only cursor that keeps its keys reads rows again, nothing more.
  if (s->options.concurrency == 1 && operation != kEditRefresh)
    return Fail(id, kStateCursorState, 0, "invalid cursor state: the cursor is read-only");
  if (operation < kEditUpdate || operation > kEditRefresh)
    return Fail(id, kStateInvalidArgument, 0,
                "invalid edit operation " + std::to_string(operation));
  const bool byRow = operation != kEditAdd;
  if (byRow && (rowNumber < 1 || rowNumber > plan.rowKeys.size()))
    return Fail(id, kStateRowOutOfRange, 0, "row " + std::to_string(rowNumber) + " was not read");
  // The values by column; a column without a value is left as it is.
  std::vector<Value> given(plan.columns.size());
  std::vector<char> set(plan.columns.size(), 0);
  for (const ParamIn& p : values) {
    if (p.number < 1 || p.number > plan.columns.size() || set[p.number - 1])
      return Fail(id, kStateColumnNumber, 0, "invalid column number " + std::to_string(p.number));
    set[p.number - 1] = 1;
    if (p.isNull) continue;
    Status st = DecodeParameter(p.sqlType, reinterpret_cast<const uint8_t*>(p.data.data()),
                                static_cast<uint32_t>(p.data.size()), &given[p.number - 1]);
    if (!st.ok) {
      st.message = "column " + std::to_string(p.number) + ": " + st.message;
      return FailStatus(id, st, __LINE__);
    }
  }
  int rc = BeginIfNeeded(s);
  if (rc != kSqlSuccess) return rc;
  std::string list;
  for (const std::string& c : plan.columns) list += (list.empty() ? "" : ", ") + c;
  const std::string reread = "SELECT " + list + " FROM " + plan.table + KeyCondition(plan);
  std::vector<Value> now;
  bool found = false;
  Status st;
  if (byRow) {
    st = RunOnce(reread, plan.rowKeys[rowNumber - 1], &now, &found, nullptr);
    if (!st.ok) return FailStatus(id, st, __LINE__);
    bool same = found;
    for (size_t i = 0; same && i < now.size(); ++i)
      same = SameValue(now[i], plan.rowValues[rowNumber - 1][i]);
    // ODBC's SQL_CONCUR_ROWVER (3) and SQL_CONCUR_VALUES (4) compare.
    const bool optimistic = concurrency == 3 || concurrency == 4;
    if (!found || (optimistic && !same && operation != kEditRefresh))
      return Info(id, kStateOperationConflict,
                  std::string("cursor operation conflict: row ") + std::to_string(rowNumber) +
                      (found ? " was changed" : " was deleted") +
                      " by another connection since it was read; it was not " +
                      (operation == kEditUpdate   ? "updated"
                       : operation == kEditDelete ? "deleted"
                                                  : "refreshed"));
  }
  std::string sql;
  std::vector<Value> bound;
  if (operation == kEditUpdate || operation == kEditAdd) {
    std::string names, marks;
    for (size_t i = 0; i < set.size(); ++i) {
      if (!set[i]) continue;
      if (operation == kEditUpdate) {
        names += (names.empty() ? "" : ", ") + plan.columns[i] + " = ?";
      } else {
        names += (names.empty() ? "" : ", ") + plan.columns[i];
        marks += marks.empty() ? "?" : ", ?";
      }
      bound.push_back(given[i]);
    }
    if (operation == kEditAdd)
      sql = "INSERT INTO " + plan.table +
            (names.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")");
    else if (!names.empty())
      sql = "UPDATE " + plan.table + " SET " + names + KeyCondition(plan) + " RETURNING " +
            KeyList(plan);
  } else if (operation == kEditDelete) {
    sql = "DELETE FROM " + plan.table + KeyCondition(plan);
  }
  if (byRow)
    for (const Value& k : plan.rowKeys[rowNumber - 1]) bound.push_back(k);
  if (!sql.empty()) {
    // An update gives the row's key as written: a PostgreSQL row's ctid
    // changes with every update (and so does a key whose column was set),
    // and the next write through the cursor finds the row by it.
    std::vector<Value> key;
    bool updated = false;
    st = RunOnce(sql, bound, &key, &updated, changed);
    if (!st.ok) return FailStatus(id, st, __LINE__);
    if (updated && key.size() == plan.keys.size()) plan.rowKeys[rowNumber - 1] = std::move(key);
    CountStatement(StatementKind::kUpdate);
  }
  if (operation == kEditUpdate || operation == kEditRefresh) {
    // The row as it is now is the version the next write compares.
    st = RunOnce(reread, plan.rowKeys[rowNumber - 1], &now, &found, nullptr);
    if (!st.ok) return FailStatus(id, st, __LINE__);
    if (found) plan.rowValues[rowNumber - 1] = now;
  }
  if (operation == kEditRefresh && found) {
    for (size_t i = 0; i < now.size(); ++i) {
      CellOut cell;
      cell.column = static_cast<uint16_t>(i + 1);
      cell.isNull = now[i].IsNull();
      if (!cell.isNull) {
        st = EncodeRowValue(now[i], s->description[i].type, s->options.maxLength, &cell.data);
        if (!st.ok) return FailStatus(id, st, __LINE__);
      }
      row->push_back(std::move(cell));
    }
  }
  return kSqlSuccess;
}

}  // namespace velsrv
