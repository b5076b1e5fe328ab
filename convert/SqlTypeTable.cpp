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
};

constexpr uint16_t Bit(CTarget t) { return static_cast<uint16_t>(1u << t); }
constexpr uint16_t kAll = 0xffff;
constexpr uint16_t kBytes = Bit(kToChar) | Bit(kToBinary);
constexpr uint16_t kNumbers = kAll & ~(Bit(kToDate) | Bit(kToTime) | Bit(kToTimestamp));
constexpr uint16_t kDates = kBytes | Bit(kToDate) | Bit(kToTimestamp);
constexpr uint16_t kTimes = kBytes | Bit(kToTime) | Bit(kToTimestamp);
constexpr uint16_t kTimestamps = kBytes | Bit(kToDate) | Bit(kToTime) | Bit(kToTimestamp);

constexpr SqlTypeRow kSqlTypes[] = {
    {SQL_CHAR, Make<CharValue>, true, SQL_C_CHAR, kAll, false},
    {SQL_VARCHAR, Make<VarCharValue>, false, SQL_C_CHAR, kAll, false},
    {SQL_LONGVARCHAR, Make<LongVarCharValue>, false, SQL_C_CHAR, kAll, false},
    {SQL_BINARY, Make<BinaryValue>, true, SQL_C_BINARY, kBytes, true},
    {SQL_VARBINARY, Make<VarBinaryValue>, false, SQL_C_BINARY, kBytes, true},
    {SQL_LONGVARBINARY, Make<LongVarBinaryValue>, false, SQL_C_BINARY, kBytes, true},
    {SQL_BIT, Make<BitValue>, true, SQL_C_BIT, kNumbers, false},
    {SQL_TINYINT, Make<TinyIntValue>, true, SQL_C_TINYINT, kNumbers, false},
    {SQL_SMALLINT, Make<SmallIntValue>, true, SQL_C_SHORT, kNumbers, false},
    {SQL_INTEGER, Make<IntegerValue>, true, SQL_C_LONG, kNumbers, false},
    {SQL_BIGINT, Make<BigIntValue>, true, SQL_C_CHAR, kNumbers, false},
    {SQL_REAL, Make<RealValue>, true, SQL_C_FLOAT, kNumbers, false},
    {SQL_FLOAT, Make<FloatValue>, true, SQL_C_DOUBLE, kNumbers, false},
    {SQL_NUMERIC, Make<NumericValue>, true, SQL_C_CHAR, kNumbers, false},
    {SQL_DATE, Make<DateValue>, true, SQL_C_DATE, kDates, true},
    {SQL_TIME, Make<TimeValue>, true, SQL_C_TIME, kTimes, true},
    {SQL_TIMESTAMP, Make<TimestampValue>, true, SQL_C_TIMESTAMP, kTimestamps, true},
};

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
    IndexOf<Bound(kSqlTypes, &SqlTypeRow::sqlType, false),
            Bound(kSqlTypes, &SqlTypeRow::sqlType, true)>(kSqlTypes, &SqlTypeRow::sqlType);
constexpr auto kCTypeIndex =
    IndexOf<Bound(kCTypes, &CTypeEntry::cType, false), Bound(kCTypes, &CTypeEntry::cType, true)>(
        kCTypes, &CTypeEntry::cType);

}  // namespace

const SqlTypeRow* FindSqlType(int32_t sqlType) {
  const int row = kSqlTypeIndex.Find(sqlType);
  return row < 0 ? nullptr : &kSqlTypes[row];
}

bool FindCTarget(SQLSMALLINT cType, CTarget* target) {
  const int row = kCTypeIndex.Find(cType);
  if (row < 0) return false;
  *target = kCTypes[row].target;
  return true;
}

SQLSMALLINT DefaultCType(int32_t sqlType) {
  const SqlTypeRow* row = FindSqlType(sqlType);
  return row ? row->defaultCType : static_cast<SQLSMALLINT>(SQL_C_DEFAULT);
}

bool HasConversion(int32_t sqlType, SQLSMALLINT fCType) {
  if (fCType == SQL_C_DEFAULT) fCType = DefaultCType(sqlType);
  CTarget target;
  return FindCTarget(fCType, &target);
}

bool RefusesConversion(int32_t sqlType, SQLSMALLINT fCType) {
  const SqlTypeRow* row = FindSqlType(sqlType);
  if (!row || fCType == SQL_C_DEFAULT) return false;
  CTarget target;
  if (!FindCTarget(fCType, &target)) return row->onlyTargets;
  return (row->targets & Bit(target)) == 0;
}

ColumnValue* CreateColumnValue(const ColumnDescription* description) {
  const SqlTypeRow* row = description ? FindSqlType(description->sqlDataType) : nullptr;
  if (!row) return nullptr;
  ColumnValue* value = row->make();
  if (!value) return nullptr;
  value->description = new (std::nothrow) ColumnDescription;
  if (!value->description || !value->description->CopyFrom(*description)) {
    delete value;
    return nullptr;
  }
  if (row->fixedLength) value->length = description->length;
  return value;
}
