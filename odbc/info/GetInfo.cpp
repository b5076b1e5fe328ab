// SQLGetInfo: answers from the table in odbc/info/InfoTable.cpp and from the
// connection asked, without a request to the server.
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
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
  char built[160] = "";
};

// SQL_DBMS_VER is "##.##.####" (major, minor, release), then the server's
// own text: "00.01.0000 Velora ODBC Server 0.1.0 (SQLite 3.40.1)".
void FormatDbmsVersion(const char* version, char* out, size_t size) {
  const char* digits = version;
  while (*digits != '\0' && (*digits < '0' || *digits > '9')) ++digits;
  unsigned part[3] = {0, 0, 0};
  for (int i = 0; i < 3 && *digits >= '0' && *digits <= '9'; ++i) {
    char* end = nullptr;
    part[i] = static_cast<unsigned>(std::strtoul(digits, &end, 10));
    digits = end;
    if (*digits != '.') break;
    ++digits;
  }
  std::snprintf(out, size, "%02u.%02u.%04u %s", part[0] % 100, part[1] % 100, part[2] % 10000,
                version);
}

// The server's answer for a row (protocol/ESCAPES.md): false when it gave
// none. ODBC 2.01's number of SQL_OJ_CAPABILITIES asks ODBC 3's.
bool Served(const InfoRow& row, const Connection* c, uint32_t* value) {
  const uint16_t type = row.type == 65003 ? static_cast<uint16_t>(SQL_OJ_CAPABILITIES) : row.type;
  return row.kind == InfoKind::kLong && c->ServerInfo(type, value);
}

Answer Build(const InfoRow& row, Connection* c, bool odbc3) {
  Answer a;
  uint32_t served = 0;
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
      FormatDbmsVersion(c->dbmsVersion.TextOrEmpty(), a.built, sizeof a.built);
      a.text = a.built;
      break;
    case InfoSource::kQuoteChar:
      a.built[0] = c->QuoteChar();
      a.built[1] = '\0';
      a.text = a.built;
      break;
    case InfoSource::kReadOnly:
      a.text = c->ReadOnlySession() ? "Y" : "N";
      break;
    case InfoSource::kIsolationOptions:
      a.number = c->IsolationLevels();
      break;
    case InfoSource::kDefaultIsolation:
      a.number = c->DefaultIsolation();
      break;
    case InfoSource::kIdentifierCase:
      a.number = c->IdentifierCase();
      break;
    case InfoSource::kQuotedCase:
      // A server that folds unquoted names keeps quoted ones as written.
      a.number = c->IdentifierCase() == SQL_IC_MIXED ? SQL_IC_MIXED : SQL_IC_SENSITIVE;
      break;
    case InfoSource::kNullCollation:
      a.number = c->NullsSortLow() ? SQL_NC_LOW : SQL_NC_HIGH;
      break;
    case InfoSource::kUserName:
      a.text = c->userName.TextOrEmpty();
      break;
    case InfoSource::kResults:
      if (!c->OffersResults()) a.number = 0;
      if (row.kind == InfoKind::kText) a.text = c->OffersResults() ? "Y" : "N";
      break;
    case InfoSource::kArraySelects:
      a.number = c->OffersResults() ? SQL_PAS_BATCH : SQL_PAS_NO_SELECT;
      break;
    case InfoSource::kConvertFunction:
      a.number = ConvertFunctionMask(static_cast<int32_t>(row.number));
      break;
    case InfoSource::kEditing:
      // Static cursors write back through SQLSetPos, optimistically; the
      // driver's rows do not change with them (no sensitivity).
      // The ODBC 2.0 library has SQLSetPos's operations, not
      // SQLBulkOperations.
      if (!c->EditsRows()) break;
      if (row.type == SQL_SCROLL_CONCURRENCY) a.number |= SQL_SCCO_OPT_ROWVER | SQL_SCCO_OPT_VALUES;
      if (row.type == SQL_POS_OPERATIONS)
        a.number |= SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD;
      if (row.type == SQL_STATIC_CURSOR_ATTRIBUTES1)
        a.number |= SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE |
                    (odbc3 ? SQL_CA1_BULK_ADD | SQL_CA1_BULK_UPDATE_BY_BOOKMARK |
                                 SQL_CA1_BULK_DELETE_BY_BOOKMARK | SQL_CA1_BULK_FETCH_BY_BOOKMARK
                           : 0);
      // A row's number stays its bookmark through updates and deletes.
      if (row.type == SQL_BOOKMARK_PERSISTENCE) a.number |= SQL_BP_UPDATE | SQL_BP_DELETE;
      if (!c->KeepsCursorKeys()) break;
      // UPDATE and DELETE ... WHERE CURRENT OF a cursor that writes back.
      if (row.type == SQL_POSITIONED_STATEMENTS)
        a.number |= SQL_PS_POSITIONED_UPDATE | SQL_PS_POSITIONED_DELETE;
      // Keyset-driven cursors: a static cursor's rows, each read again by
      // its key when fetched; the keyset is the whole result set.
      if (row.type == SQL_SCROLL_OPTIONS) a.number |= SQL_SO_KEYSET_DRIVEN;
      if (row.type == SQL_KEYSET_CURSOR_ATTRIBUTES1)
        a.number = FindInfoRow3(SQL_STATIC_CURSOR_ATTRIBUTES1)->number | SQL_CA1_POS_UPDATE |
                   SQL_CA1_POS_DELETE |
                   (odbc3 ? SQL_CA1_BULK_ADD | SQL_CA1_BULK_UPDATE_BY_BOOKMARK |
                                SQL_CA1_BULK_DELETE_BY_BOOKMARK | SQL_CA1_BULK_FETCH_BY_BOOKMARK
                          : 0);
      if (row.type == SQL_KEYSET_CURSOR_ATTRIBUTES2)
        a.number = SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_OPT_ROWVER_CONCURRENCY |
                   SQL_CA2_OPT_VALUES_CONCURRENCY | SQL_CA2_SENSITIVITY_DELETIONS |
                   SQL_CA2_SENSITIVITY_UPDATES | SQL_CA2_MAX_ROWS_SELECT | SQL_CA2_CRC_EXACT;
      if (row.type == SQL_STATIC_CURSOR_ATTRIBUTES2)
        a.number |= SQL_CA2_OPT_ROWVER_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY;
      // Locking cursors where the server said its storage locks rows.
      if ((row.type == SQL_STATIC_CURSOR_ATTRIBUTES2 ||
           row.type == SQL_KEYSET_CURSOR_ATTRIBUTES2) &&
          c->ServerInfo(SQL_SCROLL_CONCURRENCY, &served) && (served & SQL_SCCO_LOCK) != 0)
        a.number |= SQL_CA2_LOCK_CONCURRENCY;
      break;
    case InfoSource::kProcedures: {
      uint32_t runs = 0;
      a.text = odbc3 && c->OffersRoutines() && c->ServerInfo(SQL_PROCEDURES, &runs) && runs == 1
                   ? "Y"
                   : "N";
      break;
    }
    default:
      break;
  }
  // What the storage runs, as the server said at login.
  if (Served(row, c, &served)) a.number = served;
  return a;
}

