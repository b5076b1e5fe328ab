// One client's session: login state, statements, cursors, options,
// transactions and the last diagnostic of each subject. The operations
// follow the protocol's messages but know nothing of their encodings
// (Dispatch.cpp decodes requests and encodes replies around them).
// Every operation returns an ODBC return code; a code other than
// SQL_SUCCESS leaves a diagnostic for the following get-error request.
#ifndef VELORA_SERVER_SESSION_SESSION_H
#define VELORA_SERVER_SESSION_SESSION_H

#include <cstdint>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/Extensions.h"
#include "protocol/OptionDefaults.h"
#include "server/Diagnostics.h"
#include "server/admin/LoginGuard.h"
#include "server/metrics/Metrics.h"
#include "server/admin/Options.h"
#include "server/values/SqlTypes.h"
#include "server/values/Value.h"
#include "server/storage/Storage.h"
#include "server/session/Escapes.h"

namespace velsrv {

struct ResultSet;

enum ReturnCode : int16_t {
  kSqlSuccess = 0,
  kSqlSuccessWithInfo = 1,
  kSqlNoDataFound = 100,
  kSqlError = -1,
};

struct Diagnostic {
  std::string sqlstate = kStateNone;
  int native = 0;
  std::string text;
  std::string file;
  int line = 0;
};

// One column of a result set description.
struct ColumnOut {
  std::string name;
  SqlTypeDesc type;
  int nullability = 2;
  std::string owner;
  std::string table;
};

// One parameter value as received.
struct ParamIn {
  uint16_t number = 0;
  int16_t sqlType = 0;
  bool isNull = true;
  std::string data;
};

// One column value of a row as sent.
struct CellOut {
  uint16_t column = 0;
  bool isNull = true;
  std::string data;
};

// The outcome of one parameter set of a batch: its return code, the rows
// it changed (-1: not known) and, unless it succeeded, its diagnostic.
struct SetOutcome {
  int rc = 0;
  int64_t rows = -1;
  Diagnostic diagnostic;
};

// The value a session starts an option with (protocol/OptionDefaults.h).
constexpr uint32_t SessionDefault(OptionSlot slot) {
  return static_cast<uint32_t>(DefaultOptionValue(slot));
}

// Per-statement options (also the connection's defaults).
struct StatementOptions {
  uint32_t concurrency = SessionDefault(OptionSlot::kConcurrency);
  uint32_t cursorType = SessionDefault(OptionSlot::kCursorType);
  uint32_t maxLength = SessionDefault(OptionSlot::kMaxLength);
  uint32_t maxRows = SessionDefault(OptionSlot::kMaxRows);
  uint32_t noscan = SessionDefault(OptionSlot::kNoscan);
  uint32_t retrieveData = SessionDefault(OptionSlot::kRetrieveData);
  uint32_t rowsetSize = SessionDefault(OptionSlot::kRowsetSize);
  uint32_t useBookmarks = SessionDefault(OptionSlot::kUseBookmarks);
  uint32_t queryTimeout = 0;  // seconds; 0: none
  // The driver asked for a cursor that writes back (protocol/EDIT.md).
  bool editable = false;
};

class Session {
 public:
  Session(const Options& options, StorageEngine* engine, std::string peer);
  ~Session();

  // Login and statement handles (Session.cpp).
  int Connect(const std::string& dataSource, const std::string& user, const std::string& password,
              std::string* version);
  int Disconnect();
  int AllocStatement(uint32_t* id);
  int FreeStatement(uint32_t id, int option);

  // Statements (SessionStatements.cpp).
  int Prepare(uint32_t id, const std::string& sql, std::vector<ColumnOut>* columns);
  // The parameter markers of the statement's text, each as a column.
  int DescribeParams(uint32_t id, std::vector<ColumnOut>* params);
  // The text sql runs as, its escape clauses translated (SQLNativeSql).
  int NativeSql(const std::string& sql, std::string* out);
  // The SQLGetInfo answers that follow the storage (its escapes, the
  // concurrencies of its cursors), offered at login (protocol/ESCAPES.md).
  std::vector<std::pair<uint16_t, uint32_t>> InfoAnswers() const;
  int ExecDirect(uint32_t id, const std::string& sql, const std::vector<ParamIn>& params,
                 std::vector<ColumnOut>* columns);
  int Execute(uint32_t id, const std::vector<ParamIn>& params);
  // Runs the next statement of the text executed last (protocol/RESULTS.md):
  // *more true with its result set's columns (none for a row count); else
  // false with the columns of the first statement when it was prepared.
  int MoreResults(uint32_t id, bool* more, std::vector<ColumnOut>* columns);
  // Runs the statement (sql, or the one prepared when sql is empty) once
  // per set that nextSet gives (false: no more), an outcome per set run
  // into *outcomes; with stop, no set after a failing one runs
  // (SessionBatch.cpp). A return code other than SQL_SUCCESS: no set ran.
  int ExecuteBatch(uint32_t id, const std::string& sql, bool stop,
                   const std::function<bool(std::vector<ParamIn>*)>& nextSet,
                   std::vector<SetOutcome>* outcomes);
  int GetCursorName(uint32_t id, std::string* name);
  int SetCursorName(uint32_t id, const std::string& name);

