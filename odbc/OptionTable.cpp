// The option tables as data.
#include "odbc/OptionTable.h"

#include <sqlext.h>

namespace {

using A = OptionAction;
using F = OptionField;

// Statement options, set on a statement or (as the default of later
// statements) on a connection.
#define VEL_STATEMENT_OPTION_ROWS                                             \
  {SQL_QUERY_TIMEOUT, A::kStore, F::kQueryTimeout, 0, nullptr},               \
      {SQL_MAX_ROWS, A::kStoreAndSend, F::kMaxRows, 32, nullptr},             \
      {SQL_NOSCAN, A::kStoreAndSend, F::kNoscan, 33, nullptr},                \
      {SQL_MAX_LENGTH, A::kStoreAndSend, F::kMaxLength, 31, nullptr},         \
      {SQL_ASYNC_ENABLE, A::kNothing, F::kNone, 0, nullptr},                  \
      {SQL_BIND_TYPE, A::kStore, F::kBindType, 0, nullptr},                   \
      {SQL_CURSOR_TYPE, A::kStoreAndSend, F::kCursorType, 30, nullptr},       \
      {SQL_CONCURRENCY, A::kStoreAndSend, F::kConcurrency, 28, nullptr},      \
      {SQL_KEYSET_SIZE, A::kRefuse, F::kNone, 0, &kDiagKeysetCursors},        \
      {SQL_ROWSET_SIZE, A::kStoreAndSend, F::kRowsetSize, 36, nullptr},       \
      {SQL_SIMULATE_CURSOR, A::kRefuse, F::kNone, 0, &kDiagSimulatedCursors}, \
      {SQL_RETRIEVE_DATA, A::kStoreAndSend, F::kRetrieveData, 35, nullptr}, { \
    SQL_USE_BOOKMARKS, A::kStoreAndSend, F::kUseBookmarks, 39, nullptr        \
  }

const OptionRow kSetConnect[] = {
    VEL_STATEMENT_OPTION_ROWS,
    {SQL_ACCESS_MODE, A::kStoreAndSend, F::kAccessMode, 26, nullptr},
    {SQL_AUTOCOMMIT, A::kStoreAndSend, F::kAutocommit, 27, nullptr},
    // Once logged in the login timeout no longer matters and is not kept.
    {SQL_LOGIN_TIMEOUT, A::kNothing, F::kNone, 0, nullptr},
    {SQL_OPT_TRACE, A::kNothing, F::kNone, 0, nullptr},
    {SQL_OPT_TRACEFILE, A::kNothing, F::kNone, 0, nullptr},
    {SQL_TRANSLATE_DLL, A::kRefuse, F::kNone, 0, &kDiagTranslationDll},
    {SQL_TRANSLATE_OPTION, A::kRefuse, F::kNone, 0, &kDiagTranslationDll},
    {SQL_TXN_ISOLATION, A::kStoreAndSend, F::kTxnIsolation, 38, nullptr},
    {SQL_CURRENT_QUALIFIER, A::kQualifier, F::kNone, 0, nullptr},
    {SQL_ODBC_CURSORS, A::kNothing, F::kNone, 0, nullptr},
    {SQL_QUIET_MODE, A::kStore, F::kQuietMode, 0, nullptr},
    {SQL_PACKET_SIZE, A::kRefuse, F::kNone, 0, &kDiagPacketSize},
};

const OptionRow kGetConnect[] = {
    {SQL_ACCESS_MODE, A::kStore, F::kAccessMode, 0, nullptr},
    {SQL_AUTOCOMMIT, A::kStore, F::kAutocommit, 0, nullptr},
    {SQL_LOGIN_TIMEOUT, A::kStore, F::kLoginTimeout, 0, nullptr},
    {SQL_TXN_ISOLATION, A::kStore, F::kTxnIsolation, 0, nullptr},
    {SQL_QUIET_MODE, A::kStore, F::kQuietMode, 0, nullptr},
    {SQL_CURRENT_QUALIFIER, A::kQualifier, F::kNone, 0, nullptr},
    {SQL_TRANSLATE_DLL, A::kRefuse, F::kNone, 0, &kDiagTranslationDll},
    {SQL_TRANSLATE_OPTION, A::kRefuse, F::kNone, 0, &kDiagTranslationDll},
    {SQL_PACKET_SIZE, A::kRefuse, F::kNone, 0, &kDiagPacketSize},
};

const OptionRow kSetStmt[] = {VEL_STATEMENT_OPTION_ROWS};

const OptionRow kGetStmt[] = {
    {SQL_QUERY_TIMEOUT, A::kStore, F::kQueryTimeout, 0, nullptr},
    {SQL_MAX_ROWS, A::kStore, F::kMaxRows, 0, nullptr},
    {SQL_NOSCAN, A::kStore, F::kNoscan, 0, nullptr},
    {SQL_MAX_LENGTH, A::kStore, F::kMaxLength, 0, nullptr},
    {SQL_ASYNC_ENABLE, A::kAnswerZero, F::kNone, 0, nullptr},
    {SQL_BIND_TYPE, A::kStore, F::kBindType, 0, nullptr},
    {SQL_CURSOR_TYPE, A::kStore, F::kCursorType, 0, nullptr},
    {SQL_CONCURRENCY, A::kStore, F::kConcurrency, 0, nullptr},
    {SQL_KEYSET_SIZE, A::kRefuse, F::kNone, 0, &kDiagKeysetCursors},
    {SQL_ROWSET_SIZE, A::kStore, F::kRowsetSize, 0, nullptr},
    {SQL_SIMULATE_CURSOR, A::kRefuse, F::kNone, 0, &kDiagSimulatedCursors},
    {SQL_RETRIEVE_DATA, A::kStore, F::kRetrieveData, 0, nullptr},
    {SQL_USE_BOOKMARKS, A::kStore, F::kUseBookmarks, 0, nullptr},
    {SQL_GET_BOOKMARK, A::kRefuse, F::kNone, 0, &kDiagBookmarks},
    {SQL_ROW_NUMBER, A::kRowNumber, F::kNone, 18, nullptr},
};

const OptionRow kDefault = {0, A::kNothing, F::kNone, 0, nullptr};

template <std::size_t N>
const OptionRow* Find(const OptionRow (&table)[N], uint16_t option) {
  for (const OptionRow& row : table) {
    if (row.option == option) return &row;
  }
  return &kDefault;
}

}  // namespace

const OptionRow* SetConnectOptionRow(uint16_t option) { return Find(kSetConnect, option); }
const OptionRow* GetConnectOptionRow(uint16_t option) { return Find(kGetConnect, option); }
const OptionRow* SetStmtOptionRow(uint16_t option) { return Find(kSetStmt, option); }
const OptionRow* GetStmtOptionRow(uint16_t option) { return Find(kGetStmt, option); }
