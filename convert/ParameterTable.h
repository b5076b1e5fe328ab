// The parameter conversion matrix: which C types an application may bind
// a parameter with, and which of them convert to which value forms of the
// SQL types (protocol/SqlTypeCatalog) at all ("07006" for the others).
#ifndef VELORA_CONVERT_PARAMETERTABLE_H
#define VELORA_CONVERT_PARAMETERTABLE_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "protocol/SqlTypeCatalog.h"

// How a C type's value is read.
enum ParamSource : uint8_t {
  kSrcChar,      // text (SQL_C_CHAR, and SQL_C_WCHAR once made UTF-8)
  kSrcBinary,    // bytes
  kSrcDefault,   // the SQL type's own form
  kSrcInteger,   // a signed or unsigned integer of width bytes
  kSrcFloating,  // a float or double of width bytes
  kSrcDate,
  kSrcTime,
  kSrcTimestamp,
  kSrcWide,     // wide text (SQLWCHAR units), lengths in bytes
  kSrcNumeric,  // SQL_NUMERIC_STRUCT, read as its decimal text
  kSrcGuid,     // SQLGUID, read as its text
};

struct ParamCTypeRow {
  SQLSMALLINT cType;
  ParamSource source;
  uint8_t width;  // bytes of one value of a fixed-size C type; 0 for text and bytes
  bool isSigned;
};

// The row of cType, or the catalogue row of the type a parameter of sqlType
// is sent as; null for those refused with "07006".
const ParamCTypeRow* FindParamCType(SQLSMALLINT cType);

// The value at data of an integer C type's row (source kSrcInteger): its
// sign and magnitude.
void ReadWholeNumber(const ParamCTypeRow& c, const void* data, bool* negative, uint64_t* magnitude);
const SqlTypeInfo* FindParamSqlType(int32_t sqlType);
// ODBC's C and SQL type codes: those of the tables above, and the valid
// ones outside them (intervals, GUIDs), converted on their own or refused
// when a value is converted.
bool IsCType(SQLSMALLINT cType);
bool IsSqlType(SQLSMALLINT sqlType);
// The C type SQL_C_DEFAULT stands for with a parameter of sqlType: wide
// text for the wide SQL types, else the catalogue row's; SQL_C_DEFAULT
// itself for an unknown type.
SQLSMALLINT ParamDefaultCType(int32_t sqlType);

// False for the pairs refused before anything is converted.
bool ParamPairConverts(ParamSource source, SqlForm target);

#endif
