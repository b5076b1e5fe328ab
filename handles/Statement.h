// A statement handle: its connection and server-side id, its options, its
// column bindings, and its parts (handles/StatementParts.h): a pending
// execution, the current result set and its cursor, the fetch block being
// served, and the parameters.
#ifndef VELORA_HANDLES_STATEMENT_H
#define VELORA_HANDLES_STATEMENT_H

#include <cstdint>

#include "handles/ErrorData.h"
#include "handles/ReplyCodes.h"
#include "base/HandleIndex.h"
#include "base/LinkedList.h"
#include "handles/ColumnBinding.h"
#include "handles/Descriptor.h"
#include "handles/OptionValues.h"
#include "handles/ParameterBinding.h"
#include "handles/StatementParts.h"
#include "handles/StaticCursor.h"
#include "base/String.h"
#include "protocol/Element.h"

class ColumnValue;
class ClibConnection;
class Connection;
class Request;
class ResultSetDescriptionElement;

// An HSTMT is the address of a Statement, made for its connection. It is
// registered with Connection::AddStatement, which also makes its handle
// known. Deleting it deletes the active request and the block, then the
// parts in reverse order of declaration: the result columns, the
// parameter bindings, the records and the column bindings; it sends
// nothing.
class Statement : public HandleObject {
 public:
  static constexpr HandleKind kKind = HandleKind::kStatement;
  // Calls on a statement are serialised by its connection's lock.
  explicit Statement(Connection* owner) : HandleObject(kKind, nullptr), connection_(owner) {}
  ~Statement() override;

  void ClearErrors() {
    if (errors.Count() != 0) errors.Clear();
  }
  // Queues a client record (see VEL_POST_ERROR); returns rc.
  int PostError(int rc, int32_t native, const char* sqlstate, const char* text, const char* file,
                int32_t line) {
    return errors.Post(rc, native, sqlstate, text, file, line);
  }
  ErrorData* TakeLastError() { return errors.TakeLast(); }

  // As Connection::CheckResult, for an exchange about this statement.
  int CheckResult(int rc, int status, ReplyCodes codes = ReplyCodes::kPlain);

  // Queues the server record that reply carries in its get-error elements
  // (the fetch-block reply) as the get-error request would; returns rc.
  int PostServerRecord(int rc, Request* reply);

  // Exchanges request on the connection's socket; as Request::Exchange.
  // A server that offers cancelling is told the query timeout first when
  // it changed, and ends the request at it ("S1T00"). With a query timeout
  // set, a reply that does not arrive within it and kQueryTimeoutGrace
  // seconds more ends the connection ("08S01").
  int Exchange(Request* request, int* status);
  // True when the last Exchange wrote its request but read no reply it
  // could hold: the server may have acted on it. Only then is *why set
  // (the exchange's status); else it is left as it was. ClearUnanswered
  // forgets it, for work that may fail before any exchange.
  bool Unanswered(int* why) const {
    if (unansweredStatus_ == kStatusReplied) return false;
    *why = unansweredStatus_;
    return true;
  }
  void ClearUnanswered() { unansweredStatus_ = kStatusReplied; }
  static const int kQueryTimeoutGrace = 2;
  // Sends request (owned from now on) as the next block asked for ahead
  // of need; its reply is read later (TakeAhead), or before anything else
  // is written on the connection. False when it was not sent (the block
  // is then asked for when needed, as without it).
  bool SendAhead(Request* request);
  // Writes request without waiting for its reply, which is read and
  // dropped when the next reply on the connection is read (after the next
  // request has been written). False with *status when it was not sent.
  bool SendUnawaited(Request* request, int* status);
  // The block asked for ahead (owned by the caller), its reply read when
  // still on its way (SQLCancel from another thread may cancel it then),
  // with the outcome as Exchange gives it.
  Request* TakeAhead(int* rc, int* status);
  // Bounds the socket waits of its lifetime by the query timeout.
  class ReplyWait {
   public:
    explicit ReplyWait(Statement* s);
    ~ReplyWait();
    ReplyWait(const ReplyWait&) = delete;
    ReplyWait& operator=(const ReplyWait&) = delete;

   private:
    ClibConnection* clib_;
    int timeoutAfter_;  // the connection timeout, restored afterwards
  };
  Connection* OwningConnection() const { return connection_; }
  // The server's id; 0 until allocated there.
  uint32_t StatementId() const { return statementId_; }
  // The server allocated the statement as id; it takes the connection's
  // current statement options.
  void Allocated(uint32_t id);
  // A new session allocated the statement as id (connection resiliency):
  // its options stay, and the server learns its query timeout anew.
  void Reallocated(uint32_t id) {
    statementId_ = id;
    sentTimeout_ = 0;
  }
  // The text last prepared and the cursor name set, kept when the
  // connection may make its session again (which gives them to the new
  // one); empty otherwise.
  String preparedText;
  String cursorName;
  // An execution left a result set that was not closed since, and the
  // server did not close its cursor itself: it may hold one
  // (Connection::Idle).
  bool ResultOpen() const {
    return resultOpen_ && cursor.ColumnCount() != 0 && !cursor.ServerClosed();
  }
  void ResultClosed() { resultOpen_ = false; }
  // The value of result column icol (from 1), or null when there is none.
  ColumnValue* Column(unsigned icol) { return cursor.Column(icol); }

