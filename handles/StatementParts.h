// The parts a statement is made of, each with the operations that keep
// it consistent: a pending execution, the result set with its cursor, the
// fetch block being served, and the parameters. handles/Statement.h
// holds one of each.
#ifndef VELORA_HANDLES_STATEMENTPARTS_H
#define VELORA_HANDLES_STATEMENTPARTS_H

#include <sql.h>

#include <cstdint>

#include "base/LinkedList.h"
#include "base/String.h"
#include "handles/GetDataPosition.h"
#include "handles/ParameterBinding.h"
#include "net/ClibConnection.h"
#include "protocol/ColumnDescription.h"

class ColumnValue;
class FetchDataSetElement;
class ParameterDataSetElement;
class Request;

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

// An execution waiting for data at execution: the request (owned), the
// parameter set inside it that the values go to, the binding whose data
// is awaited, and where the sequence stands.
class Execution {
 public:
  enum Stage : uint8_t {
    kIdle,         // no data awaited
    kAtParameter,  // stopped at the current parameter; SQLParamData names it
    kDataComing,   // SQLParamData named it; SQLPutData gives its data
  };
  Execution() = default;
  ~Execution() { Drop(); }
  Execution(const Execution&) = delete;
  Execution& operator=(const Execution&) = delete;

  // request (owned from now on) becomes the active one; values is its
  // parameter set. Any earlier one is dropped first.
  void Begin(Request* request, ParameterDataSetElement* values) {
    Drop();
    request_ = request;
    values_ = values;
  }
  // Deletes the active request and forgets the sequence.
  void Drop();
  // Hands the active request to the caller (owned from now on) and
  // forgets the sequence.
  Request* Release() {
    Request* request = request_;
    request_ = nullptr;
    Drop();
    return request;
  }

  Request* ActiveRequest() const { return request_; }
  ParameterDataSetElement* Values() const { return values_; }
  // The binding whose data is awaited; null when none is.
  ParameterBinding* Current() const { return current_; }
  void SetCurrent(ParameterBinding* binding) { current_ = binding; }
  Stage CurrentStage() const { return stage_; }
  void SetStage(Stage stage) { stage_ = stage; }

 private:
  Request* request_ = nullptr;
  ParameterDataSetElement* values_ = nullptr;  // in request_
  ParameterBinding* current_ = nullptr;        // on the statement's parameters
  Stage stage_ = kIdle;
};

// The current result set: one value per column, the rows fetched from it,
// where SQLGetData stands in the current row, and whether the cursor has
// a name the application used.
class Cursor {
 public:
  // The value of column icol (from 1), or null when there is none.
  ColumnValue* Column(unsigned icol) { return columns_.Number(icol); }
  // For walking the columns (and their count); the statement changes them.
  ResultColumnList& Columns() { return columns_; }
  uint32_t ColumnCount() const { return columns_.Count(); }
  // A call's result row went into its output parameters: its columns are
  // kept out of sight (unlinked from their bindings) until the prepared
  // text runs again; a new text drops them.
  void HideColumns();
  void ShowColumns();
  void DropHidden() { hidden_.Clear(); }
  // The first hidden column, or null.
  ColumnValue* HiddenColumn() const;

  uint32_t RowsFetched() const { return rowsFetched_; }
  void CountRow() { ++rowsFetched_; }
  // A new execution: no row fetched yet, and no word from the server
  // about its cursor.
  void Restart() {
    rowsFetched_ = 0;
    serverClosed_ = false;
  }
  // The server sent every row of the execution and closed its cursor
  // itself (protocol/QUICK.md): closing it asks nothing.
  bool ServerClosed() const { return serverClosed_; }
  void MarkServerClosed() { serverClosed_ = true; }

  GetDataPosition* Position() { return &position_; }

  // SQLSetCursorName or SQLGetCursorName was used.
  bool Named() const { return named_; }
  void MarkNamed() { named_ = true; }

