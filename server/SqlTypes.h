// The SQL types the server describes result columns with, and the mapping
// from SQLite's declared column types onto them. Columns are never
// described as DECIMAL or DOUBLE: the driver has no value class for them,
// so those declarations become NUMERIC and FLOAT.
#ifndef VELORA_SERVER_SQLTYPES_H
#define VELORA_SERVER_SQLTYPES_H

#include <cstdint>
#include <string>

#include "server/Value.h"

namespace velsrv {

// ODBC 2.0 SQL type codes.
enum SqlType : int16_t {
  kSqlBit = -7,
  kSqlTinyInt = -6,
  kSqlBigInt = -5,
  kSqlLongVarBinary = -4,
  kSqlVarBinary = -3,
  kSqlBinary = -2,
  kSqlLongVarChar = -1,
  kSqlChar = 1,
  kSqlNumeric = 2,
  kSqlDecimal = 3,
  kSqlInteger = 4,
  kSqlSmallInt = 5,
  kSqlFloat = 6,
  kSqlReal = 7,
  kSqlDouble = 8,
  kSqlDate = 9,
  kSqlTime = 10,
  kSqlTimestamp = 11,
  kSqlVarChar = 12,
};

// Longest value of the long types, SQLite's default length limit.
constexpr uint32_t kLongLength = 1000000000;
// Longest CHAR, VARCHAR and BINARY column; longer declarations are long
// columns.
constexpr uint32_t kMaxFixedLength = 65535;
// Digits the NUMERIC row form holds.
constexpr uint32_t kNumericDigits = 16;

// A column's type as described to the driver: lengths and precisions
// follow ODBC 2.0's definitions per type.
struct SqlTypeDesc {
  int16_t sqlType = kSqlVarChar;
  uint32_t length = 255;
  uint32_t precision = 255;
  int16_t scale = 0;
};

// The description of a type with its default size (n for the sized types).
SqlTypeDesc TypeForCode(int16_t sqlType, uint32_t n = 0, int16_t scale = 0);

// Maps an SQLite declared type ("VARCHAR(20)", "DECIMAL(10,2)", "TEXT").
// Returns false, leaving *out untouched, for an empty declaration.
bool TypeFromDeclared(const std::string& declared, SqlTypeDesc* out);

// True when declared (without a size) is one of the type names mapped
// exactly, not by SQLite's affinity rules.
bool IsExactTypeName(const std::string& declared);

// The type of a column without a declared type, from a value of it.
SqlTypeDesc TypeFromValue(const Value& value);

// "VARCHAR", "NUMERIC", ... for a code; "" when unknown.
const char* SqlTypeName(int16_t sqlType);

// True for the codes the server describes columns with.
bool IsDescribableType(int16_t sqlType);

}  // namespace velsrv

#endif
