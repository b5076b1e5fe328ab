// One result column as the server describes it.
#ifndef VELORA_PROTOCOL_COLUMNDESCRIPTION_H
#define VELORA_PROTOCOL_COLUMNDESCRIPTION_H

#include <cstdint>

#include "base/LinkedList.h"
#include "base/String.h"

class ColumnDescription : public ListItem {
 public:
  String columnName;
  uint32_t length = 0;
  int32_t nullability = 0;
  String tableOwner;
  uint32_t precision = 0;
  int16_t scale = 0;
  String tableName;
  int32_t sqlDataType = 0;
  bool updatable = false;

  // Copies every field of other; false when a text cannot be copied.
  bool CopyFrom(const ColumnDescription& other) {
    length = other.length;
    nullability = other.nullability;
    precision = other.precision;
    scale = other.scale;
    sqlDataType = other.sqlDataType;
    updatable = other.updatable;
    return columnName.SetString(other.columnName) && tableOwner.SetString(other.tableOwner) &&
           tableName.SetString(other.tableName);
  }
};

class ColumnDescriptionList : public TypedList<ColumnDescription> {};

#endif