  // Rows (SessionFetch.cpp).
  // *row holds the wanted cells on SQL_SUCCESS only; the buffers of cells
  // it held before are reused.
  int Fetch(uint32_t id, const std::vector<uint16_t>& wanted, std::vector<CellOut>* row);
  // Fetches rows for one block reply (protocol/BLOCKS.md), handing each
  // to sink as it is fetched (sink false: out of memory, SQL_ERROR): at
  // least one row, and more while the encoded rows stay below budget bytes
  // (at most kMaxBlockBudget) and number fewer than maxRows. Returns
  // SQL_SUCCESS when the block ended there, or the return code of the row
  // after the last one delivered (SQL_NO_DATA_FOUND at the end, SQL_ERROR)
  // with its diagnostic taken into *diagnostic.
  int FetchBlock(uint32_t id, const std::vector<uint16_t>& wanted, uint32_t budget,
                 uint32_t maxRows, const std::function<bool(const std::vector<CellOut>&)>& sink,
                 Diagnostic* diagnostic);
  static constexpr uint32_t kMaxBlockBudget = 1u << 20;
  // Executes the prepared statement, then fetches the first block of its
  // rows as FetchBlock does, every column of each row (protocol/QUICK.md):
  // *rowCount is the count of the execution, *blockCode the block's
  // return code (SQL_NO_DATA_FOUND after the last row or without a result
  // set; then no cursor stays open). Returns the execution's return code;
  // the block is fetched only when it is SQL_SUCCESS (else *blockCode is
  // SQL_SUCCESS with no rows: they are fetched as usual).
  int ExecuteRows(uint32_t id, const std::vector<ParamIn>& params, uint32_t budget,
                  const std::function<bool(const std::vector<CellOut>&)>& sink, int32_t* rowCount,
                  int* blockCode, Diagnostic* diagnostic);
  int GetData(uint32_t id, int column, CellOut* cell);
  int GetRowNumber(uint32_t id, uint32_t* number);
  // Writes row rowNumber of the statement's cursor back (SessionEdit.cpp,
  // protocol/EDIT.md): operation is an EditOperationValue; values are by
  // result column. *changed: the rows written; *row: a refreshed row.
  int EditRow(uint32_t id, int operation, uint32_t rowNumber, uint32_t concurrency,
              const std::vector<ParamIn>& values, int64_t* changed, std::vector<CellOut>* row);
  int RowCount(uint32_t id, int32_t* count);

  // Catalog functions (SessionCatalog.cpp); odbc3: with the columns ODBC 3
  // adds.
  int GetTypeInfo(uint32_t id, int sqlType, bool odbc3, std::vector<ColumnOut>* columns);
  int Tables(uint32_t id, const std::string& qualifier, const std::string& owner,
             const std::string& name, const std::string& types, std::vector<ColumnOut>* columns);
  int Columns(uint32_t id, const std::string& qualifier, const std::string& owner,
              const std::string& table, const std::string& column, bool odbc3,
              std::vector<ColumnOut>* columns);
  int Statistics(uint32_t id, const std::string& qualifier, const std::string& owner,
                 const std::string& table, int unique, int accuracy,
                 std::vector<ColumnOut>* columns);
  int SpecialColumns(uint32_t id, int columnType, const std::string& qualifier,
                     const std::string& owner, const std::string& table, int scope, int nullable,
                     std::vector<ColumnOut>* columns);
  // Offered at login (KeyCatalog.cpp builds the rows).
  int PrimaryKeys(uint32_t id, const std::string& table, std::vector<ColumnOut>* columns);
  int ForeignKeys(uint32_t id, const std::string& pkTable, const std::string& fkTable, bool odbc3,
                  std::vector<ColumnOut>* columns);
  // Offered at login (RoutineResults.cpp builds the rows); the privileges
  // show the rights of the session's user.
  int Procedures(uint32_t id, const std::string& name, std::vector<ColumnOut>* columns);
  int ProcedureColumns(uint32_t id, const std::string& name, const std::string& column, bool odbc3,
                       std::vector<ColumnOut>* columns);
  int TablePrivileges(uint32_t id, const std::string& table, std::vector<ColumnOut>* columns);
  int ColumnPrivileges(uint32_t id, const std::string& table, const std::string& column,
                       std::vector<ColumnOut>* columns);

