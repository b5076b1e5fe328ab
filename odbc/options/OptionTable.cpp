// The option tables as data.
#include "odbc/options/OptionTable.h"

#include <sqlext.h>

namespace {

using A = OptionAction;
using S = OptionSlot;

// Statement options, set on a statement or (as the default of later
// statements) on a connection.
#define VEL_STATEMENT_OPTION_ROWS                                          \
  {SQL_QUERY_TIMEOUT, A::kStore, S::kQueryTimeout, nullptr},               \
      {SQL_MAX_ROWS, A::kStoreAndSend, S::kMaxRows, nullptr},              \
      {SQL_NOSCAN, A::kStoreAndSend, S::kNoscan, nullptr},                 \
      {SQL_MAX_LENGTH, A::kStoreAndSend, S::kMaxLength, nullptr},          \
      {SQL_ASYNC_ENABLE, A::kSynchronous, S::kNone, nullptr},              \
      {SQL_BIND_TYPE, A::kStore, S::kBindType, nullptr},                   \
      {SQL_CURSOR_TYPE, A::kStoreAndSend, S::kCursorType, nullptr},        \
      {SQL_CONCURRENCY, A::kStoreAndSend, S::kConcurrency, nullptr},       \
      {SQL_KEYSET_SIZE, A::kRefuse, S::kNone, &kDiagKeysetCursors},        \
      {SQL_ROWSET_SIZE, A::kStoreAndSend, S::kRowsetSize, nullptr},        \
      {SQL_SIMULATE_CURSOR, A::kRefuse, S::kNone, &kDiagSimulatedCursors}, \
      {SQL_RETRIEVE_DATA, A::kStoreAndSend, S::kRetrieveData, nullptr}, {  \
    SQL_USE_BOOKMARKS, A::kStoreAndSend, S::kUseBookmarks, nullptr         \
  }

const OptionRow kSetConnect[] = {
    VEL_STATEMENT_OPTION_ROWS,
    {SQL_ACCESS_MODE, A::kStoreAndSend, S::kAccessMode, nullptr},
    {SQL_AUTOCOMMIT, A::kStoreAndSend, S::kAutocommit, nullptr},
    // Once logged in the login timeout no longer matters and is not kept.
    {SQL_LOGIN_TIMEOUT, A::kNothing, S::kNone, nullptr},
    {SQL_OPT_TRACE, A::kNothing, S::kNone, nullptr},
    {SQL_OPT_TRACEFILE, A::kNothing, S::kNone, nullptr},
    {SQL_TRANSLATE_DLL, A::kRefuse, S::kNone, &kDiagTranslationDll},
    {SQL_TRANSLATE_OPTION, A::kRefuse, S::kNone, &kDiagTranslationDll},
    {SQL_TXN_ISOLATION, A::kStoreAndSend, S::kTxnIsolation, nullptr},
    {SQL_CURRENT_QUALIFIER, A::kQualifier, S::kNone, nullptr},
    {SQL_ODBC_CURSORS, A::kNothing, S::kNone, nullptr},
    {SQL_QUIET_MODE, A::kQuietMode, S::kNone, nullptr},
    {SQL_PACKET_SIZE, A::kRefuse, S::kNone, &kDiagPacketSize},
};

// Statement options read on a connection answer the default its later
// statements take.
const OptionRow kGetConnect[] = {
    {SQL_QUERY_TIMEOUT, A::kStore, S::kQueryTimeout, nullptr},
    {SQL_MAX_ROWS, A::kStore, S::kMaxRows, nullptr},
    {SQL_NOSCAN, A::kStore, S::kNoscan, nullptr},
    {SQL_MAX_LENGTH, A::kStore, S::kMaxLength, nullptr},
    {SQL_BIND_TYPE, A::kStore, S::kBindType, nullptr},
    {SQL_CURSOR_TYPE, A::kStore, S::kCursorType, nullptr},
    {SQL_CONCURRENCY, A::kStore, S::kConcurrency, nullptr},
    {SQL_ROWSET_SIZE, A::kStore, S::kRowsetSize, nullptr},
    {SQL_RETRIEVE_DATA, A::kStore, S::kRetrieveData, nullptr},
    {SQL_USE_BOOKMARKS, A::kStore, S::kUseBookmarks, nullptr},
    {SQL_ASYNC_ENABLE, A::kAnswerZero, S::kNone, nullptr},
    // The driver manager's own: it never asks the driver.
    {SQL_ODBC_CURSORS, A::kNothing, S::kNone, nullptr},
    {SQL_ACCESS_MODE, A::kStore, S::kAccessMode, nullptr},
    {SQL_AUTOCOMMIT, A::kStore, S::kAutocommit, nullptr},
    {SQL_LOGIN_TIMEOUT, A::kStore, S::kLoginTimeout, nullptr},
    {SQL_TXN_ISOLATION, A::kStore, S::kTxnIsolation, nullptr},
    {SQL_QUIET_MODE, A::kQuietMode, S::kNone, nullptr},
    {SQL_CURRENT_QUALIFIER, A::kQualifier, S::kNone, nullptr},
    {SQL_TRANSLATE_DLL, A::kRefuse, S::kNone, &kDiagTranslationDll},
    {SQL_TRANSLATE_OPTION, A::kRefuse, S::kNone, &kDiagTranslationDll},
    {SQL_PACKET_SIZE, A::kRefuse, S::kNone, &kDiagPacketSize},
};

const OptionRow kSetStmt[] = {VEL_STATEMENT_OPTION_ROWS};

const OptionRow kGetStmt[] = {
    {SQL_QUERY_TIMEOUT, A::kStore, S::kQueryTimeout, nullptr},
    {SQL_MAX_ROWS, A::kStore, S::kMaxRows, nullptr},
    {SQL_NOSCAN, A::kStore, S::kNoscan, nullptr},
    {SQL_MAX_LENGTH, A::kStore, S::kMaxLength, nullptr},
    {SQL_ASYNC_ENABLE, A::kAnswerZero, S::kNone, nullptr},
    {SQL_BIND_TYPE, A::kStore, S::kBindType, nullptr},
    {SQL_CURSOR_TYPE, A::kStore, S::kCursorType, nullptr},
    {SQL_CONCURRENCY, A::kStore, S::kConcurrency, nullptr},
    {SQL_KEYSET_SIZE, A::kRefuse, S::kNone, &kDiagKeysetCursors},
    {SQL_ROWSET_SIZE, A::kStore, S::kRowsetSize, nullptr},
    {SQL_SIMULATE_CURSOR, A::kRefuse, S::kNone, &kDiagSimulatedCursors},
    {SQL_RETRIEVE_DATA, A::kStore, S::kRetrieveData, nullptr},
    {SQL_USE_BOOKMARKS, A::kStore, S::kUseBookmarks, nullptr},
    {SQL_GET_BOOKMARK, A::kRefuse, S::kNone, &kDiagBookmarks},
    {SQL_ROW_NUMBER, A::kRowNumber, S::kNone, nullptr},
};

const OptionRow kDefault = {0, A::kRefuse, S::kNone, &kDiagOptionOutOfRange};

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
