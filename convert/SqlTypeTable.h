// The one table of SQL types: for each type the value class, whether its
// length is the declared one, the C type SQL_C_DEFAULT stands for and the
// C types its values convert to. Column creation, the dispatch by C type
// and SQLGetData's conversion check all read it.
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
};

struct SqlTypeRow {
  int32_t sqlType;
  ColumnValue* (*make)();
  bool fixedLength;          // the value's length is the declared length
  SQLSMALLINT defaultCType;  // what SQL_C_DEFAULT stands for
  uint16_t targets;          // bit per CTarget the class converts to
  // SQLGetData refuses every C type outside targets, those without any
  // conversion included; otherwise a C type without a conversion is left
  // to the transfer, which answers "S1003".
  bool onlyTargets;
};

// The row of sqlType, or null: SQL_DECIMAL, SQL_DOUBLE and unknown codes
// have no value class, so a column of theirs cannot be held.
const SqlTypeRow* FindSqlType(int32_t sqlType);

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

#endif
