// Statement handles: allocation, freeing and closing, preparation and
// execution.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstring>
#include <new>

#include "handles/Connection.h"
#include "handles/Statement.h"
#include "handles/Frame.h"
#include "handles/Odbc3Rules.h"
#include "base/Trace.h"
#include "odbc/fetch/BlockFetch.h"
#include "odbc/params/ParamArrays.h"
#include "odbc/Workers.h"
#include "odbc/fetch/EditRows.h"
#include "protocol/Requests.h"

namespace {

// Moves every record of from to the end of to, oldest first.
void MoveErrors(ErrorList* from, ErrorList* to) {
  while (ErrorData* record = from->Head()) to->Append(from->Unlink(record));
}

// Makes text the SQL of a request; false when a String cannot be made.
bool SetSql(StringElement* element, const SQLCHAR* sql, SQLINTEGER cbSql) {
  return element->value.SetString(reinterpret_cast<const char*>(sql), static_cast<int32_t>(cbSql));
}

// Makes request the statement's active request with an empty parameter
// set; false when memory runs out.
bool Activate(Statement* s, Request* request) {
  ParameterDataSetElement* set = request->Get<ParameterDataSetElement>();
  s->execution.Begin(request, set);
  request->SetStatementId(s->StatementId());
  ParameterDataList* list = new (std::nothrow) ParameterDataList;
  if (list == nullptr) return false;
  set->SetList(list);
  return true;
}

// Sends the active request and drops it; the outcome of the exchange.
int SendActive(Statement* s) {
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(s->execution.ActiveRequest(), &status);
  return rc == SQL_SUCCESS ? SQL_SUCCESS : s->CheckResult(rc, status);
}

}  // namespace

int AllocStmtWorker(Connection* c, SQLHSTMT* phstmt) {
  if (phstmt == nullptr) return VEL_POST(c, SQL_ERROR, kDiagInvalidArgument);
  Statement* s = new (std::nothrow) Statement(c);
  if (s == nullptr || !s->errors.Reserve()) {
    delete s;
    *phstmt = SQL_NULL_HSTMT;
    return VEL_POST(c, SQL_ERROR, kDiagHstmtAllocation);
  }
  AllocStatementRequest request;
  int rc = SQL_ERROR;
  int status = kStatusMemoryFailure;
  static_cast<void>(c->Revive());
  if (!request.Failed()) rc = request.Exchange(&status, &c->clib);
  if (rc == SQL_SUCCESS) {
    s->Allocated(request.Get<StatementIdElement>()->value);
    c->AddStatement(s);
    *phstmt = s;
    Trace('A', 2, " hstmt=0x%08lx", HandleValue(s));
    return SQL_SUCCESS;
  }
  // The statement never existed for the application; the reasons gathered
  // on it go to the connection, where the application looks for them.
  s->CheckResult(rc, status);
  MoveErrors(&s->errors, &c->errors);
  delete s;
  *phstmt = SQL_NULL_HSTMT;
  return SQL_ERROR;
}

int FreeStmtWorker(Statement* s, SQLUSMALLINT fOption, bool remove) {
  s->DropActiveRequest();
  if (fOption == SQL_CLOSE || fOption == SQL_DROP) {
    s->ResultClosed();
    s->parameters.Progress().selects = false;  // pending results go
    s->DropBlock();
    s->scroll.Drop();  // its scratch file goes with it
  }
  if (fOption == SQL_CLOSE && s->cursor.ServerClosed()) return SQL_SUCCESS;
  if (fOption == SQL_DROP || fOption == SQL_UNBIND) {
    s->Unbind();
    if (fOption == SQL_UNBIND) return SQL_SUCCESS;
  }
  if (fOption == SQL_RESET_PARAMS) {
    s->parameters.Bindings().Clear();
    return SQL_SUCCESS;
  }
  FreeStatementRequest request;
  if (request.Failed()) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  request.SetStatementId(s->StatementId());
  request.Get<FreeOptionElement>()->value = fOption;
  int status = kStatusCommunicationFailure;
  // With a server that offered executions with rows, a close travels with
  // the next request: its reply is read before that request's. Closing a
  // cursor of a statement the server knows cannot fail there; a lost
  // connection is reported by the next call.
  if (fOption == SQL_CLOSE && (s->OwningConnection()->flags & kConnectionQuick) != 0)
    return s->SendUnawaited(&request, &status) ? SQL_SUCCESS : s->CheckResult(SQL_ERROR, status);
  const int rc = s->Exchange(&request, &status);
  // A server that refuses the drop keeps the statement. A server that can no
  // longer be reached has forgotten it with the session: the handle goes
  // (its records with it), so that an application closing its cursors after
  // a lost connection is not left with handles it can never free.
  if (remove && fOption == SQL_DROP && rc != SQL_SUCCESS && status == kStatusCommunicationFailure) {
    s->OwningConnection()->RemoveStatement(s);
    return SQL_SUCCESS;
  }
  const int result = rc == SQL_SUCCESS ? SQL_SUCCESS : s->CheckResult(rc, status);
  if (remove && fOption == SQL_DROP && result != SQL_ERROR)
    s->OwningConnection()->RemoveStatement(s);
  return result;
}

