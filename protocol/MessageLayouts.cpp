// The one description of every message's element sequences, as data.
#include "protocol/MessageLayouts.h"

namespace {

constexpr int8_t E = MessageLayout::kEnd;

using namespace El;  // the sequences name elements by their enumerators
using namespace Msg;

const MessageLayout kMessages[] = {
    // code, result set, request header, request body, reply body
    {kAllocStatement, false, {E}, {E}, {kStatementId, E}},
    // A trailing catalogType asks for ODBC 3's columns (protocol/CATALOG3.md).
    {kColumns,
     true,
     {kStatementId, E},
     {kTableQualifier, kTableOwner, kTableName, kColumnName, kCatalogType, E},
     {kResultSetDescription, E}},
    {kConnect,
     false,
     {kDataSource, kUserName, kPassword, E},
     {E},
     {kVersionElement, kNativeLengthValues, kFetchType, kCatalogType, kBatchType, kCancelType,
      kStreamType, kCancelKey, kSessionInfo, kDescribeType, kResultsType, kRoutineType, kQuickType,
      kInfoAnswers, kEditType, kIntervalType, kDecimalType, E}},
    {kDisconnect, false, {E}, {E}, {E}},
    {kGetError,
     false,
     {kStatementId, E},
     {E},
     {kSqlstate, kErrorCode, kErrorText, kFileName, kLineNumber, E}},
    {kExecDirect,
     true,
     {kStatementId, E},
     {kStatement, kParameterDataSetElement, E},
     {kResultSetDescription, E}},
    // Only to a server whose connect reply offered INTERVAL_TYPES
    // (protocol/INTERVALS.md): the session's interval columns are
    // described as the SQL_INTERVAL_* types from then on.
    {kSetIntervals, false, {kIntervalType, E}, {E}, {E}},
    {kExecute, false, {kStatementId, E}, {kParameterDataSetElement, E}, {E}},
    // Only to a server whose connect reply offered BATCH_SETS
    // (protocol/BATCH.md): many parameter sets, an outcome per set run.
    {kExecuteBatch,
     false,
     {kStatementId, E},
     {kStatement, kBatchMode, kParameterSets, E},
     {kBatchOutcomes, E}},
    // Only to a server whose connect reply offered FETCH_BLOCK
    // (protocol/BLOCKS.md); the reply's diagnostic goes with its return code.
    {kFetchBlock,
     false,
     {kStatementId, E},
     {kColumnNumberVector, kMaxLength, E},
     {kNumberOfRowsInSet, kSqlstate, kErrorCode, kErrorText, kFileName, kLineNumber, E}},
    {kFetch, false, {kStatementId, E}, {kColumnNumberVector, E}, {kFetchDataSet, E}},
    // Only to a server whose connect reply offered CATALOG_KEYS
    // (protocol/KEYS.md): the primary-key table, then the foreign-key table.
    {kForeignKeys,
     true,
     {kStatementId, E},
     {kTableQualifier, kTableOwner, kTableName, kFkTableQualifier, kFkTableOwner, kFkTableName,
      kCatalogType, E},
     {kResultSetDescription, E}},
    {kFreeStatement, false, {kStatementId, E}, {kFreeOption, E}, {E}},
    {kGetCursorName, false, {kStatementId, E}, {E}, {kCursorName, E}},
    {kGetData, false, {kStatementId, E}, {kColumnNumber, E}, {kFetchData, E}},
    {kGetRowNumber, false, {kStatementId, E}, {E}, {kRowNumber, E}},
    {kGetTypeInfo,
     true,
     {kStatementId, E},
     {kSqlDataType, kCatalogType, E},
     {kResultSetDescription, E}},
    {kPrepare, true, {kStatementId, E}, {kStatement, E}, {kResultSetDescription, E}},
    {kPrimaryKeys,
     true,
     {kStatementId, E},
     {kTableQualifier, kTableOwner, kTableName, E},
     {kResultSetDescription, E}},
    {kRowCount, false, {kStatementId, E}, {E}, {kNumberOfRows, E}},
    {kSetAccessMode, false, {kAccessMode, E}, {E}, {E}},
    {kSetAutocommit, false, {kAutocommitMode, E}, {E}, {E}},
    {kSetConcurrency, false, {kStatementId, E}, {kConcurrencyOption, E}, {E}},
    {kSetCursorName, false, {kStatementId, E}, {kCursorName, E}, {E}},
    {kSetCursorType, false, {kStatementId, E}, {kCursorTypeOption, E}, {E}},
    {kSetMaxLength, false, {kStatementId, E}, {kMaxLength, E}, {E}},
    {kSetMaxRows, false, {kStatementId, E}, {kMaxRows, E}, {E}},
    {kSetNoscan, false, {kStatementId, E}, {kNoscanOption, E}, {E}},
    {kSetRetrieveData, false, {kStatementId, E}, {kRetrieveDataOption, E}, {E}},
    {kSetRowsetSize, false, {kStatementId, E}, {kRowsetSize, E}, {E}},
    {kSetIsolation, false, {kTransactionIsolationLevel, E}, {E}, {E}},
    {kSetUseBookmarks, false, {kStatementId, E}, {kBookmarkUseOption, E}, {E}},
    {kSpecialColumns,
     true,
     {kStatementId, E},
     {kSpecialColumnType, kTableQualifier, kTableOwner, kTableName, kSpecialColumnScope,
      kNullability, E},
     {kResultSetDescription, E}},
    {kStatistics,
     true,
     {kStatementId, E},
     {kTableQualifier, kTableOwner, kTableName, kIndexType, kAccuracy, E},
     {kResultSetDescription, E}},
    {kTables,
     true,
     {kStatementId, E},
     {kTableQualifier, kTableOwner, kTableName, kTableType, E},
     {kResultSetDescription, E}},
    {kTransact, false, {kTransactionType, E}, {E}, {E}},
    // Only to a server whose connect reply offered CANCEL_REQUEST
    // (protocol/CANCEL.md): the statement's query timeout, and the cancel
    // request, the one request of a connection of its own.
    {kSetQueryTimeout, false, {kStatementId, E}, {kQueryTimeout, E}, {E}},
    {kCancel, false, {kCancelKey, E}, {kRequestNumber, E}, {E}},
    // Only to a server whose connect reply offered DESCRIBE_PARAMS
    // (protocol/DESCRIBE.md): the markers of the statement's text.
    {kDescribeParams, false, {kStatementId, E}, {E}, {kParameterSetDescription, E}},
    // Only to a server whose connect reply offered RESULTS_MORE
    // (protocol/RESULTS.md): the next result of the statement's text.
    {kMoreResults, true, {kStatementId, E}, {E}, {kResultsType, kResultSetDescription, E}},
    // Only to a server whose connect reply offered ROUTINES_AND_RIGHTS
    // (protocol/KEYS.md): the procedures, their columns, and the rights on
    // tables and columns. tableName carries the procedure's name, columnName
    // the column's; a trailing catalogType asks for ODBC 3's columns.
    {kProcedures,
     true,
     {kStatementId, E},
     {kTableQualifier, kTableOwner, kTableName, E},
     {kResultSetDescription, E}},
    {kProcedureColumns,
     true,
     {kStatementId, E},
     {kTableQualifier, kTableOwner, kTableName, kColumnName, kCatalogType, E},
     {kResultSetDescription, E}},
    {kTablePrivileges,
     true,
     {kStatementId, E},
     {kTableQualifier, kTableOwner, kTableName, E},
     {kResultSetDescription, E}},
    {kColumnPrivileges,
     true,
     {kStatementId, E},
     {kTableQualifier, kTableOwner, kTableName, kColumnName, E},
     {kResultSetDescription, E}},
    // Only to a server whose connect reply offered QUICK_ROWS
    // (protocol/QUICK.md): an execution answered with its row count and
    // the first block of its rows.
    {kExecuteRows,
     false,
     {kStatementId, E},
     {kParameterDataSetElement, kMaxLength, E},
     {kNumberOfRows, kBlockCode, kNumberOfRowsInSet, kSqlstate, kErrorCode, kErrorText, kFileName,
      kLineNumber, E}},
    // Only to a server whose connect reply held infoAnswers
    // (protocol/ESCAPES.md): a text with its escape clauses translated.
    {kNativeSql, false, {E}, {kStatement, E}, {kNativeStatement, E}},
    // Only to a server whose connect reply offered EDIT_ROWS
    // (protocol/EDIT.md): one row of a cursor written back by its key.
    {kEditRow,
     false,
     {kStatementId, E},
     {kEditOperation, kRowNumber, kConcurrencyOption, kParameterDataSetElement, E},
     {kNumberOfRows, kFetchDataSet, E}},
};

const int kMessageCount = static_cast<int>(sizeof kMessages / sizeof kMessages[0]);
#define VEL_COUNT_MESSAGE(code, Name) +1
static_assert(kMessageCount == 1 VEL_MESSAGES(VEL_COUNT_MESSAGE), "one layout per message code");
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
