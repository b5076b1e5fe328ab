// Connection and statement attributes: the ODBC 2.0 options under their
// ODBC 3 names, and the ODBC 3 attributes the driver keeps at their
// defaults; closing a cursor and fetching by orientation.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Statement.h"
#include "odbc/descriptors/ArrayAttributes.h"
#include "odbc/Workers.h"
#include "odbc/Workers3.h"

namespace {

// An ODBC 3 attribute answered with one value that is all the driver
// offers; setting it to that value succeeds.
struct FixedAttribute {
  SQLINTEGER attribute;
  SQLULEN value;
  bool readOnly;
};

// clang-format off
constexpr FixedAttribute kConnectionDefaults[] = {
    {SQL_ATTR_AUTO_IPD, SQL_FALSE, true},
};
// The row and parameter arrays and the descriptor handles are the
// statement's descriptors' (odbc/descriptors/ArrayAttributes.h), asked first.
constexpr FixedAttribute kStatementDefaults[] = {
    {SQL_ATTR_ENABLE_AUTO_IPD, SQL_FALSE, false},
};
// clang-format on

template <size_t N>
const FixedAttribute* FindFixed(const FixedAttribute (&table)[N], SQLINTEGER attribute) {
  for (const FixedAttribute& row : table) {
    if (row.attribute == attribute) return &row;
  }
  return nullptr;
}

template <class Owner>
int SetFixed(Owner* owner, const FixedAttribute& row, SQLPOINTER value) {
  if (row.readOnly) return VEL_POST(owner, SQL_ERROR, kDiagOptionOutOfRange);
  if (reinterpret_cast<uintptr_t>(value) != row.value) {
    return VEL_POST(owner, SQL_ERROR, kDiagOptionNotCapable);
  }
  return SQL_SUCCESS;
}

int SetNumber(FieldValue* out, SQLLEN number, int size) {
  out->number = number;
  out->size = size;
  return SQL_SUCCESS;
}

// The ODBC 2.0 option numbers: statement options (also set on a connection
// as its statements' defaults), and connection options.
bool StatementOption(SQLINTEGER a) { return a >= SQL_QUERY_TIMEOUT && a <= SQL_ROW_NUMBER; }
bool ConnectionOption(SQLINTEGER a) { return a >= SQL_ACCESS_MODE && a <= SQL_PACKET_SIZE; }

// Scrolling asked for by its qualities rather than by cursor type: a
// scrollable or insensitive cursor is the static one, a nonscrollable one
// goes forward only; the statement's own flags. *handled false for other
// attributes.
int SetCursorQuality(Statement* s, SQLINTEGER attribute, SQLULEN value, bool* handled) {
  *handled = true;
  const bool scrolls = s->options.Get(OptionSlot::kCursorType) != SQL_CURSOR_FORWARD_ONLY;
  const bool keyset = s->options.Get(OptionSlot::kCursorType) == SQL_CURSOR_KEYSET_DRIVEN;
  const bool keys = s->OwningConnection()->KeepsCursorKeys();
  switch (attribute) {
    case SQL_ATTR_CURSOR_SCROLLABLE:
      if (value != SQL_SCROLLABLE && value != SQL_NONSCROLLABLE)
        return VEL_POST(s, SQL_ERROR, kDiagInvalidArgument);
      if ((value == SQL_SCROLLABLE) == scrolls) return SQL_SUCCESS;
      return SetStmtOptionWorker(
          s, SQL_CURSOR_TYPE,
          value == SQL_SCROLLABLE ? SQL_CURSOR_STATIC : SQL_CURSOR_FORWARD_ONLY);
    case SQL_ATTR_CURSOR_SENSITIVITY:
      if (value == SQL_UNSPECIFIED || (value == SQL_INSENSITIVE && scrolls && !keyset))
        return SQL_SUCCESS;
      if (value == SQL_INSENSITIVE)
        return SetStmtOptionWorker(s, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC);
      // A keyset-driven cursor sees others' updates and deletes.
      if (value == SQL_SENSITIVE && keys)
        return keyset ? SQL_SUCCESS
                      : SetStmtOptionWorker(s, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
      return VEL_POST(s, SQL_ERROR, kDiagOptionNotCapable);
    case SQL_ATTR_KEYSET_SIZE:
      // The keys of the whole result set are taken at the execution.
      if (!keys) {
        *handled = false;
        return SQL_SUCCESS;
      }
      return value == 0 ? SQL_SUCCESS : VEL_POST(s, SQL_SUCCESS_WITH_INFO, kDiagKeysetSizeChanged);
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
      s->fetchBookmark = reinterpret_cast<void*>(value);
      return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID:
      if (value != SQL_TRUE && value != SQL_FALSE)
        return VEL_POST(s, SQL_ERROR, kDiagInvalidArgument);
      s->metadataId = value == SQL_TRUE;
      return SQL_SUCCESS;
    default:
      *handled = false;
      return SQL_SUCCESS;
  }
}

bool GetCursorQuality(Statement* s, SQLINTEGER attribute, SQLLEN* value) {
  const bool scrolls = s->options.Get(OptionSlot::kCursorType) != SQL_CURSOR_FORWARD_ONLY;
  switch (attribute) {
    case SQL_ATTR_CURSOR_SCROLLABLE:
      *value = scrolls ? SQL_SCROLLABLE : SQL_NONSCROLLABLE;
      return true;
    case SQL_ATTR_CURSOR_SENSITIVITY:
      *value = s->options.Get(OptionSlot::kCursorType) == SQL_CURSOR_KEYSET_DRIVEN ? SQL_SENSITIVE
               : scrolls                                                           ? SQL_INSENSITIVE
                         : SQL_UNSPECIFIED;
      return true;
    case SQL_ATTR_KEYSET_SIZE:
      if (!s->OwningConnection()->KeepsCursorKeys()) return false;
      *value = 0;
      return true;
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
      *value = reinterpret_cast<SQLLEN>(s->fetchBookmark);
      return true;
    case SQL_ATTR_METADATA_ID:
      *value = s->metadataId ? SQL_TRUE : SQL_FALSE;
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TextAttribute(SQLINTEGER a) {
  return a == SQL_ATTR_CURRENT_CATALOG || a == SQL_ATTR_TRACEFILE || a == SQL_ATTR_TRANSLATE_LIB;
}

int SetConnectAttrWorker(Connection* c, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  if (const FixedAttribute* row = FindFixed(kConnectionDefaults, attribute)) {
    return SetFixed(c, *row, value);
  }
  if (attribute == SQL_ATTR_METADATA_ID) {
    const SQLULEN on = reinterpret_cast<SQLULEN>(value);
    if (on != SQL_TRUE && on != SQL_FALSE) return VEL_POST(c, SQL_ERROR, kDiagInvalidArgument);
    c->metadataId = on == SQL_TRUE;
    return SQL_SUCCESS;
  }
  if (attribute == SQL_ATTR_CONNECTION_TIMEOUT) {
    c->SetConnectionTimeout(static_cast<int32_t>(reinterpret_cast<SQLULEN>(value)));
    return SQL_SUCCESS;
  }
  // SQL_ATTR_CONNECTION_DEAD is read-only; SQL_ATTR_ANSI_APP is refused
  // too, as ODBC asks of a driver that serves both kinds of application
  // alike.
  if (!ConnectionOption(attribute) &&
      !(StatementOption(attribute) && attribute < SQL_GET_BOOKMARK)) {
    return VEL_POST(c, SQL_ERROR, kDiagOptionOutOfRange);
  }
  if (!TextAttribute(attribute) || length == SQL_NTS || value == nullptr) {
    return SetConnectOptionWorker(c, static_cast<SQLUSMALLINT>(attribute),
                                  reinterpret_cast<SQLULEN>(value));
  }
  if (length < 0) return VEL_POST(c, SQL_ERROR, kDiagInvalidLength);
  String text;  // the option workers read texts up to their NUL
  if (!text.SetString(static_cast<const char*>(value), static_cast<int32_t>(length))) {
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  return SetConnectOptionWorker(c, static_cast<SQLUSMALLINT>(attribute),
                                reinterpret_cast<SQLULEN>(text.TextOrEmpty()));
}

int GetConnectAttrWorker(Connection* c, SQLINTEGER attribute, FieldValue* out) {
  if (const FixedAttribute* row = FindFixed(kConnectionDefaults, attribute)) {
    return SetNumber(out, static_cast<SQLLEN>(row->value), sizeof(SQLUINTEGER));
  }
  switch (attribute) {
    case SQL_ATTR_CONNECTION_TIMEOUT:
      return SetNumber(out, c->ConnectionTimeout(), sizeof(SQLUINTEGER));
    case SQL_ATTR_METADATA_ID:
      return SetNumber(out, c->metadataId ? SQL_TRUE : SQL_FALSE, sizeof(SQLUINTEGER));
    case SQL_ATTR_CONNECTION_DEAD:
      // Dead: never logged in, or its socket closed after a failure.
      return SetNumber(out, c->LoggedIn() && c->clib.IsOpen() ? SQL_CD_FALSE : SQL_CD_TRUE,
                       sizeof(SQLUINTEGER));
    case SQL_ATTR_QUIET_MODE:
      return SetNumber(out, reinterpret_cast<SQLLEN>(c->quietModeWindow), sizeof(SQLLEN));
    case SQL_ATTR_CURRENT_CATALOG:
      out->isText = true;
      return out->text.SetString(c->currentQualifier) ? SQL_SUCCESS
                                                      : VEL_POST(c, SQL_ERROR, kDiagMemory);
    case SQL_ATTR_TRACEFILE:
      out->isText = true;  // the driver manager's; the driver has none
      return SQL_SUCCESS;
    case SQL_ATTR_ASYNC_ENABLE:  // calls always run synchronously
      return SetNumber(out, SQL_ASYNC_ENABLE_OFF, sizeof(SQLULEN));
    default:
      break;
  }
  if (!ConnectionOption(attribute)) return VEL_POST(c, SQL_ERROR, kDiagOptionOutOfRange);
  uint32_t number = 0;
  const int rc = GetConnectOptionWorker(c, static_cast<SQLUSMALLINT>(attribute), &number);
  if (rc == SQL_SUCCESS) SetNumber(out, number, sizeof(SQLUINTEGER));
  return rc;
}

int SetStmtAttrWorker(Statement* s, SQLINTEGER attribute, SQLPOINTER value) {
  bool handled = false;
  const int rc = SetArrayAttrWorker(s, attribute, value, &handled);
  if (handled) return rc;
  if (const FixedAttribute* row = FindFixed(kStatementDefaults, attribute)) {
    return SetFixed(s, *row, value);
  }
  const int quality = SetCursorQuality(s, attribute, reinterpret_cast<SQLULEN>(value), &handled);
  if (handled) return quality;
  // SQL_ATTR_ROW_NUMBER (and the bookmark) can only be read.
  if (!StatementOption(attribute) || attribute >= SQL_GET_BOOKMARK) {
    return VEL_POST(s, SQL_ERROR, kDiagOptionOutOfRange);
  }
  return SetStmtOptionWorker(s, static_cast<SQLUSMALLINT>(attribute),
                             reinterpret_cast<SQLULEN>(value));
}

int GetStmtAttrWorker(Statement* s, SQLINTEGER attribute, FieldValue* out) {
  bool handled = false;
  SQLLEN array = 0;
  SQLINTEGER size = 0;
  const int arrayRc = GetArrayAttrWorker(s, attribute, &array, &size, &handled);
  if (handled) return arrayRc == SQL_SUCCESS ? SetNumber(out, array, size) : arrayRc;
  if (const FixedAttribute* row = FindFixed(kStatementDefaults, attribute)) {
    return SetNumber(out, static_cast<SQLLEN>(row->value), sizeof(SQLULEN));
  }
  SQLLEN quality = 0;
  if (GetCursorQuality(s, attribute, &quality)) return SetNumber(out, quality, sizeof(SQLULEN));
  if (!StatementOption(attribute)) return VEL_POST(s, SQL_ERROR, kDiagOptionOutOfRange);
  SQLULEN number = 0;
  const int rc = GetStmtOptionWorker(s, static_cast<SQLUSMALLINT>(attribute), &number);
  if (rc == SQL_SUCCESS) SetNumber(out, static_cast<SQLLEN>(number), sizeof(SQLULEN));
  return rc;
}

// Without a flag of its own for an open cursor, the statement is taken to
// have one when it has a result set.
int CloseCursorWorker(Statement* s) {
  if (s->cursor.ColumnCount() == 0) return VEL_POST(s, SQL_ERROR, kDiagNoResultSet);
  return FreeStmtWorker(s, SQL_CLOSE, true);
}
