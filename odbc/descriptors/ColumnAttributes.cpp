// The answers of SQLColAttributes, as data.
#include "odbc/descriptors/ColumnAttributes.h"

#include <sqlext.h>

#include <cstring>

#include "convert/ColumnValue.h"
#include "handles/Odbc3Rules.h"
#include "protocol/ColumnDescription.h"
#include "protocol/SqlTypeCatalog.h"

namespace {

using K = AttributeKind;
using S = AttributeSource;

const AttributeRow kAttributes[] = {
    {SQL_COLUMN_COUNT, K::kNumber, S::kColumnCount},
    {SQL_COLUMN_NAME, K::kString, S::kName},
    {SQL_COLUMN_TYPE, K::kNumber, S::kSqlType},
    {SQL_COLUMN_LENGTH, K::kNumber, S::kOctetLength},
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
    {SQL_DESC_LENGTH, K::kNumber, S::kColumnSize},
};

}  // namespace

const AttributeRow* FindAttribute(uint16_t descType) {
  for (const AttributeRow& row : kAttributes) {
    if (row.descType == descType) return &row;
  }
  return nullptr;
}

SQLLEN ColumnOctetLength(const ColumnDescription& d) {
  const SqlTypeInfo* type = FindSqlTypeInfo(d.sqlDataType);
  return type != nullptr ? static_cast<SQLLEN>(OctetLength(type->form, d.length)) : d.length;
}

SQLLEN ColumnSize(const ColumnValue& value) {
  const ColumnDescription& d = *value.description;
  const SqlTypeInfo* type = FindSqlTypeInfo(d.sqlDataType);
  if (type == nullptr) return d.length;
  switch (type->form) {
    case SqlForm::kText:
    case SqlForm::kBinary:
      return d.length;
    case SqlForm::kNumber:
      return d.precision;
    default:  // dates and times: their text, fraction included
      return value.DisplaySize();
  }
}

const char* ColumnAttributeText(const ColumnValue& value, AttributeSource source,
                                uint32_t* length) {
  const ColumnDescription* d = value.description;
  const SqlTypeInfo* info = FindSqlTypeInfo(d->sqlDataType);
  const char* text = "";
  *length = 0;
  switch (source) {
    case AttributeSource::kName:
      *length = d->columnName.Length();
      return d->columnName.TextOrEmpty();
    case AttributeSource::kTableName:
      *length = d->tableName.Length();
      return d->tableName.TextOrEmpty();
    case AttributeSource::kOwnerName:
      *length = d->tableOwner.Length();
      return d->tableOwner.TextOrEmpty();
    case AttributeSource::kTypeName:
      text = SqlTypeName(d->sqlDataType);
      break;
    case AttributeSource::kLiteralPrefix:
    case AttributeSource::kLiteralSuffix:
      text = info && IsQuoted(*info) ? "'" : "";
      break;
    default:
      break;
  }
  *length = static_cast<uint32_t>(std::strlen(text));
  return text;
}

SQLLEN ColumnAttributeNumber(const Statement& s, const ColumnValue& value, AttributeSource source) {
  const ColumnDescription* d = value.description;
  const SqlTypeInfo* info = FindSqlTypeInfo(d->sqlDataType);
  switch (source) {
    case AttributeSource::kSqlType:
      return ReportedSqlType(s, d->sqlDataType);
    case AttributeSource::kColumnSize:
      return ColumnSize(value);
    case AttributeSource::kPrecision:
      return d->precision;
    case AttributeSource::kScale:
      return d->scale;
    case AttributeSource::kDisplaySize:
      return value.DisplaySize();
    case AttributeSource::kNullable:
      return d->nullability;
    case AttributeSource::kUnsigned:
      // Every type without a sign is unsigned, texts and dates among them.
      return info && info->isUnsigned ? SQL_TRUE : SQL_FALSE;
    case AttributeSource::kUpdatable:
      return d->updatable ? SQL_ATTR_WRITE : SQL_ATTR_READONLY;
    case AttributeSource::kCaseSensitive:
      return info && IsCaseSensitive(*info) ? SQL_TRUE : SQL_FALSE;
    case AttributeSource::kSearchable:
      return SQL_SEARCHABLE;
    case AttributeSource::kOctetLength:
      return ColumnOctetLength(*d);
    case AttributeSource::kUnnamed:
      return d->columnName.Length() ? SQL_NAMED : SQL_UNNAMED;
    case AttributeSource::kRadix:
      // BIT is unsigned and answers no radix here.
      return info && !info->isUnsigned ? info->radix : 0;
    default:
      return 0;
  }
}
