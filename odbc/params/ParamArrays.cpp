// Arrays of parameter sets: many sets per execute-batch request to a
// server that offered it, else one execution per set.
#include "odbc/params/ParamArrays.h"

#include <sqlext.h>

#include <cstring>

#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Statement.h"
#include "base/Unaligned.h"
#include "odbc/Workers.h"
#include "protocol/Requests.h"
#include "protocol/SqlTypeCatalog.h"

namespace {

// One execution of an array: where its outcome goes and what it added up
// to so far.
struct SetRun {
  Statement* s;
  ExecuteOnceFunction once;
  const SQLCHAR* sql;  // of SQLExecDirect; null for SQLExecute
  SQLINTEGER cbSql;
  const SQLUSMALLINT* operations;  // SQL_PARAM_IGNORE skips a set; may be null
  SQLUSMALLINT* statuses;          // may be null
  SQLULEN* processed;              // may be null
  SQLULEN size;
  SQLLEN sum = 0;
  SQLULEN run = 0, failed = 0;
  bool warned = false;
  bool stopped = false;  // by the server's timeout or a cancel: no set after it runs
  bool unknown = false;  // sets went whose outcomes never came back
  bool Ignored(SQLULEN row) const {
    return operations != nullptr && operations[row] == SQL_PARAM_IGNORE;
  }
  // Without a status array the first failure ends the array.
  bool Stops() const { return statuses == nullptr; }
};

// Gives every record queued after mark (null: every record) the set's
// number (from 1).
void TagRecords(ErrorList* errors, ErrorData* mark, SQLULEN row) {
  ListItem* r = mark != nullptr ? mark->NextItem() : errors->Head();
  for (; r != nullptr; r = r->NextItem()) static_cast<ErrorData*>(r)->row = int32_t(row + 1);
}

// True for the record of a set the server stopped at the request's
// timeout or a cancel: the sets after it are not run (SQL_PARAM_UNUSED).
bool Stopped(const char* sqlstate, size_t length) {
  return length == 5 &&
         (std::memcmp(sqlstate, "S1008", 5) == 0 || std::memcmp(sqlstate, "S1T00", 5) == 0);
}

// Counts the outcome rc of set row with rows changed (-1: not known).
void Record(SetRun* r, SQLULEN row, int rc, SQLLEN rows) {
  ++r->run;
  // Processed counts every set the driver reached, ignored ones before
  // it included.
  if (r->processed != nullptr) *r->processed = row + 1;
  const bool ok = rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
  if (r->statuses != nullptr)
    r->statuses[row] = rc == SQL_SUCCESS             ? SQL_PARAM_SUCCESS
                       : rc == SQL_SUCCESS_WITH_INFO ? SQL_PARAM_SUCCESS_WITH_INFO
                                                     : SQL_PARAM_ERROR;
  r->warned = r->warned || rc == SQL_SUCCESS_WITH_INFO;
  if (!ok) {
    ++r->failed;
    return;
  }
  r->sum = rows < 0 || r->sum < 0 ? -1 : r->sum + rows;
}

// Sets row first on (count of them, ignored ones left out) were sent but
// their outcomes never came back: the server may have run (and committed)
// them, so they are neither successes nor failures, and the array ends.
// With memory the reason, the record says so (tagged with the first set).
void Unknown(SetRun* r, SQLULEN row, SQLULEN count, int status) {
  Statement* s = r->s;
  if (status == kStatusMemoryFailure) VEL_POST(s, SQL_ERROR, kDiagOutcomesUnknown);
  if (s->errors.Tail() != nullptr) s->errors.Tail()->row = int32_t(row + 1);
  for (; count > 0; ++row) {
    if (r->Ignored(row)) continue;
    if (r->statuses != nullptr) r->statuses[row] = SQL_PARAM_DIAG_UNAVAILABLE;
    if (r->processed != nullptr) *r->processed = row + 1;
    ++r->run;
    --count;
  }
  r->unknown = true;
  r->sum = -1;
}

// The server's row count of the set just executed (-1 when it cannot be
// had: the count is not the set's outcome, its failure only loses the sum).
SQLLEN CountSet(Statement* s) {
  SQLLEN rows = -1;
  const uint32_t recordsBefore = s->errors.Count();
  if (RowCountWorker(s, &rows) != SQL_SUCCESS) {
    while (s->errors.Count() > recordsBefore) delete s->errors.TakeLast();
    rows = -1;
  }
  return rows;
}

// What follows a set: the next one, the end of the array, the
// application (data at execution), or its result set (a query's array,
// whose next set SQLMoreResults runs).
enum class Next { kGoOn, kStop, kNeedData, kSelects };

// A query's array: the sets from row next on wait for SQLMoreResults.
void KeepSelects(SetRun* r, SQLULEN next) {
  Parameters::ArrayProgress& p = r->s->parameters.Progress();
  String& text = r->s->parameters.ProgressText();
  p.selects = next < r->size;
  p.row = next;
  p.direct = r->sql != nullptr;
  if (p.direct && reinterpret_cast<const char*>(r->sql) != text.TextOrEmpty() &&
      !text.SetString(reinterpret_cast<const char*>(r->sql), static_cast<int32_t>(r->cbSql)))
    p.selects = false;
}

// Counts the outcome rc of set row executed alone (its records are those
// after mark) and tells what follows it.
Next Finish(SetRun* r, SQLULEN row, int rc, ErrorData* mark) {
  Statement* s = r->s;
  const bool ok = rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
  int status = kStatusReplied;
  if (!ok && s->Unanswered(&status)) {
    Unknown(r, row, 1, status);
    TagRecords(&s->errors, mark, row);
    return Next::kStop;
  }
  if (ok && s->cursor.ColumnCount() != 0 && s->OwningConnection()->OffersResults()) {
    // A query: one result set per set, this one first.
    Record(r, row, rc, -1);
    TagRecords(&s->errors, mark, row);
    KeepSelects(r, row + 1);
    return Next::kSelects;
  }
  if (ok && s->cursor.ColumnCount() != 0) {
    // A statement that returns rows: its result set is not kept.
    FreeStmtWorker(s, SQL_CLOSE, false);
    rc = VEL_POST(s, SQL_ERROR, kDiagArraySelect);
  }
  Record(r, row, rc, rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ? CountSet(s) : -1);
  TagRecords(&s->errors, mark, row);
  const ErrorData* last = static_cast<const ErrorData*>(s->errors.Tail());
  r->stopped = rc == SQL_ERROR && last != nullptr && last != mark &&
               Stopped(last->sqlstate.TextOrEmpty(), last->sqlstate.Length());
  return rc == SQL_ERROR && (r->Stops() || r->stopped) ? Next::kStop : Next::kGoOn;
}

// Runs set row in an execution request of its own.
Next RunOneSet(SetRun* r, SQLULEN row) {
  Statement* s = r->s;
  s->parameters.SetSetRow(row);
  ErrorData* mark = s->errors.Tail();
  s->ClearUnanswered();
  const int rc = r->once(s, r->sql, r->cbSql);
  if (rc != SQL_NEED_DATA) return Finish(r, row, rc, mark);
  // SQLParamData sends the set and goes on from there.
  if (r->processed != nullptr) *r->processed = row + 1;
  Parameters::ArrayProgress& p = s->parameters.Progress();
  p = {true, r->sql != nullptr, row, r->sum, r->run, r->failed, r->warned};
  if (r->sql != nullptr &&
      !s->parameters.ProgressText().SetString(reinterpret_cast<const char*>(r->sql),
                                              static_cast<int32_t>(r->cbSql))) {
    s->DropActiveRequest();
    p.pending = false;
    return Finish(r, row, VEL_POST(s, SQL_ERROR, kDiagMemory), mark);
  }
  return Next::kNeedData;
}

// Appends the values of set row to sets: SQL_SUCCESS, SQL_NEED_DATA (a
// value comes at execution) or SQL_ERROR (posted); the set is left out
// unless SQL_SUCCESS.
int AppendSet(Statement* s, SQLULEN row, ParameterSetsElement* sets) {
  s->parameters.SetSetRow(row);
  if (!sets->BeginSet()) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  for (ParameterBinding* b = s->parameters.Bindings().Head();
       b != nullptr && s->parameters.Sends(*b); b = static_cast<ParameterBinding*>(b->NextItem())) {
    const SQLLEN* indicator = s->SourceOf(b).indicator;
    const SQLLEN ind = indicator != nullptr ? LoadUnaligned(indicator) : 0;
    if (indicator != nullptr && ind == SQL_IGNORE) continue;
    int rc = SQL_SUCCESS;
    if (indicator != nullptr && (ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET)) {
      rc = SQL_NEED_DATA;
    } else if (s->ConvertParameterValue(b, false) != SQL_SUCCESS) {
      rc = SQL_ERROR;
    } else if (!sets->AppendValue(b->ipar, b->converted.SentType(SentSqlType(b->fSqlType)),
                                  b->converted.Data(), b->converted.Length(),
                                  b->converted.IsNull())) {
      rc = VEL_POST(s, SQL_ERROR, kDiagMemory);
    }
    if (rc != SQL_SUCCESS) {
      sets->DropSet();
      return rc;
    }
  }
  sets->EndSet();
  return SQL_SUCCESS;
}

// The sets of one execute-batch request: rows first to end (less the
// ignored ones), sent with text (empty: the statement prepared).
class Batch {
 public:
  explicit Batch(SetRun* r) : r_(r) {}
  bool Failed() const { return request_.Failed(); }
  ParameterSetsElement* Sets() { return request_.Get<ParameterSetsElement>(); }
  bool Empty() { return Failed() || Sets()->Items() == 0; }  // (a failed request has no sets)
  bool Full() {
    return Sets()->Items() == ParameterSetsElement::kMaxItems ||
           Sets()->ElementSize() >= r_->s->OwningConnection()->batchBudget;
  }
  void Starts(SQLULEN row) {
    if (Empty()) first_ = row;
  }
  // Sends the sets and records each one's outcome; false when the array
  // ends here. Nothing is sent without sets.
  bool Flush();

