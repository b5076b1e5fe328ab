// A connection handle: the socket to the server, the connection's options
// and login data, its statements and its diagnostics.
#ifndef VELORA_HANDLES_CONNECTION_H
#define VELORA_HANDLES_CONNECTION_H

#include <cstdint>

#include "handles/ConnectSettings.h"
#include "handles/Descriptor.h"
#include "handles/ErrorData.h"
#include "handles/OptionValues.h"
#include "handles/ReplyCodes.h"
#include "base/HandleIndex.h"
#include "base/LinkedList.h"
#include "base/String.h"
#include "protocol/Extensions.h"
#include "protocol/TypeSizes.h"
#include "net/ClibConnection.h"
#include "net/Tls.h"
#include "platform/Dialog.h"

class Environment;
class Statement;

class StatementList : public TypedList<Statement> {
 public:
  ~StatementList() override = default;
};

// Bits of Connection::flags: the login's state and the offers the server
// made at login (32 bits, room for the extensions to come).
enum : uint32_t {
  kConnectionLoggedIn = 0x01,
  // The server offered the fetch-block request at login (protocol/BLOCKS.md).
  kConnectionBlockFetch = 0x02,
  // The server offered the primary-key and foreign-key requests at login
  // (protocol/KEYS.md).
  kConnectionKeys = 0x04,
  // The server offered the execute-batch request at login
  // (protocol/BATCH.md).
  kConnectionBatch = 0x08,
  // The server offered blocks asked for ahead at login (protocol/STREAM.md).
  kConnectionStream = 0x10,
  // The application set the isolation level (else the session's holds).
  kConnectionIsolationSet = 0x20,
  // The server offered the description of parameter markers at login
  // (protocol/DESCRIBE.md).
  kConnectionDescribe = 0x40,
  // The server offered the results of a text one after the other at login
  // (protocol/RESULTS.md).
  kConnectionResults = 0x80,
  // The server sent SQLGetInfo answers and translates texts for
  // SQLNativeSql (protocol/ESCAPES.md).
  kConnectionInfoAnswers = 0x100,
  // The server offered the procedure and privilege requests at login
  // (protocol/KEYS.md).
  kConnectionRoutines = 0x400,
  // The server offered executions answered with their first rows at login
  // (protocol/QUICK.md).
  kConnectionQuick = 0x800,
  // The server offered cursors that write back (protocol/EDIT.md).
  kConnectionEdit = 0x200,
  // The server keeps read-only cursors' keys and runs positioned
  // statements (EDIT_KEYS, protocol/EDIT.md).
  kConnectionEditKeys = 0x2000,
  // The session describes interval columns as the SQL_INTERVAL_* types:
  // the server offered them and the ODBC 3.80 library asked for them for
  // an application of ODBC 3 (protocol/INTERVALS.md).
  kConnectionIntervals = 0x4000,
  // The server offered exact decimal parameters (protocol/DECIMAL.md).
  kConnectionDecimal = 0x1000,
};

// What a cancel request needs (protocol/CANCEL.md), copied for the thread
// that sends it: where the session's server is, how its connection is
// encrypted, and the session's secret key.
struct CancelTicket {
  char server[64];
  char service[32];
  char tlsCaFile[260];
  TlsMode tls;
  uint64_t key;
  uint32_t request;  // the number of the request whose reply the call waits for
};

// What SQLCancel finds of a statement's call (Connection::TakeCancelTicket).
enum class CallState { kNone, kBusy, kWaiting };

// An HDBC is the address of a Connection. Members are destroyed in reverse
// order: the strings, the statements, the records, then the socket.
class Connection : public HandleObject {
 public:
  static constexpr HandleKind kKind = HandleKind::kConnection;
  Connection();
  ~Connection() override = default;

  // True when construction could not complete (no memory for the current
  // qualifier or the lock); such a connection is deleted, never registered.
  bool Failed() const { return failed_ || callLock_.Failed() || cancelLock_.Failed(); }

  // Appends stmt and makes its handle known; stmt must not be null. The
  // statement list is changed and walked only by this connection's calls.
  void AddStatement(Statement* stmt);
  bool ValidStatement(const Statement* stmt) const;
  // stmt must be one of this connection's statements; deletes it.
  void RemoveStatement(Statement* stmt);

