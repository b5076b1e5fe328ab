// The one definition of every element number and every message code. The
// element name table (protocol/ElementNames.cpp), the element classes
// (protocol/Elements.h), the message layouts (protocol/MessageLayouts.cpp) and the
// request classes (protocol/Requests.h) are all derived from these lists;
// everything else names a number, never writes it.
#ifndef VELORA_PROTOCOL_WIRENUMBERS_H
#define VELORA_PROTOCOL_WIRENUMBERS_H

#include <cstdint>

// X(number, Enumerator, name): every element number with its enumerator
// and its traced name, in order.
#define VEL_ELEMENT_NUMBERS(X)                                 \
  X(0, kAccessMode, accessMode)                                \
  X(1, kAutocommitMode, autocommitMode)                        \
  X(2, kAccuracy, accuracy)                                    \
  X(3, kBinaryValue, binaryValue)                              \
  X(4, kBookmarkUseOption, bookmarkUseOption)                  \
  X(5, kColumnName, columnName)                                \
  X(6, kColumnNumber, columnNumber)                            \
  X(7, kColumnNumberVector, columnNumberVector)                \
  X(8, kConcurrencyOption, concurrencyOption)                  \
  X(9, kConnectOption, connectOption)                          \
  X(10, kCursorName, cursorName)                               \
  X(11, kCursorTypeOption, cursorTypeOption)                   \
  X(12, kDescriptorType, descriptorType)                       \
  X(13, kErrorCode, errorCode)                                 \
  X(14, kErrorText, errorText)                                 \
  X(15, kFetchData, fetchData)                                 \
  X(16, kFetchDataSet, fetchDataSet)                           \
  X(17, kFetchType, fetchType)                                 \
  X(18, kFileName, fileName)                                   \
  X(19, kFreeOption, freeOption)                               \
  X(20, kIndexType, indexType)                                 \
  X(21, kKeysetOption, keysetOption)                           \
  X(22, kLengthElement, lengthElement)                         \
  X(23, kLineNumber, lineNumber)                               \
  X(24, kMaxLength, maxLength)                                 \
  X(25, kMaxRows, maxRows)                                     \
  X(26, kNativeError, nativeError)                             \
  X(27, kNativeLengthValues, nativeLengthValues)               \
  X(28, kNoscanOption, noscanOption)                           \
  X(29, kNumberOfColumns, numberOfColumns)                     \
  X(30, kNumberOfParameters, numberOfParameters)               \
  X(31, kNumberOfRows, numberOfRows)                           \
  X(32, kNumberOfRowsInSet, numberOfRowsInSet)                 \
  X(33, kNullability, nullability)                             \
  X(34, kParameterDataElement, parameterDataElement)           \
  X(35, kParameterDataSetElement, parameterDataSetElement)     \
  X(36, kParameterSetDescription, parameterSetDescription)     \
  X(37, kPassword, password)                                   \
  X(38, kPrecision, precision)                                 \
  X(39, kResultSetDescription, resultSetDescription)           \
  X(40, kRetrieveDataOption, retrieveDataOption)               \
  X(41, kReturnCode, returnCode)                               \
  X(42, kRowNumber, rowNumber)                                 \
  X(43, kRowsetSize, rowsetSize)                               \
  X(44, kScale, scale)                                         \
  X(45, kSpecialColumnScope, specialColumnScope)               \
  X(46, kSpecialColumnType, specialColumnType)                 \
  X(47, kSqlDataType, sqlDataType)                             \
  X(48, kSqlstate, sqlstate)                                   \
  X(49, kStatement, statement)                                 \
  X(50, kStatementId, statementId)                             \
  X(51, kStatusValueArray, statusValueArray)                   \
  X(52, kTableName, tableName)                                 \
  X(53, kTableOwner, tableOwner)                               \
  X(54, kTableQualifier, tableQualifier)                       \
  X(55, kTableType, tableType)                                 \
  X(56, kTransactionIsolationLevel, transactionIsolationLevel) \
  X(57, kTransactionType, transactionType)                     \
  X(58, kUpdatableElement, updatableElement)                   \
  X(59, kUserName, userName)                                   \
  X(60, kVersionElement, versionElement)                       \
  X(61, kDataSource, dataSource)                               \
  X(62, kCatalogType, catalogType)                             \
  X(63, kFkTableQualifier, fkTableQualifier)                   \
  X(64, kFkTableOwner, fkTableOwner)                           \
  X(65, kFkTableName, fkTableName)                             \
  X(66, kBatchType, batchType)                                 \
  X(67, kCancelType, cancelType)                               \
  X(68, kStreamType, streamType)                               \
  X(69, kParameterSets, parameterSets)                         \
  X(70, kBatchMode, batchMode)                                 \
  X(71, kBatchOutcomes, batchOutcomes)                         \
  X(73, kCancelKey, cancelKey)                                 \
  X(74, kQueryTimeout, queryTimeout)                           \
  X(75, kRequestNumber, requestNumber)                         \
  X(76, kSessionInfo, sessionInfo)                             \
  X(77, kDescribeType, describeType)                           \
  X(78, kResultsType, resultsType)                             \
  X(79, kInfoAnswers, infoAnswers)                             \
  X(80, kNativeStatement, nativeStatement)                     \
  X(81, kRoutineType, routineType)                             \
  X(82, kEditType, editType)                                   \
  X(83, kEditOperation, editOperation)                         \
  X(84, kQuickType, quickType)                                 \
  X(85, kBlockCode, blockCode)                                 \
  X(86, kDecimalType, decimalType)                             \
  X(90, kIntervalType, intervalType)

