// What SQLBindCol records: one bound result column and the application
// memory its values go to at fetch time. The statement owns the list.
//
// Descriptors (ODBC 3) are views, not copies: the application row
// descriptor's records are these bindings (with the statement's bind type
// and rowset size as its header), the implementation row descriptor's are
// the result columns' descriptions. A descriptor handle will be a small
// object in handles/ naming its statement and kind and reading and writing
// these lists; only a descriptor the application allocates itself owns a
// list of its own, of the same record type.
#ifndef VELORA_HANDLES_COLUMNBINDING_H
#define VELORA_HANDLES_COLUMNBINDING_H

#include <sql.h>

#include <cstdint>

#include "base/LinkedList.h"
#include "convert/ConvertColumnValue.h"

class ColumnBinding : public ListItem {
 public:
  ColumnBinding(uint16_t column, SQLSMALLINT cType, SQLPOINTER value, SQLLEN valueMax,
                SQLLEN* length)
      : columnNumber(column),
        fCType(cType),
        rgbValue(value),
        cbValueMax(valueMax),
        pcbValue(length),
        indicator(length) {}
  ~ColumnBinding() override = default;

  uint16_t ColumnNumber() const { return columnNumber; }

  // The pointers are the application's and are never dereferenced before
  // a fetch: applications may bind offsets before they set their bases.
  uint16_t columnNumber;  // counted from 1
  SQLSMALLINT fCType;
  SQLPOINTER rgbValue;  // not owned
  SQLLEN cbValueMax;
  SQLLEN* pcbValue;  // not owned; may be null
  // Where SQL_NULL_DATA goes (SQL_DESC_INDICATOR_PTR); the length's
  // pointer unless a descriptor set them apart. Not owned; may be null.
  SQLLEN* indicator;
  // Set through a descriptor only (SQL_C_NUMERIC's digits); 0 otherwise.
  SQLSMALLINT precision = 0;
  SQLSMALLINT scale = 0;
  // The bytes from one row's value to the next in column-wise arrays, as
  // worked out for the C type and length it was kept for (every value of
  // a rowset asks; those two may change between fetches).
  struct Stride {
    SQLSMALLINT cType = 0;
    SQLLEN valueMax = -1;
    SQLLEN bytes = 0;
  };
  mutable Stride stride;
  // The conversion planned for the C type and the column's SQL type it
  // was kept for (every bound value asks; both may change between fetches).
  struct Planned {
    int32_t sqlType = 0;
    SQLSMALLINT cType = 0;
    bool known = false;
    ConversionPlan plan{};
  };
  mutable Planned planned;
  const ConversionPlan& Plan(int32_t sqlType, SQLSMALLINT cType) const {
    if (!planned.known || planned.sqlType != sqlType || planned.cType != cType)
      planned = {sqlType, cType, true, PlanConversion(sqlType, cType, false)};
    return planned.plan;
  }
};

// The statement's bindings, at most one per column number.
class ColumnBindingList : public TypedList<ColumnBinding> {
 public:
  ~ColumnBindingList() override = default;

  // The first binding of column, or null. Moves the list's cursor.
  ColumnBinding* Find(uint16_t column) {
    for (ColumnBinding* b = First(); b != nullptr; b = Next()) {
      if (b->columnNumber == column) return b;
    }
    return nullptr;
  }
  // The binding of column when it has a buffer: a descriptor record
  // without one (SQL_DESC_DATA_PTR null) leaves its column unbound.
  ColumnBinding* FindBound(uint16_t column) {
    ColumnBinding* b = Find(column);
    return b != nullptr && b->rgbValue != nullptr ? b : nullptr;
  }
};

#endif
