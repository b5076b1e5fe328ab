// The table of SQL types and their value classes.
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

struct ClassEntry {
  int32_t sqlType;
  ColumnValue* (*make)();
  bool fixedLength;  // `length` is the declared length, set at creation
};

const ClassEntry kClasses[] = {
    {SQL_CHAR, Make<CharValue>, true},
    {SQL_VARCHAR, Make<VarCharValue>, false},
    {SQL_LONGVARCHAR, Make<LongVarCharValue>, false},
    {SQL_BINARY, Make<BinaryValue>, true},
    {SQL_VARBINARY, Make<VarBinaryValue>, false},
    {SQL_LONGVARBINARY, Make<LongVarBinaryValue>, false},
    {SQL_BIT, Make<BitValue>, true},
    {SQL_TINYINT, Make<TinyIntValue>, true},
    {SQL_SMALLINT, Make<SmallIntValue>, true},
    {SQL_INTEGER, Make<IntegerValue>, true},
    {SQL_BIGINT, Make<BigIntValue>, true},
    {SQL_REAL, Make<RealValue>, true},
    {SQL_FLOAT, Make<FloatValue>, true},
    {SQL_NUMERIC, Make<NumericValue>, true},
    {SQL_DATE, Make<DateValue>, true},
    {SQL_TIME, Make<TimeValue>, true},
    {SQL_TIMESTAMP, Make<TimestampValue>, true},
};

const ClassEntry* FindClass(int32_t sqlType) {
  for (const ClassEntry& entry : kClasses)
    if (entry.sqlType == sqlType) return &entry;
  return nullptr;
}

}  // namespace

bool HasColumnValueClass(int32_t sqlType) { return FindClass(sqlType) != nullptr; }

ColumnValue* CreateColumnValue(const ColumnDescription* description) {
  if (!description) return nullptr;
  const ClassEntry* entry = FindClass(description->sqlDataType);
  if (!entry) return nullptr;
  ColumnValue* value = entry->make();
  if (!value) return nullptr;
  value->description = new (std::nothrow) ColumnDescription;
  if (!value->description || !value->description->CopyFrom(*description)) {
    delete value;
    return nullptr;
  }
  if (entry->fixedLength) value->length = description->length;
  return value;
}
