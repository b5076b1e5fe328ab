// Exports: SQLGetDiagRec, SQLGetDiagField and their wide forms. None
// changes or posts a record.
#include "odbc3/Diag3.h"

#include <sqlext.h>

#include <cstring>

#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "odbc/connect/ConnectString.h"
#include "odbc3/Output3.h"

DiagHold::DiagHold(SQLSMALLINT type, SQLHANDLE handle)
    : env_(type == SQL_HANDLE_ENV ? handle : nullptr, false),
      conn_(type == SQL_HANDLE_DBC ? handle : nullptr, false),
      stmt_(type == SQL_HANDLE_STMT ? handle : nullptr, false),
      desc_(type == SQL_HANDLE_DESC ? handle : nullptr, false) {
  if (Descriptor* d = desc_.Get()) {
    target.errors = &d->errors;
    target.stmt = d->OwningStatement();
    target.conn = d->OwningConnection();
  } else if (Statement* s = stmt_.Get()) {
    target.errors = &s->errors;
    target.stmt = s;
    target.conn = s->OwningConnection();
  } else if (Connection* c = conn_.Get()) {
    target.errors = &c->errors;
    target.conn = c;
  } else if (Environment* e = env_.Get()) {
    target.errors = &e->errors;
    target.env = e;
  }
  if (target.conn != nullptr) target.env = target.conn->environment;
}

namespace {

// A message of length bytes into buffer (size bytes), cut with a NUL;
// SQL_SUCCESS_WITH_INFO when cut.
int PutText(const String& text, SQLCHAR* buffer, long size, SQLSMALLINT* pcb) {
  const uint32_t length = text.Length();
  if (pcb != nullptr) *pcb = static_cast<SQLSMALLINT>(length > 32767 ? 32767 : length);
  return CopyOutput(text.TextOrEmpty(), length, reinterpret_cast<char*>(buffer), size)
             ? SQL_SUCCESS
             : SQL_SUCCESS_WITH_INFO;
}

}  // namespace

VEL_EXPORT SQLRETURN SQLGetDiagRec(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT iRecord,
                                   SQLCHAR* szSqlState, SQLINTEGER* pfNativeError,
                                   SQLCHAR* szErrorMsg, SQLSMALLINT cbErrorMsgMax,
                                   SQLSMALLINT* pcbErrorMsg) {
  Trace('A', 2, "SQLGetDiagRec: fHandleType=%d, handle=0x%08lx, iRecord=%d", fHandleType,
        HandleValue(handle), iRecord);
  DiagHold hold(fHandleType, handle);
  if (!hold.Found()) return TraceReturnCode(SQL_INVALID_HANDLE);
  if (cbErrorMsgMax < 0) return TraceReturnCode(SQL_ERROR);
  char state[6] = {};
  SQLINTEGER native = 0;
  String message;
  const int rc = DiagRecordWorker(hold.target, iRecord, state, &native, &message);
  if (rc != SQL_SUCCESS) return TraceReturnCode(rc);
  if (szSqlState != nullptr) std::memcpy(szSqlState, state, sizeof state);
  if (pfNativeError != nullptr) *pfNativeError = native;
  return TraceReturnCode(PutText(message, szErrorMsg, cbErrorMsgMax, pcbErrorMsg));
}

VEL_EXPORT SQLRETURN SQLGetDiagField(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT iRecord,
                                     SQLSMALLINT fDiagField, SQLPOINTER rgbDiagInfo,
                                     SQLSMALLINT cbDiagInfoMax, SQLSMALLINT* pcbDiagInfo) {
  Trace('A', 2, "SQLGetDiagField: fHandleType=%d, handle=0x%08lx, iRecord=%d, fDiagField=%d",
        fHandleType, HandleValue(handle), iRecord, fDiagField);
  DiagHold hold(fHandleType, handle);
  if (!hold.Found()) return TraceReturnCode(SQL_INVALID_HANDLE);
  FieldValue value;
  const int rc = DiagFieldWorker(hold.target, iRecord, fDiagField, &value);
  if (rc != SQL_SUCCESS) return TraceReturnCode(rc);
  if (value.isText) {
    if (cbDiagInfoMax < 0) return TraceReturnCode(SQL_ERROR);
    return TraceReturnCode(
        PutText(value.text, static_cast<SQLCHAR*>(rgbDiagInfo), cbDiagInfoMax, pcbDiagInfo));
  }
  PutNumber(value, rgbDiagInfo);
  return TraceReturnCode(SQL_SUCCESS);
}

// Lengths of the message in characters; the SQLSTATE is six characters
// with its 0.
VEL_EXPORT SQLRETURN SQLGetDiagRecW(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT iRecord,
                                    SQLWCHAR* szSqlState, SQLINTEGER* pfNativeError,
                                    SQLWCHAR* szErrorMsg, SQLSMALLINT cchErrorMsgMax,
                                    SQLSMALLINT* pcchErrorMsg) {
  Trace('A', 2, "SQLGetDiagRecW: fHandleType=%d, handle=0x%08lx, iRecord=%d", fHandleType,
        HandleValue(handle), iRecord);
  DiagHold hold(fHandleType, handle);
  if (!hold.Found()) return TraceReturnCode(SQL_INVALID_HANDLE);
  if (cchErrorMsgMax < 0) return TraceReturnCode(SQL_ERROR);
  char state[6] = {};
  SQLINTEGER native = 0;
  String message;
  const int rc = DiagRecordWorker(hold.target, iRecord, state, &native, &message);
  if (rc != SQL_SUCCESS) return TraceReturnCode(rc);
  if (szSqlState != nullptr) Utf8ToWide(state, 5, szSqlState, 6, nullptr);
  if (pfNativeError != nullptr) *pfNativeError = native;
  long need = 0;
  const bool whole = CopyWideOutput(message, szErrorMsg, cchErrorMsgMax, &need);
  if (pcchErrorMsg != nullptr) *pcchErrorMsg = ShortCount(need);
  return TraceReturnCode(whole ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO);
}

// Texts are measured in bytes, as two per character.
VEL_EXPORT SQLRETURN SQLGetDiagFieldW(SQLSMALLINT fHandleType, SQLHANDLE handle,
                                      SQLSMALLINT iRecord, SQLSMALLINT fDiagField,
                                      SQLPOINTER rgbDiagInfo, SQLSMALLINT cbDiagInfoMax,
                                      SQLSMALLINT* pcbDiagInfo) {
  Trace('A', 2, "SQLGetDiagFieldW: fHandleType=%d, handle=0x%08lx, iRecord=%d, fDiagField=%d",
        fHandleType, HandleValue(handle), iRecord, fDiagField);
  DiagHold hold(fHandleType, handle);
  if (!hold.Found()) return TraceReturnCode(SQL_INVALID_HANDLE);
  FieldValue value;
  const int rc = DiagFieldWorker(hold.target, iRecord, fDiagField, &value);
  if (rc != SQL_SUCCESS) return TraceReturnCode(rc);
  if (!value.isText) {
    PutNumber(value, rgbDiagInfo);
    return TraceReturnCode(SQL_SUCCESS);
  }
  if (cbDiagInfoMax < 0) return TraceReturnCode(SQL_ERROR);
  long need = 0;
  const bool whole = CopyWideOutput(value.text, rgbDiagInfo, cbDiagInfoMax / kWideUnitBytes, &need);
  if (pcbDiagInfo != nullptr) *pcbDiagInfo = ShortCount(need * kWideUnitBytes);
  return TraceReturnCode(whole ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO);
}
