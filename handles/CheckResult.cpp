// CheckResult of Connection and Statement: turns the outcome of an
// exchange into the call's return code and diagnostics, fetching the
// server's own record with the get-error request after a non-zero return
// code.
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
// nothing is queued when memory runs out.
void QueueServerRecord(Request& request, ErrorList* errors) {
  String& sqlstate = request.Get<SqlstateElement>()->value;
  String cut;
  if (sqlstate.Length() > kSqlstateLength) {
    if (!cut.SetString(sqlstate.Text(), static_cast<int32_t>(kSqlstateLength))) return;
  } else if (!cut.SetString(sqlstate)) {
    return;
  }
  ErrorData* record = new (std::nothrow) ErrorData;
  if (record == nullptr) return;
  if (!record->Setup(VEL_SOURCE_SERVER, request.Get<ErrorCodeElement>()->value, cut,
                     request.Get<ErrorTextElement>()->value, request.Get<FileNameElement>()->value,
                     request.Get<LineNumberElement>()->value)) {
    delete record;
    return;
  }
  errors->Append(record);
}

// Fetches the server's record for the subject statementId (0: the
// connection) over clib and appends it to errors. Returns false when the
// request cannot be built. A failed exchange still queues a record with
// the values the reply elements had (empty texts and zeros).
bool FetchServerRecord(ClibConnection* clib, uint32_t statementId, ErrorList* errors) {
  GetErrorRequest request;
  if (request.Failed()) return false;
  request.SetStatementId(statementId);
  int status = 0;
  request.Exchange(&status, clib);  // its outcome is not examined
  QueueServerRecord(request, errors);
  return true;
}

template <class Object>
int Check(Object* object, int rc, int status, ClibConnection* clib, uint32_t statementId) {
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
    case kStatusReplied:
      if (!FetchServerRecord(clib, statementId, &object->errors)) {
        return VEL_POST(object, SQL_ERROR, kDiagInternalError);
      }
      return rc;
    case kStatusInternalError:
    default:
      return VEL_POST(object, rc, kDiagInternalError);
  }
}

}  // namespace

int Connection::CheckResult(int rc, int status) { return Check(this, rc, status, &clib, 0); }

int Statement::CheckResult(int rc, int status) {
  ClibConnection* clib = connection != nullptr ? &connection->clib : nullptr;
  return Check(this, rc, status, clib, statementId);
}

int Statement::PostServerRecord(int rc, Request* reply) {
  QueueServerRecord(*reply, &errors);
  return rc;
}
