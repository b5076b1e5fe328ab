// The parameter conversion matrix.
#include "convert/ParameterTable.h"

namespace {

const ParamCTypeRow kCTypes[] = {
    {SQL_C_CHAR, kSrcChar, 0, false},
    {SQL_C_WCHAR, kSrcWide, 0, false},
    {SQL_C_BINARY, kSrcBinary, 0, false},
    {SQL_C_DEFAULT, kSrcDefault, 0, false},
    {SQL_C_BIT, kSrcInteger, 1, false},
    {SQL_C_UTINYINT, kSrcInteger, 1, false},
    {SQL_C_TINYINT, kSrcInteger, 1, true},
    {SQL_C_STINYINT, kSrcInteger, 1, true},
    {SQL_C_SHORT, kSrcInteger, 2, true},
    {SQL_C_SSHORT, kSrcInteger, 2, true},
    {SQL_C_USHORT, kSrcInteger, 2, false},
    {SQL_C_LONG, kSrcInteger, 4, true},
    {SQL_C_SLONG, kSrcInteger, 4, true},
    {SQL_C_ULONG, kSrcInteger, 4, false},
    {SQL_C_SBIGINT, kSrcInteger, 8, true},
    {SQL_C_UBIGINT, kSrcInteger, 8, false},
    {SQL_C_FLOAT, kSrcFloating, 4, true},
    {SQL_C_DOUBLE, kSrcFloating, 8, true},
    {SQL_C_DATE, kSrcDate, 6, false},
    {SQL_C_TYPE_DATE, kSrcDate, 6, false},
    {SQL_C_TIME, kSrcTime, 6, false},
    {SQL_C_TYPE_TIME, kSrcTime, 6, false},
    {SQL_C_TIMESTAMP, kSrcTimestamp, 16, false},
    {SQL_C_TYPE_TIMESTAMP, kSrcTimestamp, 16, false},
    {SQL_C_NUMERIC, kSrcNumeric, sizeof(SQL_NUMERIC_STRUCT), false},
    {SQL_C_GUID, kSrcGuid, sizeof(SQLGUID), false},
};

constexpr uint8_t Bit(SqlForm f) { return static_cast<uint8_t>(1u << static_cast<int>(f)); }
static_assert(kSqlFormCount <= 8, "a form is a bit of the matrix's uint8_t");
constexpr uint8_t kAny = static_cast<uint8_t>((1u << kSqlFormCount) - 1);
constexpr uint8_t kNumbers = Bit(SqlForm::kText) | Bit(SqlForm::kNumber);

// Per ParamSource: the value forms it converts to.
const uint8_t kMatrix[] = {
    kAny,
    kAny,
    kAny,
    kNumbers,
    kNumbers,
    Bit(SqlForm::kText) | Bit(SqlForm::kDate) | Bit(SqlForm::kTimestamp),
    Bit(SqlForm::kText) | Bit(SqlForm::kTime) | Bit(SqlForm::kTimestamp),
    Bit(SqlForm::kText) | Bit(SqlForm::kDate) | Bit(SqlForm::kTime) | Bit(SqlForm::kTimestamp),
    kAny,
    kNumbers,
    Bit(SqlForm::kText),
};
static_assert(sizeof kMatrix == kSrcGuid + 1, "one row per ParamSource");

}  // namespace

const ParamCTypeRow* FindParamCType(SQLSMALLINT cType) {
  for (const ParamCTypeRow& row : kCTypes)
    if (row.cType == cType) return &row;
  return nullptr;
}

const SqlTypeInfo* FindParamSqlType(int32_t sqlType) {
  return FindSqlTypeInfo(SentSqlType(sqlType));
}

bool IsCType(SQLSMALLINT cType) {
  return FindParamCType(cType) != nullptr ||
         (cType >= SQL_C_INTERVAL_YEAR && cType <= SQL_C_INTERVAL_MINUTE_TO_SECOND);
}

bool IsSqlType(SQLSMALLINT sqlType) {
  return FindParamSqlType(sqlType) != nullptr || sqlType == SQL_GUID ||
         (sqlType >= SQL_INTERVAL_YEAR && sqlType <= SQL_INTERVAL_MINUTE_TO_SECOND);
}

SQLSMALLINT ParamDefaultCType(int32_t sqlType) {
  if (sqlType == kSqlWChar || sqlType == kSqlWVarChar || sqlType == kSqlWLongVarChar)
    return SQL_C_WCHAR;
  const SqlTypeInfo* type = FindParamSqlType(sqlType);
  return type ? type->defaultCType : static_cast<SQLSMALLINT>(SQL_C_DEFAULT);
}

bool ParamPairConverts(ParamSource source, SqlForm target) {
  return (kMatrix[source] & Bit(target)) != 0;
}