// Element numbers: El::kStatementId.
namespace El {
enum Number : int8_t {
#define VEL_ELEMENT_ENUMERATOR(number, Enumerator, name) Enumerator = number,
  VEL_ELEMENT_NUMBERS(VEL_ELEMENT_ENUMERATOR)
#undef VEL_ELEMENT_ENUMERATOR
};
}  // namespace El

// Number of entries of the element name table (element numbers 0..90).
constexpr int kElementIdCount = El::kIntervalType + 1;

// X(code, Name): every message code except the connect request's, which
// has a class of its own; each becomes Msg::kName and the class NameRequest.
#define VEL_MESSAGES(X)   \
  X(0, AllocStatement)    \
  X(4, Columns)           \
  X(8, Disconnect)        \
  X(9, GetError)          \
  X(10, ExecDirect)       \
  X(11, Execute)          \
  X(12, FetchBlock)       \
  X(13, Fetch)            \
  X(14, ForeignKeys)      \
  X(15, FreeStatement)    \
  X(16, GetCursorName)    \
  X(17, GetData)          \
  X(18, GetRowNumber)     \
  X(19, GetTypeInfo)      \
  X(23, Prepare)          \
  X(24, PrimaryKeys)      \
  X(25, RowCount)         \
  X(26, SetAccessMode)    \
  X(27, SetAutocommit)    \
  X(28, SetConcurrency)   \
  X(29, SetCursorName)    \
  X(30, SetCursorType)    \
  X(31, SetMaxLength)     \
  X(32, SetMaxRows)       \
  X(33, SetNoscan)        \
  X(35, SetRetrieveData)  \
  X(36, SetRowsetSize)    \
  X(38, SetIsolation)     \
  X(39, SetUseBookmarks)  \
  X(40, SpecialColumns)   \
  X(41, Statistics)       \
  X(43, Tables)           \
  X(44, Transact)         \
  X(45, ExecuteBatch)     \
  X(46, SetQueryTimeout)  \
  X(47, Cancel)           \
  X(48, DescribeParams)   \
  X(49, MoreResults)      \
  X(50, NativeSql)        \
  X(51, EditRow)          \
  X(60, Procedures)       \
  X(61, ProcedureColumns) \
  X(62, TablePrivileges)  \
  X(63, ColumnPrivileges) \
  X(64, ExecuteRows)      \
  X(68, SetIntervals)

// Message codes by name: Msg::kFetch.
namespace Msg {
enum Code : uint16_t {
#define VEL_MESSAGE_ENUMERATOR(code, Name) k##Name = code,
  VEL_MESSAGES(VEL_MESSAGE_ENUMERATOR)
#undef VEL_MESSAGE_ENUMERATOR
      kConnect = 5,
};
}  // namespace Msg

#endif
