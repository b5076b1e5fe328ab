// The SQL type table's consequences: which class a column gets and with
// which length, what SQL_C_DEFAULT means, which pairs SQLGetData refuses
// and that a refused pair's class writes nothing.
#include "base/Alloc.h"
#include "convert_test_util.h"

namespace convert_test {
namespace {

struct TypeCase {
  int32_t sqlType;
  bool fixedLength;
  uint32_t displaySize;  // declared length 12, precision 10
};

TEST(SqlTypeTableTest, CreationCopiesTheDescriptionAndSetsFixedLengths) {
  const TypeCase cases[] = {
      {SQL_CHAR, true, 12},   {SQL_VARCHAR, false, 12},  {SQL_LONGVARCHAR, false, 12},
      {SQL_BINARY, true, 24}, {SQL_VARBINARY, false, 24}, {SQL_LONGVARBINARY, false, 24},
      {SQL_BIT, true, 1},     {SQL_TINYINT, true, 4},     {SQL_SMALLINT, true, 6},
      {SQL_INTEGER, true, 11}, {SQL_BIGINT, true, 20},    {SQL_REAL, true, 13},
      {SQL_FLOAT, true, 22},  {SQL_NUMERIC, true, 12},    {SQL_DATE, true, 10},
      {SQL_TIME, true, 8},    {SQL_TIMESTAMP, true, 29},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.sqlType);
    ColumnDescription d;
    d.sqlDataType = c.sqlType;
    d.length = 12;
    d.precision = 10;
    ASSERT_EQ(1, d.columnName.SetString("price"));
    ValuePtr v(CreateColumnValue(&d));
    ASSERT_TRUE(v);
    EXPECT_EQ(c.sqlType, v->SqlType());
    ASSERT_NE(&d, v->description);
    EXPECT_STREQ("price", v->description->columnName.Text());
    EXPECT_EQ(c.fixedLength ? 12u : 0u, v->length);
    EXPECT_EQ(c.displaySize, v->DisplaySize());
    EXPECT_TRUE(v->binding == nullptr && v->data == nullptr && v->flags == 0);
  }
  for (int32_t type : {SQL_DECIMAL, SQL_DOUBLE, 0, 13, 99, -8}) EXPECT_FALSE(Make(type)) << type;
  EXPECT_EQ(nullptr, CreateColumnValue(nullptr));
  // Huge declared lengths do not wrap the display size.
  EXPECT_EQ(UINT32_MAX, Make(SQL_VARBINARY, 0x80000000u)->DisplaySize());
  EXPECT_EQ(UINT32_MAX, Make(SQL_NUMERIC, 8, UINT32_MAX)->DisplaySize());
}

// Failing the 1st, 2nd, ... allocation: creation succeeds or gives nothing.
TEST(SqlTypeTableTest, CreationUnderAllocationFailure) {
  ColumnDescription d;
  d.sqlDataType = SQL_CHAR;
  d.length = 8;
  ASSERT_EQ(1, d.tableName.SetString("table"));
  bool succeeded = false;
  for (long n = 0; n < 20 && !succeeded; ++n) {
    SetAllocFailAfter(n);
    ValuePtr v(CreateColumnValue(&d));
    ResetAllocFailure();
    succeeded = v != nullptr;
    if (v) {
      EXPECT_EQ(kLoadDone, v->Load(reinterpret_cast<const uint8_t*>("ab"), 3));
    }
  }
  EXPECT_TRUE(succeeded);
}

struct PairCase {
  int32_t sqlType;
  SQLSMALLINT cType;
  bool refused;  // by SQLGetData ("22005")
  int result;    // of the class (a refused pair fails and writes nothing)
};

TEST(SqlTypeTableTest, RefusedPairsAndTheirClasses) {
  const PairCase cases[] = {
      {SQL_INTEGER, SQL_C_DATE, true, kFail},       {SQL_INTEGER, SQL_C_TYPE_TIMESTAMP, true, kFail},
      {SQL_NUMERIC, SQL_C_TIME, true, kFail},       {SQL_INTEGER, SQL_C_SBIGINT, false, kDone},
      {SQL_VARBINARY, SQL_C_SLONG, true, kFail},    {SQL_BINARY, SQL_C_DATE, true, kFail},
      {SQL_VARBINARY, SQL_C_DEFAULT, false, kDone}, {SQL_VARCHAR, SQL_C_TIMESTAMP, false, kDone},
      {SQL_DATE, SQL_C_TIME, true, kFail},          {SQL_DATE, SQL_C_DOUBLE, true, kFail},
      {SQL_DATE, SQL_C_TYPE_TIMESTAMP, false, kDone}, {SQL_TIME, SQL_C_DATE, true, kFail},
      {SQL_TIMESTAMP, SQL_C_TYPE_TIME, false, kDone}, {SQL_TIMESTAMP, SQL_C_UTINYINT, true, kFail},
  };
  for (const PairCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.sqlType) + " as " + std::to_string(c.cType));
    EXPECT_EQ(c.refused, RefusesConversion(c.sqlType, c.cType));
    ValuePtr v = Make(c.sqlType, 16);
    ASSERT_TRUE(v);
    Conversion out = Convert(v.get(), c.cType, 64);
    EXPECT_EQ(c.result, out.result);
    if (c.result == kFail) {
      EXPECT_EQ(Bytes(out.buffer.size(), kGuardByte), out.buffer);
    }
  }
  // A C type without any conversion: refused by the types that name their
  // C types, left to the transfer's S1003 by the others.
  for (SQLSMALLINT c : {SQLSMALLINT(SQL_C_GUID), SQLSMALLINT(SQL_C_WCHAR), SQLSMALLINT(0)}) {
    EXPECT_FALSE(HasConversion(SQL_VARCHAR, c));
    EXPECT_FALSE(RefusesConversion(SQL_VARCHAR, c));
    EXPECT_FALSE(RefusesConversion(SQL_INTEGER, c));
    EXPECT_TRUE(RefusesConversion(SQL_VARBINARY, c));
    EXPECT_TRUE(RefusesConversion(SQL_TIMESTAMP, c));
    Conversion out = Convert(Loaded(SQL_VARCHAR, TextBytes("1")).get(), c, 64);
    EXPECT_EQ(kConversionUnknownCType, out.result);
    EXPECT_EQ(SQL_NO_TOTAL, out.pcb);
  }
  EXPECT_TRUE(HasConversion(SQL_BIGINT, SQL_C_DEFAULT));
  EXPECT_FALSE(HasConversion(SQL_DOUBLE + 1000, SQL_C_DEFAULT));
}

