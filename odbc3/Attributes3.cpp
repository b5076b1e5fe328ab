// Exports: SQLSetConnectAttr, SQLGetConnectAttr, SQLSetStmtAttr,
// SQLGetStmtAttr.
#include <sql.h>
#include <sqlext.h>

#include "base/Trace.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/ConnectString.h"
#include "odbc/Workers3.h"

namespace {

// A number as wide as its size, or a text cut to the buffer (*cut then).
int PutField(const FieldValue& value, SQLPOINTER buffer, long bufferLength, SQLINTEGER* length,
             bool* cut) {
  *cut = false;
  if (!value.isText) {
    if (buffer != nullptr) {
      if (value.size == sizeof(SQLLEN)) {
        *static_cast<SQLLEN*>(buffer) = value.number;
      } else if (value.size == sizeof(SQLINTEGER)) {
        *static_cast<SQLINTEGER*>(buffer) = static_cast<SQLINTEGER>(value.number);
      } else {
        *static_cast<SQLSMALLINT*>(buffer) = static_cast<SQLSMALLINT>(value.number);
      }
    }
    if (length != nullptr) *length = value.size;
    return SQL_SUCCESS;
  }
  if (bufferLength < 0) return SQL_ERROR;
  if (length != nullptr) *length = static_cast<SQLINTEGER>(value.text.Length());
  *cut = !CopyOutput(value.text.TextOrEmpty(), value.text.Length(), static_cast<char*>(buffer),
                     bufferLength);
  return SQL_SUCCESS;
}

template <class Owner>
int Answer(Owner* owner, int rc, const FieldValue& value, SQLPOINTER buffer, SQLINTEGER bufferLength,
           SQLINTEGER* length) {
  if (rc != SQL_SUCCESS) return rc;
  bool cut = false;
  rc = PutField(value, buffer, bufferLength, length, &cut);
  if (rc == SQL_ERROR) return VEL_POST(owner, SQL_ERROR, kDiagInvalidLength);
  return cut ? VEL_POST(owner, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated) : rc;
}

}  // namespace

VEL_EXPORT SQLRETURN SQLSetConnectAttr(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                       SQLINTEGER cbValue) {
  Trace('A', 2, "SQLSetConnectAttr: hdbc=0x%08lx, fAttribute=%d", HandleValue(hdbc), fAttribute);
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(SetConnectAttrWorker(c, fAttribute, pValue, cbValue));
}

VEL_EXPORT SQLRETURN SQLGetConnectAttr(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                       SQLINTEGER cbValueMax, SQLINTEGER* pcbValue) {
  Trace('A', 2, "SQLGetConnectAttr: hdbc=0x%08lx, fAttribute=%d", HandleValue(hdbc), fAttribute);
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  FieldValue value;
  const int rc = GetConnectAttrWorker(c, fAttribute, &value);
  return TraceReturnCode(Answer(c, rc, value, pValue, cbValueMax, pcbValue));
}

VEL_EXPORT SQLRETURN SQLSetStmtAttr(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                    SQLINTEGER /*cbValue*/) {
  Trace('A', 2, "SQLSetStmtAttr: hstmt=0x%08lx, fAttribute=%d", HandleValue(hstmt), fAttribute);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(SetStmtAttrWorker(s, fAttribute, pValue));
}

VEL_EXPORT SQLRETURN SQLGetStmtAttr(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                    SQLINTEGER cbValueMax, SQLINTEGER* pcbValue) {
  Trace('A', 2, "SQLGetStmtAttr: hstmt=0x%08lx, fAttribute=%d", HandleValue(hstmt), fAttribute);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  FieldValue value;
  const int rc = GetStmtAttrWorker(s, fAttribute, &value);
  return TraceReturnCode(Answer(s, rc, value, pValue, cbValueMax, pcbValue));
}
