// Every concrete protocol element, one class per element number, and the
// factory that creates an element from its number. The element sequences
// of the messages (protocol/Catalog.cpp) name elements by number.
#ifndef VELORA_PROTOCOL_ELEMENTS_H
#define VELORA_PROTOCOL_ELEMENTS_H

#include "protocol/BasicElements.h"
#include "protocol/DataSets.h"
#include "protocol/Element.h"
#include "protocol/FetchData.h"
#include "protocol/ResultSetDescription.h"

// X(number, Name, Kind): the elements made from a plain kind; each becomes
// the class NameElement.
#define VEL_KIND_ELEMENTS(X)                          \
  X(0, AccessMode, EnumElement)                       \
  X(1, AutocommitMode, EnumElement)                   \
  X(2, Accuracy, EnumElement)                         \
  X(4, BookmarkUseOption, EnumElement)                \
  X(5, ColumnName, StringElement)                     \
  X(6, ColumnNumber, ShortElement)                    \
  X(7, ColumnNumberVector, ShortVectorElement)        \
  X(8, ConcurrencyOption, EnumElement)                \
  X(10, CursorName, StringElement)                    \
  X(11, CursorTypeOption, EnumElement)                \
  X(13, ErrorCode, EnumElement)                       \
  X(14, ErrorText, StringElement)                     \
  X(18, FileName, StringElement)                      \
  X(19, FreeOption, EnumElement)                      \
  X(20, IndexType, EnumElement)                       \
  X(22, Length, ULongElement)                         \
  X(23, LineNumber, ShortElement)                     \
  X(24, MaxLength, ULongElement)                      \
  X(25, MaxRows, ULongElement)                        \
  X(28, NoscanOption, EnumElement)                    \
  X(31, NumberOfRows, LongElement)                    \
  X(33, Nullability, EnumElement)                     \
  X(37, Password, StringElement)                      \
  X(38, Precision, ULongElement)                      \
  X(40, RetrieveDataOption, EnumElement)              \
  X(41, ReturnCode, EnumElement)                      \
  X(42, RowNumber, ULongElement)                      \
  X(43, RowsetSize, ULongElement)                     \
  X(44, Scale, ShortElement)                          \
  X(45, SpecialColumnScope, EnumElement)              \
  X(46, SpecialColumnType, EnumElement)               \
  X(47, SqlDataType, EnumElement)                     \
  X(48, Sqlstate, StringElement)                      \
  X(49, Statement, StringElement)                     \
  X(50, StatementId, ULongElement)                    \
  X(52, TableName, StringElement)                     \
  X(53, TableOwner, StringElement)                    \
  X(54, TableQualifier, StringElement)                \
  X(55, TableType, StringElement)                     \
  X(56, TransactionIsolationLevel, EnumElement)       \
  X(57, TransactionType, EnumElement)                 \
  X(58, Updatable, ShortElement)                      \
  X(59, UserName, StringElement)                      \
  X(60, Version, StringElement)                       \
  X(61, DataSource, StringElement)

// X(ClassName): the composite and row elements, each a class of its own
// with a static kId.
#define VEL_COMPOSITE_ELEMENTS(X) \
  X(FetchDataElement)             \
  X(FetchDataSetElement)          \
  X(NativeLengthValuesElement)    \
  X(ParameterDataElement)         \
  X(ParameterDataSetElement)      \
  X(ResultSetDescriptionElement)

#define VEL_DECLARE_KIND_ELEMENT(number, Name, Kind) \
  using Name##Element = ConcreteElement<Kind, number>;
VEL_KIND_ELEMENTS(VEL_DECLARE_KIND_ELEMENT)
#undef VEL_DECLARE_KIND_ELEMENT

// A new element of the given number in its zero state; null when memory
// runs out or when no element class has that number.
Element* CreateElement(int elementId);

#endif
