// Declared-type mapping and the ODBC 2.0 sizes of each SQL type.
#include "server/SqlTypes.h"

#include <cctype>
#include <cstdlib>

#include "server/TextCase.h"

namespace velsrv {

namespace {

struct TypeName {
  int16_t sqlType;
  const char* name;
};

const TypeName kTypeNames[] = {
    {kSqlBit, "BIT"},
    {kSqlTinyInt, "TINYINT"},
    {kSqlBigInt, "BIGINT"},
    {kSqlLongVarBinary, "LONGVARBINARY"},
    {kSqlVarBinary, "VARBINARY"},
    {kSqlBinary, "BINARY"},
    {kSqlLongVarChar, "LONGVARCHAR"},
    {kSqlChar, "CHAR"},
    {kSqlNumeric, "NUMERIC"},
    {kSqlInteger, "INTEGER"},
    {kSqlSmallInt, "SMALLINT"},
    {kSqlFloat, "FLOAT"},
    {kSqlReal, "REAL"},
    {kSqlDate, "DATE"},
    {kSqlTime, "TIME"},
    {kSqlTimestamp, "TIMESTAMP"},
    {kSqlVarChar, "VARCHAR"},
};

// Declared names matched exactly (after upper-casing and dropping the
// size), checked before SQLite's own affinity rules.
struct DeclaredName {
  const char* name;
  int16_t sqlType;
};

const DeclaredName kDeclaredNames[] = {
    {"BIT", kSqlBit},
    {"BOOL", kSqlBit},
    {"BOOLEAN", kSqlBit},
    {"TINYINT", kSqlTinyInt},
    {"SMALLINT", kSqlSmallInt},
    {"INT2", kSqlSmallInt},
    {"INT", kSqlInteger},
    {"INTEGER", kSqlInteger},
    {"MEDIUMINT", kSqlInteger},
    {"INT4", kSqlInteger},
    {"BIGINT", kSqlBigInt},
    {"INT8", kSqlBigInt},
    {"UNSIGNED BIG INT", kSqlBigInt},
    {"REAL", kSqlReal},
    {"FLOAT4", kSqlReal},
    {"FLOAT", kSqlFloat},
    {"FLOAT8", kSqlFloat},
    {"DOUBLE", kSqlFloat},
    {"DOUBLE PRECISION", kSqlFloat},
    {"NUMERIC", kSqlNumeric},
    {"DECIMAL", kSqlNumeric},
    {"NUMBER", kSqlNumeric},
    {"MONEY", kSqlNumeric},
    {"DATE", kSqlDate},
    {"TIME", kSqlTime},
    {"TIMESTAMP", kSqlTimestamp},
    {"DATETIME", kSqlTimestamp},
    {"CHAR", kSqlChar},
    {"CHARACTER", kSqlChar},
    {"NCHAR", kSqlChar},
    {"NATIVE CHARACTER", kSqlChar},
    {"VARCHAR", kSqlVarChar},
    {"VARYING CHARACTER", kSqlVarChar},
    {"CHARACTER VARYING", kSqlVarChar},
    {"NVARCHAR", kSqlVarChar},
    {"VARCHAR2", kSqlVarChar},
    {"TEXT", kSqlLongVarChar},
    {"CLOB", kSqlLongVarChar},
    {"LONGVARCHAR", kSqlLongVarChar},
    {"LONG VARCHAR", kSqlLongVarChar},
    {"BINARY", kSqlBinary},
    {"VARBINARY", kSqlVarBinary},
    {"BLOB", kSqlLongVarBinary},
    {"LONGVARBINARY", kSqlLongVarBinary},
    {"LONG VARBINARY", kSqlLongVarBinary},
    {"IMAGE", kSqlLongVarBinary},
};

// Collapses runs of blanks to one.
std::string Squeeze(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return Trim(out);
}

}  // namespace

SqlTypeDesc TypeForCode(int16_t sqlType, uint32_t n, int16_t scale) {
  SqlTypeDesc d;
  d.sqlType = sqlType;
  d.scale = 0;
  switch (sqlType) {
    case kSqlChar:
    case kSqlVarChar:
    case kSqlBinary:
    case kSqlVarBinary:
      d.precision = d.length = n ? n : (sqlType == kSqlChar || sqlType == kSqlBinary ? 1 : 255);
      break;
    case kSqlLongVarChar:
    case kSqlLongVarBinary:
      d.precision = d.length = kLongLength;
      break;
    case kSqlBit:
      d.precision = 1, d.length = 1;
      break;
    case kSqlTinyInt:
      d.precision = 3, d.length = 1;
      break;
    case kSqlSmallInt:
      d.precision = 5, d.length = 2;
      break;
    case kSqlInteger:
      d.precision = 10, d.length = 4;
      break;
    case kSqlBigInt:
      d.precision = 19, d.length = 20;
      break;
    case kSqlReal:
      d.precision = 7, d.length = 4;
      break;
    case kSqlFloat:
    case kSqlDouble:
      d.sqlType = kSqlFloat;
      d.precision = 15, d.length = 8;
      break;
    case kSqlNumeric:
    case kSqlDecimal:
      d.sqlType = kSqlNumeric;
      d.precision = n ? (n > kNumericDigits ? kNumericDigits : n) : 15;
      d.scale = scale < 0 ? 0 : (scale > static_cast<int16_t>(d.precision) ? d.precision : scale);
      d.length = d.precision + 2;
      break;
    case kSqlDate:
      d.precision = 10, d.length = 6;
      break;
    case kSqlTime:
      d.precision = 8, d.length = 6;
      break;
    case kSqlTimestamp:
      d.precision = 19, d.length = 16;
      break;
    default:
      d = SqlTypeDesc();
      break;
  }
  return d;
}

bool TypeFromDeclared(const std::string& declared, SqlTypeDesc* out) {
  std::string text = Squeeze(Upper(declared));
  if (text.empty()) return false;
  // Split "NAME(a,b)".
  std::string name = text;
  uint32_t n = 0;
  int16_t scale = 0;
  size_t open = text.find('(');
  if (open != std::string::npos) {
    name = Trim(text.substr(0, open));
    const char* p = text.c_str() + open + 1;
    n = static_cast<uint32_t>(std::strtoul(p, nullptr, 10));
    size_t comma = text.find(',', open);
    if (comma != std::string::npos)
      scale = static_cast<int16_t>(std::atoi(text.c_str() + comma + 1));
  }
  for (const DeclaredName& entry : kDeclaredNames) {
    if (name == entry.name) {
      // A variable binary column longer than its one-byte length field
      // can count is described as LONGVARBINARY. Character and binary
      // columns declared longer than the longest CHAR, VARCHAR and BINARY
      // of the type information are long columns: fixed-length values are
      // padded to their declared length, which must stay reasonable.
      if (entry.sqlType == kSqlVarBinary && n > 255)
        *out = TypeForCode(kSqlLongVarBinary);
      else if (entry.sqlType == kSqlBinary && n > kMaxFixedLength)
        *out = TypeForCode(kSqlLongVarBinary);
      else if ((entry.sqlType == kSqlChar || entry.sqlType == kSqlVarChar) && n > kMaxFixedLength)
        *out = TypeForCode(kSqlLongVarChar);
      else
        *out = TypeForCode(entry.sqlType, n, scale);
      return true;
    }
  }
  // SQLite's affinity rules for other names.
  if (name.find("INT") != std::string::npos)
    *out = TypeForCode(kSqlInteger);
  else if (name.find("CHAR") != std::string::npos || name.find("CLOB") != std::string::npos ||
           name.find("TEXT") != std::string::npos)
    *out = n && n <= kMaxFixedLength ? TypeForCode(kSqlVarChar, n) : TypeForCode(kSqlLongVarChar);
  else if (name.find("BLOB") != std::string::npos)
    *out = TypeForCode(kSqlLongVarBinary);
  else if (name.find("REAL") != std::string::npos || name.find("FLOA") != std::string::npos ||
           name.find("DOUB") != std::string::npos)
    *out = TypeForCode(kSqlFloat);
  else
    // A name SQLite would give numeric affinity may still hold any text;
    // VARCHAR carries every value faithfully.
    *out = TypeForCode(kSqlVarChar, 255);
  return true;
}

bool IsExactTypeName(const std::string& declared) {
  std::string name = Squeeze(Upper(declared));
  for (const DeclaredName& entry : kDeclaredNames)
    if (name == entry.name) return true;
  return false;
}

SqlTypeDesc TypeFromValue(const Value& value) {
  switch (value.kind) {
    case Value::Kind::kInteger:
      if (value.integer >= INT32_MIN && value.integer <= INT32_MAX) return TypeForCode(kSqlInteger);
      return TypeForCode(kSqlBigInt);
    case Value::Kind::kReal:
      return TypeForCode(kSqlFloat);
    case Value::Kind::kBlob:
      return TypeForCode(kSqlLongVarBinary);
    case Value::Kind::kText:
      return value.bytes.size() <= 255 ? TypeForCode(kSqlVarChar, 255)
                                       : TypeForCode(kSqlLongVarChar);
    default:
      return TypeForCode(kSqlVarChar, 255);
  }
}

const char* SqlTypeName(int16_t sqlType) {
  for (const TypeName& entry : kTypeNames)
    if (entry.sqlType == sqlType) return entry.name;
  return "";
}

bool IsDescribableType(int16_t sqlType) { return SqlTypeName(sqlType)[0] != '\0'; }

}  // namespace velsrv
