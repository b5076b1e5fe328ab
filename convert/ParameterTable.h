// The parameter conversion matrix: which C types an application may bind
// a parameter with, which SQL types a parameter may be sent as, and which
// pairs of the two convert at all ("07006" for the others).
#ifndef VELORA_CONVERT_PARAMETERTABLE_H
#define VELORA_CONVERT_PARAMETERTABLE_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

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
  kSrcWide,  // UTF-16LE text, lengths in bytes
};

// The value form a SQL type travels in.
enum ParamTarget : uint8_t { kTgtText, kTgtBinary, kTgtNumber, kTgtDate, kTgtTime, kTgtTimestamp };

struct ParamCTypeRow {
  SQLSMALLINT cType;
  ParamSource source;
  uint8_t width;  // bytes of one value of a fixed-size C type; 0 for text and bytes
  bool isSigned;
};

struct ParamSqlTypeRow {
  int32_t sqlType;
  int32_t sentAs;  // the code the value travels under
  ParamTarget target;
  int8_t sizeIndex;  // TypeSizes position of the fixed form, or -1
};

// The row of cType or sqlType, or null: those are refused with "07006".
const ParamCTypeRow* FindParamCType(SQLSMALLINT cType);
const ParamSqlTypeRow* FindParamSqlType(int32_t sqlType);

// False for the pairs refused before anything is converted.
bool ParamPairConverts(ParamSource source, ParamTarget target);

#endif
