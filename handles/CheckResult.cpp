// CheckResult of Connection and Statement: turns the outcome of an
// exchange into the call's return code and diagnostics, fetching the
// server's own record with the get-error request after a non-zero return
// code that fits the call (handles/ReplyCodes.h).
#include <sql.h>

#include <new>

#include "handles/ClientDiagnostics.h"
#include "handles/ErrorData.h"
#include "handles/Connection.h"
#include "handles/Statement.h"
#include "protocol/Requests.h"

namespace {

// SQLSTATEs have five characters; a longer one from the server is cut.
const uint32_t kSqlstateLength = 5;

// Appends the record that request's get-error elements hold to errors;
// false (nothing queued) when memory runs out.
bool QueueServerRecord(Request& request, ErrorList* errors) {
  String& sqlstate = request.Get<SqlstateElement>()->value;
  String cut;
  const bool longState = sqlstate.Length() > kSqlstateLength;
  if (!(longState ? cut.SetString(sqlstate.Text(), static_cast<int32_t>(kSqlstateLength))
                  : cut.SetString(sqlstate))) {
    return false;
  }
  ErrorData* record = new (std::nothrow) ErrorData;
  if (record == nullptr) return false;
  if (!record->Setup(kSourceServer, request.Get<ErrorCodeElement>()->value, cut,
                     request.Get<ErrorTextElement>()->value, request.Get<FileNameElement>()->value,
                     request.Get<LineNumberElement>()->value)) {
    delete record;
    return false;
  }
  errors->Append(record);
  return true;
}

// Fetches the server's record for the subject statementId (0: the
// connection) over clib and appends it to errors. Returns null when it
// was queued, else the client diagnostic to queue in its place: a record
// that cannot be fetched or held is never queued empty.
const ClientDiagnostic* FetchServerRecord(ClibConnection* clib, uint32_t statementId,
                                          ErrorList* errors) {
  GetErrorRequest request;
  if (request.Failed()) return &kDiagMemory;
  request.SetStatementId(statementId);
  int status = 0;
  const int rc = request.Exchange(&status, clib);  // the record is the reply
  if (status == kStatusCommunicationFailure) return &kDiagCommunicationFailure;
  if (status != kStatusReplied) return &kDiagMemory;
  if (!ReplyCodeFits(rc, ReplyCodes::kWithEnd)) return &kDiagInvalidReply;
  return QueueServerRecord(request, errors) ? nullptr : &kDiagMemory;
}

template <class Object>
int Check(Object* object, int rc, int status, ReplyCodes codes, ClibConnection* clib,
          uint32_t statementId) {
  if (rc == SQL_SUCCESS) return SQL_SUCCESS;
  switch (status) {
    case kStatusCommunicationFailure:
      return VEL_POST(object, rc, kDiagCommunicationFailure);
    case kStatusMemoryFailure:
      return VEL_POST(object, rc, kDiagMemory);
    case kStatusValueTooLong:  // refused before anything is sent, never cut
      return VEL_POST(object, rc, kDiagValueTooLong);
    case kStatusBodyTooLong:
      return VEL_POST(object, rc, kDiagRequestTooLong);
    case kStatusReplied: {
      // A code the call cannot return (-1280, SQL_NEED_DATA, ...) is no
      // answer: the application only ever sees ODBC's codes.
      if (!ReplyCodeFits(rc, codes)) return VEL_POST(object, SQL_ERROR, kDiagInvalidReply);
      // Else the server's return code stands; a record it could not give
      // is replaced by the reason.
      const ClientDiagnostic* failure = FetchServerRecord(clib, statementId, &object->errors);
      return failure ? VEL_POST(object, rc, *failure) : rc;
    }
    case kStatusInternalError:
    default:
      return VEL_POST(object, rc, kDiagInternalError);
  }
}

}  // namespace

int Connection::CheckResult(int rc, int status, ReplyCodes codes) {
  return Check(this, rc, status, codes, &clib, 0);
}

int Statement::CheckResult(int rc, int status, ReplyCodes codes) {
  ClibConnection* clib = connection_ != nullptr ? &connection_->clib : nullptr;
  ReplyWait wait(this);  // the get-error reply too
  return Check(this, rc, status, codes, clib, statementId_);
}

int Statement::PostServerRecord(int rc, Request* reply) {
  return QueueServerRecord(*reply, &errors) ? rc : VEL_POST(this, rc, kDiagMemory);
}