  // Options and transactions (SessionOptions.cpp).
  int SetAccessMode(int mode);
  int SetAutocommit(int mode);
  // The session's interval columns are described as SQL_INTERVAL_* types
  // from now on (protocol/INTERVALS.md).
  int SetIntervals(bool on);
  int SetIsolation(int level);
  // Statement options by message code (28, 30, 31, 32, 33, 35, 36, 39, 46);
  // id 0 sets the default for statements allocated later.
  int SetStatementOption(int code, uint32_t id, uint32_t value);
  int Transact(int type);

  // The last diagnostic of the statement (or of the connection for id 0);
  // SQL_NO_DATA_FOUND with "00000" when there is none. Taking it clears it.
  int GetError(uint32_t id, Diagnostic* diagnostic);

  // Leaves a diagnostic for subject (0: the connection); returns
  // SQL_ERROR.
  int PostError(uint32_t subject, const char* sqlstate, const std::string& text) {
    return Fail(subject, sqlstate, 0, text);
  }

  // What the listener knows of the connection: the guard against password
  // guessing (null: none) and whether the connection is encrypted.
  void SetConnection(LoginGuard* guard, bool encrypted) {
    guard_ = guard;
    encrypted_ = encrypted;
  }
  // While *draining is true, logins are refused with 08004 ("connection
  // rejected"): a driver with several servers tries the next one.
  void SetDraining(const std::atomic<bool>* draining) { draining_ = draining; }
  // Tells whether the client has hung up (see StorageSession::SetAbandoned).
  void SetAbandoned(std::function<bool()> abandoned) { abandoned_ = std::move(abandoned); }

  // Cancelling (protocol/CANCEL.md): the key the connect reply gives the
  // client (0: none offered), and the limit a cancel request with that
  // key trips. Each request is armed with its statement's query timeout
  // (statement id 0: none) while it runs.
  void SetCancelKey(uint64_t key) { cancelKey_ = key; }
  uint64_t CancelKey() const { return cancelKey_; }
  const std::shared_ptr<RunLimit>& Limit() const { return limit_; }
  // The listener counts the requests as it reads them.
  void CountRequest() { ++requests_; }
  void BeginRequest(uint32_t id);
  void EndRequest() { limit_->Disarm(); }

  bool LoggedIn() const { return loggedIn_; }
  bool OffersBlocks() const { return options_.blockFetch; }
  bool OffersBatch() const { return options_.batch; }
  // Blocks asked for ahead are fetch-block requests: offered with them.
  bool OffersDescribe() const { return true; }
  bool OffersResults() const { return true; }
  bool OffersStream() const { return options_.blockFetch && options_.stream; }
  // Executions answered with their first block: offered with blocks.
  bool OffersQuick() const { return options_.blockFetch && options_.quick; }
  // The session-info offer (protocol/SESSION.md): both storages quote
  // identifiers with SQL's double quote; a read-only user's session is
  // read-only; SQLite keeps names as written and sorts NULLs low,
  // PostgreSQL folds unquoted names to lower case and sorts NULLs high.
  int32_t SessionInfo() const {
    const bool sqlite = !storage_ || storage_->Dialect() == SqlDialect::kSqlite;
    return SessionInfoCode('"', userReadOnly_, storage_ ? storage_->IsolationLevels() : 0,
                           sqlite ? 4 : 2, sqlite);  // SQL_IC_MIXED, SQL_IC_LOWER
  }
  // True once the client has logged out: the connection ends after the
  // reply.
  bool Finished() const { return finished_; }
  size_t StatementCount() const { return statements_.size(); }
  // True while a statement's work is under way between requests: a cursor
  // open or a transaction open (a stopping server lets it finish).
  bool Busy() const;

