// The parameter conversion matrix.
#include "convert/ParameterTable.h"

#include "protocol/TypeSizes.h"

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
};

// The wide types travel as their narrow ones, the ODBC 3 date and time
// codes as the ODBC 2 ones.
const ParamSqlTypeRow kSqlTypes[] = {
    {SQL_CHAR, SQL_CHAR, kTgtText, -1},
    {SQL_VARCHAR, SQL_VARCHAR, kTgtText, -1},
    {SQL_LONGVARCHAR, SQL_LONGVARCHAR, kTgtText, -1},
    {SQL_WCHAR, SQL_CHAR, kTgtText, -1},
    {SQL_WVARCHAR, SQL_VARCHAR, kTgtText, -1},
    {SQL_WLONGVARCHAR, SQL_LONGVARCHAR, kTgtText, -1},
    {SQL_BINARY, SQL_BINARY, kTgtBinary, -1},
    {SQL_VARBINARY, SQL_VARBINARY, kTgtBinary, -1},
    {SQL_LONGVARBINARY, SQL_LONGVARBINARY, kTgtBinary, -1},
    {SQL_BIT, SQL_BIT, kTgtNumber, kSizeBit},
    {SQL_TINYINT, SQL_TINYINT, kTgtNumber, kSizeTinyint},
    {SQL_SMALLINT, SQL_SMALLINT, kTgtNumber, kSizeSmallint},
    {SQL_INTEGER, SQL_INTEGER, kTgtNumber, kSizeInteger},
    {SQL_BIGINT, SQL_BIGINT, kTgtNumber, kSizeBigint},
    {SQL_REAL, SQL_REAL, kTgtNumber, kSizeReal},
    {SQL_FLOAT, SQL_FLOAT, kTgtNumber, kSizeFloat},
    {SQL_DOUBLE, SQL_DOUBLE, kTgtNumber, kSizeDouble},
    {SQL_NUMERIC, SQL_NUMERIC, kTgtNumber, kSizeNumeric},
    {SQL_DECIMAL, SQL_DECIMAL, kTgtNumber, kSizeDecimal},
    {SQL_DATE, SQL_DATE, kTgtDate, kSizeDate},
    {SQL_TYPE_DATE, SQL_DATE, kTgtDate, kSizeDate},
    {SQL_TIME, SQL_TIME, kTgtTime, kSizeTime},
    {SQL_TYPE_TIME, SQL_TIME, kTgtTime, kSizeTime},
    {SQL_TIMESTAMP, SQL_TIMESTAMP, kTgtTimestamp, kSizeTimestamp},
    {SQL_TYPE_TIMESTAMP, SQL_TIMESTAMP, kTgtTimestamp, kSizeTimestamp},
};

constexpr uint8_t Bit(ParamTarget t) { return static_cast<uint8_t>(1u << t); }
constexpr uint8_t kAny = 0x3f;
constexpr uint8_t kNumbers = Bit(kTgtText) | Bit(kTgtNumber);

// Per ParamSource: the targets it converts to.
const uint8_t kMatrix[] = {
    kAny,
    kAny,
    kAny,
    kNumbers,
    kNumbers,
    Bit(kTgtText) | Bit(kTgtDate) | Bit(kTgtTimestamp),
    Bit(kTgtText) | Bit(kTgtTime) | Bit(kTgtTimestamp),
    Bit(kTgtText) | Bit(kTgtDate) | Bit(kTgtTime) | Bit(kTgtTimestamp),
    kAny,
};

}  // namespace

const ParamCTypeRow* FindParamCType(SQLSMALLINT cType) {
  for (const ParamCTypeRow& row : kCTypes)
    if (row.cType == cType) return &row;
  return nullptr;
}

const ParamSqlTypeRow* FindParamSqlType(int32_t sqlType) {
  for (const ParamSqlTypeRow& row : kSqlTypes)
    if (row.sqlType == sqlType) return &row;
  return nullptr;
}

bool ParamPairConverts(ParamSource source, ParamTarget target) {
  return (kMatrix[source] & Bit(target)) != 0;
}
