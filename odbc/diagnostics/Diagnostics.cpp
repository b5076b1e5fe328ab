// Diagnostic records read in place, by number and by field, in the
// SQLSTATE form the environment declared.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/ErrorRecord.h"
#include "handles/SqlStates.h"
#include "handles/Statement.h"
#include "odbc/Workers.h"
#include "odbc/Workers3.h"

namespace {

// Record n (1 the newest), or null.
const ErrorData* RecordAt(const DiagTarget& t, SQLSMALLINT n) {
  if (n < 1) return nullptr;
  const ListItem* item = t.errors->Tail();
  for (SQLSMALLINT i = 1; item != nullptr && i < n; ++i) item = item->Previous();
  return static_cast<const ErrorData*>(item);
}

// The record's SQLSTATE, cut to five characters, in the environment's form.
void StateOf(const DiagTarget& t, const ErrorData& record, char state[6]) {
  char raw[6] = {};
  std::strncpy(raw, record.sqlstate.TextOrEmpty(), 5);
  const bool odbc3 = t.env != nullptr && t.env->OdbcVersion() >= SQL_OV_ODBC3;
  std::strncpy(state, SqlStateFor(raw, odbc3), 5);
  state[5] = '\0';
}

// ISO 9075 defines the classes and subclasses of SQL; ODBC adds its own:
// classes IM, S0 and S1 (the 2.x forms), and the subclasses of those, of
// class HY and those that begin with S (01S., 07S., 42S. and the like).
bool OdbcClass(const char* state) { return std::strncmp(state, "IM", 2) == 0 || state[0] == 'S'; }
bool OdbcSubclass(const char* state) {
  return OdbcClass(state) || std::strncmp(state, "HY", 2) == 0 || state[2] == 'S';
}

int SetText(FieldValue* out, const char* text) {
  out->isText = true;
  return out->text.SetString(text) ? SQL_SUCCESS : SQL_ERROR;
}

int SetNumber(FieldValue* out, SQLLEN number, int size) {
  out->number = number;
  out->size = size;
  return SQL_SUCCESS;
}

// The call's return code as its records tell it (the driver does not keep
// the code itself): an error record means SQL_ERROR, warnings only
// SQL_SUCCESS_WITH_INFO, no record SQL_SUCCESS.
SQLRETURN ReturnCodeOf(const DiagTarget& t) {
  if (t.errors->Count() == 0) return SQL_SUCCESS;
  for (const ListItem* item = t.errors->Head(); item != nullptr; item = item->NextItem()) {
    if (std::strncmp(static_cast<const ErrorData*>(item)->sqlstate.TextOrEmpty(), "01", 2) != 0) {
      return SQL_ERROR;
    }
  }
  return SQL_SUCCESS_WITH_INFO;
}

}  // namespace

int DiagRecordWorker(const DiagTarget& t, SQLSMALLINT record, char state[6], SQLINTEGER* native,
                     String* message) {
  if (record < 1) return SQL_ERROR;
  const ErrorData* r = RecordAt(t, record);
  if (r == nullptr) return SQL_NO_DATA;
  StateOf(t, *r, state);
  *native = r->native;
  return BuildErrorMessage(*r, message) ? SQL_SUCCESS : SQL_ERROR;
}

int DiagFieldWorker(const DiagTarget& t, SQLSMALLINT record, SQLSMALLINT field, FieldValue* out) {
  switch (field) {  // header fields: the record number is ignored
    case SQL_DIAG_NUMBER:
      return SetNumber(out, static_cast<SQLLEN>(t.errors->Count()), sizeof(SQLINTEGER));
    case SQL_DIAG_RETURNCODE:
      return SetNumber(out, ReturnCodeOf(t), sizeof(SQLRETURN));
    case SQL_DIAG_CURSOR_ROW_COUNT:
      // Counted by the server on request only: "not known" here.
      if (t.stmt == nullptr) return SQL_ERROR;
      return SetNumber(out, -1, sizeof(SQLLEN));
    case SQL_DIAG_ROW_COUNT:
      // A statement's own field (not its descriptors'): its last
      // statement's count, asked of the server as SQLRowCount does.
      if (t.stmt == nullptr || t.errors != &t.stmt->errors) return SQL_ERROR;
      return SetNumber(out, QuietRowCount(t.stmt), sizeof(SQLLEN));
    case SQL_DIAG_DYNAMIC_FUNCTION:
      if (t.stmt == nullptr) return SQL_ERROR;
      return SetText(out, "");
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
      if (t.stmt == nullptr) return SQL_ERROR;
      return SetNumber(out, SQL_DIAG_UNKNOWN_STATEMENT, sizeof(SQLINTEGER));
    default:
      break;
  }
  if (record < 1) return SQL_ERROR;
  const ErrorData* r = RecordAt(t, record);
  if (r == nullptr) return SQL_NO_DATA;
  char state[6];
  StateOf(t, *r, state);
  switch (field) {
    case SQL_DIAG_SQLSTATE:
      return SetText(out, state);
    case SQL_DIAG_NATIVE:
      return SetNumber(out, r->native, sizeof(SQLINTEGER));
    case SQL_DIAG_MESSAGE_TEXT:
      out->isText = true;
      return BuildErrorMessage(*r, &out->text) ? SQL_SUCCESS : SQL_ERROR;
    case SQL_DIAG_CLASS_ORIGIN:
      return SetText(out, OdbcClass(state) ? "ODBC 3.0" : "ISO 9075");
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return SetText(out, OdbcSubclass(state) ? "ODBC 3.0" : "ISO 9075");
    case SQL_DIAG_ROW_NUMBER:
      if (t.stmt == nullptr) return SetNumber(out, SQL_NO_ROW_NUMBER, sizeof(SQLLEN));
      return SetNumber(out, r->row != 0 ? r->row : SQL_NO_ROW_NUMBER, sizeof(SQLLEN));
    case SQL_DIAG_COLUMN_NUMBER:
      return SetNumber(out, r->column != 0 ? r->column : SQL_NO_COLUMN_NUMBER, sizeof(SQLINTEGER));
    case SQL_DIAG_CONNECTION_NAME:
      return SetText(out, t.conn != nullptr ? t.conn->dataSourceName.TextOrEmpty() : "");
    case SQL_DIAG_SERVER_NAME:
      return SetText(out, t.conn != nullptr ? t.conn->server : "");
    default:
      return SQL_ERROR;
  }
}
