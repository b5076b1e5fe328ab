// The driver's side of the SQL type catalogue (protocol/SqlTypeCatalog): the
// value class of each type a column can have, the C types each value form
// converts to, and the conversion operation of each C type. Column creation,
// the dispatch by C type and SQLGetData's conversion check all read it.
#ifndef VELORA_CONVERT_SQLTYPETABLE_H
#define VELORA_CONVERT_SQLTYPETABLE_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

class ColumnValue;

// The conversion operations of a value; several C types may share one.
enum CTarget : uint8_t {
  kToChar,
  kToBit,
  kToTinyInt,
  kToShort,
  kToLong,
  kToFloat,
  kToDouble,
  kToBinary,
  kToDate,
  kToTime,
  kToTimestamp,
  kToUShort,
  kToULong,
  kToUTinyInt,
  kToSBigInt,
  kToUBigInt,
  kToWChar,
  kToNumeric,
  kToGuid,
  kToInterval,  // SQL_C_INTERVAL_YEAR .. SQL_C_INTERVAL_MINUTE_TO_SECOND
};

// The operation serving cType (the ODBC 3 date and time types included);
// false for SQL_C_DEFAULT and C types without a conversion.
bool FindCTarget(SQLSMALLINT cType, CTarget* target);

// The C type SQL_C_DEFAULT stands for with sqlType, or SQL_C_DEFAULT itself.
SQLSMALLINT DefaultCType(int32_t sqlType);

// True when fCType, SQL_C_DEFAULT resolved by sqlType, has a conversion
// operation at all (the transfer refuses the others with "S1003").
bool HasConversion(int32_t sqlType, SQLSMALLINT fCType);

// SQLGetData's check before anything is converted: true when a column of
// sqlType refuses fCType ("22005"). Bound columns are not checked; their
// class answers kConversionFailed for the pairs it does not convert.
bool RefusesConversion(int32_t sqlType, SQLSMALLINT fCType);

// SQLGetInfo's SQL_CONVERT_<type> for sqlType: the SQL_CVT_* bits of the
// types {fn CONVERT} takes its values to; 0 for the types it takes
// nowhere and unknown ones.
uint32_t ConvertFunctionMask(int32_t sqlType);

#endif
