// The SQL type and C type tables, and creation of a column's value class.
#include "convert/SqlTypeTable.h"

#include <cstddef>
#include <new>

#include "convert/BigIntValue.h"
#include "convert/BinaryValues.h"
#include "convert/ColumnValue.h"
#include "convert/DateTimeValues.h"
#include "convert/FloatingValues.h"
#include "convert/IntegerValues.h"
#include "convert/TextValues.h"
#include "protocol/SqlTypeCatalog.h"

namespace {

template <typename T>
ColumnValue* Make() {
  return new (std::nothrow) T;
}

struct CTypeEntry {
  SQLSMALLINT cType;
  CTarget target;
};

constexpr CTypeEntry kCTypes[] = {
    {SQL_C_CHAR, kToChar},
    {SQL_C_BINARY, kToBinary},
    {SQL_C_BIT, kToBit},
    {SQL_C_TINYINT, kToTinyInt},
    {SQL_C_STINYINT, kToTinyInt},
    {SQL_C_UTINYINT, kToUTinyInt},
    {SQL_C_SHORT, kToShort},
    {SQL_C_SSHORT, kToShort},
    {SQL_C_USHORT, kToUShort},
    {SQL_C_LONG, kToLong},
    {SQL_C_SLONG, kToLong},
    {SQL_C_ULONG, kToULong},
    {SQL_C_FLOAT, kToFloat},
    {SQL_C_DOUBLE, kToDouble},
    {SQL_C_DATE, kToDate},
    {SQL_C_TIME, kToTime},
    {SQL_C_TIMESTAMP, kToTimestamp},
    {SQL_C_TYPE_DATE, kToDate},
    {SQL_C_TYPE_TIME, kToTime},
    {SQL_C_TYPE_TIMESTAMP, kToTimestamp},
    {SQL_C_SBIGINT, kToSBigInt},
    {SQL_C_UBIGINT, kToUBigInt},
    {SQL_C_WCHAR, kToWChar},
    {SQL_C_NUMERIC, kToNumeric},
    {SQL_C_GUID, kToGuid},
    {SQL_C_INTERVAL_YEAR, kToInterval},
    {SQL_C_INTERVAL_MONTH, kToInterval},
    {SQL_C_INTERVAL_DAY, kToInterval},
    {SQL_C_INTERVAL_HOUR, kToInterval},
    {SQL_C_INTERVAL_MINUTE, kToInterval},
    {SQL_C_INTERVAL_SECOND, kToInterval},
    {SQL_C_INTERVAL_YEAR_TO_MONTH, kToInterval},
    {SQL_C_INTERVAL_DAY_TO_HOUR, kToInterval},
    {SQL_C_INTERVAL_DAY_TO_MINUTE, kToInterval},
    {SQL_C_INTERVAL_DAY_TO_SECOND, kToInterval},
    {SQL_C_INTERVAL_HOUR_TO_MINUTE, kToInterval},
    {SQL_C_INTERVAL_HOUR_TO_SECOND, kToInterval},
    {SQL_C_INTERVAL_MINUTE_TO_SECOND, kToInterval},
};

constexpr uint32_t Bit(CTarget t) { return 1u << t; }
constexpr uint32_t kAll = 0xffffffff;
// Wide text goes wherever text goes.
constexpr uint32_t kBytes = Bit(kToChar) | Bit(kToBinary) | Bit(kToWChar);
// GUIDs are read from text only.
constexpr uint32_t kNumbers =
    kAll & ~(Bit(kToDate) | Bit(kToTime) | Bit(kToTimestamp) | Bit(kToGuid));
constexpr uint32_t kDates = kBytes | Bit(kToDate) | Bit(kToTimestamp);
constexpr uint32_t kTimes = kBytes | Bit(kToTime) | Bit(kToTimestamp);
constexpr uint32_t kTimestamps = kBytes | Bit(kToDate) | Bit(kToTime) | Bit(kToTimestamp);

// What each value form converts to, by SqlForm; the forms that name their
// targets refuse the others in SQLGetData.
struct FormTargets {
  uint32_t targets;
  bool onlyTargets;
};

constexpr FormTargets kFormTargets[] = {
    {kAll, false},  {kBytes, true}, {kNumbers, false},
    {kDates, true}, {kTimes, true}, {kTimestamps, true},
};
static_assert(sizeof kFormTargets / sizeof kFormTargets[0] == kSqlFormCount,
              "one row per value form");

// {fn CONVERT}: the value forms each type's values are converted to (a
// conversion reaches every type of those forms), and each type's bit in the
// SQL_CONVERT_* masks. Only CHAR of the texts reaches the numbers, and only
// DATE of the date and time types reaches the texts; binaries convert to
// nothing.
constexpr uint8_t FormBit(SqlForm f) { return static_cast<uint8_t>(1u << static_cast<int>(f)); }
constexpr uint8_t kTextNumber = FormBit(SqlForm::kText) | FormBit(SqlForm::kNumber);
constexpr uint8_t kDateTimes =
    FormBit(SqlForm::kDate) | FormBit(SqlForm::kTime) | FormBit(SqlForm::kTimestamp);

struct ConvertRow {
  int32_t sqlType;
  uint32_t cvtBit;
  uint8_t reaches;  // FormBit of each form
};

constexpr ConvertRow kConvertRows[] = {
    {kSqlChar, SQL_CVT_CHAR, kTextNumber},
    {kSqlNumeric, SQL_CVT_NUMERIC, kTextNumber},
    {kSqlDecimal, SQL_CVT_DECIMAL, kTextNumber},
    {kSqlInteger, SQL_CVT_INTEGER, kTextNumber},
    {kSqlSmallInt, SQL_CVT_SMALLINT, kTextNumber},
    {kSqlFloat, SQL_CVT_FLOAT, kTextNumber},
    {kSqlReal, SQL_CVT_REAL, kTextNumber},
    {kSqlDouble, SQL_CVT_DOUBLE, kTextNumber},
    {kSqlVarChar, SQL_CVT_VARCHAR, FormBit(SqlForm::kText)},
    {kSqlLongVarChar, SQL_CVT_LONGVARCHAR, FormBit(SqlForm::kText)},
    {kSqlBinary, SQL_CVT_BINARY, 0},
    {kSqlVarBinary, SQL_CVT_VARBINARY, 0},
    {kSqlBit, SQL_CVT_BIT, kTextNumber},
    {kSqlTinyInt, SQL_CVT_TINYINT, kTextNumber},
    {kSqlBigInt, SQL_CVT_BIGINT, kTextNumber},
    {kSqlDate, SQL_CVT_DATE, FormBit(SqlForm::kText) | kDateTimes},
    {kSqlTime, SQL_CVT_TIME, kDateTimes},
    {kSqlTimestamp, SQL_CVT_TIMESTAMP, kDateTimes},
    {kSqlLongVarBinary, SQL_CVT_LONGVARBINARY, 0},
};

// The value class of each type a column can be described with.
struct ClassRow {
  int32_t sqlType;
  ColumnValue* (*make)();
};

constexpr ClassRow kSqlTypes[] = {
    {kSqlChar, Make<CharValue>},
    {kSqlVarChar, Make<VarCharValue>},
    {kSqlLongVarChar, Make<LongVarCharValue>},
    {kSqlBinary, Make<BinaryValue>},
    {kSqlVarBinary, Make<VarBinaryValue>},
    {kSqlLongVarBinary, Make<LongVarBinaryValue>},
    {kSqlBit, Make<BitValue>},
    {kSqlTinyInt, Make<TinyIntValue>},
    {kSqlSmallInt, Make<SmallIntValue>},
    {kSqlInteger, Make<IntegerValue>},
    {kSqlBigInt, Make<BigIntValue>},
    {kSqlReal, Make<RealValue>},
    {kSqlFloat, Make<FloatValue>},
    {kSqlNumeric, Make<NumericValue>},
    {kSqlDate, Make<DateValue>},
    {kSqlTime, Make<TimeValue>},
    {kSqlTimestamp, Make<TimestampValue>},
    // The intervals travel as text (protocol/IntervalText.h).
    {101, Make<VarCharValue>},
    {102, Make<VarCharValue>},
    {103, Make<VarCharValue>},
    {104, Make<VarCharValue>},
    {105, Make<VarCharValue>},
    {106, Make<VarCharValue>},
    {107, Make<VarCharValue>},
    {108, Make<VarCharValue>},
    {109, Make<VarCharValue>},
    {110, Make<VarCharValue>},
    {111, Make<VarCharValue>},
    {112, Make<VarCharValue>},
    {113, Make<VarCharValue>},
};

// The catalogue's codes are the interface's.
static_assert(kSqlChar == SQL_CHAR && kSqlVarChar == SQL_VARCHAR &&
                  kSqlLongVarChar == SQL_LONGVARCHAR && kSqlBinary == SQL_BINARY &&
                  kSqlVarBinary == SQL_VARBINARY && kSqlLongVarBinary == SQL_LONGVARBINARY &&
                  kSqlBit == SQL_BIT && kSqlTinyInt == SQL_TINYINT &&
                  kSqlSmallInt == SQL_SMALLINT && kSqlInteger == SQL_INTEGER &&
                  kSqlBigInt == SQL_BIGINT && kSqlReal == SQL_REAL && kSqlFloat == SQL_FLOAT &&
                  kSqlNumeric == SQL_NUMERIC && kSqlDate == SQL_DATE && kSqlTime == SQL_TIME &&
                  kSqlTimestamp == SQL_TIMESTAMP && kSqlDecimal == SQL_DECIMAL &&
                  kSqlDouble == SQL_DOUBLE && kSqlWChar == SQL_WCHAR &&
                  kSqlWVarChar == SQL_WVARCHAR && kSqlWLongVarChar == SQL_WLONGVARCHAR &&
                  kSqlTypeDate == SQL_TYPE_DATE && kSqlTypeTime == SQL_TYPE_TIME &&
                  kSqlTypeTimestamp == SQL_TYPE_TIMESTAMP,
              "SQL type codes");
static_assert(SQL_C_CHAR == kSqlChar && SQL_C_BINARY == kSqlBinary && SQL_C_BIT == kSqlBit &&
                  SQL_C_TINYINT == kSqlTinyInt && SQL_C_SHORT == kSqlSmallInt &&
                  SQL_C_LONG == kSqlInteger && SQL_C_FLOAT == kSqlReal &&
                  SQL_C_DOUBLE == kSqlDouble && SQL_C_DATE == kSqlDate && SQL_C_TIME == kSqlTime &&
                  SQL_C_TIMESTAMP == kSqlTimestamp,
              "the C type codes the catalogue's default C types name");

// The lowest (or, with high, the highest) code of rows.
template <typename Row, std::size_t kRows, typename Code>
constexpr int32_t Bound(const Row (&rows)[kRows], Code Row::*code, bool high) {
  int32_t bound = rows[0].*code;
  for (const Row& row : rows)
    bound = (high ? row.*code > bound : row.*code < bound) ? row.*code : bound;
  return bound;
}

// Direct indexes of the two tables by their codes, built by the compiler
// from the tables themselves (every SQLGetData and every bound column's
// transfer looks codes up): slot[code - low] holds the row's position plus
// one, 0 where no row has the code.
template <int32_t kLow, int32_t kHigh>
struct CodeIndex {
  uint8_t slot[kHigh - kLow + 1] = {};
  // The position of code's row, or -1.
  int Find(int32_t code) const { return code < kLow || code > kHigh ? -1 : slot[code - kLow] - 1; }
};

template <int32_t kLow, int32_t kHigh, typename Row, std::size_t kRows, typename Code>
constexpr CodeIndex<kLow, kHigh> IndexOf(const Row (&rows)[kRows], Code Row::*code) {
  CodeIndex<kLow, kHigh> index{};
  for (std::size_t i = 0; i < kRows; ++i) {
    if (index.slot[rows[i].*code - kLow] == 0)
      index.slot[rows[i].*code - kLow] = static_cast<uint8_t>(i + 1);
  }
  return index;
}

constexpr auto kSqlTypeIndex =
    IndexOf<Bound(kSqlTypes, &ClassRow::sqlType, false),
            Bound(kSqlTypes, &ClassRow::sqlType, true)>(kSqlTypes, &ClassRow::sqlType);
constexpr auto kCTypeIndex =
    IndexOf<Bound(kCTypes, &CTypeEntry::cType, false), Bound(kCTypes, &CTypeEntry::cType, true)>(
        kCTypes, &CTypeEntry::cType);

}  // namespace

