// What SQLColAttributes answers for each descriptor type, as data: the
// kind of answer and where it comes from (the type's facts come from the
// SQL type catalogue).
#ifndef VELORA_ODBC_DESCRIPTORS_COLUMNATTRIBUTES_H
#define VELORA_ODBC_DESCRIPTORS_COLUMNATTRIBUTES_H

#include <sql.h>

#include <cstdint>

class ColumnDescription;
class ColumnValue;
class Statement;

enum class AttributeKind : uint8_t { kNumber, kString };

enum class AttributeSource : uint8_t {
  kColumnCount,
  kName,
  kSqlType,
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
  kColumnSize,
};

struct AttributeRow {
  uint16_t descType;
  AttributeKind kind;
  AttributeSource source;
};

// The row for descType, or null for a type the driver does not answer.
const AttributeRow* FindAttribute(uint16_t descType);

// A result column's sizes (see ODBC's column size, transfer octet length
// and display size): the column size counts characters of a text, digits
// of a number and the characters of a date or time as text; the octet
// length counts the bytes of a value in its default C type, four a
// character of a text (UTF-8 needs up to four). SQL_COLUMN_LENGTH and
// SQL_DESC_OCTET_LENGTH are the octet length, SQL_DESC_LENGTH the size.
SQLLEN ColumnSize(const ColumnValue& value);
SQLLEN ColumnOctetLength(const ColumnDescription& d);

// A text attribute's answer for a column (valid while the column is) and
// its length in bytes.
const char* ColumnAttributeText(const ColumnValue& value, AttributeSource source, uint32_t* length);
// A number attribute's answer for a column of s.
SQLLEN ColumnAttributeNumber(const Statement& s, const ColumnValue& value, AttributeSource source);

#endif
