// The PostgreSQL engine's session, shared by its source files: a libpq
// connection with the helpers its statements run through.
#ifndef VELORA_SERVER_STORAGE_POSTGRESENGINE_H
#define VELORA_SERVER_STORAGE_POSTGRESENGINE_H

#include <libpq-fe.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "server/storage/Storage.h"

namespace velsrv {

struct PgResultFree {
  void operator()(PGresult* r) const { PQclear(r); }
};
using PgResult = std::unique_ptr<PGresult, PgResultFree>;

class PgEngine;

// The savepoint each statement of a transaction runs under.
constexpr char kPgSavepoint[] = "SAVEPOINT velora_statement";
constexpr char kPgRelease[] = "RELEASE SAVEPOINT velora_statement";
constexpr char kPgRollbackTo[] = "ROLLBACK TO SAVEPOINT velora_statement";

// A statement's parameter values as libpq sends them: every value's bytes
// one after another, each ended by a NUL, a length (-1: NULL) and a format
// (0 text, 1 raw bytes) per value.
struct PgParams {
  std::string bytes;
  std::vector<int> lengths, formats;
  // The values' addresses (null for NULL) into *out, valid while bytes
  // stays as it is.
  void Pointers(std::vector<const char*>* out) const;
};

// A prepared INSERT of rows rows, each the row of a plain INSERT of one
// row (PostgresSets.cpp).
struct PgChunk {
  size_t rows;
  std::string name;
};

// The same INSERT prepared as the rows of unnest over one array per
// parameter (PostgresSets.cpp): its name (empty: none) and each
// parameter's element type.
struct PgUnnest {
  std::string name;
  std::vector<Oid> elements;
};

class PgSession : public StorageSession {
 public:
  PgSession(PGconn* conn, PgEngine* engine, int maxValueBytes);
  ~PgSession() override;

  Status Prepare(const std::string& sql, std::unique_ptr<StorageStatement>* out,
                 std::string* rest) override;
  Status Begin() override;
  Status Commit() override;
  Status Rollback() override;
  bool InTransaction() const override;
  Status SetReadOnly(bool readOnly) override;
  Status SetIsolation(int level, int* applied) override;
  int IsolationLevels() const override { return 2 | 4 | 8; }
  Status LockReadOnly() override;
  std::string EngineVersion() const override;
  SqlDialect Dialect() const override { return SqlDialect::kPostgres; }
  void SetIntervals() override { intervals_ = true; }
  bool Intervals() const { return intervals_; }
  void SplitStatements(const std::string& sql, std::vector<std::string>* statements,
                       std::vector<int>* markers) const override;
  Status Tables(std::vector<TableEntry>* out) override;
  Status TableColumns(const std::string& table, std::vector<TableColumnEntry>* out) override;
  Status Indexes(const std::string& table, std::vector<IndexEntry>* out) override;
  Status PrimaryKey(const std::string& table, PrimaryKeyEntry* out) override;
  Status ForeignKeys(const std::string& table, std::vector<ForeignKeyEntry>* out) override;
  Status RowCount(const std::string& table, int64_t* out) override;
  // PostgreSQL's row addresses (ctid) change with every update: no column
  // identifies a row beside the primary key.
  bool HasRowId(const std::string&) override { return false; }
  Status Routines(std::vector<RoutineEntry>* out) override;
  Status Grants(const std::string& table, bool columns, std::vector<GrantEntry>* out,
                bool* kept) override;
  bool TypeNames(std::map<int16_t, std::string>* out) override;
  bool IsProcedure(const std::string& name) override;
  void SetAbandoned(std::function<bool()> abandoned) override { abandoned_ = std::move(abandoned); }
  void SetRunLimit(const RunLimit* limit) override { limit_ = limit; }

