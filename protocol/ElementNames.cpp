// The element name table and the value-name tables of the enumerated
// elements, as data, with their two look-ups.
#include "protocol/ElementNames.h"

#include <cstddef>

namespace {

const char* const kElementNames[kElementIdCount] = {
    "accessMode",                 // 0
    "autocommitMode",             // 1
    "accuracy",                   // 2
    "binaryValue",                // 3
    "bookmarkUseOption",          // 4
    "columnName",                 // 5
    "columnNumber",               // 6
    "columnNumberVector",         // 7
    "concurrencyOption",          // 8
    "connectOption",              // 9
    "cursorName",                 // 10
    "cursorTypeOption",           // 11
    "descriptorType",             // 12
    "errorCode",                  // 13
    "errorText",                  // 14
    "fetchData",                  // 15
    "fetchDataSet",               // 16
    "fetchType",                  // 17
    "fileName",                   // 18
    "freeOption",                 // 19
    "indexType",                  // 20
    "keysetOption",               // 21
    "lengthElement",              // 22
    "lineNumber",                 // 23
    "maxLength",                  // 24
    "maxRows",                    // 25
    "nativeError",                // 26
    "nativeLengthValues",         // 27
    "noscanOption",               // 28
    "numberOfColumns",            // 29
    "numberOfParameters",         // 30
    "numberOfRows",               // 31
    "numberOfRowsInSet",          // 32
    "nullability",                // 33
    "parameterDataElement",       // 34
    "parameterDataSetElement",    // 35
    "parameterSetDescription",    // 36
    "password",                   // 37
    "precision",                  // 38
    "resultSetDescription",       // 39
    "retrieveDataOption",         // 40
    "returnCode",                 // 41
    "rowNumber",                  // 42
    "rowsetSize",                 // 43
    "scale",                      // 44
    "specialColumnScope",         // 45
    "specialColumnType",          // 46
    "sqlDataType",                // 47
    "sqlstate",                   // 48
    "statement",                  // 49
    "statementId",                // 50
    "statusValueArray",           // 51
    "tableName",                  // 52
    "tableOwner",                 // 53
    "tableQualifier",             // 54
    "tableType",                  // 55
    "transactionIsolationLevel",  // 56
    "transactionType",            // 57
    "updatableElement",           // 58
    "userName",                   // 59
    "versionElement",             // 60
    "dataSource",                 // 61
};

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
const ValueNameEntry kBookmarkUseOption[] = {{0, "UB_OFF"}, {1, "UB_ON"}};
const ValueNameEntry kConcurrencyOption[] = {
    {1, "READ_ONLY"}, {2, "LOCK"}, {4, "ROWVER"}, {8, "VALUES"}};
const ValueNameEntry kCursorTypeOption[] = {{0, "CURSOR_FORWARD_ONLY"},
                                            {1, "CURSOR_KEYSET_DRIVEN"},
                                            {2, "CURSOR_DYNAMIC"},
                                            {3, "CURSOR_STATIC"}};
const ValueNameEntry kFreeOption[] = {
    {0, "CLOSE"}, {1, "DROP"}, {2, "UNBIND"}, {3, "RESET_PARAMS"}};
const ValueNameEntry kIndexType[] = {{0, "UNIQUE"}, {1, "ALL"}};
const ValueNameEntry kNoscanOption[] = {{0, "NOSCAN_OFF"}, {1, "NOSCAN_ON"}};
const ValueNameEntry kNullability[] = {
    {0, "NO_NULLS"}, {1, "YES_NULLS"}, {2, "NULLABLE_UNKNOWN"}};
const ValueNameEntry kRetrieveDataOption[] = {{0, "RD_OFF"}, {1, "RD_ON"}};
const ValueNameEntry kReturnCode[] = {
    {-2, "INVALID_HANDLE"}, {-1, "RC_ERROR"},  {0, "SUCCESS"},        {1, "SUCCESS_WITH_INFO"},
    {2, "STILL_EXECUTING"}, {99, "NEED_DATA"}, {100, "NO_DATA_FOUND"}};
const ValueNameEntry kSpecialColumnScope[] = {{0, "CURROW"}, {1, "TRANSACTION"}, {2, "SESSION"}};
const ValueNameEntry kSpecialColumnType[] = {{1, "BEST_ROWID"}, {2, "SCT_ROWVER"}};
const ValueNameEntry kSqlDataType[] = {
    {-7, "BIT"},      {-6, "TINYINT"},   {-5, "BIGINT"},   {-4, "LONGVARBINARY"},
    {-3, "VARBINARY"}, {-2, "BINARY"},    {-1, "LONGVARCHAR"}, {0, "ALL_TYPES"},
    {1, "CHAR"},      {2, "NUMERIC"},    {3, "DECIMAL"},   {4, "INTEGER"},
    {5, "SMALLINT"},  {6, "FLOAT"},      {7, "REAL"},      {8, "DOUBLE"},
    {9, "DATE"},      {10, "TIME"},      {11, "TIMESTAMP"}, {12, "VARCHAR"}};
const ValueNameEntry kTransactionIsolationLevel[] = {{1, "TXN_READ_UNCOMMITTED"},
                                                     {2, "TXN_READ_COMMITTED"},
                                                     {4, "TXN_REPEATABLE_READ"},
                                                     {8, "TXN_SERIALIZABLE"},
                                                     {16, "TXN_VERSIONING"}};
const ValueNameEntry kTransactionType[] = {{0, "COMMIT"}, {1, "ROLLBACK"}};

#define VEL_VALUE_TABLE(id, table) {id, table, sizeof(table) / sizeof(table[0])}
const ValueNameTable kValueTables[] = {
    VEL_VALUE_TABLE(0, kAccessMode),
    VEL_VALUE_TABLE(1, kAutocommitMode),
    VEL_VALUE_TABLE(2, kAccuracy),
    VEL_VALUE_TABLE(4, kBookmarkUseOption),
    VEL_VALUE_TABLE(8, kConcurrencyOption),
    VEL_VALUE_TABLE(11, kCursorTypeOption),
    VEL_VALUE_TABLE(19, kFreeOption),
    VEL_VALUE_TABLE(20, kIndexType),
    VEL_VALUE_TABLE(28, kNoscanOption),
    VEL_VALUE_TABLE(33, kNullability),
    VEL_VALUE_TABLE(40, kRetrieveDataOption),
    VEL_VALUE_TABLE(41, kReturnCode),
    VEL_VALUE_TABLE(45, kSpecialColumnScope),
    VEL_VALUE_TABLE(46, kSpecialColumnType),
    VEL_VALUE_TABLE(47, kSqlDataType),
    VEL_VALUE_TABLE(56, kTransactionIsolationLevel),
    VEL_VALUE_TABLE(57, kTransactionType),
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
  return kElementNames[elementId];
}

const char* ValueName(int elementId, int32_t value) {
  const ValueNameTable* table = TableFor(elementId);
  if (table == nullptr) return kUnknown;
  for (std::size_t i = 0; i < table->count; ++i) {
    if (table->entries[i].value == value) return table->entries[i].name;
  }
  return kUnknown;
}

bool HasValueNames(int elementId) { return TableFor(elementId) != nullptr; }
