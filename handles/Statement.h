// A statement handle: its connection and server-side id, its options, its
// column and parameter bindings, the description of its current result
// set and the state of a pending data-at-execution sequence.
#ifndef VELORA_HANDLES_STATEMENT_H
#define VELORA_HANDLES_STATEMENT_H

#include <cstdint>

#include "handles/ErrorData.h"
#include "handles/ReplyCodes.h"
#include "base/HandleIndex.h"
#include "base/LinkedList.h"
#include "handles/ColumnBinding.h"
#include "handles/GetDataPosition.h"
#include "handles/ParameterBinding.h"

class ColumnValue;
class ClibConnection;
class Connection;
class FetchDataSetElement;
class ParameterDataSetElement;
class Request;
class ResultSetDescriptionElement;

// One ColumnValue per column of the current result set, in column order,
// found by number through an index made on first use after the columns
// change. Change them only through Append and Clear (which forget the
// index); walking them is free.
class ResultColumnList : public TypedList<ColumnValue> {
 public:
  ~ResultColumnList() override;
  void Append(ColumnValue* value);
  void Clear() {
    indexed_ = 0;
    LinkedList::Clear();
  }
  // Column number (from 1), or null when there is none.
  ColumnValue* Number(unsigned number) {
    return number - 1u < indexed_ ? index_[number - 1] : IndexAndFind(number);
  }

 private:
  ColumnValue* IndexAndFind(unsigned number);
  ColumnValue** index_ = nullptr;  // owned; kept for the next result set
  uint32_t capacity_ = 0;
  uint32_t indexed_ = 0;  // columns index_ holds; 0 until made again
};

// An HSTMT is the address of a Statement. It is registered with
// Connection::AddStatement, which also makes its handle known. Deleting it
// deletes the active request, the result columns, the parameter bindings,
// the records and the column bindings, in that order, and sends nothing.
class Statement : public HandleObject {
 public:
  static constexpr HandleKind kKind = HandleKind::kStatement;
  // Calls on a statement are serialised by its connection's lock.
  Statement() : HandleObject(kKind, nullptr) {}
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
  // Forgets the rows of a fetch-block reply not yet fetched, and starts the
  // next block small again: the result set was closed or replaced.
  void DropBlock();

  // Exchanges request on the connection's socket; as Request::Exchange.
  // With a query timeout set, a reply that does not arrive within it and
  // kQueryTimeoutGrace seconds more ends the connection.
  int Exchange(Request* request, int* status);
  static const int kQueryTimeoutGrace = 2;
  // Bounds the socket waits of its lifetime by the query timeout.
  class ReplyWait {
   public:
    explicit ReplyWait(Statement* s);
    ~ReplyWait();
    ReplyWait(const ReplyWait&) = delete;
    ReplyWait& operator=(const ReplyWait&) = delete;

   private:
    ClibConnection* clib_;
  };
  uint32_t StatementId() const { return statementId; }
  // The value of result column icol (from 1), or null when there is none.
  ColumnValue* Column(unsigned icol) { return columns.Number(icol); }

  // Takes the connection's current statement options (at allocation).
  void CopyOptions(const Connection& c);
  // Rebuilds the result columns from a reply's description: one
  // ColumnValue per column, linked to its binding. SQL_ERROR ("S1001") when
  // a column cannot be made; the columns made before it stay. A null or
  // empty description leaves no result set. (odbc/ResultSet.cpp)
  int AdoptResultSet(ResultSetDescriptionElement* description);
  // Unlinks every result column from its binding and deletes the bindings.
  void Unbind();
  // Abandons a pending execution: deletes the active request and clears
  // the need-data state.
  void DropActiveRequest();
  // Adds the bound parameters' values to the active request's parameter
  // set, from the first binding or from the one after the current
  // parameter: SQL_SUCCESS, SQL_NEED_DATA when a parameter's data comes at
  // execution (it becomes the current parameter), or SQL_ERROR with the
  // diagnostic posted.
  int AddParameterValues();
  // Converts binding b (its value given at execution when atExec) and
  // appends it to the parameter set; SQL_SUCCESS or SQL_ERROR, posted.
  int AddParameterValue(ParameterBinding* b, bool atExec);

  Request* activeRequest = nullptr;  // owned; only during data at execution
  Request* block = nullptr;          // owned; the fetch-block reply being served
  uint32_t blockBudget = 0;          // bytes asked for the last block; 0 none yet
  // Owned; the row decoded from a block, which keeps the values of the
  // row before for the next row to fill again. Kept until the result set
  // ends or the statement goes.
  FetchDataSetElement* blockRow = nullptr;
  bool namedCursor = false;  // SQLSetCursorName or SQLGetCursorName was used
  int32_t useBookmarks = 0;
  ColumnBindingList bindings;
  int32_t concurrency = 1;
  Connection* connection = nullptr;              // the owner; not owned
  ParameterBinding* currentParameter = nullptr;  // the binding whose data is awaited
  int32_t cursorType = 0;
  ErrorList errors;
  ParameterDataSetElement* parameterValues = nullptr;  // in activeRequest
  ParameterBindingList parameters;
  int32_t maxLength = 0;
  int32_t maxRows = 0;
  int32_t noScan = 0;
  int32_t queryTimeout = 0;
  ResultColumnList columns;
  int32_t retrieveData = 1;
  int32_t rowsetSize = 1;
  int32_t bindType = 0;             // SQL_BIND_TYPE: 0 column-wise, else the row's size
  uint32_t rowsFetched = 0;         // rows fetched from the current result set
  int32_t needData = 0;             // 0 none, 1 stopped at a parameter, 2 its data coming
  uint32_t statementId = 0;         // the server's id; 0 until allocated there
  GetDataPosition getDataPosition;  // where SQLGetData stands in the current row
  // Parameter markers of the text last prepared or executed directly.
  uint16_t markers = 0;
  bool hasText = false;
};

#endif