  void ClearErrors() { errors.Clear(); }
  // Queues a client record (see VEL_POST_ERROR); returns rc.
  int PostError(int rc, int32_t native, const char* sqlstate, const char* text, const char* file,
                int32_t line) {
    return errors.Post(rc, native, sqlstate, text, file, line);
  }
  ErrorData* TakeLastError() { return errors.TakeLast(); }

  // Turns the outcome of an exchange (status 0 communication failure, 1
  // internal failure, 2 no memory, 3 the server replied) and its return
  // code into the call's return code and diagnostics; a reply's code that
  // does not fit codes is a malformed reply (handles/ReplyCodes.h).
  int CheckResult(int rc, int status, ReplyCodes codes = ReplyCodes::kPlain);

  ClibConnection clib;
  ErrorList errors;
  StatementList statements;
  // The descriptors the application allocated on this connection (deleted
  // before the statements, which only point at them).
  DescriptorList descriptors;

  // The connection's options, and the statement options later statements
  // take (protocol/OptionDefaults.h has their values until set).
  OptionValues options;

  String dataSourceName;  // as passed by the application
  void* quietModeWindow = nullptr;
  // SQL_ATTR_METADATA_ID of the statements allocated from now on.
  bool metadataId = false;
  Environment* environment = nullptr;  // the owner; not owned

  TypeSizes typeSizes = {};  // valid once logged in

  String loginDataSource;
  String userName;
  String dbmsVersion;
  String currentQualifier;  // "" from construction on

  uint32_t flags = 0;

  // Options set before the login that only a session can answer (the
  // refused ones among them): kept, one slot per option, and applied once
  // the session exists.
  static constexpr int kKeptOptionSlots = 4;
  uint16_t keptOption[kKeptOptionSlots] = {};
  uint64_t keptValue[kKeptOptionSlots] = {};
  uint8_t keptCount = 0;

  // The connection's keys (odbc/connect/ConnectKeys.h reads them at each
  // login).
  ConnectSettings settings = {};
  // The server being tried and, once logged in, the one that answered
  // (SQLGetInfo reports it).
  char server[64] = "";
  char service[32] = "";
  // The memory one static cursor may hold ("CursorMemory="); its rows
  // past it go to a scratch file.
  static constexpr uint64_t kDefaultCursorMemory = 256ull * 1024 * 1024;
  uint64_t cursorMemory = kDefaultCursorMemory;

  bool LoggedIn() const { return (flags & kConnectionLoggedIn) != 0; }
  // The key requests go only to a server that offered them at login.
  bool OffersKeys() const { return (flags & kConnectionKeys) != 0; }
  bool OffersRoutines() const { return (flags & kConnectionRoutines) != 0; }
  bool OffersBatch() const { return (flags & kConnectionBatch) != 0; }
  bool OffersDescribe() const { return (flags & kConnectionDescribe) != 0; }
  bool OffersResults() const { return (flags & kConnectionResults) != 0; }
  bool OffersDecimal() const { return (flags & kConnectionDecimal) != 0; }
  // Cursors write back: the server offered it and the application is the
  // ODBC 3.80 library's.
  bool EditsRows() const;
  bool KeepsCursorKeys() const { return EditsRows() && (flags & kConnectionEditKeys) != 0; }
  // The session-info offer of the login (protocol/SESSION.md, 16 bits),
  // 0 when the server made none. Such a server is taken to be one over
  // SQLite, the storage servers had before any offer: its SQL quotes
  // identifiers with '"' (SQL's own quote, which PostgreSQL takes too),
  // its data source is writable, its transactions serializable, its
  // names kept as written without regard to case, its NULLs sort low.
  int32_t sessionInfo = 0;
  char QuoteChar() const {
    const int quote = sessionInfo & kSessionQuoteMask;
    return quote != 0 ? static_cast<char>(quote) : '"';
  }
  bool ReadOnlySession() const { return (sessionInfo & kSessionReadOnly) != 0; }
  uint32_t IsolationLevels() const {
    const uint32_t levels = static_cast<uint32_t>(sessionInfo >> kSessionIsolationShift) & 0xF;
    return levels != 0 ? levels : 8;
  }
  // A session starts at the least strict level it runs.
  uint32_t DefaultIsolation() const { return IsolationLevels() & (~IsolationLevels() + 1); }
  uint16_t IdentifierCase() const {
    const int identifierCase = (sessionInfo >> kSessionCaseShift) & 0x7;
    return static_cast<uint16_t>(identifierCase != 0 ? identifierCase : 4);  // SQL_IC_MIXED
  }
  bool NullsSortLow() const { return sessionInfo == 0 || (sessionInfo & kSessionNullsLow) != 0; }
  // The server's SQLGetInfo answers of the login (protocol/ESCAPES.md).
  bool OffersNativeSql() const { return (flags & kConnectionInfoAnswers) != 0; }
  uint16_t infoAnswerCount = 0;
  uint16_t infoAnswerTypes[InfoAnswersElement::kMaxAnswers] = {};
  uint32_t infoAnswerValues[InfoAnswersElement::kMaxAnswers] = {};
  // The server's answer for an information type: false when it gave none.
  bool ServerInfo(uint16_t type, uint32_t* value) const {
    for (uint16_t i = 0; i < infoAnswerCount; ++i)
      if (infoAnswerTypes[i] == type) return *value = infoAnswerValues[i], true;
    return false;
  }
  // The most bytes of parameter sets one execute-batch request carries
  // (a set larger than it goes alone).
  uint32_t batchBudget = 256u << 10;

