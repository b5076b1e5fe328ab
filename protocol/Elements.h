// Every concrete protocol element, one class per element number, and the
// factory that creates an element from its number. The element sequences
// of the messages (protocol/Catalog.cpp) name elements by El:: number.
#ifndef VELORA_PROTOCOL_ELEMENTS_H
#define VELORA_PROTOCOL_ELEMENTS_H

#include "protocol/BasicElements.h"
#include "protocol/DataSets.h"
#include "protocol/Element.h"
#include "protocol/FetchData.h"
#include "protocol/ResultSetDescription.h"
#include "protocol/RowBlock.h"
#include "protocol/WireNumbers.h"

// X(El::number, Name, Kind): the elements made from a plain kind; each becomes
// the class NameElement.
#define VEL_KIND_ELEMENTS(X)                                               \
  X(El::accessMode, AccessMode, EnumElement)                               \
  X(El::autocommitMode, AutocommitMode, EnumElement)                       \
  X(El::accuracy, Accuracy, EnumElement)                                   \
  X(El::bookmarkUseOption, BookmarkUseOption, EnumElement)                 \
  X(El::columnName, ColumnName, StringElement)                             \
  X(El::columnNumber, ColumnNumber, ShortElement)                          \
  X(El::columnNumberVector, ColumnNumberVector, ShortVectorElement)        \
  X(El::concurrencyOption, ConcurrencyOption, EnumElement)                 \
  X(El::cursorName, CursorName, StringElement)                             \
  X(El::cursorTypeOption, CursorTypeOption, EnumElement)                   \
  X(El::errorCode, ErrorCode, EnumElement)                                 \
  X(El::errorText, ErrorText, StringElement)                               \
  X(El::fileName, FileName, StringElement)                                 \
  X(El::freeOption, FreeOption, EnumElement)                               \
  X(El::indexType, IndexType, EnumElement)                                 \
  X(El::lengthElement, Length, ULongElement)                               \
  X(El::lineNumber, LineNumber, ShortElement)                              \
  X(El::maxLength, MaxLength, ULongElement)                                \
  X(El::maxRows, MaxRows, ULongElement)                                    \
  X(El::noscanOption, NoscanOption, EnumElement)                           \
  X(El::numberOfRows, NumberOfRows, LongElement)                           \
  X(El::nullability, Nullability, EnumElement)                             \
  X(El::password, Password, StringElement)                                 \
  X(El::precision, Precision, ULongElement)                                \
  X(El::retrieveDataOption, RetrieveDataOption, EnumElement)               \
  X(El::returnCode, ReturnCode, EnumElement)                               \
  X(El::rowNumber, RowNumber, ULongElement)                                \
  X(El::rowsetSize, RowsetSize, ULongElement)                              \
  X(El::scale, Scale, ShortElement)                                        \
  X(El::specialColumnScope, SpecialColumnScope, EnumElement)               \
  X(El::specialColumnType, SpecialColumnType, EnumElement)                 \
  X(El::sqlDataType, SqlDataType, EnumElement)                             \
  X(El::sqlstate, Sqlstate, StringElement)                                 \
  X(El::statement, Statement, StringElement)                               \
  X(El::statementId, StatementId, ULongElement)                            \
  X(El::tableName, TableName, StringElement)                               \
  X(El::tableOwner, TableOwner, StringElement)                             \
  X(El::tableQualifier, TableQualifier, StringElement)                     \
  X(El::tableType, TableType, StringElement)                               \
  X(El::transactionIsolationLevel, TransactionIsolationLevel, EnumElement) \
  X(El::transactionType, TransactionType, EnumElement)                     \
  X(El::updatableElement, Updatable, ShortElement)                         \
  X(El::userName, UserName, StringElement)                                 \
  X(El::versionElement, Version, StringElement)                            \
  X(El::dataSource, DataSource, StringElement)

// X(ClassName): the composite and row elements, each a class of its own
// with a static kId.
#define VEL_COMPOSITE_ELEMENTS(X) \
  X(FetchDataElement)             \
  X(FetchDataSetElement)          \
  X(FetchTypeElement)             \
  X(NativeLengthValuesElement)    \
  X(ParameterDataElement)         \
  X(ParameterDataSetElement)      \
  X(ResultSetDescriptionElement)  \
  X(RowBlockElement)

#define VEL_DECLARE_KIND_ELEMENT(number, Name, Kind) \
  using Name##Element = ConcreteElement<Kind, number>;
VEL_KIND_ELEMENTS(VEL_DECLARE_KIND_ELEMENT)
#undef VEL_DECLARE_KIND_ELEMENT

// A new element of the given number in its zero state; null when memory
// runs out or when no element class has that number.
Element* CreateElement(int elementId);

#endif
