// The trace helpers of the entry frame.
#include "handles/Frame.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "base/Trace.h"

namespace {
thread_local int t_statementCalls = 0;
}  // namespace

bool HandleHold::InStatementCall() { return t_statementCalls > 0; }

HandleHold::HandleHold(const void* handle, HandleKind kind) {
  HandleObject* anchor = nullptr;
  object_ = Handles().Enter(handle, kind, &anchor, &pinned_);
  if (object_ != nullptr) anchor_ = anchor;
  // SQLCancel from another thread waits while a call of the statement is
  // on its way to its reply (odbc/statement/Cancel.cpp).
  busy_ = object_ != nullptr && kind == HandleKind::kStatement;
  if (busy_) static_cast<Connection*>(anchor_)->SetBusy(static_cast<Statement*>(object_));
  if (busy_) ++t_statementCalls;
}

HandleHold::~HandleHold() {
  if (anchor_ == nullptr) return;
  if (busy_) static_cast<Connection*>(anchor_)->SetBusy(nullptr);  // the statement may be gone
  if (busy_) --t_statementCalls;
  anchor_->CallLock()->Release();
  // Deletes a connection or environment freed by this call.
  if (pinned_) HandleIndex::Unpin(anchor_);
}

void TraceArgument(const char* name, const char* value, int32_t length) {
  if (!TraceEnabled('A', 2)) return;
  if (name == nullptr) name = "";
  if (value == nullptr) {
    Trace('A', 2, " %s=[%s]", name, "<null>");
    return;
  }
  if (length == SQL_NULL_DATA) {
    Trace('A', 2, " %s=[%s]", name, "<null data>");
    return;
  }
  if (length == SQL_NTS) {
    length = static_cast<int32_t>(strnlen(value, 0x7FFFFFFF));
  } else if (length < 0) {
    Trace('A', 2, " %s=[<invalid length %d>]", name, static_cast<int>(length));
    return;
  }
  if (length <= 80) {
    Trace('A', 2, " %s=[%.*s]", name, static_cast<int>(length), value);
  } else {
    Trace('A', 2, " %s=[%.80s...]", name, value);
  }
}

int TraceReturnLine(int rc) {
  const char* name = nullptr;
  switch (rc) {
    case SQL_ERROR:
      name = "SQL_ERROR";
      break;
    case SQL_SUCCESS:
      name = "SQL_SUCCESS";
      break;
    case SQL_SUCCESS_WITH_INFO:
      name = "SQL_SUCCESS_WITH_INFO";
      break;
    case SQL_STILL_EXECUTING:
      name = "SQL_STILL_EXECUTING";
      break;
    case SQL_NEED_DATA:
      name = "SQL_NEED_DATA";
      break;
    case SQL_NO_DATA_FOUND:
      name = "SQL_NO_DATA_FOUND";
      break;
    default:
      break;
  }
  if (name != nullptr) {
    Trace('A', 2, "Return code: %s\n", name);
  } else {
    Trace('A', 2, "Return code: %d (unknown)\n", rc);
  }
  return rc;
}