namespace {
bool SearchedChange(const SQLCHAR* sql, SQLINTEGER cbSql);
// True when the text is an UPDATE or DELETE naming CURRENT OF a cursor.
bool Positioned(const SQLCHAR* sql, SQLINTEGER cbSql) {
  if (!SearchedChange(sql, cbSql)) return false;
  const char* p = reinterpret_cast<const char*>(sql);
  const size_t n = cbSql == SQL_NTS ? std::strlen(p) : static_cast<size_t>(cbSql);
  static const char kWords[] = "CURRENT OF ";
  for (size_t i = 0; i + sizeof kWords - 1 <= n; ++i) {
    size_t k = 0;
    while (k < sizeof kWords - 1 && (p[i + k] & ~0x20) == (kWords[k] & ~0x20)) ++k;
    if (k == sizeof kWords - 1) return true;
  }
  return false;
}
}  // namespace

// A result that came whole with its execution (protocol/QUICK.md) is
// closed on the server, yet open to the application until its rows are
// fetched or it is closed: a new execution over it is refused, as the
// server refuses one over a cursor with rows left.
bool UnfetchedRowsHeld(Statement* s) {
  Request* reply = s->block.Reply();
  return s->cursor.ServerClosed() && reply != nullptr &&
         reply->Get<RowBlockElement>()->RowsLeft() != 0;
}

int PrepareWorker(Statement* s, const SQLCHAR* sql, SQLINTEGER cbSql) {
  if (!ValidLength(cbSql)) return VEL_POST(s, SQL_ERROR, kDiagInvalidLength);
  if (UnfetchedRowsHeld(s)) return VEL_POST(s, SQL_ERROR, kDiagCursorStillOpen);
  PrepareRequest request;
  if (request.Failed() || !SetSql(request.Get<StatementElement>(), sql, cbSql)) {
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  }
  s->ForgetResultSet();
  s->parameters.Progress().selects = false;
  SetParameterText(s, sql, cbSql);
  s->parameters.SetSearched(sql != nullptr && SearchedChange(sql, cbSql));
  s->positioned = sql != nullptr && Positioned(sql, cbSql);
  request.SetStatementId(s->StatementId());
  // A connection that may make its session again prepares the text again
  // there.
  s->preparedText.Clear();
  if (s->OwningConnection()->relogin != nullptr &&
      !s->preparedText.SetString(request.Get<StatementElement>()->value))
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(&request, &status);
  if (rc != SQL_SUCCESS) return s->CheckResult(rc, status);
  const int adopted = s->AdoptResultSet(request.Get<ResultSetDescriptionElement>());
  // {?= call ...} leaves no result set: its value goes to marker 1.
  if (s->parameters.Call() == Parameters::kReturnCall) s->cursor.HideColumns();
  return adopted;
}

namespace {

// Runs an execution request (made here, not yet checked): it becomes the
// active request with the parameter values; SQL_NEED_DATA keeps it for
// SQLParamData, anything else sends it (unless adding a value failed) and
// drops it. A reply that describes a result set replaces the description.
int RunExecution(Statement* s, Request* request) {
  s->Restart();
  if (!Activate(s, request)) {
    s->DropActiveRequest();
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  }
  int rc = s->AddParameterValues();
  if (rc == SQL_NEED_DATA) {
    s->execution.SetStage(Execution::kAtParameter);
    return rc;
  }
  if (rc == SQL_SUCCESS) {
    rc = SendActive(s);
    if (rc == SQL_SUCCESS && request->ReturnsResultSet()) {
      rc = s->AdoptResultSet(request->Get<ResultSetDescriptionElement>());
    } else if (rc == SQL_SUCCESS && request->MessageCode() == Msg::kExecuteRows) {
      AdoptFirstBlock(s, s->execution.Release());
    }
  }
  s->DropActiveRequest();
  return TakeOutputs(s, rc);
}

}  // namespace

