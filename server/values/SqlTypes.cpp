// Declared-type mapping and the described sizes of each SQL type.
#include "server/values/SqlTypes.h"

#include <cctype>
#include <cstdlib>

#include "server/TextCase.h"

namespace velsrv {

namespace {

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
    {"BYTEA", kSqlLongVarBinary},
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
  const SqlTypeInfo* t = FindSqlTypeInfo(sqlType);
  if (t == nullptr) return SqlTypeDesc();
  t = FindSqlTypeInfo(t->describedAs);
  SqlTypeDesc d;
  d.sqlType = t->code;
  d.scale = 0;
  switch (t->sizing) {
    case SqlSizing::kFixed:
      d.precision = t->precision, d.length = t->length;
      break;
    case SqlSizing::kPadded:
    case SqlSizing::kVarying:
      d.precision = d.length = n ? n : t->precision;
      break;
    case SqlSizing::kLong:
      d.precision = d.length = t->precision;
      break;
    case SqlSizing::kDigits:
      d.precision = n ? (n > t->maxPrecision ? t->maxPrecision : n) : t->precision;
      d.scale = scale < 0 ? 0 : (scale > static_cast<int16_t>(d.precision) ? d.precision : scale);
      d.length = d.precision + 2;
      break;
  }
  return d;
}

bool TypeFromDeclared(const std::string& declared, SqlTypeDesc* out) {
  std::string text = Squeeze(Upper(declared));
  if (text.empty()) return false;
  // PostgreSQL's intervals, so named by its storage for a session that
  // asked for them (a name no SQLite declaration takes).
  // A declared seconds precision (",3") below the six digits narrows the
  // column: its fraction and, without digits, its point go.
  if (text.compare(0, 9, "INTERVAL(") == 0) {
    const size_t comma = text.find(',');
    const int digits = comma == std::string::npos ? -1 : std::atoi(text.c_str() + comma + 1);
    const std::string bare = comma == std::string::npos ? text : text.substr(0, comma) + ")";
    for (const SqlTypeInfo& t : AllSqlTypes())
      if (t.code >= kSqlIntervalYear && bare == "INTERVAL(" + std::string(t.name + 9) + ")") {
        *out = TypeForCode(t.code);
        out->scale = t.minScale > 0 ? t.minScale : 0;
        if (digits >= 0 && digits < out->scale) {
          const uint32_t narrower = static_cast<uint32_t>(out->scale - digits + (digits == 0));
          out->precision -= narrower;
          out->length -= narrower;
          out->scale = static_cast<int16_t>(digits);
        }
        return true;
      }
  }
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
      // A character or binary column declared longer than its type's
      // largest length (a variable binary's one-byte length field, the
      // longest CHAR, VARCHAR and BINARY of the type information) is a long
      // column: fixed-length values are padded to their declared length,
      // which must stay reasonable.
      const SqlTypeInfo* t = FindSqlTypeInfo(entry.sqlType);
      const bool sized = t->sizing == SqlSizing::kPadded || t->sizing == SqlSizing::kVarying;
      if (sized && n > t->maxPrecision)
        *out = TypeForCode(t->form == SqlForm::kText ? kSqlLongVarChar : kSqlLongVarBinary);
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
    *out =
        n && n <= kSqlMaxFixedLength ? TypeForCode(kSqlVarChar, n) : TypeForCode(kSqlLongVarChar);
  else if (name.find("BLOB") != std::string::npos)
    *out = TypeForCode(kSqlLongVarBinary);
  else if (name.find("REAL") != std::string::npos || name.find("FLOA") != std::string::npos ||
           name.find("DOUB") != std::string::npos)
    *out = TypeForCode(kSqlFloat);
  else
    // A name SQLite would give numeric affinity may still hold any text;
    // VARCHAR carries every value faithfully.
    *out = TypeForCode(kSqlVarChar);
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
      return value.bytes.size() <= TypeForCode(kSqlVarChar).length ? TypeForCode(kSqlVarChar)
                                                                   : TypeForCode(kSqlLongVarChar);
    default:
      return TypeForCode(kSqlVarChar);
  }
}

}  // namespace velsrv
