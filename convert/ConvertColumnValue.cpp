// The C-type tables: which operation serves a C type, which C type
// SQL_C_DEFAULT means, and which pairs the classes support.
#include "convert/ConvertColumnValue.h"

namespace {

enum Operation : uint8_t {
  kOpChar, kOpBit, kOpTinyInt, kOpShort, kOpLong, kOpFloat, kOpDouble, kOpBinary,
  kOpDate, kOpTime, kOpTimestamp, kOpUShort, kOpULong, kOpUTinyInt, kOpSBigInt, kOpUBigInt,
};

struct CTypeEntry {
  SQLSMALLINT cType;
  Operation op;
};

const CTypeEntry kCTypes[] = {
    {SQL_C_CHAR, kOpChar},         {SQL_C_BINARY, kOpBinary},
    {SQL_C_BIT, kOpBit},           {SQL_C_TINYINT, kOpTinyInt},
    {SQL_C_STINYINT, kOpTinyInt},  {SQL_C_UTINYINT, kOpUTinyInt},
    {SQL_C_SHORT, kOpShort},       {SQL_C_SSHORT, kOpShort},
    {SQL_C_USHORT, kOpUShort},     {SQL_C_LONG, kOpLong},
    {SQL_C_SLONG, kOpLong},        {SQL_C_ULONG, kOpULong},
    {SQL_C_FLOAT, kOpFloat},       {SQL_C_DOUBLE, kOpDouble},
    {SQL_C_DATE, kOpDate},         {SQL_C_TIME, kOpTime},
    {SQL_C_TIMESTAMP, kOpTimestamp},
#ifdef SQL_C_TYPE_DATE
    {SQL_C_TYPE_DATE, kOpDate},    {SQL_C_TYPE_TIME, kOpTime},
    {SQL_C_TYPE_TIMESTAMP, kOpTimestamp},
#endif
    {SQL_C_SBIGINT, kOpSBigInt},   {SQL_C_UBIGINT, kOpUBigInt},
};

struct SqlTypeEntry {
  int32_t sqlType;
  SQLSMALLINT defaultCType;  // SQL_C_DEFAULT when the type has no class
  uint32_t operations;       // bit per Operation the class supports
};

#define OPS(x) (1u << (x))
const uint32_t kAll = 0xffffu;
const uint32_t kBinaryOps = OPS(kOpChar) | OPS(kOpBinary);
const uint32_t kNumberOps =
    kAll & ~(OPS(kOpDate) | OPS(kOpTime) | OPS(kOpTimestamp));
const uint32_t kDateOps = kBinaryOps | OPS(kOpDate) | OPS(kOpTimestamp);
const uint32_t kTimeOps = kBinaryOps | OPS(kOpTime) | OPS(kOpTimestamp);
const uint32_t kTimestampOps = kBinaryOps | OPS(kOpDate) | OPS(kOpTime) | OPS(kOpTimestamp);
#undef OPS

const SqlTypeEntry kSqlTypes[] = {
    {SQL_CHAR, SQL_C_CHAR, kAll},
    {SQL_VARCHAR, SQL_C_CHAR, kAll},
    {SQL_LONGVARCHAR, SQL_C_CHAR, kAll},
    {SQL_BINARY, SQL_C_BINARY, kBinaryOps},
    {SQL_VARBINARY, SQL_C_BINARY, kBinaryOps},
    {SQL_LONGVARBINARY, SQL_C_BINARY, kBinaryOps},
    {SQL_BIT, SQL_C_BIT, kNumberOps},
    {SQL_TINYINT, SQL_C_TINYINT, kNumberOps},
    {SQL_SMALLINT, SQL_C_SHORT, kNumberOps},
    {SQL_INTEGER, SQL_C_LONG, kNumberOps},
    {SQL_BIGINT, SQL_C_CHAR, kNumberOps},
    {SQL_REAL, SQL_C_FLOAT, kNumberOps},
    {SQL_FLOAT, SQL_C_DOUBLE, kNumberOps},
    {SQL_DOUBLE, SQL_C_DOUBLE, 0},
    {SQL_NUMERIC, SQL_C_CHAR, kNumberOps},
    {SQL_DECIMAL, SQL_C_CHAR, 0},
    {SQL_DATE, SQL_C_DATE, kDateOps},
    {SQL_TIME, SQL_C_TIME, kTimeOps},
    {SQL_TIMESTAMP, SQL_C_TIMESTAMP, kTimestampOps},
};

bool FindOperation(SQLSMALLINT cType, Operation* op) {
  for (const CTypeEntry& entry : kCTypes) {
    if (entry.cType == cType) {
      *op = entry.op;
      return true;
    }
  }
  return false;
}

const SqlTypeEntry* FindSqlType(int32_t sqlType) {
  for (const SqlTypeEntry& entry : kSqlTypes)
    if (entry.sqlType == sqlType) return &entry;
  return nullptr;
}

}  // namespace

bool IsKnownCType(SQLSMALLINT fCType) {
  Operation op;
  return fCType == SQL_C_DEFAULT || FindOperation(fCType, &op);
}

SQLSMALLINT DefaultCType(int32_t sqlType) {
  const SqlTypeEntry* entry = FindSqlType(sqlType);
  return entry ? entry->defaultCType : static_cast<SQLSMALLINT>(SQL_C_DEFAULT);
}

bool IsConversionSupported(int32_t sqlType, SQLSMALLINT fCType) {
  const SqlTypeEntry* entry = FindSqlType(sqlType);
  if (!entry) return false;
  if (fCType == SQL_C_DEFAULT) fCType = entry->defaultCType;
  Operation op;
  return FindOperation(fCType, &op) && (entry->operations & (1u << op)) != 0;
}

int ConvertColumnValue(const ColumnValue* value, SQLSMALLINT fCType, void* rgbValue,
                       SQLLEN cbValueMax, SQLLEN* pcbValue) {
  if (fCType == SQL_C_DEFAULT) fCType = DefaultCType(value->SqlType());
  Operation op;
  if (!FindOperation(fCType, &op)) return kConversionUnknownCType;
  if (op == kOpChar || op == kOpBinary) {
    if (!rgbValue) cbValueMax = 0;
    return op == kOpChar ? value->GetChar(rgbValue, cbValueMax, pcbValue)
                         : value->GetBinary(rgbValue, cbValueMax, pcbValue);
  }
  if (!rgbValue) return kConversionFailed;
  switch (op) {
    case kOpBit: return value->GetBit(rgbValue, pcbValue);
    case kOpTinyInt: return value->GetTinyInt(rgbValue, pcbValue);
    case kOpShort: return value->GetShort(rgbValue, pcbValue);
    case kOpLong: return value->GetLong(rgbValue, pcbValue);
    case kOpFloat: return value->GetFloat(rgbValue, pcbValue);
    case kOpDouble: return value->GetDouble(rgbValue, pcbValue);
    case kOpDate: return value->GetDate(rgbValue, pcbValue);
    case kOpTime: return value->GetTime(rgbValue, pcbValue);
    case kOpTimestamp: return value->GetTimestamp(rgbValue, pcbValue);
    case kOpUShort: return value->GetUShort(rgbValue, pcbValue);
    case kOpULong: return value->GetULong(rgbValue, pcbValue);
    case kOpUTinyInt: return value->GetUTinyInt(rgbValue, pcbValue);
    case kOpSBigInt: return value->GetSBigInt(rgbValue, pcbValue);
    case kOpUBigInt: return value->GetUBigInt(rgbValue, pcbValue);
    default: return kConversionFailed;
  }
}
