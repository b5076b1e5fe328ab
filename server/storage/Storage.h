// The storage interface of the server: what the protocol side needs from a
// database engine, kept narrow so that another engine can stand beside
// SQLite. One StorageSession per client; statements belong to it.
#ifndef VELORA_SERVER_STORAGE_STORAGE_H
#define VELORA_SERVER_STORAGE_STORAGE_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/Diagnostics.h"
#include "server/values/SqlTypes.h"
#include "server/values/Value.h"

namespace velsrv {

// Outcome of a storage call: ok, or an ODBC 2.0 SQLSTATE with the engine's
// native code (fits 16 bits) and message.
struct Status {
  bool ok = true;
  std::string sqlstate;
  int native = 0;
  std::string message;

  static Status Ok() { return Status(); }
  static Status Error(const std::string& state, int nativeCode, const std::string& text) {
    Status s;
    s.ok = false;
    s.sqlstate = state;
    s.native = nativeCode;
    s.message = text;
    return s;
  }
};

// What the engine knows about one result column before any row exists.
struct ColumnMeta {
  std::string name;
  std::string declaredType;  // as written in CREATE TABLE; empty if none
  std::string table;         // source table, empty for expressions
  int nullability = 2;       // 0 no nulls, 1 nullable, 2 unknown
};

enum class StepResult { kRow, kDone, kError };

// The SQL the engine understands, for the rewriting of escape clauses.
enum class SqlDialect { kSqlite, kPostgres };

// The outcome of one execution among many sent together.
struct SetResult {
  Status status;
  int64_t rows = -1;  // rows changed; -1: not known
};

// Many executions of one statement that returns no rows, sent to the engine
// before their outcomes are known (one round trip for them all) and
// answered in order. Each runs as the statement alone would inside the
// open transaction: a failing one undoes its own work only.
class StorageSetRun {
 public:
  virtual ~StorageSetRun() = default;
  // Adds an execution with the values bound now.
  virtual void Add() = 0;
  // Waits for the executions added; *out receives their outcomes in order.
  // With stop, none runs after a failing one, whose outcome is the last.
  virtual void Finish(std::vector<SetResult>* out) = 0;
};

class StorageStatement {
 public:
  virtual ~StorageStatement() = default;
  virtual int ParameterCount() const = 0;
  virtual int ColumnCount() const = 0;
  virtual ColumnMeta Column(int index) const = 0;  // 0-based
  // The declared type of the 1-based parameter marker, as Column's; empty
  // when the engine does not know it.
  virtual std::string ParameterType(int index) const {
    (void)index;
    return "";
  }
  // True when the statement cannot change the database.
  virtual bool IsReadOnly() const = 0;
  // Binds value to the 1-based parameter index.
  virtual Status Bind(int index, const Value& value) = 0;
  // Runs to the next row. kError leaves the reason in *status.
  virtual StepResult Step(Status* status) = 0;
  // The current row's value of the 0-based column (valid after kRow).
  virtual Value ColumnValue(int index) const = 0;
  // The same value written straight in the row layout of type into *out:
  // the bytes, or the error in *status, that EncodeRowValue gives for
  // ColumnValue, for engines that read values in forms of their own.
  // kAsValue: the caller goes through ColumnValue.
  enum class Cell { kAsValue, kNull, kEncoded };
  virtual Cell EncodeColumn(int index, const SqlTypeDesc& type, uint32_t maxLength,
                            std::string* out, Status* status) const {
    (void)index, (void)type, (void)maxLength, (void)out, (void)status;
    return Cell::kAsValue;
  }
  // Ends the current execution; bindings stay.
  virtual void Reset() = 0;
  // Rows changed by the last completed execution of a data-changing
  // statement.
  virtual int64_t ChangedRows() const = 0;
  // Executions sent together inside the open transaction (see
  // StorageSetRun); null: the engine runs them one at a time by Step.
  virtual std::unique_ptr<StorageSetRun> StartSets(bool stop) {
    (void)stop;
    return nullptr;
  }
};

struct TableEntry {
  std::string name;
  std::string type;  // "TABLE", "VIEW" or "SYSTEM TABLE"
};

struct TableColumnEntry {
  std::string name;
  std::string declaredType;
  bool notNull = false;
  int primaryKeyPosition = 0;  // 1-based position in the key, 0 if none
  bool hasDefault = false;     // a default was declared: defaultValue, as SQL text
  std::string defaultValue;
};

struct IndexEntry {
  std::string name;
  bool unique = false;
  std::vector<std::string> columns;  // in key order; empty names for expressions
};

struct PrimaryKeyEntry {
  std::string name;                  // the constraint's name; empty when the engine keeps none
  std::vector<std::string> columns;  // in key order; empty when the table has no primary key
};

// A foreign key declared on a table: its columns refer to the columns of
// referencedTable at the same positions.
struct ForeignKeyEntry {
  std::string name;  // the constraint's name; empty when the engine keeps none
  std::string referencedTable;
  std::string referencedKey;  // name of the key referred to; empty when unknown
  std::vector<std::string> columns;
  // An empty name: the column of the referenced table's primary key at
  // that position (a reference that names no columns).
  std::vector<std::string> referencedColumns;
  std::string onUpdate, onDelete;  // "CASCADE", "RESTRICT", "SET NULL", "SET DEFAULT", "NO ACTION"
  // "INITIALLY DEFERRED", "INITIALLY IMMEDIATE", "NOT DEFERRABLE"; empty
  // when the engine does not say.
  std::string deferrable;
};

// One argument or result column of a routine, in ODBC's terms.
struct RoutineColumnEntry {
  std::string name;  // empty for an unnamed argument
  // ODBC's COLUMN_TYPE: SQL_PARAM_INPUT 1, SQL_PARAM_INPUT_OUTPUT 2,
  // SQL_RESULT_COL 3, SQL_PARAM_OUTPUT 4, SQL_RETURN_VALUE 5.
  int kind = 1;
  std::string declaredType;  // as a column of that type would be declared
};

// A function or procedure of the database.
struct RoutineEntry {
  std::string name;
  bool procedure = false;   // a procedure (CALL); otherwise a function
  bool returnsSet = false;  // a function whose rows are a result set
  std::string remarks;
  // In ODBC's order: the return value, the parameters in call order, then
  // the result set's columns.
  std::vector<RoutineColumnEntry> columns;
};

// A right the database's own grants give on a table or one of its columns.
struct GrantEntry {
  std::string column;  // empty for the table's own grants
  std::string grantor, grantee, privilege;
  bool grantable = false;
  bool mine = false;  // the grantee is the server's own role (or everyone)
};

// What ends a request early: its statement's query timeout, and a cancel
// sent on a connection of its own. The session arms it around each
// request; an engine asks Stopped() while a statement runs or waits (for
// the writer queue, for a lock) and ends it then.
class RunLimit {
 public:
  enum Reason { kGoOn = 0, kTimeout = 1, kCancel = 2 };
  // Request number (its place among the session's requests, from 1)
  // starts; seconds 0: no deadline.
  void Arm(uint32_t number, uint32_t seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    deadline_ = seconds == 0 ? 0 : Now() + static_cast<int64_t>(seconds) * 1000000000;
    cancelled_ = pending_ == number;
    if (pending_ <= number) pending_ = 0;
    current_ = number;
    running_ = true;
  }
  void Disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    cancelled_ = false;
  }
  // From another thread: stops request number when it runs now (true),
  // or when it starts later (its bytes may still be on the way); a request
  // that has ended is left alone.
  bool Cancel(uint32_t number) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ && current_ == number) {
      cancelled_ = true;
      return true;
    }
    if (number > current_) pending_ = number;
    return false;
  }
  Reason Stopped() const {
    if (cancelled_) return kCancel;
    const int64_t deadline = deadline_;
    return deadline != 0 && Now() >= deadline ? kTimeout : kGoOn;
  }

 private:
  static int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  std::mutex mutex_;
  std::atomic<int64_t> deadline_{0};  // steady clock nanoseconds; 0: none
  std::atomic<bool> cancelled_{false};
  bool running_ = false;  // under mutex_, as the two below
  uint32_t current_ = 0;  // the request running or run last
  uint32_t pending_ = 0;  // a request cancelled before it started
};

