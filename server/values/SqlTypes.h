// A result column's type as the server describes it, and the mapping from
// SQLite's declared column types onto the catalogue's types.
#ifndef VELORA_SERVER_VALUES_SQLTYPES_H
#define VELORA_SERVER_VALUES_SQLTYPES_H

#include <cstdint>
#include <string>

#include "protocol/SqlTypeCatalog.h"
#include "server/values/Value.h"

namespace velsrv {

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

}  // namespace velsrv

#endif
