// Session: statements and cursors over the storage interface.
#include "server/Session.h"

#include <cctype>

#include "server/Escapes.h"
#include "server/SessionStatement.h"
#include "server/Log.h"
#include "server/Users.h"
#include "server/ValueCodec.h"
#include "server/storage/PostgresText.h"

namespace velsrv {

namespace {
constexpr char kVersion[] = "Velora ODBC Server 0.1.0";
constexpr char kFile[] = "Session.cpp";

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

Session::Session(const Options& options, StorageEngine* engine, std::string peer)
    : options_(options), engine_(engine), peer_(std::move(peer)) {}

Session::~Session() {
  statements_.clear();  // statements finalise before the database closes
  storage_.reset();
}

// ---- diagnostics ----

int Session::Fail(uint32_t subject, const char* sqlstate, int native, const std::string& text,
                  int rc, int line) {
  Diagnostic d;
  d.sqlstate = sqlstate;
  d.native = native & 0xFFFF;
  d.text = text;
  d.file = kFile;
  d.line = line;
  if (subject == 0 || statements_.count(subject)) {
    diagnostics_[subject] = d;
  } else {
    strayId_ = subject;
    strayDiagnostic_ = d;
    hasStray_ = true;
  }
  // Errors are logged by default; warnings and the end of data only with -v.
  Log(rc == kSqlError ? 0 : 1, "%s: %s %s", peer_.c_str(), sqlstate, text.c_str());
  return rc;
}

int Session::FailStatus(uint32_t subject, const Status& status, int line) {
  return Fail(subject, status.sqlstate.c_str(), status.native, status.message, kSqlError, line);
}

int Session::Info(uint32_t subject, const char* sqlstate, const std::string& text) {
  return Fail(subject, sqlstate, 0, text, kSqlSuccessWithInfo, __LINE__);
}

int Session::NotLoggedIn(uint32_t subject) {
  return Fail(subject, "08003", 0, "connection not open: log in first", kSqlError, __LINE__);
}

int Session::GetError(uint32_t id, Diagnostic* diagnostic) {
  auto it = diagnostics_.find(id);
  if (it != diagnostics_.end()) {
    *diagnostic = it->second;
    diagnostics_.erase(it);
    return kSqlSuccess;
  }
  if (hasStray_ && strayId_ == id) {
    *diagnostic = strayDiagnostic_;
    hasStray_ = false;
    return kSqlSuccess;
  }
  *diagnostic = Diagnostic();
  return kSqlNoDataFound;
}

// ---- login ----

int Session::Connect(const std::string& dataSource, const std::string& user,
                     const std::string& password, std::string* version) {
  if (loggedIn_) return Fail(0, "08002", 0, "connection already open");
  UserRights rights;
  if (!options_.users.empty()) {
    const std::string address = LoginGuard::AddressOf(peer_);
    if (guard_ && !guard_->Admit(address)) {
      Log(0, "%s: login of user \"%s\" refused unchecked: too many failed logins from %s",
          peer_.c_str(), user.c_str(), address.c_str());
      return Fail(0, "28000", 0,
                  "login refused: too many failed logins from this address; try again later");
    }
    std::string error;
    const bool known = CheckUser(options_.users, user, password, &error, &rights);
    const int failures = guard_ ? guard_->Finish(address, !known) : 0;
    if (!known) {
      if (!error.empty()) Log(0, "%s", error.c_str());
      Log(0, "%s: login refused for user \"%s\" (failure %d from %s)", peer_.c_str(), user.c_str(),
          failures, address.c_str());
      return Fail(0, "28000", 0, "login refused: wrong user name or password");
    }
    if (!rights.MayOpen(dataSource)) {
      Log(0, "%s: user \"%s\" may not open data source \"%s\"", peer_.c_str(), user.c_str(),
          dataSource.c_str());
      return Fail(0, "28000", 0,
                  "login refused: user " + user + " may not open data source " + dataSource);
    }
  }
  const std::string& path = options_.DatabaseFor(dataSource);
  Status st = engine_->Open(path, &storage_);
  if (st.ok && rights.readOnly) st = storage_->LockReadOnly();
  if (st.ok && abandoned_) storage_->SetAbandoned(abandoned_);
  if (!st.ok) {
    storage_.reset();
    Log(0, "%s: data source \"%s\": %s", peer_.c_str(), dataSource.c_str(), st.message.c_str());
    return FailStatus(0, st, __LINE__);
  }
  userReadOnly_ = rights.readOnly;
  if (userReadOnly_) accessMode_ = 1;
  if (!encrypted_ && options_.allowPlaintext)
    Log(0, "%s: user \"%s\" logs in without encryption (--allow-plaintext)", peer_.c_str(),
        user.c_str());
  loggedIn_ = true;
  *version = std::string(kVersion) + " (" + storage_->EngineVersion() + ")";
  Log(0, "%s: user \"%s\" logged in to data source \"%s\" (%s%s)", peer_.c_str(), user.c_str(),
      dataSource.c_str(), RedactedLocation(path).c_str(), userReadOnly_ ? ", read-only" : "");
  return kSqlSuccess;
}

int Session::Disconnect() {
  // An open transaction is rolled back: nothing is committed that the
  // client did not commit.
  if (storage_ && storage_->InTransaction()) {
    CloseAllCursors();
    storage_->Rollback();
  }
  statements_.clear();
  diagnostics_.clear();
  storage_.reset();
  loggedIn_ = false;
  finished_ = true;
  return kSqlSuccess;
}

// ---- statements ----

Session::Statement* Session::Find(uint32_t id) {
  auto it = statements_.find(id);
  return it == statements_.end() ? nullptr : it->second.get();
}

Session::Statement* Session::Require(uint32_t id) {
  Statement* s = Find(id);
  if (!s)
    Fail(id, "S1000", 0, "unknown statement identifier " + std::to_string(id), kSqlError, __LINE__);
  return s;
}

int Session::AllocStatement(uint32_t* id) {
  *id = 0;
  if (!loggedIn_) return NotLoggedIn(0);
  if (static_cast<int>(statements_.size()) >= options_.maxStatements)
    return Fail(0, "S1014", 0,
                "no more statements: the limit per connection is " +
                    std::to_string(options_.maxStatements));
  while (nextId_ == 0 || statements_.count(nextId_)) ++nextId_;
  std::unique_ptr<Statement> s(new Statement());
  s->id = nextId_++;
  s->cursorName = "SQL_CUR" + std::to_string(s->id);
  s->options = defaults_;
  *id = s->id;
  statements_[s->id] = std::move(s);
  return kSqlSuccess;
}

void Session::CloseCursor(Statement* s) {
  if (s->storage && s->position != Position::kNone) s->storage->Reset();
  s->position = Position::kNone;
  s->pendingRow = false;
  s->rowNumber = 0;
  s->isStatic = false;
  s->rows.clear();
  s->staticIndex = 0;
}

void Session::CloseAllCursors() {
  for (auto& entry : statements_) CloseCursor(entry.second.get());
}

int Session::FreeStatement(uint32_t id, int option) {
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  if (option == 0) {
    CloseCursor(s);  // closing without a cursor is fine
    return kSqlSuccess;
  }
  if (option == 1) {
    CloseCursor(s);
    statements_.erase(id);
    diagnostics_.erase(id);
    return kSqlSuccess;
  }
  return Fail(id, "S1092", 0, "option type out of range: " + std::to_string(option));
}

int Session::BeginIfNeeded(Statement* s) {
  if (autocommit_ || storage_->InTransaction()) return kSqlSuccess;
  Status st = storage_->Begin();
  return st.ok ? kSqlSuccess : FailStatus(s->id, st, __LINE__);
}

int Session::BindParameters(Statement* s, const std::vector<ParamIn>& params) {
  int markers = s->storage->ParameterCount();
  if (static_cast<int>(params.size()) != markers)
    return Fail(s->id, "07001", 0,
                "wrong number of parameters: the statement has " + std::to_string(markers) + ", " +
                    std::to_string(params.size()) + " were sent");
  std::vector<bool> seen(markers + 1, false);
  for (const ParamIn& p : params) {
    if (p.number < 1 || p.number > markers || seen[p.number])
      return Fail(s->id, "S1093", 0, "invalid parameter number " + std::to_string(p.number));
    seen[p.number] = true;
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
  return kSqlSuccess;
}

// Binds, executes up to the first row and opens the cursor.
int Session::Run(Statement* s, const std::vector<ParamIn>& params) {
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
  return kSqlSuccess;
}

void Session::Describe(Statement* s, bool fromFirstRow, std::vector<ColumnOut>* columns) {
  s->description.clear();
  int n = s->storage->ColumnCount();
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

// Replaces the statement's SQL with sql: the open cursor is closed
// implicitly rather than refused, as most applications expect when they
// reuse a statement; escape clauses are rewritten unless no-scan is on;
// only one statement is accepted.
int Session::Compile(Statement* s, const std::string& sql) {
  CloseCursor(s);
  s->prepared = false;
  s->storage.reset();
  s->description.clear();
  s->rowCount = -1;
  std::string rest, text = sql, error;
  if (s->options.noscan == 0 && !TranslateEscapes(sql, storage_->Dialect(), &text, &error))
    return Fail(s->id, "37000", 0, "syntax error in escape clause: " + error);
  Status st = storage_->Prepare(text, &s->storage, &rest);
  if (!st.ok) return FailStatus(s->id, st, __LINE__);
  if (!OnlyBlanks(rest)) {
    s->storage.reset();
    return Fail(s->id, "37000", 0, "only one SQL statement per request");
  }
  s->dmlText = ChangesRows(sql);
  return kSqlSuccess;
}

int Session::Prepare(uint32_t id, const std::string& sql, std::vector<ColumnOut>* columns) {
  columns->clear();
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  int rc = Compile(s, sql);
  if (rc != kSqlSuccess) return rc;
  s->prepared = true;
  Describe(s, false, columns);
  return kSqlSuccess;
}

int Session::ExecDirect(uint32_t id, const std::string& sql, const std::vector<ParamIn>& params,
                        std::vector<ColumnOut>* columns) {
  columns->clear();
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
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
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  if (!s->prepared || !s->storage)
    return Fail(id, "S1010", 0, "function sequence error: no prepared statement");
  return Run(s, params);
}

// ---- rows ----

Value Session::CurrentValue(Statement* s, int index) {
  if (s->isStatic) return s->rows[s->staticIndex - 1][index];
  return s->storage->ColumnValue(index);
}

int Session::EncodeCell(Statement* s, int column, CellOut* cell) {
  cell->column = static_cast<uint16_t>(column);
  Value v = CurrentValue(s, column - 1);
  cell->isNull = v.IsNull();
  cell->data.clear();
  if (cell->isNull) return kSqlSuccess;
  Status st = EncodeRowValue(v, s->description[column - 1].type, s->options.maxLength, &cell->data);
  if (!st.ok) {
    st.message = "column " + std::to_string(column) + " (" + s->description[column - 1].name +
                 "): " + st.message;
    return FailStatus(s->id, st, __LINE__);
  }
  return kSqlSuccess;
}

int Session::Fetch(uint32_t id, const std::vector<uint16_t>& wanted, std::vector<CellOut>* row) {
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  if (s->position == Position::kNone)
    return Fail(id, "24000", 0, "invalid cursor state: no open cursor");
  for (uint16_t c : wanted)
    if (c < 1 || c > s->description.size())
      return Fail(id, "S1002", 0, "invalid column number " + std::to_string(c));
  bool limited = s->options.maxRows != 0 && s->rowNumber >= s->options.maxRows;
  if (s->position == Position::kAfter || limited) {
    s->position = Position::kAfter;
    return Fail(id, "02000", 100, "no data found: the end of the result set", kSqlNoDataFound);
  }
  if (s->isStatic) {
    if (s->staticIndex >= s->rows.size()) {
      s->position = Position::kAfter;
      return Fail(id, "02000", 100, "no data found: the end of the result set", kSqlNoDataFound);
    }
    s->staticIndex++;
  } else if (s->pendingRow) {
    s->pendingRow = false;
  } else {
    Status st;
    StepResult r = s->storage->Step(&st);
    if (r == StepResult::kError) {
      s->position = Position::kAfter;
      return FailStatus(id, st, __LINE__);
    }
    if (r == StepResult::kDone) {
      s->position = Position::kAfter;
      return Fail(id, "02000", 100, "no data found: the end of the result set", kSqlNoDataFound);
    }
  }
  s->position = Position::kOnRow;
  s->rowNumber++;
  // The row's size is checked while it is built: a column vector may name
  // a column many times, and values built by SQL may each reach the
  // largest frame, so an unchecked row could take any amount of memory.
  // A single value always travels (it is bounded by the value limit, and
  // the get-data request would send it as well).
  uint64_t total = 0;
  row->resize(wanted.size());  // cells of an earlier row keep their buffers
  for (size_t i = 0; i < wanted.size(); ++i) {
    CellOut& cell = (*row)[i];
    int rc = EncodeCell(s, wanted[i], &cell);
    if (rc == kSqlSuccess && (total += cell.data.size() + 7) > options_.maxFrame && i > 0)
      rc = Fail(id, "S1000", 0,
                "the row is larger than the largest frame (" + std::to_string(options_.maxFrame) +
                    " bytes); fetch fewer columns or read them one at a time");
    if (rc != kSqlSuccess) {
      row->clear();
      return rc;
    }
  }
  return kSqlSuccess;
}

int Session::GetData(uint32_t id, int column, CellOut* cell) {
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  if (s->position != Position::kOnRow)
    return Fail(id, "24000", 0, "invalid cursor state: the cursor is not on a row");
  if (column < 1 || column > static_cast<int>(s->description.size()))
    return Fail(id, "S1002", 0, "invalid column number " + std::to_string(column));
  return EncodeCell(s, column, cell);
}

int Session::GetRowNumber(uint32_t id, uint32_t* number) {
  *number = 0;
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  if (s->position != Position::kOnRow)
    return Fail(id, "24000", 0, "invalid cursor state: the cursor is not on a row");
  *number = s->rowNumber;
  return kSqlSuccess;
}

int Session::RowCount(uint32_t id, int32_t* count) {
  *count = -1;
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  int64_t n = s->rowCount;
  *count = n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
  return kSqlSuccess;
}

}  // namespace velsrv