namespace {

int ExecuteOnce(Statement* s, const SQLCHAR*, SQLINTEGER) {
  s->DropActiveRequest();
  Request* request = nullptr;
  const bool withRows = ExecutesWithRows(s);
  if (withRows) {
    request = s->block.TakeSpare(Msg::kExecuteRows);
    if (request == nullptr) request = new (std::nothrow) ExecuteRowsRequest;
  } else {
    request = new (std::nothrow) ExecuteRequest;
  }
  if (request == nullptr || request->Failed()) {
    delete request;
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  }
  if (withRows) request->Get<MaxLengthElement>()->value = kFirstBlockBudget;
  // The description taken at prepare time stays (a call's, hidden after
  // its outputs were taken, comes back); this reply has none.
  s->cursor.ShowColumns();
  s->RelinkColumns();
  return RunExecution(s, request);
}

int ExecDirectOnce(Statement* s, const SQLCHAR* sql, SQLINTEGER cbSql) {
  s->DropActiveRequest();
  ExecDirectRequest* request = new (std::nothrow) ExecDirectRequest;
  if (request == nullptr || request->Failed() ||
      !SetSql(request->Get<StatementElement>(), sql, cbSql)) {
    delete request;
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  }
  s->ForgetResultSet();
  SetParameterText(s, sql, cbSql);
  return RunExecution(s, request);
}

}  // namespace

namespace {

// True when the text's first word makes it a searched UPDATE or DELETE
// (comments and blanks before it skipped).
bool SearchedChange(const SQLCHAR* sql, SQLINTEGER cbSql) {
  const char* p = reinterpret_cast<const char*>(sql);
  const char* end = p + (cbSql == SQL_NTS ? std::strlen(p) : static_cast<size_t>(cbSql));
  for (;;) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '(')) ++p;
    if (end - p >= 2 && p[0] == '-' && p[1] == '-') {
      while (p < end && *p != '\n') ++p;
    } else if (end - p >= 2 && p[0] == '/' && p[1] == '*') {
      for (p += 2; end - p >= 2 && !(p[0] == '*' && p[1] == '/');) ++p;
      p += end - p >= 2 ? 2 : end - p;
    } else {
      break;
    }
  }
  auto word = [&](const char* w) {
    const size_t n = std::strlen(w);
    if (static_cast<size_t>(end - p) < n) return false;
    for (size_t i = 0; i < n; ++i)
      if ((p[i] & ~0x20) != w[i]) return false;
    return static_cast<size_t>(end - p) == n || !std::isalnum(static_cast<unsigned char>(p[n]));
  };
  return word("UPDATE") || word("DELETE");
}

// ODBC 3: a searched UPDATE or DELETE that changed no row answers
// SQL_NO_DATA (one more request for the count, for such statements only;
// arrays of parameters keep their own outcome).
int NoRowsChanged(Statement* s, int rc) {
  if (rc != SQL_SUCCESS || !FollowsOdbc3(*s) || !s->parameters.Searched() ||
      s->cursor.ColumnCount() != 0 || s->ParamDescriptor().header.arraySize > 1)
    return rc;
  return QuietRowCount(s) == 0 ? SQL_NO_DATA : rc;
}

}  // namespace

int ExecuteWorker(Statement* s) {
  if (UnfetchedRowsHeld(s)) return VEL_POST(s, SQL_ERROR, kDiagCursorStillOpen);
  if (s->positioned && TellPositions(s) != SQL_SUCCESS) return SQL_ERROR;
  return NoRowsChanged(s, CheckEditable(s, RunParameterSets(s, ExecuteOnce, nullptr, 0)));
}

int NextSelectSet(Statement* s) { return NextSelectSet(s, ExecuteOnce, ExecDirectOnce); }

int ContinueArray(Statement* s, int rc) {
  return ContinueParameterSets(s, ExecuteOnce, ExecDirectOnce, rc);
}

int ExecDirectWorker(Statement* s, const SQLCHAR* sql, SQLINTEGER cbSql) {
  if (!ValidLength(cbSql)) return VEL_POST(s, SQL_ERROR, kDiagInvalidLength);
  if (UnfetchedRowsHeld(s)) return VEL_POST(s, SQL_ERROR, kDiagCursorStillOpen);
  s->positioned = sql != nullptr && Positioned(sql, cbSql);
  if (s->positioned && TellPositions(s) != SQL_SUCCESS) return SQL_ERROR;
  const int rc = CheckEditable(s, RunParameterSets(s, ExecDirectOnce, sql, cbSql));
  s->parameters.SetSearched(sql != nullptr && SearchedChange(sql, cbSql));
  return NoRowsChanged(s, rc);
}