 private:
  ResultColumnList columns_;
  ResultColumnList hidden_;
  uint32_t rowsFetched_ = 0;
  GetDataPosition position_;
  bool named_ = false;
  bool serverClosed_ = false;
};

// The fetch-block reply being served (owned), the bytes the last block
// asked for, and the row decoded from a block, which keeps the values of
// the row before for the next row to fill again.
class FetchBlock final : public PendingReply {
 public:
  FetchBlock() = default;
  ~FetchBlock();
  FetchBlock(const FetchBlock&) = delete;
  FetchBlock& operator=(const FetchBlock&) = delete;

  // A block is served, or the next one was asked for ahead.
  bool Active() const { return reply_ != nullptr || ahead_ != nullptr; }
  Request* Reply() const { return reply_; }
  // reply (owned from now on) becomes the block served, end the return
  // code of what follows its rows; none may be served.
  void Adopt(Request* reply, int end) {
    reply_ = reply;
    end_ = end;
  }
  int EndCode() const { return end_; }
  // Hands the block served to the caller; none is served after it.
  Request* Release() {
    Request* reply = reply_;
    reply_ = nullptr;
    return reply;
  }
  // The budget of the next block: first for the first of a result set,
  // then twice the last, at most max.
  uint32_t NextBudget(uint32_t first, uint32_t max) {
    uint32_t budget = budget_ == 0 ? first : 2 * budget_;
    if (budget > max) budget = max;
    budget_ = budget;
    return budget;
  }
  // Forgets the rows not yet fetched, and starts the next block small
  // again: the result set was closed or replaced. A block asked for ahead
  // and still on its way is dropped as it arrives, before anything else
  // is written on the connection.
  void Drop();
  // Keeps a used execute-rows request (owned from now on) for the next
  // execution to send again; any other request is deleted.
  void Recycle(Request* request);
  // The request kept, reset for another message of code (owned by the
  // caller); null when none is kept or it cannot serve again.
  Request* TakeSpare(uint16_t code);

  // The next block asked for ahead (protocol/STREAM.md): request was sent
  // on connection as the request numbered number, and its reply is read
  // before anything else is written there (by Settle).
  void SentAhead(Request* request, ClibConnection* connection, uint32_t number);
  bool HasAhead() const { return ahead_ != nullptr; }
  // The request number of the block asked for ahead, while its reply is
  // still to be read by this statement (0: it arrived, or none was sent).
  uint32_t AheadOnItsWay() const;
  // Reads the reply of the block asked for ahead when it is on its way;
  // then hands it over (owned by the caller) with its outcome: the
  // reply's return code with *status 3, or -1 with the failure's status.
  Request* TakeAhead(int* rc, int* status);
  bool Settle(ClibConnection* connection) override;

  // The row a block's rows are decoded into, made on first use; null when
  // memory runs out.
  FetchDataSetElement* Row();
  // Deletes that row (the result set ended, or a row failed).
  void DropRow();

 private:
  Request* reply_ = nullptr;
  int end_ = 0;
  uint32_t budget_ = 0;  // 0: no block asked for yet
  FetchDataSetElement* row_ = nullptr;
  Request* ahead_ = nullptr;              // the next block asked for ahead
  Request* spare_ = nullptr;              // an execute-rows request to send again
  ClibConnection* connection_ = nullptr;  // where it was asked for
  uint32_t aheadNumber_ = 0;              // its request number while on its way
  int aheadStatus_ = 0;                   // the exchange status once read
};