  // Rebuilds the result columns from a reply's description: one
  // ColumnValue per column, linked to its binding. SQL_ERROR ("S1001") when
  // a column cannot be made; the columns made before it stay. A null or
  // empty description leaves no result set.
  int AdoptResultSet(ResultSetDescriptionElement* description);
  // Forgets the current result set (a new text is coming).
  void ForgetResultSet() {
    cursor.Columns().Clear();
    cursor.DropHidden();
  }
  // A new execution: no row fetched, no block served, the server's row
  // count is SQLRowCount's.
  void Restart() {
    cursor.Restart();
    block.Drop();
    scroll.Drop();
    parameters.SetArrayRowCount(-2);
  }
  // Unlinks every result column from its binding and deletes the bindings
  // (the records of the application row descriptor in use).
  void Unbind();
  // The application row and parameter descriptors in use: an explicit one
  // the application associated, else the statement's own.
  Descriptor& RowDescriptor() { return explicitArd_ != nullptr ? *explicitArd_ : ard; }
  Descriptor& ParamDescriptor() { return explicitApd_ != nullptr ? *explicitApd_ : apd; }
  // The column bindings in use: the records of RowDescriptor().
  ColumnBindingList& RowBindings() {
    return explicitArd_ != nullptr ? explicitArd_->records : bindings;
  }
  // Associates an explicit application descriptor (null: the statement's
  // own again) as the row (ard true) or parameter descriptor.
  void Associate(Descriptor* d, bool ard);
  Descriptor* ExplicitArd() const { return explicitArd_; }
  Descriptor* ExplicitApd() const { return explicitApd_; }
  // Links every result column to its binding in RowBindings() again, after
  // those records changed other than through BindColumn.
  void RelinkColumns();
  // Binds column icol to binding (null: unbinds it), replacing any binding
  // it had; the column's value (when there is one) is linked to it.
  void BindColumn(uint16_t icol, ColumnBinding* binding);
  // Abandons a pending execution: deletes the active request and clears
  // the need-data state.
  void DropActiveRequest() { execution.Drop(); }
  // Forgets the rows of a fetch-block reply not yet fetched, and starts the
  // next block small again: the result set was closed or replaced.
  void DropBlock() { block.Drop(); }
  // Adds the bound parameters' values to the active request's parameter
  // set, from the first binding or from the one after the current
  // parameter: SQL_SUCCESS, SQL_NEED_DATA when a parameter's data comes at
  // execution (it becomes the current parameter), or SQL_ERROR with the
  // diagnostic posted.
  int AddParameterValues();
  // Where the application keeps parameter b's value in the parameter set
  // being executed: its binding's or the associated parameter descriptor's
  // record, moved to the set's place by the bind type and bind offset.
  struct ParameterSource {
    SQLSMALLINT cType;
    SQLPOINTER data;
    SQLLEN bufferLength;
    SQLLEN* indicator;      // the length's (SQL_DESC_OCTET_LENGTH_PTR)
    SQLLEN* nullIndicator;  // SQL_DESC_INDICATOR_PTR
  };
  ParameterSource SourceOf(const ParameterBinding* b);
  // Converts binding b (its value given at execution when atExec) and
  // appends it to the parameter set; SQL_SUCCESS or SQL_ERROR, posted.
  int AddParameterValue(ParameterBinding* b, bool atExec);
  // Converts binding b into b->converted; SQL_SUCCESS or SQL_ERROR, posted.
  int ConvertParameterValue(ParameterBinding* b, bool atExec);
  // Posts the diagnostic of a parameter conversion's outcome (not
  // kParamDone) with SQL_ERROR.
  int PostConversion(int outcome);

  // The parts, in the order they are made; each is changed only through
  // its own operations. The column bindings are the application row
  // descriptor's records (handles/ColumnBinding.h).
  ColumnBindingList bindings;
  ErrorList errors;
  Parameters parameters;
  Cursor cursor;
  FetchBlock block;
  StaticCursor scroll;  // the rows of a static cursor
  // SQL_ATTR_FETCH_BOOKMARK_PTR: the bookmark SQL_FETCH_BOOKMARK starts from.
  void* fetchBookmark = nullptr;
  // SQL_ATTR_METADATA_ID: the catalog functions' texts are identifiers.
  bool metadataId = false;
  // The text prepared or run is a positioned UPDATE or DELETE (WHERE
  // CURRENT OF): the other cursors' rows are told before it runs.
  bool positioned = false;
  // A row SQLSetPos or SQLBulkOperations writes with values given at
  // execution: a binding per such column (its number, C and SQL types,
  // its buffer as the token), while the execution awaits them.
  ParameterBindingList editPieces;
  // The rows of the SQLSetPos or SQLBulkOperations call being written
  // (rowset rows next .. last - 1; a call stops at a row awaiting values
  // and goes on after its last SQLParamData): the operation, SQLSetPos's
  // row (0: every row), the bookmarks naming the rows (or none), the rows
  // written and failed so far and the call's outcome so far.
  struct EditRun {
    uint64_t next = 0, last = 0, done = 0, failed = 0;
    uint64_t irow = 0;
    uint16_t option = 0;
    const ColumnBinding* marks = nullptr;
    int16_t result = 0;
  } editRun;
  Execution execution;
  OptionValues options;  // taken from the connection at allocation
  // The statement's own descriptors, views of the parts above.
  Descriptor ard{this, DescKind::kArd};
  Descriptor apd{this, DescKind::kApd};
  Descriptor ird{this, DescKind::kIrd};
  Descriptor ipd{this, DescKind::kIpd};

 private:
  Connection* connection_;             // the owner; not owned
  Descriptor* explicitArd_ = nullptr;  // on the connection; not owned
  Descriptor* explicitApd_ = nullptr;
  uint32_t statementId_ = 0;
  uint32_t sentTimeout_ = 0;               // the query timeout the server has (its default 0)
  int unansweredStatus_ = kStatusReplied;  // see Unanswered
  bool resultOpen_ = false;                // see ResultOpen
};

#endif
