// Session: preparing and executing statements, their parameters and
// cursor names.
#include <cctype>
#include <map>

#include "protocol/Extensions.h"
#include "server/Diagnostics.h"
#include "server/session/Escapes.h"
#include "server/storage/SqliteFunctions.h"
#include "server/session/MarkerColumns.h"
#include "server/session/Session.h"
#include "server/session/SessionStatement.h"
#include "server/TextCase.h"
#include "server/values/ValueCodec.h"

namespace velsrv {

namespace {

// The position of the first character of sql from i on that is neither a
// blank nor inside a comment ("--" to the end of the line, "/* */", which
// may stay open at the end of the text); semicolons count as blanks when
// semicolons is set. sql.size() when there is none.
size_t SkipBlanks(const std::string& sql, size_t i, bool semicolons) {
  while (i < sql.size()) {
    if (std::isspace(static_cast<unsigned char>(sql[i])) || (semicolons && sql[i] == ';')) {
      ++i;
    } else if (sql.compare(i, 2, "--") == 0) {
      i = sql.find('\n', i);
      if (i == std::string::npos) return sql.size();
    } else if (sql.compare(i, 2, "/*") == 0) {
      i = sql.find("*/", i + 2);
      if (i == std::string::npos) return sql.size();
      i += 2;
    } else {
      break;
    }
  }
  return i;
}

// True for statements whose row count is the rows they changed.
bool ChangesRows(const std::string& sql) {
  size_t i = SkipBlanks(sql, 0, false);
  std::string word;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
  return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "REPLACE" ||
         word == "WITH";
}

// True when the text after a statement holds no further statement.
bool OnlyBlanks(const std::string& text) { return SkipBlanks(text, 0, true) == text.size(); }
}  // namespace

int Session::BeginIfNeeded(Statement* s) {
  if (autocommit_ || storage_->InTransaction()) return kSqlSuccess;
  Status st = storage_->Begin();
  return st.ok ? kSqlSuccess : FailStatus(s->id, st, __LINE__);
}

int Session::BindParameters(Statement* s, const std::vector<ParamIn>& params) {
  int markers = s->storage->ParameterCount() - s->positionedKeys;
  if (static_cast<int>(params.size()) != markers)
    return Fail(s->id, kStateParameterCount, 0,
                "wrong number of parameters: the statement has " + std::to_string(markers) + ", " +
                    std::to_string(params.size()) + " were sent");
  seen_.assign(markers + 1, 0);
  for (const ParamIn& p : params) {
    if (p.number < 1 || p.number > markers || seen_[p.number])
      return Fail(s->id, kStateParameterNumber, 0,
                  "invalid parameter number " + std::to_string(p.number));
    seen_[p.number] = 1;
    Value v;
    if (!p.isNull) {
      Status st = DecodeParameter(p.sqlType, reinterpret_cast<const uint8_t*>(p.data.data()),
                                  static_cast<uint32_t>(p.data.size()), &v);
      if (!st.ok) {
        st.message = "parameter " + std::to_string(p.number) + ": " + st.message;
        return FailStatus(s->id, st, __LINE__);
      }
    }
    Status st = s->storage->Bind(p.number, v);
    if (!st.ok) return FailStatus(s->id, st, __LINE__);
  }
  return BindPositioned(s, markers);
}

// Runs the statement, the first of a text of several: the statements of
// the execution before that were not reached run first.
int Session::Run(Statement* s, const std::vector<ParamIn>& params) {
  if (s->parts.empty()) return RunOne(s, params);
  Drain(s);
  Rewind(s);
  size_t markers = 0;
  for (const Statement::Part& part : s->parts) markers += static_cast<size_t>(part.markers);
  if (params.size() != markers)
    return Fail(s->id, kStateParameterCount, 0,
                "wrong number of parameters: the statements have " + std::to_string(markers) +
                    ", " + std::to_string(params.size()) + " were sent");
  s->values = params;
  return RunPart(s, 0);
}

int Session::RunPart(Statement* s, size_t k) {
  s->next = k + 1;
  int rc = kSqlSuccess;
  if (k != s->part) {
    CloseCursor(s);
    if (s->part == 0) s->head = std::move(s->storage);
    s->storage.reset();
    s->part = k;
    s->rowCount = -1;
    std::string rest;
    Status st = storage_->Prepare(s->parts[k].text, &s->storage, &rest);
    if (!st.ok) rc = FailStatus(s->id, st, __LINE__);
    s->dmlText = s->parts[k].dml;
  }
  if (rc == kSqlSuccess) {
    int first = 0;
    for (size_t i = 0; i < k; ++i) first += s->parts[i].markers;
    std::vector<ParamIn> share;
    for (const ParamIn& p : s->values) {
      if (p.number <= first || p.number > first + s->parts[k].markers) continue;
      share.push_back(p);
      share.back().number = static_cast<uint16_t>(p.number - first);
    }
    rc = RunOne(s, share);
  }
  // No statement runs after a failing one.
  if (rc == kSqlError) {
    s->next = s->parts.size();
    Rewind(s);
  }
  return rc;
}

int Session::Drain(Statement* s, int64_t* rows) {
  int rc = kSqlSuccess;
  while (rc == kSqlSuccess && s->next < s->parts.size()) {
    rc = RunPart(s, s->next);
    if (rows && rc == kSqlSuccess && s->dmlText)
      *rows = s->rowCount < 0 || *rows < 0 ? -1 : *rows + s->rowCount;
    CloseCursor(s);
  }
  return rc;
}

void Session::DrainAll() {
  for (auto& entry : statements_) Drain(entry.second.get());
}

void Session::Rewind(Statement* s) {
  if (s->part == 0) return;
  CloseCursor(s);
  s->storage = std::move(s->head);
  s->part = 0;
  s->dmlText = s->parts[0].dml;
}

int Session::MoreResults(uint32_t id, bool* more, std::vector<ColumnOut>* columns) {
  *more = false;
  columns->clear();
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  CloseCursor(s);
  if (s->next < s->parts.size()) {
    const int rc = RunPart(s, s->next);
    if (rc != kSqlSuccess) return rc;
    *more = true;
    Describe(s, true, columns);
    return kSqlSuccess;
  }
  Rewind(s);
  if (s->prepared && s->storage) Describe(s, false, columns);
  return kSqlSuccess;
}

// Binds, executes up to the first row and opens the cursor.
int Session::RunOne(Statement* s, const std::vector<ParamIn>& params) {
  // Nothing runs once the request is stopped (a cancel that overtook it,
  // its timeout past): a statement too short for the engine to notice the
  // stop would otherwise run to its end.
  if (limit_->Stopped() != RunLimit::kGoOn)
    return FailStatus(s->id, Status::Error(kStateCancelled, 0, "interrupted"), __LINE__);
  CloseCursor(s);
  s->rowCount = -1;
  int rc = BindParameters(s, params);
  if (rc != kSqlSuccess) return rc;
  rc = BeginIfNeeded(s);
  if (rc != kSqlSuccess) return rc;
  Status st;
  StepResult r = s->storage->Step(&st);
  if (r == StepResult::kError) return FailStatus(s->id, st, __LINE__);
  if (s->storage->ColumnCount() > 0) {
    s->position = r == StepResult::kRow ? Position::kBefore : Position::kAfter;
    s->pendingRow = r == StepResult::kRow;
  } else {
    // Run a statement without result columns to its end.
    while (r == StepResult::kRow) r = s->storage->Step(&st);
    if (r == StepResult::kError) return FailStatus(s->id, st, __LINE__);
    if (s->dmlText) s->rowCount = s->storage->ChangedRows();
    s->storage->Reset();
  }
  CountStatement(s->storage->ColumnCount() > 0 ? StatementKind::kQuery
                 : s->dmlText                  ? StatementKind::kUpdate
                                               : StatementKind::kDdl);
  if (s->rowCount > 0) CountRows(0, static_cast<uint64_t>(s->rowCount));
  return kSqlSuccess;
}

void Session::Describe(Statement* s, bool fromFirstRow, std::vector<ColumnOut>* columns) {
  s->description.clear();
  // The key columns of a cursor that writes back stay hidden.
  int n = s->storage->ColumnCount() - (s->edit.on ? static_cast<int>(s->edit.keys.size()) : 0);
  for (int i = 0; i < n; ++i) {
    ColumnMeta meta = s->storage->Column(i);
    ColumnOut c;
    c.name = meta.name;
    c.table = meta.table;
    c.nullability = meta.nullability;
    if (!TypeFromDeclared(meta.declaredType, &c.type)) {
      // No declared type: a direct execution looks at the first row's
      // value; a prepared statement has no row yet and says VARCHAR,
      // which carries any value.
      if (fromFirstRow && s->pendingRow)
        c.type = TypeFromValue(s->storage->ColumnValue(i));
      else
        c.type = TypeForCode(kSqlVarChar, 255);
    }
    s->description.push_back(c);
  }
  *columns = s->description;
}

// Replaces the statement's SQL with sql, closing a cursor read to its end
// (the callers refuse one with rows left); escape clauses are rewritten
// unless no-scan is on; a text of several statements compiles its first
// one, the others when they are reached (one may create what the next one
// uses), and the statements of the text before that were not reached run
// first.
int Session::Compile(Statement* s, const std::string& sql) {
  Drain(s);
  CloseCursor(s);
  s->prepared = false;
  s->storage.reset();
  s->head.reset();
  s->parts.clear();
  s->part = s->next = 0;
  s->description.clear();
  s->rowCount = -1;
  s->edit = EditPlan();
  std::string rest, text = sql, error;
  if (s->options.noscan == 0 && !TranslateEscapes(sql, Escapes(), &text, &error))
    return Fail(s->id, kStateSyntax, 0, "syntax error in escape clause: " + error);
  std::vector<std::string> statements;
  std::vector<int> markers;
  storage_->SplitStatements(text, &statements, &markers);
  if (statements.size() > 1) {
    for (size_t i = 0; i < statements.size(); ++i)
      s->parts.push_back({statements[i], markers[i], ChangesRows(statements[i])});
    text = statements[0];
    s->next = s->parts.size();
  }
  s->positionedOn.clear();
  s->positionedKeys = 0;
  if (s->parts.empty()) {
    const int positioned = PlanPositioned(s, &text);
    if (positioned != kSqlSuccess) return positioned;
  }
  const std::string plain = text;
  if (s->options.editable && s->parts.empty()) PlanEdit(s, &text);
  Status st = storage_->Prepare(text, &s->storage, &rest);
  const size_t hidden = s->edit.on ? s->edit.keys.size() : 0;
  if (s->edit.on &&
      (!st.ok || s->storage->ColumnCount() != static_cast<int>(s->edit.columns.size() + hidden))) {
    // The text with the key did not compile as planned: read-only.
    s->edit = EditPlan();
    s->edit.why = "the query's key cannot be read";
    s->storage.reset();
    st = storage_->Prepare(plain, &s->storage, &rest);
  }
  if (!st.ok) return FailStatus(s->id, st, __LINE__);
  if (!OnlyBlanks(rest)) {
    s->storage.reset();
    return Fail(s->id, kStateSyntax, 0, "only one SQL statement per request");
  }
  s->dmlText = ChangesRows(sql);
  if (!s->parts.empty()) s->parts[0].markers = s->storage->ParameterCount();
  s->sql = sql;
  s->side = storage_.get();
  return kSqlSuccess;
}

EscapeContext Session::Escapes() {
  EscapeContext context;
  context.dialect = storage_->Dialect();
  context.user = user_;
  StorageSession* storage = storage_.get();
  context.isProcedure = [storage](const std::string& name) { return storage->IsProcedure(name); };
  return context;
}

int Session::NativeSql(const std::string& sql, std::string* out) {
  if (!storage_) return NotLoggedIn(0);
  std::string error;
  if (!TranslateEscapes(sql, Escapes(), out, &error))
    return Fail(0, kStateSyntax, 0, "syntax error in escape clause: " + error);
  return kSqlSuccess;
}

std::vector<std::pair<uint16_t, uint32_t>> Session::InfoAnswers() const {
  const SqlDialect dialect = storage_ ? storage_->Dialect() : SqlDialect::kSqlite;
  std::vector<std::pair<uint16_t, uint32_t>> answers =
      EscapeInfoAnswers(dialect, SqliteLibraryVersion());
  // SQL_SCROLL_CONCURRENCY: read-only, optimistic, and locking where the
  // storage locks rows (SetStatementOption).
  answers.emplace_back(43, 0x1 | 0x4 | 0x8 | (dialect == SqlDialect::kPostgres ? 0x2 : 0));
  return answers;
}

int Session::FollowSession(Statement* s) {
  if (!s->prepared || !s->storage || s->side == storage_.get()) return kSqlSuccess;
  const std::string sql = s->sql;
  int rc = Compile(s, sql);
  if (rc != kSqlSuccess) return rc;
  s->prepared = true;
  std::vector<ColumnOut> columns;
  Describe(s, false, &columns);
  return kSqlSuccess;
}

int Session::Prepare(uint32_t id, const std::string& sql, std::vector<ColumnOut>* columns) {
  columns->clear();
  Statement* s = ReadyWithoutCursor(id);
  if (!s) return kSqlError;
  int rc = Compile(s, sql);
  if (rc != kSqlSuccess) return rc;
  s->prepared = true;
  Describe(s, false, columns);
  return kSqlSuccess;
}

// A marker's type is that of the column the text puts it against (SQLite
// says no more), else the engine's (PostgreSQL types every marker when it
// prepares, without a length: the column's type wins where both are the
// same type), else unknown: LONGVARCHAR. A character or binary marker
// without a declared length, and every long one, has the size
// kUnsizedMarker (protocol/Extensions.h).
int Session::DescribeParams(uint32_t id, std::vector<ColumnOut>* params) {
  params->clear();
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  if (!s->storage)
    return Fail(id, kStateSequence, 0, "function sequence error: no prepared statement");
  int rc = FollowSession(s);
  if (rc != kSqlSuccess) return rc;
  // Of a text of several statements, the engine knows the first one's.
  StorageStatement* first = s->part == 0 ? s->storage.get() : s->head.get();
  const int known = first ? first->ParameterCount() - s->positionedKeys : 0;
  int n = known;
  if (!s->parts.empty()) {
    n = 0;
    for (const Statement::Part& part : s->parts) n += part.markers;
  }
  std::vector<MarkerColumn> marked = MarkerColumns(s->sql);
  if (static_cast<int>(marked.size()) != n) marked.assign(n, MarkerColumn());
  std::map<std::string, std::vector<TableColumnEntry>> tables;
  for (int i = 0; i < n; ++i) {
    ColumnOut p;
    p.nullability = 2;
    const std::string engine = i < known ? first->ParameterType(i + 1) : "";
    std::string declared;
    const MarkerColumn& m = marked[i];
    for (size_t t = 0; declared.empty() && t < m.tables.size(); ++t) {
      auto found = tables.find(m.tables[t]);
      if (found == tables.end()) {
        std::vector<TableColumnEntry> columns;
        if (!storage_->TableColumns(m.tables[t], &columns).ok) columns.clear();
        found = tables.emplace(m.tables[t], std::move(columns)).first;
      }
      const std::vector<TableColumnEntry>& columns = found->second;
      for (size_t c = 0; c < columns.size(); ++c) {
        if (m.position >= 0 ? static_cast<int>(c) != m.position
                            : Upper(columns[c].name) != Upper(m.column))
          continue;
        declared = columns[c].declaredType;
        p.name = columns[c].name;
        p.table = m.tables[t];
        p.nullability = columns[c].notNull ? 0 : 1;
        break;
      }
    }
    SqlTypeDesc byColumn, byEngine;
    const bool fromColumn = TypeFromDeclared(declared, &byColumn);
    const bool fromEngine = TypeFromDeclared(engine, &byEngine);
    if (fromEngine && (!fromColumn || byColumn.sqlType != byEngine.sqlType)) {
      declared = engine;
      p.type = byEngine;
      p.nullability = 2;
    } else if (fromColumn) {
      p.type = byColumn;
    } else {
      declared.clear();
      p.type = TypeForCode(kSqlLongVarChar);
    }
    const SqlTypeInfo* info = FindSqlTypeInfo(p.type.sqlType);
    if (info && (info->sizing == SqlSizing::kLong ||
                 ((info->sizing == SqlSizing::kVarying || info->sizing == SqlSizing::kPadded) &&
                  declared.find('(') == std::string::npos)))
      p.type.precision = p.type.length = kUnsizedMarker;
    params->push_back(p);
  }
  return kSqlSuccess;
}

int Session::ExecDirect(uint32_t id, const std::string& sql, const std::vector<ParamIn>& params,
                        std::vector<ColumnOut>* columns) {
  columns->clear();
  Statement* s = ReadyWithoutCursor(id);
  if (!s) return kSqlError;
  int rc = Compile(s, sql);
  if (rc != kSqlSuccess) return rc;
  rc = Run(s, params);
  if (rc != kSqlSuccess) {
    s->storage.reset();
    return rc;
  }
  Describe(s, true, columns);
  return kSqlSuccess;
}

int Session::Execute(uint32_t id, const std::vector<ParamIn>& params) {
  Statement* s = ReadyWithoutCursor(id);
  if (!s) return kSqlError;
  if (!s->prepared || !s->storage)
    return Fail(id, kStateSequence, 0, "function sequence error: no prepared statement");
  const int rc = FollowSession(s);
  return rc == kSqlSuccess ? Run(s, params) : rc;
}

int Session::GetCursorName(uint32_t id, std::string* name) {
  name->clear();
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  *name = s->cursorName;
  return kSqlSuccess;
}

int Session::SetCursorName(uint32_t id, const std::string& name) {
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  if (s->position != Position::kNone)
    return Fail(id, kStateCursorState, 0, "invalid cursor state: a cursor is open");
  bool valid =
      !name.empty() && name.size() <= 18 && (std::isalpha(static_cast<unsigned char>(name[0])));
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') valid = false;
  std::string upper = Upper(name);
  if (upper.compare(0, 7, "SQL_CUR") == 0 || upper.compare(0, 6, "SQLCUR") == 0) valid = false;
  if (!valid) return Fail(id, kStateCursorName, 0, "invalid cursor name \"" + name + "\"");
  for (auto& entry : statements_) {
    if (entry.first == id) continue;
    if (Upper(entry.second->cursorName) == upper)
      return Fail(id, kStateDuplicateCursor, 0, "duplicate cursor name \"" + name + "\"");
  }
  s->cursorName = name;
  return kSqlSuccess;
}

}  // namespace velsrv
