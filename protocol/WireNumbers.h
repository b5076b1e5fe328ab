// The one definition of every element number and every message code. The
// element name table (protocol/ElementNames.cpp), the element classes
// (protocol/Elements.h), the catalogue (protocol/Catalog.cpp) and the
// request classes (protocol/Requests.h) are all derived from these lists;
// everything else names a number, never writes it.
#ifndef VELORA_PROTOCOL_WIRENUMBERS_H
#define VELORA_PROTOCOL_WIRENUMBERS_H

#include <cstdint>

// X(number, name): every element number with its traced name, in order.
#define VEL_ELEMENT_NUMBERS(X)     \
  X(0, accessMode)                 \
  X(1, autocommitMode)             \
  X(2, accuracy)                   \
  X(3, binaryValue)                \
  X(4, bookmarkUseOption)          \
  X(5, columnName)                 \
  X(6, columnNumber)               \
  X(7, columnNumberVector)         \
  X(8, concurrencyOption)          \
  X(9, connectOption)              \
  X(10, cursorName)                \
  X(11, cursorTypeOption)          \
  X(12, descriptorType)            \
  X(13, errorCode)                 \
  X(14, errorText)                 \
  X(15, fetchData)                 \
  X(16, fetchDataSet)              \
  X(17, fetchType)                 \
  X(18, fileName)                  \
  X(19, freeOption)                \
  X(20, indexType)                 \
  X(21, keysetOption)              \
  X(22, lengthElement)             \
  X(23, lineNumber)                \
  X(24, maxLength)                 \
  X(25, maxRows)                   \
  X(26, nativeError)               \
  X(27, nativeLengthValues)        \
  X(28, noscanOption)              \
  X(29, numberOfColumns)           \
  X(30, numberOfParameters)        \
  X(31, numberOfRows)              \
  X(32, numberOfRowsInSet)         \
  X(33, nullability)               \
  X(34, parameterDataElement)      \
  X(35, parameterDataSetElement)   \
  X(36, parameterSetDescription)   \
  X(37, password)                  \
  X(38, precision)                 \
  X(39, resultSetDescription)      \
  X(40, retrieveDataOption)        \
  X(41, returnCode)                \
  X(42, rowNumber)                 \
  X(43, rowsetSize)                \
  X(44, scale)                     \
  X(45, specialColumnScope)        \
  X(46, specialColumnType)         \
  X(47, sqlDataType)               \
  X(48, sqlstate)                  \
  X(49, statement)                 \
  X(50, statementId)               \
  X(51, statusValueArray)          \
  X(52, tableName)                 \
  X(53, tableOwner)                \
  X(54, tableQualifier)            \
  X(55, tableType)                 \
  X(56, transactionIsolationLevel) \
  X(57, transactionType)           \
  X(58, updatableElement)          \
  X(59, userName)                  \
  X(60, versionElement)            \
  X(61, dataSource)

// Element numbers by their traced name: El::statementId.
namespace El {
enum Number : int8_t {
#define VEL_ELEMENT_ENUMERATOR(number, name) name = number,
  VEL_ELEMENT_NUMBERS(VEL_ELEMENT_ENUMERATOR)
#undef VEL_ELEMENT_ENUMERATOR
};
}  // namespace El

// Number of entries of the element name table (element numbers 0..61).
constexpr int kElementIdCount = El::dataSource + 1;

// X(code, Name): every message code except the connect request's, which
// has a class of its own; each becomes Msg::kName and the class NameRequest.
#define VEL_CATALOG_MESSAGES(X) \
  X(0, AllocStatement)          \
  X(4, Columns)                 \
  X(8, Disconnect)              \
  X(9, GetError)                \
  X(10, ExecDirect)             \
  X(11, Execute)                \
  X(12, FetchBlock)             \
  X(13, Fetch)                  \
  X(15, FreeStatement)          \
  X(16, GetCursorName)          \
  X(17, GetData)                \
  X(18, GetRowNumber)           \
  X(19, GetTypeInfo)            \
  X(23, Prepare)                \
  X(25, RowCount)               \
  X(26, SetAccessMode)          \
  X(27, SetAutocommit)          \
  X(28, SetConcurrency)         \
  X(29, SetCursorName)          \
  X(30, SetCursorType)          \
  X(31, SetMaxLength)           \
  X(32, SetMaxRows)             \
  X(33, SetNoscan)              \
  X(35, SetRetrieveData)        \
  X(36, SetRowsetSize)          \
  X(38, SetIsolation)           \
  X(39, SetUseBookmarks)        \
  X(40, SpecialColumns)         \
  X(41, Statistics)             \
  X(43, Tables)                 \
  X(44, Transact)

// Message codes by name: Msg::kFetch.
namespace Msg {
enum Code : uint16_t {
#define VEL_MESSAGE_ENUMERATOR(code, Name) k##Name = code,
  VEL_CATALOG_MESSAGES(VEL_MESSAGE_ENUMERATOR)
#undef VEL_MESSAGE_ENUMERATOR
      kConnect = 5,
};
}  // namespace Msg

#endif
