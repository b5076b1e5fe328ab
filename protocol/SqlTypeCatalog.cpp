// The SQL type catalogue: one row per ODBC 2 type.
#include "protocol/SqlTypeCatalog.h"

#include "protocol/BasicElements.h"

namespace {

using F = SqlForm;
using Z = SqlSizing;
constexpr uint32_t kLong = kSqlLongLength;
constexpr uint32_t kFixedMax = kSqlMaxFixedLength;
constexpr uint32_t kDigits = kSqlNumericDigits;

// Columns are never described as DECIMAL or DOUBLE (the driver has no value
// class for them): those become NUMERIC and FLOAT, and the type
// information does not list them. A TIMESTAMP's largest precision counts
// "yyyy-mm-dd hh:mm:ss" and the nine fraction digits values keep.
// code, name, listed name, described as, form, sizing, precision, length,
// largest precision, scales, radix, unsigned, display size, default C type,
// parameter form size index and size.
constexpr SqlTypeInfo kTypes[] = {
    {kSqlBit, "BIT", "BIT", kSqlBit, F::kNumber, Z::kFixed, 1, 1, 1, 0, 0, 10, true, 1, kSqlBit,
     kSizeBit, 1},
    {kSqlTinyInt, "TINYINT", "TINYINT", kSqlTinyInt, F::kNumber, Z::kFixed, 3, 1, 3, 0, 0, 10,
     false, 4, kSqlTinyInt, kSizeTinyint, 1},
    {kSqlBigInt, "BIGINT", "BIGINT", kSqlBigInt, F::kNumber, Z::kFixed, 19, 20, 19, 0, 0, 10, false,
     20, kSqlChar, kSizeBigint, 10},
    {kSqlLongVarBinary, "LONGVARBINARY", "BLOB", kSqlLongVarBinary, F::kBinary, Z::kLong, kLong,
     kLong, kLong, -1, -1, 0, true, 0, kSqlBinary, kSizeNone, 0},
    {kSqlVarBinary, "VARBINARY", "VARBINARY", kSqlVarBinary, F::kBinary, Z::kVarying, 255, 255, 255,
     -1, -1, 0, true, 0, kSqlBinary, kSizeNone, 0},
    {kSqlBinary, "BINARY", "BINARY", kSqlBinary, F::kBinary, Z::kPadded, 1, 1, kFixedMax, -1, -1, 0,
     true, 0, kSqlBinary, kSizeNone, 0},
    {kSqlLongVarChar, "LONGVARCHAR", "TEXT", kSqlLongVarChar, F::kText, Z::kLong, kLong, kLong,
     kLong, -1, -1, 0, true, 0, kSqlChar, kSizeNone, 0},
    {kSqlChar, "CHAR", "CHAR", kSqlChar, F::kText, Z::kPadded, 1, 1, kFixedMax, -1, -1, 0, true, 0,
     kSqlChar, kSizeNone, 0},
    {kSqlNumeric, "NUMERIC", "NUMERIC", kSqlNumeric, F::kNumber, Z::kDigits, 15, 17, kDigits, 0,
     kDigits, 10, false, 0, kSqlChar, kSizeNumeric, 12},
    {kSqlDecimal, "DECIMAL", nullptr, kSqlNumeric, F::kNumber, Z::kDigits, 15, 17, kDigits, 0,
     kDigits, 10, false, 0, kSqlChar, kSizeDecimal, 12},
    {kSqlInteger, "INTEGER", "INTEGER", kSqlInteger, F::kNumber, Z::kFixed, 10, 4, 10, 0, 0, 10,
     false, 11, kSqlInteger, kSizeInteger, 4},
    {kSqlSmallInt, "SMALLINT", "SMALLINT", kSqlSmallInt, F::kNumber, Z::kFixed, 5, 2, 5, 0, 0, 10,
     false, 6, kSqlSmallInt, kSizeSmallint, 2},
    {kSqlFloat, "FLOAT", "FLOAT", kSqlFloat, F::kNumber, Z::kFixed, 15, 8, 15, -1, -1, 10, false,
     22, kSqlDouble, kSizeFloat, 8},
    {kSqlReal, "REAL", "REAL", kSqlReal, F::kNumber, Z::kFixed, 7, 4, 7, -1, -1, 10, false, 13,
     kSqlReal, kSizeReal, 4},
    {kSqlDouble, "DOUBLE", nullptr, kSqlFloat, F::kNumber, Z::kFixed, 15, 8, 15, -1, -1, 10, false,
     22, kSqlDouble, kSizeDouble, 8},
    {kSqlDate, "DATE", "DATE", kSqlDate, F::kDate, Z::kFixed, 10, 6, 10, -1, -1, 0, true, 10,
     kSqlDate, kSizeDate, 6},
    {kSqlTime, "TIME", "TIME", kSqlTime, F::kTime, Z::kFixed, 8, 6, 8, -1, -1, 0, true, 8, kSqlTime,
     kSizeTime, 6},
    {kSqlTimestamp, "TIMESTAMP", "TIMESTAMP", kSqlTimestamp, F::kTimestamp, Z::kFixed, 19, 16, 29,
     0, 9, 0, true, 29, kSqlTimestamp, kSizeTimestamp, 16},
    {kSqlVarChar, "VARCHAR", "VARCHAR", kSqlVarChar, F::kText, Z::kVarying, 255, 255, kFixedMax, -1,
     -1, 0, true, 0, kSqlChar, kSizeNone, 0},
    // The intervals (protocol/IntervalText.h): text of a leading field of up
    // to nine digits, the further fields and six digits of a second.
    {101, "INTERVAL YEAR", nullptr, 101, F::kText, Z::kFixed, 9, 9, 9, -1, -1, 0, false, 10, 101,
     kSizeNone, 0},
    {102, "INTERVAL MONTH", nullptr, 102, F::kText, Z::kFixed, 9, 9, 9, -1, -1, 0, false, 10, 102,
     kSizeNone, 0},
    {103, "INTERVAL DAY", nullptr, 103, F::kText, Z::kFixed, 9, 9, 9, -1, -1, 0, false, 10, 103,
     kSizeNone, 0},
    {104, "INTERVAL HOUR", nullptr, 104, F::kText, Z::kFixed, 9, 9, 9, -1, -1, 0, false, 10, 104,
     kSizeNone, 0},
    {105, "INTERVAL MINUTE", nullptr, 105, F::kText, Z::kFixed, 9, 9, 9, -1, -1, 0, false, 10, 105,
     kSizeNone, 0},
    {106, "INTERVAL SECOND", nullptr, 106, F::kText, Z::kFixed, 16, 16, 16, 6, 6, 0, false, 17, 106,
     kSizeNone, 0},
    {107, "INTERVAL YEAR TO MONTH", nullptr, 107, F::kText, Z::kFixed, 12, 12, 12, -1, -1, 0, false,
     13, 107, kSizeNone, 0},
    {108, "INTERVAL DAY TO HOUR", nullptr, 108, F::kText, Z::kFixed, 12, 12, 12, -1, -1, 0, false,
     13, 108, kSizeNone, 0},
    {109, "INTERVAL DAY TO MINUTE", nullptr, 109, F::kText, Z::kFixed, 15, 15, 15, -1, -1, 0, false,
     16, 109, kSizeNone, 0},
    {110, "INTERVAL DAY TO SECOND", nullptr, 110, F::kText, Z::kFixed, 25, 25, 25, 6, 6, 0, false,
     26, 110, kSizeNone, 0},
    {111, "INTERVAL HOUR TO MINUTE", nullptr, 111, F::kText, Z::kFixed, 12, 12, 12, -1, -1, 0,
     false, 13, 111, kSizeNone, 0},
    {112, "INTERVAL HOUR TO SECOND", nullptr, 112, F::kText, Z::kFixed, 22, 22, 22, 6, 6, 0, false,
     23, 112, kSizeNone, 0},
    {113, "INTERVAL MINUTE TO SECOND", nullptr, 113, F::kText, Z::kFixed, 19, 19, 19, 6, 6, 0,
     false, 20, 113, kSizeNone, 0},
};

constexpr std::size_t kTypeCount = sizeof kTypes / sizeof kTypes[0];

// The codes that travel as others.
struct SentAs {
  int16_t code;
  int16_t sentAs;
};

constexpr SentAs kSentAs[] = {
    {kSqlWChar, kSqlChar},    {kSqlWVarChar, kSqlVarChar}, {kSqlWLongVarChar, kSqlLongVarChar},
    {kSqlTypeDate, kSqlDate}, {kSqlTypeTime, kSqlTime},    {kSqlTypeTimestamp, kSqlTimestamp},
};

// Direct index by code: every described column and SQLGetData looks codes
// up. slot[code - kLow] holds the row's position plus one, 0 for none.
constexpr int kLow = kSqlBit;
constexpr int kHigh = kSqlIntervalMinuteToSecond;

struct CodeIndex {
  uint8_t slot[kHigh - kLow + 1] = {};
};

constexpr CodeIndex MakeIndex() {
  CodeIndex index{};
  for (std::size_t i = 0; i < kTypeCount; ++i)
    index.slot[kTypes[i].code - kLow] = static_cast<uint8_t>(i + 1);
  return index;
}

constexpr CodeIndex kIndex = MakeIndex();

// Each parameter form size position belongs to exactly one row, and the
// login's size list has room for every position.
constexpr bool SizeIndexesCovered() {
  int seen[kTypeSizeCount] = {};
  for (const SqlTypeInfo& t : kTypes)
    if (t.sizeIndex != kSizeNone) ++seen[t.sizeIndex];
  for (int n : seen)
    if (n != 1) return false;
  return true;
}
static_assert(SizeIndexesCovered(), "every type size position has one type");
static_assert(NativeLengthValuesElement::kCount == kTypeSizeCount, "login size list");

constexpr bool OrderedByCode() {
  for (std::size_t i = 1; i < kTypeCount; ++i)
    if (kTypes[i - 1].code >= kTypes[i].code) return false;
  return kTypes[0].code >= kLow && kTypes[kTypeCount - 1].code <= kHigh;
}
static_assert(OrderedByCode(), "the type information lists the rows in code order");

// The forms the rows use are 0 .. kSqlFormCount - 1, each used: a new form
// (and the row that uses it) bumps the count, and with it the tables by
// form.
constexpr bool FormsCounted() {
  bool used[kSqlFormCount] = {};
  for (const SqlTypeInfo& t : kTypes) {
    if (static_cast<int>(t.form) >= kSqlFormCount) return false;
    used[static_cast<int>(t.form)] = true;
  }
  for (bool u : used)
    if (!u) return false;
  return true;
}
static_assert(FormsCounted(), "kSqlFormCount counts the value forms");

}  // namespace