class StorageSession {
 public:
  virtual ~StorageSession() = default;
  // Compiles the first statement of sql. *rest receives the text after it.
  virtual Status Prepare(const std::string& sql, std::unique_ptr<StorageStatement>* out,
                         std::string* rest) = 0;
  virtual Status Begin() = 0;
  virtual Status Commit() = 0;
  virtual Status Rollback() = 0;
  virtual bool InTransaction() const = 0;
  virtual Status SetReadOnly(bool readOnly) = 0;
  // Sets the isolation level (ODBC's SQL_TXN_* bits) of the transactions
  // that follow; *applied receives the level the engine gives instead.
  virtual Status SetIsolation(int level, int* applied) = 0;
  // The isolation levels (SQL_TXN_* bits) SetIsolation applies as asked.
  virtual int IsolationLevels() const = 0;
  // Makes the session read-only for the rest of its life, whatever the
  // client sends later (a user's right; SetReadOnly is the client's own
  // access mode). An engine that cannot promise it refuses, and the login
  // fails.
  virtual Status LockReadOnly() {
    return Status::Error(kStateConnectionRejected, 0,
                         "this storage cannot keep a session read-only");
  }
  virtual std::string EngineVersion() const = 0;
  virtual SqlDialect Dialect() const = 0;
  // The session describes its interval columns as the SQL_INTERVAL_*
  // types (protocol/INTERVALS.md); storages without them ignore it.
  virtual void SetIntervals() {}
  // Cuts sql into its statements as the engine reads them: a semicolon
  // ends one outside quoted text and comments (and the BEGIN ... END of a
  // trigger on SQLite, dollar quotes on PostgreSQL); *markers receives the
  // "?" markers of each. Statements of nothing but blanks and comments are
  // left out.
  virtual void SplitStatements(const std::string& sql, std::vector<std::string>* statements,
                               std::vector<int>* markers) const = 0;
  // The engine's name of each SQL type it has, for the type information;
  // false: the server's own names, every type.
  virtual bool TypeNames(std::map<int16_t, std::string>*) { return false; }
  // True when name is a stored procedure (run with CALL) rather than a
  // function; {call name(...)} becomes the one or the other.
  virtual bool IsProcedure(const std::string& name) {
    (void)name;
    return false;
  }
  // Asked now and then while a statement waits for other sessions: true
  // once the client has gone, and the wait ends without running the
  // statement. An engine without such waits may ignore it.
  virtual void SetAbandoned(std::function<bool()> abandoned) { (void)abandoned; }
  // The session's limit (it outlives the storage session): a statement
  // running or waiting when it trips ends as interrupted ("S1008" or
  // "S1T00", which the session words by the reason).
  virtual void SetRunLimit(const RunLimit* limit) { (void)limit; }

