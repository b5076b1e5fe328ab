// The SQLite storage engine: one database connection per client session,
// in WAL mode; writers to one database take turns in a fair queue (SQLite's
// busy timeout stays for locks taken outside it: other processes, the
// switch to WAL). Between sessions a keeper holds each file open
// (SqliteKeeper.h).
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "server/Diagnostics.h"
#include "server/storage/SqliteErrors.h"
#include "server/storage/SqliteFunctions.h"
#include "server/storage/SqliteKeeper.h"
#include "server/storage/Storage.h"
#include "server/storage/WriteQueue.h"
#include "server/values/ValueCodec.h"

namespace velsrv {

namespace {

// The digits of a decimal text from its first non-zero one on.
size_t SignificantDigits(const std::string& text) {
  size_t count = 0;
  for (char c : text) {
    if (c >= '1' && c <= '9')
      ++count;
    else if (c == '0' && count > 0)
      ++count;
  }
  return count;
}

std::string Text(const unsigned char* text) {
  return text ? reinterpret_cast<const char*>(text) : "";
}
std::string Text(const char* text) { return text ? text : ""; }

// An identifier quoted for SQL text.
std::string Quote(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// A session's place among the writers of its database: the turn is taken
// before a statement that may write runs and given up once the session has
// no write transaction open (after a commit or rollback, or when a writing
// statement of autocommit mode ends).
//
// A transaction that read before it writes fails with a serialization
// failure when another writer committed in between; under steady load its
// retry would fail the same way each time. So after such a failure the
// session's next transaction takes the turn before its first statement,
// reads included, and keeps it to its end: the retry cannot conflict.
class WriteTurn {
 public:
  WriteTurn(sqlite3* db, std::shared_ptr<WriteQueue> queue, int waitMs,
            const std::atomic<bool>* stop)
      : db_(db), queue_(std::move(queue)), waitMs_(waitMs), stop_(stop) {}
  ~WriteTurn() {
    if (held_) queue_->Release();
  }

  // Before a statement runs; a failed Status when the wait timed out.
  Status Before(sqlite3_stmt* stmt) {
    if (!queue_ || held_ || (sqlite3_stmt_readonly(stmt) && !retrying_)) return Status::Ok();
    bool stopping = false, gone = false, limited = false;
    held_ =
        queue_->Acquire(std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs_), [&] {
          stopping = stop_ && *stop_;
          gone = abandoned_ && abandoned_();
          limited = limit_ && limit_->Stopped() != RunLimit::kGoOn;
          return stopping || gone || limited;
        });
    if (held_) return Status::Ok();
    if (limited) return Status::Error(kStateCancelled, SQLITE_INTERRUPT, "interrupted");
    if (stopping || gone)
      return Status::Error(kStateCancelled, SQLITE_INTERRUPT,
                           stopping ? "the server is stopping" : "the client has gone");
    return Status::Error(kStateTimeout, SQLITE_BUSY,
                         "timeout expired: another session's write transaction held the database "
                         "for " +
                             std::to_string(waitMs_ / 1000) + " s");
  }
  // After a statement stepped, was reset or finalised, or after a
  // transaction statement.
  void After() {
    int state = sqlite3_txn_state(db_, nullptr);
    if (held_ && (state == SQLITE_TXN_NONE || (state == SQLITE_TXN_READ && !retrying_))) {
      held_ = false;
      retrying_ = retrying_ && state != SQLITE_TXN_NONE;
      queue_->Release();
    }
  }
  // After a serialization failure: its transaction wrote nothing (it
  // could not begin to), so the turn goes at once.
  void SetAbandoned(std::function<bool()> abandoned) { abandoned_ = std::move(abandoned); }
  void SetRunLimit(const RunLimit* limit) { limit_ = limit; }
  void Conflict() {
    retrying_ = true;
    if (held_) queue_->Release();
    held_ = false;
  }

 private:
  sqlite3* db_;
  std::shared_ptr<WriteQueue> queue_;  // null: a private (in-memory) database
  int waitMs_;
  const std::atomic<bool>* stop_;
  std::function<bool()> abandoned_;
  const RunLimit* limit_ = nullptr;
  bool held_ = false;
  bool retrying_ = false;  // the next transaction runs wholly in turn
};

class SqliteStatement : public StorageStatement {
 public:
  SqliteStatement(sqlite3* db, sqlite3_stmt* stmt, WriteTurn* turn)
      : db_(db), stmt_(stmt), turn_(turn) {}
  ~SqliteStatement() override {
    sqlite3_finalize(stmt_);
    turn_->After();
  }

