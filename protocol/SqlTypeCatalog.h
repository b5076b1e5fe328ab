// The one catalogue of SQL types, read by the driver and the server alike:
// each type's code and names, the form its values take, its sizes,
// precision, scale and radix, display size, the C type SQL_C_DEFAULT stands
// for, and where its parameter form's size sits in the list sent at login.
#ifndef VELORA_PROTOCOL_SQLTYPECATALOG_H
#define VELORA_PROTOCOL_SQLTYPECATALOG_H

#include <cstddef>
#include <cstdint>

// The SQL type codes of the interface.
enum SqlTypeCode : int16_t {
  kSqlWLongVarChar = -10,
  kSqlWVarChar = -9,
  kSqlWChar = -8,
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
  kSqlTypeDate = 91,
  kSqlTypeTime = 92,
  kSqlTypeTimestamp = 93,
  kSqlIntervalYear = 101,  // .. 113: the intervals (protocol/IntervalText.h)
  kSqlIntervalMinuteToSecond = 113,
};

// Longest value of the long types, SQLite's default length limit.
constexpr uint32_t kSqlLongLength = 1000000000;
// Longest CHAR, VARCHAR and BINARY column; longer declarations are long.
constexpr uint32_t kSqlMaxFixedLength = 65535;
// Digits the NUMERIC forms hold.
constexpr uint32_t kSqlNumericDigits = 16;

// The form a value of the type takes.
enum class SqlForm : uint8_t { kText, kBinary, kNumber, kDate, kTime, kTimestamp };
// How many forms there are (the catalogue checks it); tables by form are
// bounded by it.
constexpr int kSqlFormCount = 6;

// How a described column's precision and length follow from its type.
enum class SqlSizing : uint8_t {
  kFixed,    // the catalogued precision and length
  kPadded,   // the declared length (else the catalogued one); values padded to it
  kVarying,  // up to the declared length (else the catalogued one)
  kLong,     // up to kSqlLongLength
  kDigits,   // the declared digits (at most maxPrecision) and scale; length two more
};

// Positions in TypeSizes::size, in the order the server sends them.
enum TypeSizeIndex : int8_t {
  kSizeNone = -1,
  kSizeBigint,
  kSizeBit,
  kSizeDate,
  kSizeDecimal,
  kSizeDouble,
  kSizeFloat,
  kSizeInteger,
  kSizeNumeric,
  kSizeReal,
  kSizeSmallint,
  kSizeTime,
  kSizeTimestamp,
  kSizeTinyint,
  kTypeSizeCount
};

struct SqlTypeInfo {
  int16_t code;
  const char* name;        // as columns are described ("LONGVARCHAR")
  const char* listedName;  // as the type information lists it ("TEXT"); null: not listed
  int16_t describedAs;     // the code columns of the type are described with
  SqlForm form;
  SqlSizing sizing;
  uint32_t precision;     // the type's precision (the default of sized types)
  uint32_t length;        // bytes of a value as described (kFixed)
  uint32_t maxPrecision;  // the largest precision; longer declarations are long types
  int8_t minScale;        // -1: no scale
  int8_t maxScale;
  uint8_t radix;     // 10 for numbers, 0 for the others
  bool isUnsigned;   // SQL_COLUMN_UNSIGNED: BIT and the types without a sign
  uint16_t display;  // display size, 0 where the length decides it
  // The C type SQL_C_DEFAULT stands for, by code: the interface defines
  // these C type codes as SQL type codes (SQL_C_LONG is SQL_INTEGER).
  int16_t defaultCType;
  TypeSizeIndex sizeIndex;  // position of the parameter form's size, or kSizeNone
  uint16_t formSize;        // bytes of the fixed parameter form (sent at login)
};

// The row of an ODBC 2 code, or null (the codes that travel as others
// included).
const SqlTypeInfo* FindSqlTypeInfo(int32_t code);

// Every row, ordered by code.
struct SqlTypeRange {
  const SqlTypeInfo* first;
  const SqlTypeInfo* last;
  const SqlTypeInfo* begin() const { return first; }
  const SqlTypeInfo* end() const { return last; }
};
SqlTypeRange AllSqlTypes();

// The code a parameter of code travels under (wide texts as narrow ones,
// the ODBC 3 date and time codes as the ODBC 2 ones), or code itself.
int32_t SentSqlType(int32_t code);
// The ODBC 3 code of a date, time or timestamp code (SQL_TYPE_DATE for
// SQL_DATE, ...), or code itself.
int32_t Odbc3SqlType(int32_t code);

// The most bytes a value of a column of form and length takes: texts
// travel in UTF-8, up to four bytes a character (a long text's length is
// already the largest there is); other values take their length.
constexpr uint32_t OctetLength(SqlForm form, uint32_t length) {
  return form == SqlForm::kText && length < kSqlLongLength ? 4 * length : length;
}

// ODBC 3 names a type twice: its verbose type (SQL_DESC_TYPE, the
// SQL_DATA_TYPE column) with a date and time subcode
// (SQL_DESC_DATETIME_INTERVAL_CODE, SQL_DATETIME_SUB), and its concise
// type. The date and time types, by either version's code (the C date and
// time types share these codes), are SQL_DATETIME with subcode 1 (date),
// 2 (time) or 3 (timestamp); any other type is its own verbose type, with
// subcode 0. The intervals (101 to 113) are SQL_INTERVAL (10) with their
// SQLINTERVAL code, 1 to 13.
constexpr int16_t kSqlDatetime = 9;
int16_t VerboseSqlType(int32_t code);
int16_t DateTimeSubcode(int32_t code);
// The concise type a record of type held takes when subcode is set: the
// ODBC 3 date or time code of subcode 1 to 3 for a date or time type;
// held itself otherwise.
int32_t ConciseSqlType(int32_t held, int32_t subcode);

// "VARCHAR", "NUMERIC", ... for a code; "" when unknown.
const char* SqlTypeName(int32_t code);

// Texts compare with case; texts and dates are quoted as literals.
bool IsCaseSensitive(const SqlTypeInfo& type);
bool IsQuoted(const SqlTypeInfo& type);

// The display size of a column of type with the given declared length and
// precision, capped at UINT32_MAX.
uint32_t DisplaySizeOf(const SqlTypeInfo& type, uint64_t length, uint64_t precision);

// The size of each fixed parameter form, by TypeSizeIndex.
void FillTypeSizes(uint16_t (&sizes)[kTypeSizeCount]);

#endif