const SqlTypeInfo* FindSqlTypeInfo(int32_t code) {
  if (code < kLow || code > kHigh) return nullptr;
  const int slot = kIndex.slot[code - kLow];
  return slot == 0 ? nullptr : &kTypes[slot - 1];
}

SqlTypeRange AllSqlTypes() { return {kTypes, kTypes + kTypeCount}; }

int32_t SentSqlType(int32_t code) {
  for (const SentAs& row : kSentAs)
    if (row.code == code) return row.sentAs;
  return code;
}

int32_t Odbc3SqlType(int32_t code) {
  for (const SentAs& row : kSentAs)
    if (row.sentAs == code && row.code >= kSqlTypeDate && row.code <= kSqlTypeTimestamp)
      return row.code;
  return code;
}

// The intervals: SQL_INTERVAL (10) with their SQLINTERVAL code, 1 to 13.
constexpr int16_t kSqlIntervalVerbose = 10;
static bool IsIntervalCode(int32_t code) {
  return code >= kSqlIntervalYear && code <= kSqlIntervalMinuteToSecond;
}

int16_t DateTimeSubcode(int32_t code) {
  if (IsIntervalCode(code)) return static_cast<int16_t>(code - kSqlIntervalYear + 1);
  if (code >= kSqlDate && code <= kSqlTimestamp) return static_cast<int16_t>(code - kSqlDate + 1);
  if (code >= kSqlTypeDate && code <= kSqlTypeTimestamp)
    return static_cast<int16_t>(code - kSqlTypeDate + 1);
  return 0;
}