// The parameter bindings, and the markers of the text last prepared or
// executed directly.
class Parameters {
 public:
  // At most one binding per parameter number, ascending.
  ParameterBindingList& Bindings() { return bindings_; }
  const ParameterBindingList& Bindings() const { return bindings_; }
  // How a text calls a procedure: not at all, {call ...}, or
  // {?= call ...} (its first marker the return value).
  enum CallForm : uint8_t { kNoCall, kCall, kReturnCall };
  // A text was prepared or executed directly with markers parameter markers.
  void SetText(uint16_t markers, CallForm call = kNoCall) {
    markers_ = markers;
    hasText_ = true;
    call_ = call;
    SetDescribed(nullptr);
  }
  CallForm Call() const { return call_; }
  // Marker 1 of {?= call ...} receives the return value: it is not sent,
  // and the markers after it go as the server's from 1.
  bool ReturnsValue(const ParameterBinding& b) const {
    return hasText_ && call_ == kReturnCall && b.ipar == 1;
  }
  uint16_t SentNumber(const ParameterBinding& b) const {
    return hasText_ && call_ == kReturnCall ? static_cast<uint16_t>(b.ipar - 1) : b.ipar;
  }
  // b receives a value after a call's execution: the return value, or a
  // marker bound for output. SQLSetParam's bindings (input-output with a
  // buffer of any size) are an ODBC 2 application's inputs.
  bool Receives(const ParameterBinding& b) const {
    return hasText_ && call_ != kNoCall && b.ipar <= markers_ &&
           (ReturnsValue(b) || b.fParamType == SQL_PARAM_OUTPUT ||
            (b.fParamType == SQL_PARAM_INPUT_OUTPUT && b.cbValueMax != SQL_SETPARAM_VALUE_MAX));
  }
  bool HasText() const { return hasText_; }
  uint16_t Markers() const { return markers_; }
  // Whether b goes out with the text's execution: bindings beyond its
  // markers stay bound for a later text but are not sent.
  bool Sends(const ParameterBinding& b) const { return !hasText_ || b.ipar <= markers_; }
  // The text is a searched UPDATE or DELETE (SQL_NO_DATA when it changes
  // no row, in ODBC 3).
  bool Searched() const { return searched_; }
  void SetSearched(bool searched) { searched_ = searched; }
  // The server's description of the text's markers (protocol/DESCRIBE.md),
  // owned, kept until the next text; null until asked for.
  ColumnDescriptionList* Described() const { return described_; }
  void SetDescribed(ColumnDescriptionList* list) {
    delete described_;
    described_ = list;
  }
  Parameters() = default;
  Parameters(const Parameters&) = delete;
  Parameters& operator=(const Parameters&) = delete;
  ~Parameters() { delete described_; }

  // The parameter set being executed (from 0) of an array of them.
  SQLULEN SetRow() const { return setRow_; }
  void SetSetRow(SQLULEN row) { setRow_ = row; }
  // The row count of the last array executed, summed over its sets; -1
  // when not known, and -2 when the server's count of the last execution
  // is the answer.
  SQLLEN ArrayRowCount() const { return arrayRows_; }
  void SetArrayRowCount(SQLLEN rows) { arrayRows_ = rows; }

  // An array that stopped at a set whose data comes at execution: where
  // it stands, for the SQLParamData that sends that set to go on from.
  struct ArrayProgress {
    bool pending = false;
    bool direct = false;  // SQLExecDirect of text
    SQLULEN row = 0;      // the set waiting for its data
    SQLLEN sum = 0;
    SQLULEN run = 0, failed = 0;
    bool warned = false;
    // A query's array (protocol/RESULTS.md): the sets from row on run one
    // at each SQLMoreResults.
    bool selects = false;
  };
  ArrayProgress& Progress() { return progress_; }
  String& ProgressText() { return progressText_; }

 private:
  ParameterBindingList bindings_;
  ArrayProgress progress_;
  String progressText_;
  SQLULEN setRow_ = 0;
  SQLLEN arrayRows_ = -2;
  ColumnDescriptionList* described_ = nullptr;
  uint16_t markers_ = 0;
  CallForm call_ = kNoCall;
  bool hasText_ = false;
  bool searched_ = false;
};

#endif
