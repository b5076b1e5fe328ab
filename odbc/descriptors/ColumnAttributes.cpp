// The answers of SQLColAttributes, as data.
#include "odbc/descriptors/ColumnAttributes.h"

#include <sqlext.h>

namespace {

using K = AttributeKind;
using S = AttributeSource;

const AttributeRow kAttributes[] = {
    {SQL_COLUMN_COUNT, K::kNumber, S::kColumnCount},
    {SQL_COLUMN_NAME, K::kString, S::kName},
    {SQL_COLUMN_TYPE, K::kNumber, S::kSqlType},
    {SQL_COLUMN_LENGTH, K::kNumber, S::kValueLength},
    {SQL_COLUMN_PRECISION, K::kNumber, S::kPrecision},
    {SQL_COLUMN_SCALE, K::kNumber, S::kScale},
    {SQL_COLUMN_DISPLAY_SIZE, K::kNumber, S::kDisplaySize},
    {SQL_COLUMN_NULLABLE, K::kNumber, S::kNullable},
    {SQL_COLUMN_UNSIGNED, K::kNumber, S::kUnsigned},
    {SQL_COLUMN_MONEY, K::kNumber, S::kZero},
    {SQL_COLUMN_UPDATABLE, K::kNumber, S::kUpdatable},
    {SQL_COLUMN_AUTO_INCREMENT, K::kNumber, S::kZero},
    {SQL_COLUMN_CASE_SENSITIVE, K::kNumber, S::kCaseSensitive},
    {SQL_COLUMN_SEARCHABLE, K::kNumber, S::kSearchable},
    {SQL_COLUMN_TYPE_NAME, K::kString, S::kTypeName},
    {SQL_COLUMN_TABLE_NAME, K::kString, S::kTableName},
    {SQL_COLUMN_OWNER_NAME, K::kString, S::kOwnerName},
    {SQL_COLUMN_QUALIFIER_NAME, K::kString, S::kEmpty},
    // A column without a label of its own is labelled with its name, as
    // the interface defines: clients (isql) print the label as the header.
    {SQL_COLUMN_LABEL, K::kString, S::kName},
    // ODBC 3 descriptor fields that reach a 2.x driver unchanged.
    {SQL_DESC_BASE_COLUMN_NAME, K::kString, S::kName},
    {SQL_DESC_BASE_TABLE_NAME, K::kString, S::kTableName},
    {SQL_DESC_LITERAL_PREFIX, K::kString, S::kLiteralPrefix},
    {SQL_DESC_LITERAL_SUFFIX, K::kString, S::kLiteralSuffix},
    {SQL_DESC_LOCAL_TYPE_NAME, K::kString, S::kTypeName},
    {SQL_DESC_NUM_PREC_RADIX, K::kNumber, S::kRadix},
    {SQL_DESC_UNNAMED, K::kNumber, S::kUnnamed},
    {SQL_DESC_OCTET_LENGTH, K::kNumber, S::kOctetLength},
};

}  // namespace

const AttributeRow* FindAttribute(uint16_t descType) {
  for (const AttributeRow& row : kAttributes) {
    if (row.descType == descType) return &row;
  }
  return nullptr;
}