namespace {

// The class row of sqlType, or null when a column of it cannot be held.
const ClassRow* FindClass(int32_t sqlType) {
  const int row = kSqlTypeIndex.Find(sqlType);
  return row < 0 ? nullptr : &kSqlTypes[row];
}

}  // namespace

bool FindCTarget(SQLSMALLINT cType, CTarget* target) {
  const int row = kCTypeIndex.Find(cType);
  if (row < 0) return false;
  *target = kCTypes[row].target;
  return true;
}

SQLSMALLINT DefaultCType(int32_t sqlType) {
  const SqlTypeInfo* type = FindSqlTypeInfo(sqlType);
  return type ? type->defaultCType : static_cast<SQLSMALLINT>(SQL_C_DEFAULT);
}

bool HasConversion(int32_t sqlType, SQLSMALLINT fCType) {
  if (fCType == SQL_C_DEFAULT) fCType = DefaultCType(sqlType);
  CTarget target;
  return FindCTarget(fCType, &target);
}

bool RefusesConversion(int32_t sqlType, SQLSMALLINT fCType) {
  const SqlTypeInfo* type = FindClass(sqlType) ? FindSqlTypeInfo(sqlType) : nullptr;
  if (!type || fCType == SQL_C_DEFAULT) return false;
  const FormTargets& form = kFormTargets[static_cast<int>(type->form)];
  CTarget target;
  if (!FindCTarget(fCType, &target)) return form.onlyTargets;
  return (form.targets & Bit(target)) == 0;
}

uint32_t ConvertFunctionMask(int32_t sqlType) {
  const ConvertRow* from = nullptr;
  for (const ConvertRow& row : kConvertRows)
    if (row.sqlType == sqlType) from = &row;
  uint32_t mask = 0;
  for (const ConvertRow& to : kConvertRows) {
    const SqlTypeInfo* type = FindSqlTypeInfo(to.sqlType);
    if (from != nullptr && type != nullptr && (from->reaches & FormBit(type->form)) != 0)
      mask |= to.cvtBit;
  }
  return mask;
}

ColumnValue* CreateColumnValue(const ColumnDescription* description) {
  const ClassRow* row = description ? FindClass(description->sqlDataType) : nullptr;
  if (!row) return nullptr;
  ColumnValue* value = row->make();
  if (!value) return nullptr;
  value->description = new (std::nothrow) ColumnDescription;
  if (!value->description || !value->description->CopyFrom(*description)) {
    delete value;
    return nullptr;
  }
  // The fixed kinds hold values of their declared length.
  const SqlSizing sizing = FindSqlTypeInfo(row->sqlType)->sizing;
  if (sizing != SqlSizing::kVarying && sizing != SqlSizing::kLong)
    value->length = description->length;
  return value;
}