  int ParameterCount() const override { return sqlite3_bind_parameter_count(stmt_); }
  int ColumnCount() const override { return sqlite3_column_count(stmt_); }

  ColumnMeta Column(int index) const override {
    ColumnMeta meta;
    meta.name = Text(sqlite3_column_name(stmt_, index));
    meta.declaredType = Text(sqlite3_column_decltype(stmt_, index));
    meta.table = Text(sqlite3_column_table_name(stmt_, index));
    const char* origin = sqlite3_column_origin_name(stmt_, index);
    const char* database = sqlite3_column_database_name(stmt_, index);
    if (origin && !meta.table.empty()) {
      int notNull = 0, primaryKey = 0, autoIncrement = 0;
      if (sqlite3_table_column_metadata(db_, database, meta.table.c_str(), origin, nullptr, nullptr,
                                        &notNull, &primaryKey, &autoIncrement) == SQLITE_OK)
        meta.nullability = notNull ? 0 : 1;
    }
    return meta;
  }

  bool IsReadOnly() const override { return sqlite3_stmt_readonly(stmt_) != 0; }

  Status Bind(int index, const Value& value) override {
    int rc = SQLITE_OK;
    switch (value.kind) {
      case Value::Kind::kNull:
        rc = sqlite3_bind_null(stmt_, index);
        break;
      case Value::Kind::kInteger:
        rc = sqlite3_bind_int64(stmt_, index, value.integer);
        break;
      case Value::Kind::kReal:
        rc = sqlite3_bind_double(stmt_, index, value.real);
        break;
      case Value::Kind::kText:
        // A decimal of no more digits than a double tells apart (17) is
        // bound as one, as it always was: a column without a declared type
        // keeps a number, and comparisons with REAL values (JSON's among
        // them) hold. Longer ones stay text, which a NUMERIC column keeps
        // whole rather than round.
        if (value.decimal && SignificantDigits(value.bytes) <= 17) {
          rc = sqlite3_bind_double(stmt_, index, std::strtod(value.bytes.c_str(), nullptr));
          break;
        }
        rc = sqlite3_bind_text64(stmt_, index, value.bytes.data(), value.bytes.size(),
                                 SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
      case Value::Kind::kBlob:
        rc = sqlite3_bind_blob64(stmt_, index, value.bytes.data(), value.bytes.size(),
                                 SQLITE_TRANSIENT);
        break;
    }
    if (rc != SQLITE_OK) return SqliteStatus(rc, sqlite3_errmsg(db_));
    return Status::Ok();
  }

  StepResult Step(Status* status) override {
    *status = turn_->Before(stmt_);
    if (!status->ok) return StepResult::kError;
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return StepResult::kRow;
    if (rc == SQLITE_DONE) {
      changed_ = sqlite3_changes64(db_);
      turn_->After();
      return StepResult::kDone;
    }
    *status = SqliteStatus(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
    sqlite3_reset(stmt_);
    if (sqlite3_extended_errcode(db_) == SQLITE_BUSY_SNAPSHOT) turn_->Conflict();
    turn_->After();
    return StepResult::kError;
  }

  Value ColumnValue(int index) const override {
    switch (sqlite3_column_type(stmt_, index)) {
      case SQLITE_INTEGER:
        return Value::Integer(sqlite3_column_int64(stmt_, index));
      case SQLITE_FLOAT:
        return Value::Real(sqlite3_column_double(stmt_, index));
      case SQLITE_TEXT: {
        const unsigned char* text = sqlite3_column_text(stmt_, index);
        int n = sqlite3_column_bytes(stmt_, index);
        return Value::Text(std::string(reinterpret_cast<const char*>(text), text ? n : 0));
      }
      case SQLITE_BLOB: {
        const void* blob = sqlite3_column_blob(stmt_, index);
        int n = sqlite3_column_bytes(stmt_, index);
        return Value::Blob(std::string(static_cast<const char*>(blob), blob ? n : 0));
      }
      default:
        return Value::Null();
    }
  }

  // Every value straight from SQLite's own: text is encoded where
  // SQLite holds it, without a Value in between.
  Cell EncodeColumn(int index, const SqlTypeDesc& type, uint32_t maxLength, std::string* out,
                    Status* status) const override {
    ValueView v;
    switch (sqlite3_column_type(stmt_, index)) {
      case SQLITE_INTEGER:
        v.kind = Value::Kind::kInteger;
        v.integer = sqlite3_column_int64(stmt_, index);
        break;
      case SQLITE_FLOAT:
        v.kind = Value::Kind::kReal;
        v.real = sqlite3_column_double(stmt_, index);
        break;
      case SQLITE_TEXT:
        v.kind = Value::Kind::kText;
        v.data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
        v.size = v.data ? static_cast<size_t>(sqlite3_column_bytes(stmt_, index)) : 0;
        break;
      case SQLITE_BLOB:
        v.kind = Value::Kind::kBlob;
        v.data = static_cast<const char*>(sqlite3_column_blob(stmt_, index));
        v.size = v.data ? static_cast<size_t>(sqlite3_column_bytes(stmt_, index)) : 0;
        break;
      default:
        return Cell::kNull;
    }
    EncodeRowCell(v, type, maxLength, out, status);
    return Cell::kEncoded;
  }

  void Reset() override {
    sqlite3_reset(stmt_);
    turn_->After();
  }
  int64_t ChangedRows() const override { return changed_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_;
  WriteTurn* turn_;
  int64_t changed_ = 0;
};

// What a session's authorizer goes by.
struct Rights {
  bool readOnlyLocked = false;  // query_only may not be switched off again
  SqliteFile* file = nullptr;   // null for a private (in-memory) database
};

// A session works on the one database its data source names. Attaching
// another file (ATTACH, VACUUM INTO) would reach every file the server
// may read or write, so only temporary and in-memory databases may be
// attached. A session locked read-only may not switch query_only off
// again.
int Authorize(void* context, int action, const char* file, const char* value, const char*,
              const char*) {
  const Rights* rights = static_cast<const Rights*>(context);
  if (action == SQLITE_ATTACH && file && file[0] != '\0' && std::strcmp(file, ":memory:") != 0)
    return SQLITE_DENY;
  if (action != SQLITE_PRAGMA || !value) return SQLITE_OK;
  if (rights->readOnlyLocked && sqlite3_stricmp(file, "query_only") == 0) return SQLITE_DENY;
  if (rights->file &&
      (sqlite3_stricmp(file, "journal_mode") == 0 || sqlite3_stricmp(file, "locking_mode") == 0))
    rights->file->Drop();
  return SQLITE_OK;
}

class SqliteSession : public StorageSession {
 public:
  SqliteSession(sqlite3* db, std::shared_ptr<WriteQueue> queue, int waitMs,
                const std::atomic<bool>* stop, std::shared_ptr<SqliteFile> file)
      : db_(db), turn_(db, std::move(queue), waitMs, stop), file_(std::move(file)), stop_(stop) {
    rights_.file = file_.get();
    sqlite3_progress_handler(db_, 10000, StopRequested, this);
    sqlite3_set_authorizer(db_, Authorize, &rights_);
    if (file_) file_->Join();
  }
  ~SqliteSession() override {
    if (InTransaction()) Exec("ROLLBACK");
    sqlite3_close_v2(db_);
    if (file_) file_->Leave();
  }

  Status Prepare(const std::string& sql, std::unique_ptr<StorageStatement>* out,
                 std::string* rest) override {
    if (IsPragma(sql)) RefreshSchema();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
    if (rc != SQLITE_OK) return SqliteStatus(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
    if (rest) *rest = tail ? std::string(tail) : std::string();
    if (!stmt) return Status::Error(kStateSyntax, 0, "the statement text holds no statement");
    out->reset(new SqliteStatement(db_, stmt, &turn_));
    return Status::Ok();
  }

  Status Begin() override { return Exec("BEGIN"); }
  Status Commit() override { return Exec("COMMIT"); }
  Status Rollback() override { return Exec("ROLLBACK"); }
  bool InTransaction() const override { return sqlite3_get_autocommit(db_) == 0; }
  Status SetReadOnly(bool readOnly) override {
    return Exec(readOnly ? "PRAGMA query_only=1" : "PRAGMA query_only=0");
  }
  Status LockReadOnly() override {
    Status st = SetReadOnly(true);
    if (st.ok) rights_.readOnlyLocked = true;
    return st;
  }
  void SetAbandoned(std::function<bool()> abandoned) override {
    turn_.SetAbandoned(std::move(abandoned));
  }
  // A statement interrupted while it writes inside a transaction takes
  // the whole transaction with it (SQLite's rule); the session says so.
  void SetRunLimit(const RunLimit* limit) override {
    limit_ = limit;
    turn_.SetRunLimit(limit);
  }
  // SQLite's transactions are serializable, whatever is asked for.
  Status SetIsolation(int, int* applied) override {
    *applied = 8;
    return Status::Ok();
  }
  int IsolationLevels() const override { return 8; }
  std::string EngineVersion() const override {
    return std::string("SQLite ") + sqlite3_libversion();
  }
  SqlDialect Dialect() const override { return SqlDialect::kSqlite; }
  // A semicolon outside quotes and comments ends a statement where SQLite
  // finds the text before it complete (not inside a trigger's BEGIN ...
  // END).
  void SplitStatements(const std::string& sql, std::vector<std::string>* statements,
                       std::vector<int>* markers) const override {
    statements->clear();
    markers->clear();
    size_t start = 0;
    int count = 0;
    auto cut = [&](size_t end) {
      std::string text = sql.substr(start, end - start);
      if (HoldsStatement(text)) {
        statements->push_back(std::move(text));
        markers->push_back(count);
      }
      start = end;
      count = 0;
    };
    for (size_t i = 0; i < sql.size();) {
      const char c = sql[i];
      size_t next = i + 1;
      if (c == '\'' || c == '"' || c == '`' || c == '[') {
        next = sql.find(c == '[' ? ']' : c, i + 1);
        next = next == std::string::npos ? sql.size() : next + 1;
      } else if (sql.compare(i, 2, "--") == 0) {
        next = sql.find('\n', i);
        if (next == std::string::npos) next = sql.size();
      } else if (sql.compare(i, 2, "/*") == 0) {
        next = sql.find("*/", i + 2);
        next = next == std::string::npos ? sql.size() : next + 2;
      } else if (c == '?') {
        ++count;
      } else if (c == ';' && sqlite3_complete(sql.substr(start, next - start).c_str())) {
        cut(next);
      }
      i = next;
    }
    cut(sql.size());
  }

  Status Tables(std::vector<TableEntry>* out) override {
    return Query(
        "SELECT name, type FROM sqlite_schema WHERE type IN ('table','view') ORDER BY name",
        [out](sqlite3_stmt* s) {
          TableEntry e;
          e.name = Text(sqlite3_column_text(s, 0));
          std::string type = Text(sqlite3_column_text(s, 1));
          if (e.name.compare(0, 7, "sqlite_") == 0)
            e.type = "SYSTEM TABLE";
          else
            e.type = type == "view" ? "VIEW" : "TABLE";
          out->push_back(e);
        });
  }

  Status TableColumns(const std::string& table, std::vector<TableColumnEntry>* out) override {
    return Query("SELECT name, type, \"notnull\", pk, dflt_value FROM pragma_table_info(?1)", table,
                 [out](sqlite3_stmt* s) {
                   TableColumnEntry e;
                   e.name = Text(sqlite3_column_text(s, 0));
                   e.declaredType = Text(sqlite3_column_text(s, 1));
                   e.notNull = sqlite3_column_int(s, 2) != 0;
                   e.primaryKeyPosition = sqlite3_column_int(s, 3);
                   e.hasDefault = sqlite3_column_type(s, 4) != SQLITE_NULL;
                   e.defaultValue = Text(sqlite3_column_text(s, 4));
                   out->push_back(e);
                 });
  }

  Status Indexes(const std::string& table, std::vector<IndexEntry>* out) override {
    std::vector<IndexEntry> found;
    Status st = Query("SELECT name, \"unique\" FROM pragma_index_list(?1) ORDER BY name", table,
                      [&found](sqlite3_stmt* s) {
                        IndexEntry e;
                        e.name = Text(sqlite3_column_text(s, 0));
                        e.unique = sqlite3_column_int(s, 1) != 0;
                        found.push_back(e);
                      });
    if (!st.ok) return st;
    for (IndexEntry& index : found) {
      st = Query(
          "SELECT name FROM pragma_index_info(?1) ORDER BY seqno", index.name,
          [&index](sqlite3_stmt* s) { index.columns.push_back(Text(sqlite3_column_text(s, 0))); });
      if (!st.ok) return st;
      out->push_back(index);
    }
    return Status::Ok();
  }

  // SQLite keeps no constraint names; a reference without columns has a
  // null "to" (the parent's primary key).
  Status ForeignKeys(const std::string& table, std::vector<ForeignKeyEntry>* out) override {
    int id = -1;
    return Query(
        "SELECT id, \"table\", \"from\", \"to\", on_update, on_delete"
        " FROM pragma_foreign_key_list(?1) ORDER BY id, seq",
        table, [out, &id](sqlite3_stmt* s) {
          if (out->empty() || sqlite3_column_int(s, 0) != id) {
            id = sqlite3_column_int(s, 0);
            out->emplace_back();
            out->back().referencedTable = Text(sqlite3_column_text(s, 1));
            out->back().onUpdate = Text(sqlite3_column_text(s, 4));
            out->back().onDelete = Text(sqlite3_column_text(s, 5));
          }
          out->back().columns.push_back(Text(sqlite3_column_text(s, 2)));
          out->back().referencedColumns.push_back(Text(sqlite3_column_text(s, 3)));
        });
  }

  Status RowCount(const std::string& table, int64_t* out) override {
    *out = 0;
    return Query("SELECT count(*) FROM " + Quote(table),
                 [out](sqlite3_stmt* s) { *out = sqlite3_column_int64(s, 0); });
  }

  bool HasRowId(const std::string& table) override {
    sqlite3_stmt* stmt = nullptr;
    std::string sql = "SELECT rowid FROM " + Quote(table) + " LIMIT 0";
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
    sqlite3_finalize(stmt);
    return rc == SQLITE_OK;
  }

  Status Exec(const char* sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    turn_.After();
    if (rc == SQLITE_OK) return Status::Ok();
    std::string message = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    return SqliteStatus(sqlite3_extended_errcode(db_), message);
  }

 private:
  template <typename RowFn>
  Status Query(const std::string& sql, RowFn row) {
    return Query(sql, nullptr, row);
  }
  template <typename RowFn>
  Status Query(const std::string& sql, const std::string& argument, RowFn row) {
    return Query(sql, &argument, row);
  }
  template <typename RowFn>
  Status Query(const std::string& sql, const std::string* argument, RowFn row) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK) return SqliteStatus(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
    if (argument) sqlite3_bind_text(stmt, 1, argument->c_str(), -1, SQLITE_TRANSIENT);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) row(stmt);
    Status st;
    if (rc != SQLITE_DONE) st = SqliteStatus(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
    sqlite3_finalize(stmt);
    return st;
  }

  static bool IsPragma(const std::string& sql) {
    size_t at = sql.find_first_not_of(" \t\r\n");
    return at != std::string::npos && sqlite3_strnicmp(sql.c_str() + at, "PRAGMA", 6) == 0;
  }
  // A PRAGMA that describes tables (index_list, foreign_key_list) reads the
  // connection's copy of the schema without checking that it is current,
  // so it would miss what another session created since. A statement that
  // reads the schema table checks, and reloads a stale copy.
  void RefreshSchema() {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_schema LIMIT 0", -1, &stmt, nullptr) ==
        SQLITE_OK)
      sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    turn_.After();
  }

  // Asked by SQLite every few thousand steps: non-zero interrupts the
  // statement, so a server that is stopping is not held up by a long
  // query, nor a session past its query timeout or cancelled.
  static int StopRequested(void* context) {
    const SqliteSession* self = static_cast<const SqliteSession*>(context);
    if (self->stop_ && self->stop_->load()) return 1;
    return self->limit_ && self->limit_->Stopped() != RunLimit::kGoOn ? 1 : 0;
  }

  sqlite3* db_;
  WriteTurn turn_;
  std::shared_ptr<SqliteFile> file_;
  const std::atomic<bool>* stop_;
  const RunLimit* limit_ = nullptr;
  Rights rights_;
};

class SqliteEngine : public StorageEngine {
 public:
  SqliteEngine(int busyTimeoutMs, int maxValueBytes, const std::atomic<bool>* stop)
      : busyTimeoutMs_(busyTimeoutMs), maxValueBytes_(maxValueBytes), stop_(stop) {}

  // The queue of the database file db has open; null for a private
  // in-memory or temporary database. Queues stay for the life of the
  // engine: one per database file served.
  std::shared_ptr<WriteQueue> QueueOf(sqlite3* db) {
    const char* file = sqlite3_db_filename(db, "main");
    if (!file || !*file) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<WriteQueue>& queue = queues_[file];
    if (!queue) queue = std::make_shared<WriteQueue>();
    return queue;
  }

  // The file at path as served; null for a private in-memory or temporary
  // database. One per path for the life of the engine.
  std::shared_ptr<SqliteFile> FileAt(const std::string& path) {
    if (path.empty() || path == ":memory:") return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<SqliteFile>& file = files_[path];
    if (!file) file = std::make_shared<SqliteFile>(path);
    return file;
  }

  Status Open(const std::string& path, std::unique_ptr<StorageSession>* out) override {
    std::shared_ptr<SqliteFile> file = FileAt(path);
    const bool kept = file && file->Kept();
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
      Status st = SqliteStatus(rc, std::string("cannot open database: ") +
                                       (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
      if (st.sqlstate != kStateMemory) st.sqlstate = kStateCannotConnect;  // memory failures stay
      sqlite3_close_v2(db);
      return st;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs_);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, maxValueBytes_);
    if (!RegisterSqliteFunctions(db)) {
      sqlite3_close_v2(db);
      return Status::Error(kStateMemory, SQLITE_NOMEM, "cannot register the scalar functions");
    }
    auto* session = new SqliteSession(db, QueueOf(db), busyTimeoutMs_, stop_, file);
    // WAL lets readers go on while one client writes. An in-memory
    // database has no journal file and keeps its own mode; a kept file is
    // in WAL mode already (the keeper's lock holds off any other mode).
    if (!kept) session->Exec("PRAGMA journal_mode=WAL");
    // Pages are read through a shared mapping of the file rather than a
    // read call each: a lookup by key in a table larger than the page
    // cache costs no system call. The sessions share the mapping's pages.
    session->Exec("PRAGMA mmap_size=268435456");
    Status st = session->Exec("PRAGMA foreign_keys=ON");
    if (!st.ok) {
      delete session;
      if (st.sqlstate != kStateMemory) st.sqlstate = kStateCannotConnect;  // memory failures stay
      return st;
    }
    if (file && !kept) file->Keep();
    out->reset(session);
    return Status::Ok();
  }

 private:
  int busyTimeoutMs_;
  int maxValueBytes_;
  const std::atomic<bool>* stop_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<WriteQueue>> queues_;
  std::map<std::string, std::shared_ptr<SqliteFile>> files_;
};

}  // namespace

std::unique_ptr<StorageEngine> CreateSqliteEngine(int busyTimeoutMs, int maxValueBytes,
                                                  const std::atomic<bool>* stop) {
  return std::unique_ptr<StorageEngine>(new SqliteEngine(busyTimeoutMs, maxValueBytes, stop));
}

}  // namespace velsrv