int16_t VerboseSqlType(int32_t code) {
  if (IsIntervalCode(code)) return kSqlIntervalVerbose;
  return DateTimeSubcode(code) != 0 ? kSqlDatetime : static_cast<int16_t>(code);
}

int32_t ConciseSqlType(int32_t held, int32_t subcode) {
  if (IsIntervalCode(held))
    return subcode >= 1 && subcode <= 13 ? kSqlIntervalYear + subcode - 1 : held;
  if (DateTimeSubcode(held) == 0 || subcode < 1 || subcode > 3) return held;
  return kSqlTypeDate + subcode - 1;
}

const char* SqlTypeName(int32_t code) {
  const SqlTypeInfo* t = FindSqlTypeInfo(code);
  return t ? t->name : "";
}

bool IsCaseSensitive(const SqlTypeInfo& type) { return type.form == SqlForm::kText; }

bool IsQuoted(const SqlTypeInfo& type) {
  return type.form != SqlForm::kNumber && type.form != SqlForm::kBinary;
}

uint32_t DisplaySizeOf(const SqlTypeInfo& type, uint64_t length, uint64_t precision) {
  uint64_t n = type.display;
  if (n == 0) {
    // Two hexadecimal characters per byte; sign and point beside the digits.
    if (type.form == SqlForm::kBinary)
      n = 2 * length;
    else if (type.sizing == SqlSizing::kDigits)
      n = precision + 2;
    else
      n = length;
  }
  return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}

void FillTypeSizes(uint16_t (&sizes)[kTypeSizeCount]) {
  for (const SqlTypeInfo& t : kTypes)
    if (t.sizeIndex != kSizeNone) sizes[t.sizeIndex] = t.formSize;
}
