// Every concrete protocol element, one class per element number, and the
// factory that creates an element from its number. The element sequences
// of the messages (protocol/MessageLayouts.cpp) name elements by El:: number.
#ifndef VELORA_PROTOCOL_ELEMENTS_H
#define VELORA_PROTOCOL_ELEMENTS_H

#include "protocol/BasicElements.h"
#include "protocol/Batch.h"
#include "protocol/DataSets.h"
#include "protocol/Extensions.h"
#include "protocol/Element.h"
#include "protocol/FetchData.h"
#include "protocol/KeysOffer.h"
#include "protocol/ResultSetDescription.h"
#include "protocol/RowBlock.h"
#include "protocol/WireNumbers.h"

// X(El::number, Name, Kind): the elements made from a plain kind; each becomes
// the class NameElement.
#define VEL_KIND_ELEMENTS(X)                                                \
  X(El::kAccessMode, AccessMode, EnumElement)                               \
  X(El::kAutocommitMode, AutocommitMode, EnumElement)                       \
  X(El::kBlockCode, BlockCode, EnumElement)                                 \
  X(El::kBatchMode, BatchMode, EnumElement)                                 \
  X(El::kAccuracy, Accuracy, EnumElement)                                   \
  X(El::kBookmarkUseOption, BookmarkUseOption, EnumElement)                 \
  X(El::kColumnName, ColumnName, StringElement)                             \
  X(El::kColumnNumber, ColumnNumber, ShortElement)                          \
  X(El::kColumnNumberVector, ColumnNumberVector, ShortVectorElement)        \
  X(El::kConcurrencyOption, ConcurrencyOption, EnumElement)                 \
  X(El::kCursorName, CursorName, StringElement)                             \
  X(El::kCursorTypeOption, CursorTypeOption, EnumElement)                   \
  X(El::kErrorCode, ErrorCode, EnumElement)                                 \
  X(El::kErrorText, ErrorText, StringElement)                               \
  X(El::kFileName, FileName, StringElement)                                 \
  X(El::kFreeOption, FreeOption, EnumElement)                               \
  X(El::kIndexType, IndexType, EnumElement)                                 \
  X(El::kLengthElement, Length, ULongElement)                               \
  X(El::kLineNumber, LineNumber, ShortElement)                              \
  X(El::kMaxLength, MaxLength, ULongElement)                                \
  X(El::kMaxRows, MaxRows, ULongElement)                                    \
  X(El::kNoscanOption, NoscanOption, EnumElement)                           \
  X(El::kNumberOfRows, NumberOfRows, LongElement)                           \
  X(El::kNullability, Nullability, EnumElement)                             \
  X(El::kPassword, Password, StringElement)                                 \
  X(El::kPrecision, Precision, ULongElement)                                \
  X(El::kRetrieveDataOption, RetrieveDataOption, EnumElement)               \
  X(El::kReturnCode, ReturnCode, EnumElement)                               \
  X(El::kRowNumber, RowNumber, ULongElement)                                \
  X(El::kRowsetSize, RowsetSize, ULongElement)                              \
  X(El::kScale, Scale, ShortElement)                                        \
  X(El::kSpecialColumnScope, SpecialColumnScope, EnumElement)               \
  X(El::kSpecialColumnType, SpecialColumnType, EnumElement)                 \
  X(El::kSqlDataType, SqlDataType, EnumElement)                             \
  X(El::kSqlstate, Sqlstate, StringElement)                                 \
  X(El::kStatement, Statement, StringElement)                               \
  X(El::kStatementId, StatementId, ULongElement)                            \
  X(El::kTableName, TableName, StringElement)                               \
  X(El::kTableOwner, TableOwner, StringElement)                             \
  X(El::kTableQualifier, TableQualifier, StringElement)                     \
  X(El::kTableType, TableType, StringElement)                               \
  X(El::kTransactionIsolationLevel, TransactionIsolationLevel, EnumElement) \
  X(El::kTransactionType, TransactionType, EnumElement)                     \
  X(El::kUpdatableElement, Updatable, ShortElement)                         \
  X(El::kUserName, UserName, StringElement)                                 \
  X(El::kVersionElement, Version, StringElement)                            \
  X(El::kDataSource, DataSource, StringElement)                             \
  X(El::kFkTableQualifier, FkTableQualifier, StringElement)                 \
  X(El::kFkTableOwner, FkTableOwner, StringElement)                         \
  X(El::kFkTableName, FkTableName, StringElement)                           \
  X(El::kQueryTimeout, QueryTimeout, ULongElement)                          \
  X(El::kRequestNumber, RequestNumber, ULongElement)                        \
  X(El::kNativeStatement, NativeStatement, StringElement)                   \
  X(El::kEditOperation, EditOperation, EnumElement)

// X(ClassName): the composite and row elements, each a class of its own
// with a static kId.
#define VEL_COMPOSITE_ELEMENTS(X)   \
  X(BatchOutcomesElement)           \
  X(BatchTypeElement)               \
  X(CancelKeyElement)               \
  X(CancelTypeElement)              \
  X(CatalogTypeElement)             \
  X(DescribeTypeElement)            \
  X(ResultsTypeElement)             \
  X(EditTypeElement)                \
  X(IntervalTypeElement)            \
  X(DecimalTypeElement)             \
  X(FetchDataElement)               \
  X(FetchDataSetElement)            \
  X(FetchTypeElement)               \
  X(NativeLengthValuesElement)      \
  X(ParameterDataElement)           \
  X(ParameterDataSetElement)        \
  X(ParameterSetDescriptionElement) \
  X(ParameterSetsElement)           \
  X(QuickTypeElement)               \
  X(ResultSetDescriptionElement)    \
  X(RoutineTypeElement)             \
  X(RowBlockElement)                \
  X(StreamTypeElement)              \
  X(SessionInfoElement)             \
  X(InfoAnswersElement)

#define VEL_DECLARE_KIND_ELEMENT(number, Name, Kind) \
  using Name##Element = ConcreteElement<Kind, number>;
VEL_KIND_ELEMENTS(VEL_DECLARE_KIND_ELEMENT)
#undef VEL_DECLARE_KIND_ELEMENT

// A new element of the given number in its zero state; null when memory
// runs out or when no element class has that number.
Element* CreateElement(int elementId);

#endif