// SQL_C_DEFAULT converts as the row's default C type.
TEST(SqlTypeTableTest, DefaultCTypeOfRepresentativeTypes) {
  Check(Loaded(SQL_BIGINT, BigIntBytes(-5)).get(), SQL_C_DEFAULT, 8, kDone, TextBytes("-5"), 2);
  Check(Loaded(SQL_INTEGER, LE<int32_t>(-5)).get(), SQL_C_DEFAULT, 4, kDone, LE<int32_t>(-5), 4);
  Check(Loaded(SQL_SMALLINT, LE<int16_t>(7)).get(), SQL_C_DEFAULT, 2, kDone, LE<int16_t>(7), 2);
  Check(Loaded(SQL_DATE, Fields({1996, 5, 1})).get(), SQL_C_DEFAULT, 6, kDone, Fields({1996, 5, 1}), 6);
  Check(Loaded(SQL_VARBINARY, {2, 8, 9}).get(), SQL_C_DEFAULT, 4, kDone, {8, 9}, 2);
  Check(Loaded(SQL_REAL, LE(1.5f)).get(), SQL_C_DEFAULT, 4, kDone, LE(1.5f), 4);
}

// A null buffer gets the length only; fixed-size targets refuse it.
TEST(SqlTypeTableTest, NullBuffersAndLengths) {
  ValuePtr text = Loaded(SQL_VARCHAR, TextBytes("hello")), num = Loaded(SQL_VARCHAR, TextBytes("5"));
  SQLLEN pcb = SQL_NO_TOTAL;
  EXPECT_EQ(kCut, ConvertColumnValue(text.get(), SQL_C_CHAR, nullptr, 100, &pcb));
  EXPECT_EQ(5, pcb);
  pcb = SQL_NO_TOTAL;
  EXPECT_EQ(kCut, ConvertColumnValue(text.get(), SQL_C_BINARY, nullptr, 100, &pcb));
  EXPECT_EQ(5, pcb);
  pcb = SQL_NO_TOTAL;
  EXPECT_EQ(kFail, ConvertColumnValue(num.get(), SQL_C_SLONG, nullptr, 0, &pcb));
  EXPECT_EQ(SQL_NO_TOTAL, pcb);
  int32_t n = 0;
  EXPECT_EQ(kDone, ConvertColumnValue(num.get(), SQL_C_SLONG, &n, 0, nullptr));
  EXPECT_EQ(5, n);
}

}  // namespace
}  // namespace convert_test
