// SQLGetInfo: answers from the table in odbc/info/InfoTable.cpp and from the
// connection asked, without a request to the server.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "base/Module.h"
#include "base/Trace.h"
#include "convert/SqlTypeTable.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Frame.h"
#include "odbc/connect/ConnectString.h"
#include "odbc/info/InfoTable.h"
#include "odbc/Workers.h"

namespace {

// One answer before it is delivered: a number (as wide as its kind) or a
// text.
struct Answer {
  uintptr_t number = 0;
  const char* text = "";
};

Answer Build(const InfoRow& row, Connection* c) {
  Answer a;
  a.number = row.number;
  if (row.text != nullptr) a.text = row.text;
  switch (row.source) {
    case InfoSource::kDataSourceName:
      a.text = c->dataSourceName.TextOrEmpty();
      break;
    case InfoSource::kConnectionHandle:
      a.number = reinterpret_cast<uintptr_t>(c);
      break;
    case InfoSource::kEnvironmentHandle:
      a.number = reinterpret_cast<uintptr_t>(c->environment);
      break;
    case InfoSource::kModuleHandle:
      a.number = reinterpret_cast<uintptr_t>(ModuleInstance());
      break;
    case InfoSource::kServerName:
      a.text = c->server;
      break;
    case InfoSource::kDatabaseName:
      a.text = c->currentQualifier.TextOrEmpty();
      break;
    case InfoSource::kDbmsVersion:
      a.text = c->dbmsVersion.TextOrEmpty();
      break;
    case InfoSource::kUserName:
      a.text = c->userName.TextOrEmpty();
      break;
    case InfoSource::kConvertFunction:
      a.number = ConvertFunctionMask(static_cast<int32_t>(row.number));
      break;
    default:
      break;
  }
  return a;
}

// "    NAME=value": numbers in decimal, "Y" and "N" as "Yes" and "No".
void TraceAnswer(const InfoRow& row, const Answer& a) {
  if (!TraceEnabled('A', 2)) return;
  if (row.trace != nullptr) {
    Trace('A', 2, "%s", row.trace);
  } else if (row.kind != InfoKind::kText) {
    Trace('A', 2, "    %s=%lu", row.name, static_cast<unsigned long>(a.number));
  } else {
    const char* shown = std::strcmp(a.text, "Y") == 0   ? "Yes"
                        : std::strcmp(a.text, "N") == 0 ? "No"
                                                        : a.text;
    Trace('A', 2, "    %s=%s", row.name, shown);
  }
}

// Copies the first min(cbMax, size) bytes of a number; a number that does
// not fit is cut without a warning.
void PutNumber(const void* value, SQLSMALLINT size, SQLPOINTER rgb, SQLSMALLINT cbMax,
               SQLSMALLINT* pcb) {
  if (pcb != nullptr) *pcb = size;
  if (rgb != nullptr && cbMax > 0)
    std::memcpy(rgb, value, static_cast<size_t>(cbMax < size ? cbMax : size));
}

}  // namespace

int GetInfoWorker(Connection* c, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                  SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue, bool odbc3) {
  // The driver manager gives its own statement handles; nothing to answer.
  if (fInfoType == SQL_DRIVER_HSTMT) {
    Trace('A', 2, " DRIVER_HSTMT=0x%08lx", HandleValue(rgbInfoValue));
    if (pcbInfoValue != nullptr) *pcbInfoValue = sizeof(SQLHSTMT);
    return SQL_SUCCESS;
  }
  const InfoRow* row = odbc3 ? FindInfoRow3(fInfoType) : nullptr;
  if (row == nullptr) row = FindInfoRow(fInfoType);
  if (row == nullptr) return VEL_POST(c, SQL_ERROR, kDiagUnknownInfoType);
  const Answer a = Build(*row, c);
  TraceAnswer(*row, a);
  switch (row->kind) {
    case InfoKind::kShort: {
      const uint16_t value = static_cast<uint16_t>(a.number);
      PutNumber(&value, sizeof value, rgbInfoValue, cbInfoValueMax, pcbInfoValue);
      return SQL_SUCCESS;
    }
    case InfoKind::kLong: {
      const uint32_t value = static_cast<uint32_t>(a.number);
      PutNumber(&value, sizeof value, rgbInfoValue, cbInfoValueMax, pcbInfoValue);
      return SQL_SUCCESS;
    }
    case InfoKind::kHandle:
      PutNumber(&a.number, sizeof a.number, rgbInfoValue, cbInfoValueMax, pcbInfoValue);
      return SQL_SUCCESS;
    case InfoKind::kText:
      break;
  }
  // The driver manager answers the ODBC version itself; the driver has no
  // answer of its own and reports the empty answer's length less one.
  if (row->source == InfoSource::kOdbcVersion) {
    if (pcbInfoValue != nullptr) *pcbInfoValue = static_cast<SQLSMALLINT>(0xFFFF);
    return SQL_SUCCESS;
  }
  const uint32_t length = static_cast<uint32_t>(std::strlen(a.text));
  if (pcbInfoValue != nullptr) *pcbInfoValue = static_cast<SQLSMALLINT>(length);
  // A text that does not fit is cut to cbInfoValueMax - 1 characters and a
  // NUL, like every other text the driver returns.
  if (CopyOutput(a.text, length, static_cast<char*>(rgbInfoValue), cbInfoValueMax)) {
    return SQL_SUCCESS;
  }
  return VEL_POST(c, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
}
