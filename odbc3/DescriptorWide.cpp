// The wide-character forms of the descriptor functions: the text fields
// (names, labels, type names) in UTF-16; lengths of SQLGetDescFieldW in
// bytes, of SQLGetDescRecW in characters, as ODBC defines them.
#include <sqlext.h>
#include <sqlucode.h>

#include "base/String.h"
#include "base/Trace.h"
#include "convert/WideText.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Descriptor.h"
#include "handles/Frame.h"
#include "odbc/descriptors/Descriptors.h"
#include "odbc3/WideArgs.h"

namespace {

// Writes the n bytes of text into out of outUnits units; *needUnits its
// units. SQL_SUCCESS_WITH_INFO with "01004" posted when cut.
int PutWide(Descriptor* d, const char* text, uint32_t n, SQLWCHAR* out, long outUnits,
            long* needUnits) {
  const bool whole = CopyWideOutput(text, n, out, outUnits, needUnits);
  return out != nullptr && !whole ? VEL_POST(d, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated)
                                  : SQL_SUCCESS;
}

}  // namespace

VEL_EXPORT SQLRETURN SQLGetDescFieldW(SQLHDESC hdesc, SQLSMALLINT RecNumber,
                                      SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                      SQLINTEGER BufferLength, SQLINTEGER* StringLength) {
  Trace('A', 2, "SQLGetDescFieldW: hdesc=0x%08lx, RecNumber=%d, FieldIdentifier=%d",
        HandleValue(hdesc), RecNumber, FieldIdentifier);
  Held<Descriptor> hold(hdesc);
  Descriptor* d = hold.Get();
  if (d == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  const char* text = nullptr;
  uint32_t n = 0;
  int rc = GetDescTextWorker(d, RecNumber, FieldIdentifier, &text, &n);
  if (text == nullptr) {  // not a text field
    d->ClearErrors();
    return TraceReturnCode(
        GetDescFieldWorker(d, RecNumber, FieldIdentifier, Value, BufferLength, StringLength));
  }
  if (rc != SQL_SUCCESS) return TraceReturnCode(rc);
  if (BufferLength < 0) return TraceReturnCode(VEL_POST(d, SQL_ERROR, kDiagInvalidLength));
  long need = 0;
  const long units = BufferLength > 0 ? BufferLength / static_cast<long>(sizeof(SQLWCHAR)) : 0;
  rc = PutWide(d, text, n, static_cast<SQLWCHAR*>(Value), units, &need);
  if (StringLength != nullptr) *StringLength = static_cast<SQLINTEGER>(need * sizeof(SQLWCHAR));
  return TraceReturnCode(rc);
}

VEL_EXPORT SQLRETURN SQLSetDescFieldW(SQLHDESC hdesc, SQLSMALLINT RecNumber,
                                      SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                      SQLINTEGER BufferLength) {
  Trace('A', 2, "SQLSetDescFieldW: hdesc=0x%08lx, RecNumber=%d, FieldIdentifier=%d",
        HandleValue(hdesc), RecNumber, FieldIdentifier);
  Held<Descriptor> hold(hdesc);
  Descriptor* d = hold.Get();
  if (d == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  // No text field is kept (a parameter's name is not), so none is read.
  return TraceReturnCode(SetDescFieldWorker(d, RecNumber, FieldIdentifier, Value, BufferLength));
}

VEL_EXPORT SQLRETURN SQLGetDescRecW(SQLHDESC hdesc, SQLSMALLINT RecNumber, SQLWCHAR* Name,
                                    SQLSMALLINT BufferLength, SQLSMALLINT* StringLength,
                                    SQLSMALLINT* Type, SQLSMALLINT* SubType, SQLLEN* Length,
                                    SQLSMALLINT* Precision, SQLSMALLINT* Scale,
                                    SQLSMALLINT* Nullable) {
  Trace('A', 2, "SQLGetDescRecW: hdesc=0x%08lx, RecNumber=%d", HandleValue(hdesc), RecNumber);
  Held<Descriptor> hold(hdesc);
  Descriptor* d = hold.Get();
  if (d == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  int rc = GetDescRecWorker(d, RecNumber, nullptr, 0, nullptr, Type, SubType, Length, Precision,
                            Scale, Nullable);
  if (rc != SQL_SUCCESS || (Name == nullptr && StringLength == nullptr)) return TraceReturnCode(rc);
  const char* name = "";
  uint32_t n = 0;
  // Application descriptors have no names: their records read as "".
  if (!d->Application()) rc = GetDescTextWorker(d, RecNumber, SQL_DESC_NAME, &name, &n);
  if (rc != SQL_SUCCESS) return TraceReturnCode(rc);
  long need = 0;
  rc = PutWide(d, name, n, Name, BufferLength > 0 ? BufferLength : 0, &need);
  if (StringLength != nullptr)
    *StringLength = static_cast<SQLSMALLINT>(need > 32767 ? 32767 : need);
  return TraceReturnCode(rc);
}
