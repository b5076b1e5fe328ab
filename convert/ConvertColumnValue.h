// Picking a value's conversion by the application's C type.
#ifndef VELORA_CONVERT_CONVERTCOLUMNVALUE_H
#define VELORA_CONVERT_CONVERTCOLUMNVALUE_H

#include "convert/ColumnValue.h"
#include "convert/SqlTypeTable.h"

// Answer of ConvertColumnValue for a C type that has no conversion at all
// (the caller posts "S1003"); also for SQL_C_DEFAULT on a column type
// without a default.
const int kConversionUnknownCType = -1;

// Converts value's held value into fCType: SQL_C_CHAR and SQL_C_BINARY
// with cbValueMax, the fixed-size types without it; SQL_C_DEFAULT by the
// column's SQL type. SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP,
// SQL_C_SBIGINT and SQL_C_UBIGINT are served for ODBC 3 applications.
// Returns a ConversionResult, or kConversionUnknownCType. A null pcbValue
// is allowed (the length is then not reported); a null rgbValue gets only
// the length: the character and binary targets behave as with cbValueMax
// 0, the fixed-size targets answer kConversionFailed and write nothing.
int ConvertColumnValue(const ColumnValue* value, SQLSMALLINT fCType, void* rgbValue,
                       SQLLEN cbValueMax, SQLLEN* pcbValue);

#endif
