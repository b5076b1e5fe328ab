// Creation, display sizes, the dispatch by C type and the conversion
// matrix: every unsupported pair answers 0 and writes nothing.
#include <gtest/gtest.h>

#include "convert_test_util.h"
#include "base/Alloc.h"
#include "protocol/FetchData.h"

namespace convert_test {
namespace {

struct TypeRow {
  int32_t sqlType;
  uint32_t length;
  Bytes row;          // a loadable value
  const char* ops;    // CHAR BIT TINY SHORT LONG FLOAT DOUBLE BINARY DATE TIME TS USHORT ULONG UTINY SBIG UBIG
  SQLSMALLINT defaultCType;
  uint32_t displaySize;  // with precision 10
};

const SQLSMALLINT kMatrixCTypes[16] = {
    SQL_C_CHAR, SQL_C_BIT,  SQL_C_STINYINT, SQL_C_SSHORT, SQL_C_SLONG,  SQL_C_FLOAT,
    SQL_C_DOUBLE, SQL_C_BINARY, SQL_C_DATE, SQL_C_TIME,   SQL_C_TIMESTAMP, SQL_C_USHORT,
    SQL_C_ULONG, SQL_C_UTINYINT, SQL_C_SBIGINT, SQL_C_UBIGINT,
};

std::vector<TypeRow> Rows() {
  return {
      {SQL_CHAR, 12, TextBytes("1"), "YYYYYYYYYYYYYYYY", SQL_C_CHAR, 12},
      {SQL_VARCHAR, 12, TextBytes("1"), "YYYYYYYYYYYYYYYY", SQL_C_CHAR, 12},
      {SQL_LONGVARCHAR, 12, TextBytes("1"), "YYYYYYYYYYYYYYYY", SQL_C_CHAR, 12},
      {SQL_BINARY, 1, Bytes{1}, "Y------Y--------", SQL_C_BINARY, 2},
      {SQL_VARBINARY, 12, Bytes{1, 1}, "Y------Y--------", SQL_C_BINARY, 24},
      {SQL_LONGVARBINARY, 12, Bytes{1, 0, 0, 0, 1}, "Y------Y--------", SQL_C_BINARY, 24},
      {SQL_BIT, 1, Bytes{1}, "YYYYYYYY---YYYYY", SQL_C_BIT, 1},
      {SQL_TINYINT, 1, Bytes{1}, "YYYYYYYY---YYYYY", SQL_C_TINYINT, 4},
      {SQL_SMALLINT, 2, LE<int16_t>(1), "YYYYYYYY---YYYYY", SQL_C_SHORT, 6},
      {SQL_INTEGER, 4, LE<int32_t>(1), "YYYYYYYY---YYYYY", SQL_C_LONG, 11},
      {SQL_BIGINT, 8, BigIntBytes(1), "YYYYYYYY---YYYYY", SQL_C_CHAR, 20},
      {SQL_REAL, 4, LE(1.0f), "YYYYYYYY---YYYYY", SQL_C_FLOAT, 13},
      {SQL_FLOAT, 8, LE(1.0), "YYYYYYYY---YYYYY", SQL_C_DOUBLE, 22},
      {SQL_NUMERIC, 12, NumericBytes(false, 0, "1"), "YYYYYYYY---YYYYY", SQL_C_CHAR, 12},
      {SQL_DATE, 6, DateBytes(1996, 1, 1), "Y------YY-Y-----", SQL_C_DATE, 10},
      {SQL_TIME, 6, TimeBytes(1, 1, 1), "Y------Y-YY-----", SQL_C_TIME, 8},
      {SQL_TIMESTAMP, 16, TimestampBytes(1996, 1, 1, 0, 0, 0, 0), "Y------YYYY-----",
       SQL_C_TIMESTAMP, 29},
  };
}

TEST(ConversionMatrixTest, UnsupportedPairsAnswerZeroAndWriteNothing) {
  for (const TypeRow& r : Rows()) {
    SCOPED_TRACE(r.sqlType);
    ValuePtr v = Loaded(r.sqlType, r.row, r.length, 10);
    ASSERT_TRUE(v);
    for (int i = 0; i < 16; ++i) {
      SQLSMALLINT c = kMatrixCTypes[i];
      SCOPED_TRACE(c);
      bool supported = r.ops[i] == 'Y';
      EXPECT_EQ(supported, IsConversionSupported(r.sqlType, c));
      Conversion out = Convert(v.get(), c, 64);
      EXPECT_TRUE(out.guardsIntact);
      if (supported) {
        EXPECT_NE(kConversionFailed, out.result);
      } else {
        EXPECT_EQ(kConversionFailed, out.result);
        EXPECT_TRUE(out.untouched);
        EXPECT_EQ(SQL_NO_TOTAL, out.pcb);
      }
    }
  }
}

TEST(ConversionMatrixTest, DefaultCTypeAndDisplaySize) {
  for (const TypeRow& r : Rows()) {
    SCOPED_TRACE(r.sqlType);
    EXPECT_EQ(r.defaultCType, DefaultCType(r.sqlType));
    EXPECT_TRUE(IsConversionSupported(r.sqlType, SQL_C_DEFAULT));
    ValuePtr v = Loaded(r.sqlType, r.row, r.length, 10);
    EXPECT_EQ(r.displaySize, v->DisplaySize());
    Conversion viaDefault = Convert(v.get(), SQL_C_DEFAULT, 64);
    Conversion direct = Convert(v.get(), r.defaultCType, 64);
    EXPECT_EQ(direct.result, viaDefault.result);
    EXPECT_EQ(direct.pcb, viaDefault.pcb);
    // The default's buffer is 64 bytes; the direct one may be the C type's size.
    ASSERT_LE(direct.buffer.size(), viaDefault.buffer.size());
    EXPECT_EQ(direct.buffer,
              Bytes(viaDefault.buffer.begin(), viaDefault.buffer.begin() + direct.buffer.size()));
    EXPECT_TRUE(viaDefault.guardsIntact);
  }
  EXPECT_EQ(SQL_C_DOUBLE, DefaultCType(SQL_DOUBLE));
  EXPECT_EQ(SQL_C_CHAR, DefaultCType(SQL_DECIMAL));
  EXPECT_EQ(SQL_C_DEFAULT, DefaultCType(1234));
}

TEST(ConversionMatrixTest, DisplaySizeOfHugeDeclaredLengthsDoesNotWrap) {
  EXPECT_EQ(UINT32_MAX, Make(SQL_VARBINARY, 0x80000000u)->DisplaySize());
  EXPECT_EQ(UINT32_MAX, Make(SQL_NUMERIC, 8, UINT32_MAX)->DisplaySize());
}

TEST(ConvertColumnValueTest, UnknownCTypesHaveTheirOwnAnswer) {
  ValuePtr v = Loaded(SQL_VARCHAR, TextBytes("1"));
  for (SQLSMALLINT c : {SQLSMALLINT(SQL_C_WCHAR), SQLSMALLINT(SQL_C_NUMERIC),
                        SQLSMALLINT(SQL_C_GUID), SQLSMALLINT(0), SQLSMALLINT(12345)}) {
    SCOPED_TRACE(c);
    Conversion out = Convert(v.get(), c, 64);
    EXPECT_EQ(kConversionUnknownCType, out.result);
    EXPECT_TRUE(out.untouched);
    EXPECT_EQ(SQL_NO_TOTAL, out.pcb);
    EXPECT_FALSE(IsConversionSupported(SQL_VARCHAR, c));
    EXPECT_FALSE(IsKnownCType(c));
  }
  for (SQLSMALLINT c : kAllCTypes) EXPECT_TRUE(IsKnownCType(c));
}

TEST(ConvertColumnValueTest, OdbcThreeCTypesAreServed) {
  ValuePtr ts = Loaded(SQL_TIMESTAMP, TimestampBytes(1996, 5, 1, 10, 20, 30, 0));
  EXPECT_EQ(kConversionTruncated, Convert(ts.get(), SQL_C_TYPE_DATE).result);
  EXPECT_EQ(kConversionDone, Convert(ts.get(), SQL_C_TYPE_TIME).result);
  Conversion out = Convert(ts.get(), SQL_C_TYPE_TIMESTAMP);
  EXPECT_EQ(kConversionDone, out.result);
  EXPECT_EQ(16, out.pcb);
  ValuePtr big = Loaded(SQL_BIGINT, BigIntBytes(-5));
  EXPECT_EQ(-5, Convert(big.get(), SQL_C_SBIGINT).As<int64_t>());
}

TEST(ConvertColumnValueTest, NullBuffersAndLengths) {
  ValuePtr text = Loaded(SQL_VARCHAR, TextBytes("hello"));
  SQLLEN pcb = SQL_NO_TOTAL;
  EXPECT_EQ(kConversionTruncated, ConvertColumnValue(text.get(), SQL_C_CHAR, nullptr, 100, &pcb));
  EXPECT_EQ(5, pcb);
  pcb = SQL_NO_TOTAL;
  EXPECT_EQ(kConversionTruncated,
            ConvertColumnValue(text.get(), SQL_C_BINARY, nullptr, 100, &pcb));
  EXPECT_EQ(5, pcb);
  pcb = SQL_NO_TOTAL;
  ValuePtr num = Loaded(SQL_VARCHAR, TextBytes("5"));
  EXPECT_EQ(kConversionFailed, ConvertColumnValue(num.get(), SQL_C_SLONG, nullptr, 0, &pcb));
  EXPECT_EQ(SQL_NO_TOTAL, pcb);
  char buffer[8];
  EXPECT_EQ(kConversionDone, ConvertColumnValue(text.get(), SQL_C_CHAR, buffer, 8, nullptr));
  EXPECT_STREQ("hello", buffer);
  int32_t n = 0;
  EXPECT_EQ(kConversionDone, ConvertColumnValue(num.get(), SQL_C_SLONG, &n, 0, nullptr));
  EXPECT_EQ(5, n);
}

TEST(CreateColumnValueTest, TypesWithoutClassGiveNothing) {
  for (int32_t type : {SQL_DECIMAL, SQL_DOUBLE, 0, 13, 99, -8}) {
    EXPECT_FALSE(Make(type));
    EXPECT_FALSE(HasColumnValueClass(type));
  }
  EXPECT_EQ(nullptr, CreateColumnValue(nullptr));
}

TEST(CreateColumnValueTest, CopiesTheDescriptionAndSetsFixedLengths) {
  for (const TypeRow& r : Rows()) {
    SCOPED_TRACE(r.sqlType);
    ColumnDescription d;
    d.sqlDataType = r.sqlType;
    d.length = 33;
    d.precision = 7;
    ASSERT_EQ(1, d.columnName.SetString("price"));
    ValuePtr v(CreateColumnValue(&d));
    ASSERT_TRUE(v);
    EXPECT_TRUE(HasColumnValueClass(r.sqlType));
    EXPECT_EQ(r.sqlType, v->SqlType());
    ASSERT_NE(&d, v->description);
    EXPECT_STREQ("price", v->description->columnName.Text());
    EXPECT_EQ(7u, v->description->precision);
    bool variable = r.sqlType == SQL_VARCHAR || r.sqlType == SQL_LONGVARCHAR ||
                    r.sqlType == SQL_VARBINARY || r.sqlType == SQL_LONGVARBINARY;
    EXPECT_EQ(variable ? 0u : 33u, v->length);
    EXPECT_EQ(nullptr, v->binding);
    EXPECT_EQ(nullptr, v->data);
    EXPECT_EQ(0, v->flags);
  }
}

// The row element kept for a later SQLGetData is the value's own: it is
// loaded from where it lies and deleted with the value (the leak check of
// the sanitizer build proves the latter).
TEST(CreateColumnValueTest, OwnsItsRowElement) {
  ValuePtr v = Make(SQL_VARCHAR, 20);
  v->data = new (std::nothrow) FetchDataElement;
  ASSERT_NE(nullptr, v->data);
  ASSERT_TRUE(v->data->Set(1, "held", 5, false));
  ASSERT_EQ(kLoadDone, v->Load(v->data->Data(), v->data->Length()));
  EXPECT_EQ("held", Convert(v.get(), SQL_C_CHAR).Text());
}

// Fail the 1st, 2nd, ... allocation: creation either succeeds or gives
// nothing, and leaks nothing.
TEST(CreateColumnValueTest, AllocationFailureSweep) {
  ColumnDescription d;
  d.sqlDataType = SQL_CHAR;
  d.length = 8;
  ASSERT_EQ(1, d.columnName.SetString("name"));
  ASSERT_EQ(1, d.tableName.SetString("table"));
  bool succeeded = false;
  for (long n = 0; n < 20 && !succeeded; ++n) {
    SetAllocFailAfter(n);
    ColumnValue* v = CreateColumnValue(&d);
    ResetAllocFailure();
    if (v) {
      succeeded = true;
      EXPECT_EQ(kLoadDone, v->Load(reinterpret_cast<const uint8_t*>("ab"), 3));
    }
    delete v;
  }
  EXPECT_TRUE(succeeded);
}

}  // namespace
}  // namespace convert_test
