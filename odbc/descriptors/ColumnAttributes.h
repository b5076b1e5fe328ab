// What SQLColAttributes answers for each descriptor type, as data: the
// kind of answer and where it comes from (the type's facts come from the
// SQL type catalogue).
#ifndef VELORA_ODBC_DESCRIPTORS_COLUMNATTRIBUTES_H
#define VELORA_ODBC_DESCRIPTORS_COLUMNATTRIBUTES_H

#include <cstdint>

enum class AttributeKind : uint8_t { kNumber, kString };

enum class AttributeSource : uint8_t {
  kColumnCount,
  kName,
  kSqlType,
  kValueLength,
  kPrecision,
  kScale,
  kDisplaySize,
  kNullable,
  kUnsigned,
  kZero,
  kUpdatable,
  kCaseSensitive,
  kSearchable,
  kTypeName,
  kTableName,
  kOwnerName,
  kEmpty,
  // Asked by ODBC 3 applications; the driver manager hands them through.
  kOctetLength,
  kUnnamed,
  kLiteralPrefix,
  kLiteralSuffix,
  kRadix,
};

struct AttributeRow {
  uint16_t descType;
  AttributeKind kind;
  AttributeSource source;
};

// The row for descType, or null for a type the driver does not answer.
const AttributeRow* FindAttribute(uint16_t descType);

#endif
