// SQLColAttribute: the ODBC 3 descriptor fields of a result column, each
// answered as the SQLColAttributes type it stands for.
#include <sql.h>
#include <sqlext.h>

#include "handles/ClientDiagnostics.h"
#include "handles/Statement.h"
#include "odbc/descriptors/ColumnAttributes.h"
#include "odbc/descriptors/Descriptors.h"
#include "odbc/Workers.h"
#include "odbc/Workers3.h"

namespace {

struct FieldAlias {
  SQLUSMALLINT field;
  SQLUSMALLINT descType;
};

// The fields whose number differs from the SQLColAttributes type that
// answers them.
constexpr FieldAlias kAliases[] = {
    {SQL_DESC_COUNT, SQL_COLUMN_COUNT}, {SQL_DESC_PRECISION, SQL_COLUMN_PRECISION},
    {SQL_DESC_SCALE, SQL_COLUMN_SCALE}, {SQL_DESC_NULLABLE, SQL_COLUMN_NULLABLE},
    {SQL_DESC_NAME, SQL_COLUMN_NAME},
};

SQLUSMALLINT DescTypeOf(SQLUSMALLINT field) {
  for (const FieldAlias& alias : kAliases) {
    if (alias.field == field) return alias.descType;
  }
  return field;
}

}  // namespace

bool ColAttributeIsText(SQLUSMALLINT field) {
  const AttributeRow* row = FindAttribute(DescTypeOf(field));
  return row != nullptr && row->kind == AttributeKind::kString;
}

int ColAttributeWorker(Statement* s, SQLUSMALLINT icol, SQLUSMALLINT field, SQLPOINTER text,
                       SQLSMALLINT textMax, SQLSMALLINT* textLength, SQLLEN* number) {
  // A date or time column's verbose type is SQL_DATETIME, its subtype the
  // interval code; the concise type (SQL_COLUMN_TYPE) is 91 to 93.
  if (field == SQL_DESC_TYPE || field == SQL_DESC_DATETIME_INTERVAL_CODE) {
    SQLLEN type = 0;
    const int rc = ColAttributesWorker(s, icol, SQL_COLUMN_TYPE, nullptr, 0, nullptr, &type);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
    if (number != nullptr) {
      const SQLSMALLINT concise = static_cast<SQLSMALLINT>(type);
      *number = field == SQL_DESC_TYPE ? VerboseType(concise) : DateTimeIntervalCode(concise);
    }
    return rc;
  }
  // An interval's precisions come from its column size and digits.
  if (field == SQL_DESC_PRECISION || field == SQL_DESC_DATETIME_INTERVAL_PRECISION) {
    SQLLEN type = 0, size = 0, digits = 0;
    int rc = ColAttributesWorker(s, icol, SQL_COLUMN_TYPE, nullptr, 0, nullptr, &type);
    if (rc == SQL_SUCCESS)
      rc = ColAttributesWorker(s, icol, SQL_COLUMN_PRECISION, nullptr, 0, nullptr, &size);
    if (rc == SQL_SUCCESS)
      rc = ColAttributesWorker(s, icol, SQL_COLUMN_SCALE, nullptr, 0, nullptr, &digits);
    if (rc != SQL_SUCCESS) return rc;
    SQLLEN value = 0;
    if (IntervalPrecision(static_cast<SQLSMALLINT>(type), size, digits,
                          static_cast<SQLSMALLINT>(field), &value)) {
      if (number != nullptr) *number = value;
      return SQL_SUCCESS;
    }
    if (field == SQL_DESC_DATETIME_INTERVAL_PRECISION) {
      if (number != nullptr) *number = 0;
      return SQL_SUCCESS;
    }
  }
  const SQLUSMALLINT descType = DescTypeOf(field);
  if (FindAttribute(descType) == nullptr)
    return VEL_POST(s, SQL_ERROR, kDiagDescriptorTypeOutOfRange);
  return ColAttributesWorker(s, icol, descType, text, textMax, textLength, number);
}
