// The element name table and the value-name tables of the enumerated
// elements, as data, with their two look-ups.
#include "protocol/ElementNames.h"

#include <cstddef>

#include "protocol/SqlTypeCatalog.h"

namespace {

// The name table, indexed by element number, made from the one list.
struct NameTable {
  const char* names[kElementIdCount];
};

constexpr NameTable MakeNameTable() {
  NameTable table{};
#define VEL_ELEMENT_NAME(number, Enumerator, name) table.names[number] = #name;
  VEL_ELEMENT_NUMBERS(VEL_ELEMENT_NAME)
#undef VEL_ELEMENT_NAME
  return table;
}

constexpr NameTable kElementNames = MakeNameTable();

const char kUnknown[] = "<unknown>";

struct ValueNameEntry {
  int32_t value;
  const char* name;
};

struct ValueNameTable {
  int elementId;
  const ValueNameEntry* entries;
  std::size_t count;
};

const ValueNameEntry kAccessMode[] = {{0, "MODE_READ_WRITE"}, {1, "MODE_READ_ONLY"}};
const ValueNameEntry kAccuracy[] = {{0, "QUICK"}, {1, "ENSURE"}};
const ValueNameEntry kAutocommitMode[] = {{0, "AUTOCOMMIT_OFF"}, {1, "AUTOCOMMIT_ON"}};
const ValueNameEntry kBatchType[] = {{0, "BATCH_NONE"}, {1, "BATCH_SETS"}};
const ValueNameEntry kBatchMode[] = {{0, "BATCH_GO_ON"}, {1, "BATCH_STOP"}};
const ValueNameEntry kBookmarkUseOption[] = {{0, "UB_OFF"}, {1, "UB_ON"}};
const ValueNameEntry kCancelType[] = {{0, "CANCEL_NONE"}, {1, "CANCEL_REQUEST"}};
const ValueNameEntry kCatalogType[] = {
    {0, "CATALOG_BASIC"}, {1, "CATALOG_KEYS"}, {2, "CATALOG_ODBC3"}};
const ValueNameEntry kConcurrencyOption[] = {
    {1, "READ_ONLY"}, {2, "LOCK"}, {4, "ROWVER"}, {8, "VALUES"}};
const ValueNameEntry kCursorTypeOption[] = {{0, "CURSOR_FORWARD_ONLY"},
                                            {1, "CURSOR_KEYSET_DRIVEN"},
                                            {2, "CURSOR_DYNAMIC"},
                                            {3, "CURSOR_STATIC"}};
const ValueNameEntry kEditOperation[] = {{0, "EDIT_UPDATE"},
                                         {1, "EDIT_DELETE"},
                                         {2, "EDIT_ADD"},
                                         {3, "EDIT_REFRESH"},
                                         {4, "EDIT_CHECK"}};
const ValueNameEntry kEditType[] = {{0, "EDIT_NONE"}, {1, "EDIT_ROWS"}, {2, "EDIT_KEYS"}};
const ValueNameEntry kIntervalType[] = {{0, "INTERVAL_NONE"}, {1, "INTERVAL_TYPES"}};
const ValueNameEntry kDecimalType[] = {{0, "DECIMAL_NONE"}, {1, "DECIMAL_TEXT"}};
const ValueNameEntry kFetchType[] = {{0, "FETCH_ONE_ROW"}, {1, "FETCH_BLOCK"}};
const ValueNameEntry kFreeOption[] = {
    {0, "CLOSE"}, {1, "DROP"}, {2, "UNBIND"}, {3, "RESET_PARAMS"}};
const ValueNameEntry kIndexType[] = {{0, "UNIQUE"}, {1, "ALL"}};
const ValueNameEntry kNoscanOption[] = {{0, "NOSCAN_OFF"}, {1, "NOSCAN_ON"}};
const ValueNameEntry kNullability[] = {{0, "NO_NULLS"}, {1, "YES_NULLS"}, {2, "NULLABLE_UNKNOWN"}};
const ValueNameEntry kRetrieveDataOption[] = {{0, "RD_OFF"}, {1, "RD_ON"}};
const ValueNameEntry kReturnCode[] = {
    {-2, "INVALID_HANDLE"}, {-1, "RC_ERROR"},  {0, "SUCCESS"},        {1, "SUCCESS_WITH_INFO"},
    {2, "STILL_EXECUTING"}, {99, "NEED_DATA"}, {100, "NO_DATA_FOUND"}};
const ValueNameEntry kQuickType[] = {{0, "QUICK_NONE"}, {1, "QUICK_ROWS"}};
const ValueNameEntry kStreamType[] = {{0, "STREAM_NONE"}, {1, "STREAM_AHEAD"}};
const ValueNameEntry kSpecialColumnScope[] = {{0, "CURROW"}, {1, "TRANSACTION"}, {2, "SESSION"}};
const ValueNameEntry kSpecialColumnType[] = {{1, "BEST_ROWID"}, {2, "SCT_ROWVER"}};
// Beside the SQL type catalogue's names.
const ValueNameEntry kSqlDataType[] = {{0, "ALL_TYPES"}};
const ValueNameEntry kTransactionIsolationLevel[] = {{1, "TXN_READ_UNCOMMITTED"},
                                                     {2, "TXN_READ_COMMITTED"},
                                                     {4, "TXN_REPEATABLE_READ"},
                                                     {8, "TXN_SERIALIZABLE"},
                                                     {16, "TXN_VERSIONING"}};
const ValueNameEntry kTransactionType[] = {{0, "COMMIT"}, {1, "ROLLBACK"}};

#define VEL_VALUE_TABLE(id, table) \
  { id, table, sizeof(table) / sizeof(table[0]) }
const ValueNameTable kValueTables[] = {
    VEL_VALUE_TABLE(El::kAccessMode, kAccessMode),
    VEL_VALUE_TABLE(El::kAutocommitMode, kAutocommitMode),
    VEL_VALUE_TABLE(El::kAccuracy, kAccuracy),
    VEL_VALUE_TABLE(El::kBatchMode, kBatchMode),
    VEL_VALUE_TABLE(El::kBatchType, kBatchType),
    VEL_VALUE_TABLE(El::kBookmarkUseOption, kBookmarkUseOption),
    VEL_VALUE_TABLE(El::kCancelType, kCancelType),
    VEL_VALUE_TABLE(El::kCatalogType, kCatalogType),
    VEL_VALUE_TABLE(El::kConcurrencyOption, kConcurrencyOption),
    VEL_VALUE_TABLE(El::kCursorTypeOption, kCursorTypeOption),
    VEL_VALUE_TABLE(El::kEditOperation, kEditOperation),
    VEL_VALUE_TABLE(El::kEditType, kEditType),
    VEL_VALUE_TABLE(El::kDecimalType, kDecimalType),
    VEL_VALUE_TABLE(El::kFetchType, kFetchType),
    VEL_VALUE_TABLE(El::kIntervalType, kIntervalType),
    VEL_VALUE_TABLE(El::kFreeOption, kFreeOption),
    VEL_VALUE_TABLE(El::kIndexType, kIndexType),
    VEL_VALUE_TABLE(El::kNoscanOption, kNoscanOption),
    VEL_VALUE_TABLE(El::kNullability, kNullability),
    VEL_VALUE_TABLE(El::kQuickType, kQuickType),
    VEL_VALUE_TABLE(El::kBlockCode, kReturnCode),
    VEL_VALUE_TABLE(El::kRetrieveDataOption, kRetrieveDataOption),
    VEL_VALUE_TABLE(El::kReturnCode, kReturnCode),
    VEL_VALUE_TABLE(El::kSpecialColumnScope, kSpecialColumnScope),
    VEL_VALUE_TABLE(El::kSpecialColumnType, kSpecialColumnType),
    VEL_VALUE_TABLE(El::kSqlDataType, kSqlDataType),
    VEL_VALUE_TABLE(El::kStreamType, kStreamType),
    VEL_VALUE_TABLE(El::kTransactionIsolationLevel, kTransactionIsolationLevel),
    VEL_VALUE_TABLE(El::kTransactionType, kTransactionType),
};
#undef VEL_VALUE_TABLE

const ValueNameTable* TableFor(int elementId) {
  for (const ValueNameTable& table : kValueTables) {
    if (table.elementId == elementId) return &table;
  }
  return nullptr;
}

}  // namespace

const char* ElementName(int elementId) {
  if (elementId < 0 || elementId >= kElementIdCount) return kUnknown;
  const char* name = kElementNames.names[elementId];
  return name != nullptr ? name : kUnknown;  // a number no element has
}

const char* ValueName(int elementId, int32_t value) {
  const ValueNameTable* table = TableFor(elementId);
  if (table == nullptr) return kUnknown;
  for (std::size_t i = 0; i < table->count; ++i) {
    if (table->entries[i].value == value) return table->entries[i].name;
  }
  if (elementId == El::kSqlDataType && *SqlTypeName(value) != '\0') return SqlTypeName(value);
  return kUnknown;
}

bool HasValueNames(int elementId) { return TableFor(elementId) != nullptr; }