 private:
  bool Fail(int rc);
  SetRun* r_;
  ExecuteBatchRequest request_;
  SQLULEN first_ = 0;
};

bool Batch::Flush() {
  if (Empty()) return true;
  Statement* s = r_->s;
  request_.SetStatementId(s->StatementId());
  request_.Get<BatchModeElement>()->value = r_->Stops() ? kBatchStop : kBatchGoOn;
  String& text = request_.Get<StatementElement>()->value;
  if (r_->sql != nullptr && text.Length() == 0 &&
      !text.SetString(reinterpret_cast<const char*>(r_->sql), static_cast<int32_t>(r_->cbSql)))
    return Fail(VEL_POST(s, SQL_ERROR, kDiagMemory));
  // A server record's fields, as get-error gives them; made first, so that
  // nothing fails between the reply and the outcomes it carries.
  GetErrorRequest record;
  if (record.Failed()) return Fail(VEL_POST(s, SQL_ERROR, kDiagMemory));
  int status = kStatusCommunicationFailure;
  const uint32_t sent = Sets()->Items();
  const int rc = s->Exchange(&request_, &status);
  Sets()->Clear();
  int why = kStatusReplied;
  if (rc != SQL_SUCCESS && s->Unanswered(&why)) {
    if (why != kStatusMemoryFailure) s->CheckResult(rc, why);
    Unknown(r_, first_, sent, why);
    return false;
  }
  if (rc != SQL_SUCCESS) return Fail(s->CheckResult(rc, status));
  BatchOutcomesElement* outcomes = request_.Get<BatchOutcomesElement>();
  BatchOutcome o;
  SQLULEN row = first_;
  while (outcomes->Next(&o)) {
    while (r_->Ignored(row)) ++row;
    if (row >= r_->size) return Fail(VEL_POST(s, SQL_ERROR, kDiagInvalidReply));
    if (o.returnCode != SQL_SUCCESS) {
      const bool held =
          record.Get<SqlstateElement>()->value.SetString(o.sqlstate, o.sqlstateLength) &&
          record.Get<ErrorTextElement>()->value.SetString(o.text, o.textLength) &&
          record.Get<FileNameElement>()->value.SetString(o.file, o.fileLength);
      record.Get<ErrorCodeElement>()->value = o.native;
      record.Get<LineNumberElement>()->value = o.line;
      if (held) {
        s->PostServerRecord(o.returnCode, &record);
      } else {
        VEL_POST(s, o.returnCode, kDiagMemory);
      }
      if (s->errors.Tail() != nullptr) s->errors.Tail()->row = int32_t(row + 1);
    }
    Record(r_, row, o.returnCode, o.rows);
    r_->stopped = o.returnCode == SQL_ERROR && Stopped(o.sqlstate, o.sqlstateLength);
    if (o.returnCode == SQL_ERROR && (r_->Stops() || r_->stopped)) return false;
    ++row;
  }
  return true;
}

// The request as a whole failed (its record posted): its first set takes
// the record, and the array ends.
bool Batch::Fail(int rc) {
  Sets()->Clear();
  if (r_->s->errors.Tail() != nullptr) r_->s->errors.Tail()->row = int32_t(first_ + 1);
  Record(r_, first_, rc == SQL_SUCCESS ? SQL_ERROR : rc, -1);
  return false;
}

// Runs the sets from row from on in execute-batch requests. A set whose
// data comes at execution, or that cannot be converted, ends the request
// before it and goes alone.
Next RunBatches(SetRun* r, SQLULEN from) {
  Statement* s = r->s;
  Batch batch(r);
  for (SQLULEN row = from; row < r->size; ++row) {
    if (r->Ignored(row)) continue;
    batch.Starts(row);
    ErrorData* mark = s->errors.Tail();
    const int rc = batch.Failed() ? SQL_NEED_DATA : AppendSet(s, row, batch.Sets());
    if (rc == SQL_SUCCESS) {
      if (batch.Full() && !batch.Flush()) return Next::kStop;
      continue;
    }
    // The set's own records come after those of the sets before it.
    TypedList<ErrorData> held;
    for (ListItem* e = mark != nullptr ? mark->NextItem() : s->errors.Head(); e != nullptr;) {
      ListItem* next = e->NextItem();
      held.Append(s->errors.Unlink(static_cast<ErrorData*>(e)));
      e = next;
    }
    const bool goOn = batch.Flush();
    while (ErrorData* e = held.Head()) s->errors.Append(held.Unlink(e));
    if (!goOn) return Next::kStop;
    const Next next = rc == SQL_NEED_DATA ? RunOneSet(r, row) : Finish(r, row, SQL_ERROR, mark);
    if (next != Next::kGoOn) return next;
  }
  return batch.Flush() ? Next::kGoOn : Next::kStop;
}

// Runs the sets from row from on; SQL_NEED_DATA when one waits for its
// data, else the array's result. With probe the first set runs alone:
// a query keeps its result set and leaves the other sets to SQLMoreResults.
int RunFrom(SetRun* r, SQLULEN from, bool probe = false) {
  Statement* s = r->s;
  Next next = Next::kGoOn;
  while (probe && from < r->size && r->Ignored(from)) ++from;
  if (probe && from < r->size) next = RunOneSet(r, from++);
  if (next == Next::kSelects) {
    s->parameters.SetSetRow(0);
    return r->warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  }
  if (next == Next::kGoOn && s->OwningConnection()->OffersBatch()) {
    next = RunBatches(r, from);
  } else {
    for (SQLULEN row = from; row < r->size && next == Next::kGoOn; ++row)
      if (!r->Ignored(row)) next = RunOneSet(r, row);
  }
  if (next == Next::kNeedData) return SQL_NEED_DATA;
  s->parameters.SetSetRow(0);
  s->parameters.SetArrayRowCount(r->sum);
  if (r->unknown || (r->failed != 0 && (r->failed == r->run || r->Stops() || r->stopped)))
    return SQL_ERROR;
  return r->failed != 0 || r->warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SetRun MakeRun(Statement* s, ExecuteOnceFunction once, const SQLCHAR* sql, SQLINTEGER cbSql) {
  const ArrayHeader& apd = s->ParamDescriptor().header;
  const ArrayHeader& ipd = s->ipd.header;
  const SQLULEN size = apd.arraySize == 0 ? 1 : apd.arraySize;
  return {s, once, sql, cbSql, apd.arrayStatusPtr, ipd.arrayStatusPtr, ipd.rowsProcessedPtr, size};
}

}  // namespace

int ParamOptionsWorker(Statement* s, SQLULEN crow, SQLULEN* pirow) {
  if (crow == 0) return VEL_POST(s, SQL_ERROR, kDiagRowValueOutOfRange);
  s->ParamDescriptor().header.arraySize = crow;
  s->ipd.header.rowsProcessedPtr = pirow;
  return SQL_SUCCESS;
}

int RunParameterSets(Statement* s, ExecuteOnceFunction once, const SQLCHAR* sql, SQLINTEGER cbSql) {
  s->parameters.SetArrayRowCount(-2);
  s->parameters.SetSetRow(0);
  s->parameters.Progress().pending = false;
  s->parameters.Progress().selects = false;
  SetRun r = MakeRun(s, once, sql, cbSql);
  // A server that gives results one after the other takes a query's
  // array: a result set per set (protocol/RESULTS.md).
  const bool results = s->OwningConnection()->OffersResults();
  if (r.size == 1 && r.operations == nullptr && r.statuses == nullptr && r.processed == nullptr)
    return once(s, sql, cbSql);
  if (r.size > 1 && sql == nullptr && s->cursor.ColumnCount() != 0 && !results) {
    // A prepared statement that returns rows.
    return VEL_POST(s, SQL_ERROR, kDiagArraySelect);
  }
  if (r.processed != nullptr) *r.processed = 0;
  if (r.statuses != nullptr) {
    for (SQLULEN row = 0; row < r.size; ++row) r.statuses[row] = SQL_PARAM_UNUSED;
  }
  if (r.size == 1) {
    // A single set: as alone, with its status and count.
    if (r.Ignored(0)) return SQL_SUCCESS;
    ErrorData* mark = s->errors.Tail();
    s->ClearUnanswered();
    const int rc = once(s, sql, cbSql);
    if (rc == SQL_NEED_DATA) return rc;
    int status = kStatusReplied;
    if (rc == SQL_ERROR && s->Unanswered(&status)) {
      Unknown(&r, 0, 1, status);
    } else {
      Record(&r, 0, rc, rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ? CountSet(s) : -1);
    }
    TagRecords(&s->errors, mark, 0);
    s->parameters.SetArrayRowCount(r.sum);
    return rc;
  }
  if (sql != nullptr) {
    s->ForgetResultSet();
    SetParameterText(s, sql, cbSql);
  }
  s->DropActiveRequest();
  s->Restart();
  return RunFrom(&r, 0, results && (sql != nullptr || s->cursor.ColumnCount() != 0));
}

int NextSelectSet(Statement* s, ExecuteOnceFunction execute, ExecuteOnceFunction execDirect) {
  Parameters::ArrayProgress& p = s->parameters.Progress();
  p.selects = false;
  const String& text = s->parameters.ProgressText();
  SetRun r = p.direct ? MakeRun(s, execDirect, reinterpret_cast<const SQLCHAR*>(text.TextOrEmpty()),
                                static_cast<SQLINTEGER>(text.Length()))
                      : MakeRun(s, execute, nullptr, 0);
  SQLULEN row = p.row;
  while (row < r.size && r.Ignored(row)) ++row;
  if (row >= r.size) return SQL_NO_DATA_FOUND;
  ErrorData* mark = s->errors.Tail();
  s->parameters.SetSetRow(row);
  int rc = r.once(s, r.sql, r.cbSql);
  s->parameters.SetSetRow(0);
  if (rc == SQL_NEED_DATA) {
    s->DropActiveRequest();
    rc = VEL_POST(s, SQL_ERROR, kDiagArraySelectAtExec);
  }
  // A failing set: with a status array the sets after it still come.
  if (Finish(&r, row, rc, mark) == Next::kGoOn) KeepSelects(&r, row + 1);
  return rc;
}

int ContinueParameterSets(Statement* s, ExecuteOnceFunction execute, ExecuteOnceFunction execDirect,
                          int rc) {
  Parameters::ArrayProgress p = s->parameters.Progress();
  if (!p.pending) return rc;
  s->parameters.Progress().pending = false;
  const String& text = s->parameters.ProgressText();
  SetRun r = p.direct ? MakeRun(s, execDirect, reinterpret_cast<const SQLCHAR*>(text.TextOrEmpty()),
                                static_cast<SQLINTEGER>(text.Length()))
                      : MakeRun(s, execute, nullptr, 0);
  r.sum = p.sum;
  r.run = p.run;
  r.failed = p.failed;
  r.warned = p.warned;
  // The set just sent: the records of this call are all its own.
  const Next next = Finish(&r, p.row, rc, nullptr);
  if (next == Next::kSelects) return rc;
  if (next == Next::kStop) return RunFrom(&r, r.size);
  return RunFrom(&r, p.row + 1);
}
