// What SQLColAttributes answers for each descriptor type, as data: the
// kind of answer and where it comes from, and the type-name table.
#ifndef VELORA_ODBC_COLUMNATTRIBUTES_H
#define VELORA_ODBC_COLUMNATTRIBUTES_H

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

// "BIT", "NUMERIC", ... for an SQL type code; "" for a code without one.
const char* SqlTypeName(int32_t sqlType);
// SQL_COLUMN_UNSIGNED: true for the types without a sign.
bool SqlTypeUnsigned(int32_t sqlType);
bool SqlTypeCaseSensitive(int32_t sqlType);
// Literal prefix and suffix ("'" for texts and dates, "" otherwise).
const char* SqlTypeLiteralQuote(int32_t sqlType);
// 10 for the numeric types, 0 for the others.
int32_t SqlTypeRadix(int32_t sqlType);

#endif