  // Sends one request (a PQsend... call, non-zero when sent) and reads its
  // result. Inside a transaction the request runs under a savepoint, so
  // that a failing statement leaves the transaction as it was (as with
  // SQLite) instead of aborting it; the savepoint, the request and the
  // savepoint's release travel together (libpq's pipeline mode). In a
  // session locked read-only, outside a transaction the request runs in a
  // read-only transaction of its own. The result goes to *out when out is
  // not null.
  Status Run(const std::function<int(PGconn*)>& send, PgResult* out);
  // A query's cursor opened outside a transaction (declared WITH HOLD)
  // runs in a transaction of its own, so that PostgreSQL makes its rows as
  // they are fetched instead of keeping the whole result first. That
  // transaction ends when the cursor closes, or before anything else uses
  // the connection (the cursor then keeps the rows not yet read, as held
  // cursors do). Inside a transaction: a plain Run.
  Status OpenCursor(const void* owner, const std::function<int(PGconn*)>& declare);
  // A FETCH from owner's cursor (a failure ends the cursor's transaction);
  // the result of the FETCH sent ahead, when there is one.
  Status FetchCursor(const void* owner, const std::function<int(PGconn*)>& send, PgResult* out);
  // Sends owner's next FETCH while the rows before it go to the client,
  // when the cursor has its own transaction (true: sent). Its result is
  // read by the next FetchCursor, or before the connection serves anything
  // else (then kept for owner: one batch more at most).
  bool FetchAhead(const void* owner, const std::function<int(PGconn*)>& send);
  // Closes owner's cursor named name.
  void CloseCursor(const void* owner, const std::string& name);
  // A command whose outcome does not matter (CLOSE, DEALLOCATE).
  void Command(const std::string& sql);
  // A catalog query with one text parameter; with a name, prepared under
  // it once per session (a query run again and again is planned once).
  Status Query(const char* sql, const std::string& argument, PgResult* out,
               const char* name = nullptr);
  // The prepared statement name run once per set added, each set under
  // the savepoint, in one pipeline (PostgresSets.cpp); bound appends the
  // values bound now; consecutive sets may go together as one of chunks
  // (largest first), or, before that, as one execution of unnest. Null
  // outside a transaction.
  std::unique_ptr<StorageSetRun> StartSets(const std::string& name,
                                           std::function<void(PgParams*)> bound, bool stop,
                                           const std::vector<PgChunk>& chunks,
                                           const PgUnnest& unnest);
  // The array types of elements (found once per session) into *arrays:
  // false when one has none that unnest can take.
  bool ArrayTypes(const std::vector<Oid>& elements, std::vector<Oid>* arrays);
  std::string NextName(const char* prefix) { return prefix + std::to_string(++names_); }
  int MaxValueBytes() const { return maxValueBytes_; }
  // The metadata of the result columns of a described statement.
  void DescribeColumns(const PGresult* description, std::vector<ColumnMeta>* out);

 private:
  Status Exec(const char* sql);
  // Commits the transaction of an open cursor's own (after reading the
  // FETCH sent ahead).
  void Settle();
  // Reads the result of the FETCH sent ahead into ahead_.
  void Drain();
  // The results of one request sent outside the savepoint's guard.
  Status Unguarded(const std::function<int(PGconn*)>& send, PgResult* out);
  // The results of one sent request (the last one; the first failure).
  PgResult Collect();

  friend class PgSetRun;
  // True once the statement running is to be cancelled: the client has
  // gone, or the request's time is up or it was cancelled.
  bool StopWanted() const {
    return (abandoned_ && abandoned_()) || (limit_ && limit_->Stopped() != RunLimit::kGoOn);
  }
  // True once the statement running is to be stopped; then cancels it,
  // and again each half second while it runs on (*next: when the next
  // cancel may go; zero before the first).
  bool StopRunning(std::chrono::steady_clock::time_point* next);

  PGconn* conn_;
  PgEngine* engine_;
  int maxValueBytes_;
  unsigned long names_ = 0;
  std::map<Oid, Oid> arrayTypes_;      // a type's array type; 0: none to use
  std::set<std::string> queries_;      // the catalog queries prepared
  bool intervals_ = false;             // interval columns described as such
  bool locked_ = false;                // every statement in a read-only transaction
  const void* cursorOwner_ = nullptr;  // whose cursor has the transaction
  const void* aheadOwner_ = nullptr;   // whose FETCH was sent ahead
  bool aheadSent_ = false;             // its result not read yet
  PgResult ahead_;                     // its result, read
  std::function<bool()> abandoned_;
  const RunLimit* limit_ = nullptr;
};

// The Status of a failed result (or of the connection when r is null).
Status PgStatus(PGconn* conn, const PGresult* r);

}  // namespace velsrv

#endif
