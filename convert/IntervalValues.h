// The interval conversions (protocol/IntervalText.h): column values into
// SQL_INTERVAL_STRUCT, and parameters from it and from text, as ODBC's
// conversion tables have them.
#ifndef VELORA_CONVERT_INTERVALVALUES_H
#define VELORA_CONVERT_INTERVALVALUES_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "convert/ConvertParameter.h"
#include "protocol/SqlTypeCatalog.h"

class ColumnValue;

// True for the pairs of an interval (SQL or C type) that do not convert
// at all ("07006"): year-month with day-time, a multi-field interval with
// a number, an interval with a date, time, binary SQL type, a floating C
// type or a GUID.
bool IntervalRestricted(int32_t sqlType, SQLSMALLINT cType);

// A column's value into the C interval type cType: an interval column's
// recast to cType's fields, a text read as cType's form, an exact number
// into a single field. A ConversionResult.
int GetIntervalStruct(const ColumnValue* value, SQLSMALLINT cType, void* rgbValue,
                      SQLLEN* pcbValue);

// A parameter of a C interval type, or of an SQL interval type: sql is the
// catalogue's row of its SQL type, text and length the application's value
// (a C interval type's structure, or characters).
ParamOutcome IntervalParameter(SQLSMALLINT cType, const SqlTypeInfo* sql, const char* text,
                               uint32_t length, ConvertedValue* out);

#endif