 private:
  struct Statement;
  Statement* Find(uint32_t id);
  Statement* Require(uint32_t id);  // posts a general error when unknown
  // The statement, when logged in; null with the diagnostic posted
  // otherwise.
  Statement* Ready(uint32_t id);
  // Ready, and with no cursor open that still has rows to give: null with
  // "24000" posted otherwise (for the calls that would replace the cursor).
  Statement* ReadyWithoutCursor(uint32_t id);
  int Fail(uint32_t subject, const char* sqlstate, int native, const std::string& text,
           int rc = kSqlError, int line = 0);
  int FailStatus(uint32_t subject, const Status& status, int line);
  int Info(uint32_t subject, const char* sqlstate, const std::string& text);
  int NotLoggedIn(uint32_t subject);
  void CloseCursor(Statement* s);
  void CloseAllCursors();
  int Compile(Statement* s, const std::string& sql);
  // What escape translation needs of the session.
  EscapeContext Escapes();
  // With an editable concurrency: whether the query text can write back,
  // and the text that also reads each row's key (SessionEdit.cpp).
  void PlanEdit(Statement* s, std::string* text);
  void KeepEditRow(Statement* s);
  // A text ending in WHERE CURRENT OF <cursor>: the condition becomes the
  // cursor's key, whose values are bound at each run (BindPositioned).
  int PlanPositioned(Statement* s, std::string* text);
  int BindPositioned(Statement* s, int first);
  // Runs sql with values bound in order; the first row's values into
  // *row (when given), the rows changed into *changed.
  Status RunOnce(const std::string& sql, const std::vector<Value>& values, std::vector<Value>* row,
                 bool* found, int64_t* changed);
  // Compiles a prepared statement again on the session's current side
  // when it was prepared on the other one.
  int FollowSession(Statement* s);
  int Run(Statement* s, const std::vector<ParamIn>& params);
  int RunOne(Statement* s, const std::vector<ParamIn>& params);
  // Statement k of a text of several, with its share of the values.
  int RunPart(Statement* s, size_t k);
  // Runs the statements not yet run, their results dropped; *rows
  // (may be null) receives the sum of their counts. The first failure
  // ends it and is returned.
  int Drain(Statement* s, int64_t* rows = nullptr);
  void DrainAll();
  // Brings the first statement of a text of several back into storage.
  void Rewind(Statement* s);
  int BindParameters(Statement* s, const std::vector<ParamIn>& params);
  void Answer(Statement* s, StorageSetRun* together, bool stop, std::vector<SetOutcome>* outcomes,
              size_t* ended);
  void Describe(Statement* s, bool fromFirstRow, std::vector<ColumnOut>* columns);
  int OpenStatic(Statement* s, std::vector<ColumnOut> description,
                 std::vector<std::vector<Value>> rows, std::vector<ColumnOut>* columns);
  // Runs build for statement id and opens what it gives as the
  // statement's cursor; a failed build's status is the diagnostic.
  int OpenCatalog(uint32_t id, std::vector<ColumnOut>* columns,
                  const std::function<Status(ResultSet*)>& build);
  Value CurrentValue(Statement* s, int index);
  int EncodeCell(Statement* s, int column, CellOut* cell);
  int BeginIfNeeded(Statement* s);
  // True when the session's database has read locations (--read-storage).
  bool HasStandby() const;
  // Moves the session to a standby (toStandby) or back to the primary;
  // opens the other side's session on first use, with the session's run
  // limit and isolation level. False (staying) when it cannot. The caller
  // makes sure no transaction is open.
  bool MoveForReads(bool toStandby);
  // Opens a session on the first standby of --read-storage that answers,
  // when the session's database is --storage's; false otherwise.
  bool OpenStandby(std::unique_ptr<StorageSession>* out);

  const Options& options_;
  StorageEngine* engine_;
  std::string peer_;
  std::string location_;  // the database (primary) of the session
  std::unique_ptr<StorageSession> storage_;
  // With --read-storage: the session of the other side (the primary while
  // storage_ is a standby's, or the standby's kept for the next switch);
  // onStandby_ tells which storage_ is.
  std::unique_ptr<StorageSession> other_;
  bool onStandby_ = false;
  LoginGuard* guard_ = nullptr;
  const std::atomic<bool>* draining_ = nullptr;
  SessionGauge gauge_;  // counts the session while logged in
  std::function<bool()> abandoned_;
  bool encrypted_ = false;
  bool loggedIn_ = false;
  bool userReadOnly_ = false;  // the users file says so: the access mode stays read-only
  std::string user_;           // the name the session logged in with
  bool finished_ = false;
  bool autocommit_ = SessionDefault(OptionSlot::kAutocommit) != 0;
  bool intervals_ = false;  // SetIntervals was asked
  uint32_t accessMode_ = SessionDefault(OptionSlot::kAccessMode);
  uint32_t isolation_ = SessionDefault(OptionSlot::kTxnIsolation);
  StatementOptions defaults_;
  uint32_t nextId_ = 1;
  std::map<uint32_t, std::unique_ptr<Statement>> statements_;
  std::map<uint32_t, Diagnostic> diagnostics_;  // of 0 and existing statements
  std::vector<char> seen_;                      // BindParameters' marks, kept from call to call
  std::vector<size_t> waiting_;                 // ExecuteBatch's sets sent together
  uint32_t strayId_ = 0;                        // last unknown id that failed
  Diagnostic strayDiagnostic_;
  bool hasStray_ = false;
  std::shared_ptr<RunLimit> limit_ = std::make_shared<RunLimit>();
  uint64_t cancelKey_ = 0;
  uint32_t requests_ = 0;
  bool inTransactionBefore_ = false;  // when the running request began
};

}  // namespace velsrv

#endif
