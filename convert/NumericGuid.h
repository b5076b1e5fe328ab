// The ODBC 3 structure C types, SQL_C_NUMERIC (SQL_NUMERIC_STRUCT) and
// SQL_C_GUID (SQLGUID), in both directions. The server has neither type:
// numbers travel in their own forms and GUIDs as text.
#ifndef VELORA_CONVERT_NUMERICGUID_H
#define VELORA_CONVERT_NUMERICGUID_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

class ColumnValue;

// value's number (read from its SQL_C_CHAR text) as an SQL_NUMERIC_STRUCT
// with precision and scale. precision 0: the column's own precision and
// scale when its type has a scale, else precision 38 and as many places
// as the value has, so that nothing is lost. Fractional digits beyond the
// scale are cut (kConversionTruncated); a number with more digits than the
// precision, or not a number, is kConversionFailed (nothing written).
int GetNumericStruct(const ColumnValue* value, int precision, int scale, void* rgbValue,
                     SQLLEN* pcbValue);

// value's text "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (hexadecimal digits
// in either case, in braces or not, blanks around) as an SQLGUID; any other
// text is kConversionFailed.
int GetGuid(const ColumnValue* value, void* rgbValue, SQLLEN* pcbValue);

// The decimal text of a structure: a "-" for sign 0, the digits of val
// with a point scale places from the right (a negative scale adds zeros).
// out must hold 172 bytes; returns the text's length.
uint32_t NumericStructText(const SQL_NUMERIC_STRUCT& n, char* out);

// A GUID's text in lower case, as above without braces; out holds 37 bytes.
uint32_t GuidText(const SQLGUID& g, char* out);

#endif