  // Catalog: every table and view, the columns and indexes of one table,
  // its row count; and whether it has an implicit row identifier.
  virtual Status Tables(std::vector<TableEntry>* out) = 0;
  virtual Status TableColumns(const std::string& table, std::vector<TableColumnEntry>* out) = 0;
  virtual Status Indexes(const std::string& table, std::vector<IndexEntry>* out) = 0;
  // The primary key of one table; by default from TableColumns' key
  // positions, without a name.
  virtual Status PrimaryKey(const std::string& table, PrimaryKeyEntry* out);
  // The foreign keys declared on one table, each in key order.
  virtual Status ForeignKeys(const std::string& table, std::vector<ForeignKeyEntry>* out) = 0;
  virtual Status RowCount(const std::string& table, int64_t* out) = 0;
  virtual bool HasRowId(const std::string& table) = 0;
  // The database's functions and procedures, sorted by name; by default
  // none (an engine without stored routines).
  virtual Status Routines(std::vector<RoutineEntry>* out) {
    out->clear();
    return Status::Ok();
  }
  // The grants on one table (columns false) or on its columns (true), with
  // *kept true; an engine without grants sets *kept false and gives none:
  // every session may do everything there.
  virtual Status Grants(const std::string& table, bool columns, std::vector<GrantEntry>* out,
                        bool* kept) {
    (void)table, (void)columns;
    out->clear();
    *kept = false;
    return Status::Ok();
  }
};

class StorageEngine {
 public:
  virtual ~StorageEngine() = default;
  // Opens one client's session on the database at path (a location, for
  // engines that are not files).
  virtual Status Open(const std::string& path, std::unique_ptr<StorageSession>* out) = 0;
};

// The SQLite engine (storage/SqliteStorage.cpp). Writers to one database
// wait for each other in order, each at most lockWaitMs ("S1T00" after
// that); a value may hold at most maxValueBytes;
// a running statement stops with "S1008" once *stop is set (stop may be
// null).
std::unique_ptr<StorageEngine> CreateSqliteEngine(int lockWaitMs, int maxValueBytes = 256 << 20,
                                                  const std::atomic<bool>* stop = nullptr);

// The PostgreSQL engine (storage/PostgresEngine.cpp): sessions open the
// location, a libpq connection URI; a statement waits at most lockWaitMs
// for a lock ("S1T00" after that); fetched values are limited as with
// SQLite; running statements are cancelled once *stop is set.
std::unique_ptr<StorageEngine> CreatePostgresEngine(int lockWaitMs, int maxValueBytes,
                                                    const std::atomic<bool>* stop = nullptr);

// True when text holds more than blanks, semicolons and comments.
bool HoldsStatement(const std::string& text);

// True for a PostgreSQL location ("postgresql://..." or "postgres://...").
bool IsPostgresLocation(const std::string& location);

// The location as the log shows it: without the credentials a connection
// URI may carry.
std::string LoggedLocation(const std::string& location);

// The server's engine: PostgreSQL for PostgreSQL locations, SQLite for
// every other path. Each engine is made when it is first needed.
std::unique_ptr<StorageEngine> CreateStorageEngine(int lockWaitMs, int maxValueBytes,
                                                   const std::atomic<bool>* stop);

}  // namespace velsrv

#endif