// "    NAME=value": numbers in decimal, "Y" and "N" as "Yes" and "No".
void TraceAnswer(const InfoRow& row, const Answer& a, bool served) {
  if (!TraceEnabled('A', 2)) return;
  if (row.trace != nullptr && !served && a.number == row.number) {
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

// A number is written whole, whatever the buffer length says: ODBC
// ignores the length of a numeric answer.
void PutNumber(const void* value, SQLSMALLINT size, SQLPOINTER rgb, SQLSMALLINT* pcb) {
  if (pcb != nullptr) *pcb = size;
  if (rgb != nullptr) std::memcpy(rgb, value, static_cast<size_t>(size));
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
  const InfoRow* row = FindAnyInfoRow(fInfoType, odbc3);
  if (row == nullptr) return VEL_POST(c, SQL_ERROR, kDiagUnknownInfoType);
  const Answer a = Build(*row, c, odbc3);
  uint32_t served = 0;
  TraceAnswer(*row, a, Served(*row, c, &served));
  switch (row->kind) {
    case InfoKind::kShort: {
      const uint16_t value = static_cast<uint16_t>(a.number);
      PutNumber(&value, sizeof value, rgbInfoValue, pcbInfoValue);
      return SQL_SUCCESS;
    }
    case InfoKind::kLong: {
      const uint32_t value = static_cast<uint32_t>(a.number);
      PutNumber(&value, sizeof value, rgbInfoValue, pcbInfoValue);
      return SQL_SUCCESS;
    }
    case InfoKind::kHandle:
      PutNumber(&a.number, sizeof a.number, rgbInfoValue, pcbInfoValue);
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
