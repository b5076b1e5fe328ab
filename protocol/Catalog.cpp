// The one description of every message's element sequences, as data.
#include "protocol/Catalog.h"

namespace {

constexpr int8_t E = MessageLayout::kEnd;

using namespace El;  // the sequences name elements as the name table does
using namespace Msg;

const MessageLayout kMessages[] = {
    // code, result set, request header, request body, reply body
    {kAllocStatement, false, {E}, {E}, {statementId, E}},
    {kColumns,
     true,
     {statementId, E},
     {tableQualifier, tableOwner, tableName, columnName, E},
     {resultSetDescription, E}},
    {kConnect,
     false,
     {dataSource, userName, password, E},
     {E},
     {versionElement, nativeLengthValues, fetchType, E}},
    {kDisconnect, false, {E}, {E}, {E}},
    {kGetError,
     false,
     {statementId, E},
     {E},
     {sqlstate, errorCode, errorText, fileName, lineNumber, E}},
    {kExecDirect,
     true,
     {statementId, E},
     {statement, parameterDataSetElement, E},
     {resultSetDescription, E}},
    {kExecute, false, {statementId, E}, {parameterDataSetElement, E}, {E}},
    // Only to a server whose connect reply offered FETCH_BLOCK
    // (protocol/BLOCKS.md); the reply's diagnostic goes with its return code.
    {kFetchBlock,
     false,
     {statementId, E},
     {columnNumberVector, maxLength, E},
     {numberOfRowsInSet, sqlstate, errorCode, errorText, fileName, lineNumber, E}},
    {kFetch, false, {statementId, E}, {columnNumberVector, E}, {fetchDataSet, E}},
    {kFreeStatement, false, {statementId, E}, {freeOption, E}, {E}},
    {kGetCursorName, false, {statementId, E}, {E}, {cursorName, E}},
    {kGetData, false, {statementId, E}, {columnNumber, E}, {fetchData, E}},
    {kGetRowNumber, false, {statementId, E}, {E}, {rowNumber, E}},
    {kGetTypeInfo, true, {statementId, E}, {sqlDataType, E}, {resultSetDescription, E}},
    {kPrepare, true, {statementId, E}, {statement, E}, {resultSetDescription, E}},
    {kRowCount, false, {statementId, E}, {E}, {numberOfRows, E}},
    {kSetAccessMode, false, {accessMode, E}, {E}, {E}},
    {kSetAutocommit, false, {autocommitMode, E}, {E}, {E}},
    {kSetConcurrency, false, {statementId, E}, {concurrencyOption, E}, {E}},
    {kSetCursorName, false, {statementId, E}, {cursorName, E}, {E}},
    {kSetCursorType, false, {statementId, E}, {cursorTypeOption, E}, {E}},
    {kSetMaxLength, false, {statementId, E}, {maxLength, E}, {E}},
    {kSetMaxRows, false, {statementId, E}, {maxRows, E}, {E}},
    {kSetNoscan, false, {statementId, E}, {noscanOption, E}, {E}},
    {kSetRetrieveData, false, {statementId, E}, {retrieveDataOption, E}, {E}},
    {kSetRowsetSize, false, {statementId, E}, {rowsetSize, E}, {E}},
    {kSetIsolation, false, {transactionIsolationLevel, E}, {E}, {E}},
    {kSetUseBookmarks, false, {statementId, E}, {bookmarkUseOption, E}, {E}},
    {kSpecialColumns,
     true,
     {statementId, E},
     {specialColumnType, tableQualifier, tableOwner, tableName, specialColumnScope, nullability, E},
     {resultSetDescription, E}},
    {kStatistics,
     true,
     {statementId, E},
     {tableQualifier, tableOwner, tableName, indexType, accuracy, E},
     {resultSetDescription, E}},
    {kTables,
     true,
     {statementId, E},
     {tableQualifier, tableOwner, tableName, tableType, E},
     {resultSetDescription, E}},
    {kTransact, false, {transactionType, E}, {E}, {E}},
};

const int kMessageCount = static_cast<int>(sizeof kMessages / sizeof kMessages[0]);
#define VEL_COUNT_MESSAGE(code, Name) +1
static_assert(kMessageCount == 1 VEL_CATALOG_MESSAGES(VEL_COUNT_MESSAGE),
              "one layout per message code");
#undef VEL_COUNT_MESSAGE

}  // namespace

const MessageLayout* FindMessageLayout(uint16_t code) {
  for (const MessageLayout& layout : kMessages) {
    if (layout.code == code) return &layout;
  }
  return nullptr;
}

int MessageCount() { return kMessageCount; }

uint16_t MessageCodeAt(int index) {
  return index >= 0 && index < kMessageCount ? kMessages[index].code : 0;
}
