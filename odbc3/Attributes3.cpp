// Exports: SQLSetConnectAttr, SQLGetConnectAttr, SQLSetStmtAttr,
// SQLGetStmtAttr.
#include <sql.h>
#include <sqlext.h>

#include "base/Trace.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/connect/ConnectString.h"
#include "odbc/Workers3.h"
#include "odbc3/Output3.h"

namespace {

// A number as wide as its size, or a text cut to the buffer (*cut then).
// wide: a text goes out as UTF-16, lengths in bytes still.
int PutField(const FieldValue& value, SQLPOINTER buffer, long bufferLength, SQLINTEGER* length,
             bool* cut, bool wide) {
  *cut = false;
  if (!value.isText) {
    PutNumber(value, buffer);
    if (length != nullptr) *length = value.size;
    return SQL_SUCCESS;
  }
  if (bufferLength < 0) return SQL_ERROR;
  if (wide) {
    long need = 0;
    *cut = !CopyWideOutput(value.text, buffer, bufferLength / kWideUnitBytes, &need);
    if (length != nullptr) *length = static_cast<SQLINTEGER>(need * kWideUnitBytes);
    return SQL_SUCCESS;
  }
  if (length != nullptr) *length = static_cast<SQLINTEGER>(value.text.Length());
  *cut = !CopyOutput(value.text.TextOrEmpty(), value.text.Length(), static_cast<char*>(buffer),
                     bufferLength);
  return SQL_SUCCESS;
}

// A number goes out as wide as the caller declared its buffer
// (SQL_IS_INTEGER and the like), else as wide as ODBC defines the
// attribute (SQLULEN for the statement options, SQLUINTEGER for most
// connection ones).
int DeclaredWidth(SQLINTEGER bufferLength, int size) {
  switch (bufferLength) {
    case SQL_IS_INTEGER:
    case SQL_IS_UINTEGER:
      return sizeof(SQLINTEGER);
    case SQL_IS_SMALLINT:
    case SQL_IS_USMALLINT:
      return sizeof(SQLSMALLINT);
    default:
      return size;
  }
}

template <class Owner>
int Answer(Owner* owner, int rc, FieldValue& value, SQLPOINTER buffer, SQLINTEGER bufferLength,
           SQLINTEGER* length, bool wide = false) {
  if (rc != SQL_SUCCESS) return rc;
  if (!value.isText) value.size = DeclaredWidth(bufferLength, value.size);
  bool cut = false;
  rc = PutField(value, buffer, bufferLength, length, &cut, wide);
  if (rc == SQL_ERROR) return VEL_POST(owner, SQL_ERROR, kDiagInvalidLength);
  return cut ? VEL_POST(owner, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated) : rc;
}

}  // namespace

VEL_EXPORT SQLRETURN SQLSetConnectAttr(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                       SQLINTEGER cbValue) {
  Trace('A', 2, "SQLSetConnectAttr: hdbc=0x%08lx, fAttribute=%d", HandleValue(hdbc),
        static_cast<int>(fAttribute));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(SetConnectAttrWorker(c, fAttribute, pValue, cbValue));
}

VEL_EXPORT SQLRETURN SQLGetConnectAttr(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                       SQLINTEGER cbValueMax, SQLINTEGER* pcbValue) {
  Trace('A', 2, "SQLGetConnectAttr: hdbc=0x%08lx, fAttribute=%d", HandleValue(hdbc),
        static_cast<int>(fAttribute));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  FieldValue value;
  const int rc = GetConnectAttrWorker(c, fAttribute, &value);
  return TraceReturnCode(Answer(c, rc, value, pValue, cbValueMax, pcbValue));
}

VEL_EXPORT SQLRETURN SQLSetStmtAttr(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                    SQLINTEGER /*cbValue*/) {
  Trace('A', 2, "SQLSetStmtAttr: hstmt=0x%08lx, fAttribute=%d", HandleValue(hstmt),
        static_cast<int>(fAttribute));
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(SetStmtAttrWorker(s, fAttribute, pValue));
}

VEL_EXPORT SQLRETURN SQLGetStmtAttr(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                    SQLINTEGER cbValueMax, SQLINTEGER* pcbValue) {
  Trace('A', 2, "SQLGetStmtAttr: hstmt=0x%08lx, fAttribute=%d", HandleValue(hstmt),
        static_cast<int>(fAttribute));
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  FieldValue value;
  const int rc = GetStmtAttrWorker(s, fAttribute, &value);
  return TraceReturnCode(Answer(s, rc, value, pValue, cbValueMax, pcbValue));
}

// The wide forms: text values are UTF-16, their lengths in bytes.
VEL_EXPORT SQLRETURN SQLSetConnectAttrW(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                        SQLINTEGER cbValue) {
  Trace('A', 2, "SQLSetConnectAttrW: hdbc=0x%08lx, fAttribute=%d", HandleValue(hdbc),
        static_cast<int>(fAttribute));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  if (!TextAttribute(fAttribute) || pValue == nullptr) {
    return TraceReturnCode(SetConnectAttrWorker(c, fAttribute, pValue, cbValue));
  }
  if (cbValue < 0 && cbValue != SQL_NTS)
    return TraceReturnCode(VEL_POST(c, SQL_ERROR, kDiagInvalidLength));
  String text;
  const WideResult r = WideToUtf8(static_cast<const SQLWCHAR*>(pValue),
                                  cbValue == SQL_NTS ? SQL_NTS : cbValue / kWideUnitBytes, &text);
  if (r == WideResult::kInvalid)
    return TraceReturnCode(VEL_POST(c, SQL_ERROR, kDiagInvalidWideText));
  if (r != WideResult::kOk) {
    return TraceReturnCode(VEL_POST(c, SQL_ERROR, kDiagMemory));
  }
  return TraceReturnCode(
      SetConnectAttrWorker(c, fAttribute, const_cast<char*>(text.TextOrEmpty()), SQL_NTS));
}

VEL_EXPORT SQLRETURN SQLGetConnectAttrW(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                        SQLINTEGER cbValueMax, SQLINTEGER* pcbValue) {
  Trace('A', 2, "SQLGetConnectAttrW: hdbc=0x%08lx, fAttribute=%d", HandleValue(hdbc),
        static_cast<int>(fAttribute));
  ConnectionHold hold(hdbc);
  Connection* c = hold.Get();
  if (c == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  FieldValue value;
  const int rc = GetConnectAttrWorker(c, fAttribute, &value);
  return TraceReturnCode(Answer(c, rc, value, pValue, cbValueMax, pcbValue, true));
}

// No statement attribute is a text: the wide forms are the narrow ones.
VEL_EXPORT SQLRETURN SQLSetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                     SQLINTEGER cbValue) {
  return SQLSetStmtAttr(hstmt, fAttribute, pValue, cbValue);
}

VEL_EXPORT SQLRETURN SQLGetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER pValue,
                                     SQLINTEGER cbValueMax, SQLINTEGER* pcbValue) {
  return SQLGetStmtAttr(hstmt, fAttribute, pValue, cbValueMax, pcbValue);
}