  // Connection resiliency ("ConnectRetryCount=", odbc/connect/Login.cpp):
  // the function that makes a lost session again, set at login when the
  // key asks for it (null: off). A statement ran in manual-commit mode
  // since the last commit or rollback (the session had a transaction).
  bool (*relogin)(Connection* c) = nullptr;
  bool workSinceCommit = false;
  // What relogin logs in with: the password, the servers and the service
  // as given (kept only while relogin is set; the password is wiped with
  // it).
  String retryPassword;
  String retryServers;
  String retryService;
  // Nothing of the session would be lost with it: no transaction, and no
  // statement with a cursor, data awaited at execution, results pending or
  // rows owed. The execution caller sends goes whole: it counts as none.
  bool Idle(const Statement* caller = nullptr);
  // Called before a request is written: a session that is idle and whose
  // server is gone is made again (once) by relogin. True when it was: the
  // statements have new ids, so a request made already takes its
  // statement's id again.
  bool Revive(const Statement* caller = nullptr);

  // Cancelling, the one state another thread reads while a call runs
  // (under cancelLock_). The login stores the session's cancel key (0: the
  // server offers no cancelling, nor query timeouts of its own) and the
  // encryption its connection got (tls: kOff when plaintext).
  void SetCancelKey(uint64_t key, TlsMode tls) {
    LockGuard guard(cancelLock_);
    cancelKey_ = key;
    cancelTls_ = tls;
  }
  bool OffersCancel() const { return cancelKey_ != 0; }  // by the connection's own calls

  // SQL_ATTR_CONNECTION_TIMEOUT (ODBC 3): seconds that bound every wait
  // on the server that no other timeout bounds (0: none). The socket keeps
  // it between the calls that bound their waits otherwise.
  void SetConnectionTimeout(int32_t seconds) {
    connectionTimeout_ = seconds < 0 ? 0 : seconds;
    clib.SetTimeout(connectionTimeout_);
  }
  int32_t ConnectionTimeout() const { return connectionTimeout_; }
  // The statement with a call in progress (null: none), set by the frame.
  void SetBusy(const Statement* stmt) {
    LockGuard guard(cancelLock_);
    busy_ = stmt;
  }
  // The statement whose call waits for the reply to the request numbered
  // request on the socket (null: none).
  void SetWaiting(const Statement* stmt, uint32_t request) {
    LockGuard guard(cancelLock_);
    waiting_ = stmt;
    waitingRequest_ = request;
  }
  // kWaiting, with *ticket filled, when a call of stmt waits for its reply
  // on a session with a cancel key; kBusy when a call of stmt is in
  // progress otherwise (it may wait soon); kNone else.
  CallState TakeCancelTicket(const Statement* stmt, CancelTicket* ticket);

 private:
  bool failed_ = false;
  bool reviving_ = false;
  // Serialises the calls on this connection and its statements: the
  // protocol carries one exchange at a time.
  Lock callLock_;
  int32_t connectionTimeout_ = 0;
  Lock cancelLock_;
  uint64_t cancelKey_ = 0;
  TlsMode cancelTls_ = TlsMode::kOff;
  const Statement* busy_ = nullptr;
  const Statement* waiting_ = nullptr;
  uint32_t waitingRequest_ = 0;
};

#endif
