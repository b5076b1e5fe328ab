// BIT, TINYINT, SMALLINT and INTEGER values.
#include <gtest/gtest.h>

#include "convert/IntegerValues.h"
#include "convert_test_util.h"

namespace convert_test {
namespace {

const int kFail = kConversionFailed, kDone = kConversionDone;

Bytes RowOf(int32_t type, int64_t v) {
  switch (type) {
    case SQL_BIT: return LE(static_cast<uint8_t>(v));
    case SQL_TINYINT: return LE(static_cast<int8_t>(v));
    case SQL_SMALLINT: return LE(static_cast<int16_t>(v));
    default: return LE(static_cast<int32_t>(v));
  }
}

struct Case {
  int32_t type;
  int64_t held;
  SQLSMALLINT cType;
  int result;
  int64_t value;
};

const Case kCases[] = {
    // INTEGER: plain ranges, with the two's complement forms of ULONG.
    {SQL_INTEGER, 70000, SQL_C_SSHORT, kFail, 0},
    {SQL_INTEGER, 70000, SQL_C_USHORT, kFail, 0},
    {SQL_INTEGER, 65535, SQL_C_USHORT, kDone, 65535},
    {SQL_INTEGER, 65536, SQL_C_USHORT, kFail, 0},
    {SQL_INTEGER, -1, SQL_C_USHORT, kFail, 0},
    {SQL_INTEGER, -1, SQL_C_ULONG, kDone, 4294967295LL},
    {SQL_INTEGER, -1, SQL_C_UBIGINT, kDone, -1},
    {SQL_INTEGER, 255, SQL_C_UTINYINT, kDone, 255},
    {SQL_INTEGER, 256, SQL_C_UTINYINT, kFail, 0},
    {SQL_INTEGER, -1, SQL_C_UTINYINT, kFail, 0},
    {SQL_INTEGER, 127, SQL_C_TINYINT, kDone, 127},
    {SQL_INTEGER, 128, SQL_C_TINYINT, kFail, 0},
    {SQL_INTEGER, -128, SQL_C_STINYINT, kDone, -128},
    {SQL_INTEGER, -129, SQL_C_STINYINT, kFail, 0},
    {SQL_INTEGER, 32767, SQL_C_SHORT, kDone, 32767},
    {SQL_INTEGER, 32768, SQL_C_SHORT, kFail, 0},
    {SQL_INTEGER, -32768, SQL_C_SSHORT, kDone, -32768},
    {SQL_INTEGER, -32769, SQL_C_SSHORT, kFail, 0},
    {SQL_INTEGER, 2147483647, SQL_C_SLONG, kDone, 2147483647},
    {SQL_INTEGER, -2147483648LL, SQL_C_LONG, kDone, -2147483648LL},
    {SQL_INTEGER, -2147483648LL, SQL_C_SBIGINT, kDone, -2147483648LL},
    {SQL_INTEGER, 0, SQL_C_BIT, kDone, 0},
    {SQL_INTEGER, 1, SQL_C_BIT, kDone, 1},
    {SQL_INTEGER, 2, SQL_C_BIT, kFail, 0},
    {SQL_INTEGER, -1, SQL_C_BIT, kFail, 0},
    // SMALLINT widens to USHORT with its sign; UTINYINT is a range.
    {SQL_SMALLINT, -1, SQL_C_USHORT, kDone, 65535},
    {SQL_SMALLINT, -32768, SQL_C_ULONG, kDone, 4294934528LL},
    {SQL_SMALLINT, -1, SQL_C_UTINYINT, kFail, 0},
    {SQL_SMALLINT, 255, SQL_C_UTINYINT, kDone, 255},
    {SQL_SMALLINT, 256, SQL_C_UTINYINT, kFail, 0},
    {SQL_SMALLINT, 32767, SQL_C_SHORT, kDone, 32767},
    {SQL_SMALLINT, -32768, SQL_C_SLONG, kDone, -32768},
    {SQL_SMALLINT, 128, SQL_C_TINYINT, kFail, 0},
    // TINYINT writes its byte to UTINYINT and widens to USHORT.
    {SQL_TINYINT, -1, SQL_C_UTINYINT, kDone, 255},
    {SQL_TINYINT, -1, SQL_C_USHORT, kDone, 65535},
    {SQL_TINYINT, -1, SQL_C_ULONG, kDone, 4294967295LL},
    {SQL_TINYINT, -128, SQL_C_TINYINT, kDone, -128},
    {SQL_TINYINT, 127, SQL_C_STINYINT, kDone, 127},
    {SQL_TINYINT, -128, SQL_C_SBIGINT, kDone, -128},
    {SQL_TINYINT, 1, SQL_C_BIT, kDone, 1},
    {SQL_TINYINT, -1, SQL_C_BIT, kFail, 0},
    // BIT writes its byte as it is.
    {SQL_BIT, 2, SQL_C_BIT, kDone, 2},
    {SQL_BIT, 1, SQL_C_BIT, kDone, 1},
    {SQL_BIT, 200, SQL_C_TINYINT, kFail, 0},
    {SQL_BIT, 200, SQL_C_UTINYINT, kDone, 200},
    {SQL_BIT, 255, SQL_C_USHORT, kDone, 255},
    {SQL_BIT, 1, SQL_C_SLONG, kDone, 1},
    {SQL_BIT, 1, SQL_C_UBIGINT, kDone, 1},
};

TEST(IntegerValueTest, IntegerTargets) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.type) + ": " + std::to_string(c.held) + " as " +
                 std::to_string(c.cType));
    ValuePtr v = Loaded(c.type, RowOf(c.type, c.held), 4);
    ASSERT_TRUE(v);
    ExpectInteger(Convert(v.get(), c.cType), c.cType, c.result, c.value);
  }
}

TEST(IntegerValueTest, FloatingTargetsConvert) {
  ValuePtr v = Loaded(SQL_INTEGER, LE<int32_t>(-123));
  EXPECT_EQ(-123.0f, Convert(v.get(), SQL_C_FLOAT).As<float>());
  EXPECT_EQ(kDone, Convert(v.get(), SQL_C_FLOAT).result);
  EXPECT_EQ(-123.0, Convert(v.get(), SQL_C_DOUBLE).As<double>());
  ValuePtr big = Loaded(SQL_INTEGER, LE<int32_t>(2147483647));
  EXPECT_EQ(2147483647.0, Convert(big.get(), SQL_C_DOUBLE).As<double>());
}

struct TextCase {
  int32_t type;
  int64_t held;
  SQLLEN cbValueMax;
  int result;
  const char* text;
};

TEST(IntegerValueTest, CharIsWholeOrNothing) {
  const TextCase cases[] = {
      {SQL_INTEGER, 123, 3, kFail, "123"},
      {SQL_INTEGER, 123, 4, kDone, "123"},
      {SQL_INTEGER, 123, 5, kDone, "123"},
      {SQL_INTEGER, 123, 0, kFail, "123"},
      {SQL_INTEGER, 123, 1, kFail, "123"},
      {SQL_INTEGER, -2147483648LL, 12, kDone, "-2147483648"},
      {SQL_INTEGER, -2147483648LL, 11, kFail, "-2147483648"},
      {SQL_SMALLINT, -32768, 7, kDone, "-32768"},
      {SQL_TINYINT, -128, 5, kDone, "-128"},
      {SQL_TINYINT, 0, 2, kDone, "0"},
      {SQL_BIT, 2, 2, kDone, "1"},
      {SQL_BIT, 0, 2, kDone, "0"},
      {SQL_BIT, 1, 1, kFail, "1"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.cbValueMax));
    ValuePtr v = Loaded(c.type, RowOf(c.type, c.held), 4);
    Conversion out = Convert(v.get(), SQL_C_CHAR, c.cbValueMax);
    EXPECT_EQ(static_cast<SQLLEN>(std::strlen(c.text)), out.pcb);
    ExpectText(out, c.result, c.text);
  }
}

struct BinaryCase {
  int32_t type;
  uint32_t declared;
  SQLLEN cbValueMax;
  int result;
  SQLLEN size;
};

// The length reported is the bytes the value has, whatever the column's
// declared length.
TEST(IntegerValueTest, BinaryWritesTheValuesOwnBytes) {
  const BinaryCase cases[] = {
      {SQL_INTEGER, 10, 3, kFail, 4}, {SQL_INTEGER, 10, 4, kDone, 4},
      {SQL_INTEGER, 10, 5, kDone, 4}, {SQL_SMALLINT, 5, 1, kFail, 2},
      {SQL_SMALLINT, 5, 2, kDone, 2}, {SQL_TINYINT, 3, 0, kFail, 1},
      {SQL_TINYINT, 3, 1, kDone, 1},  {SQL_BIT, 1, 0, kFail, 1},
      {SQL_BIT, 1, 1, kDone, 1},
  };
  for (const BinaryCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " in " + std::to_string(c.cbValueMax));
    Bytes row = RowOf(c.type, c.type == SQL_BIT ? 1 : -2);
    ValuePtr v = Loaded(c.type, row, c.declared);
    Conversion out = Convert(v.get(), SQL_C_BINARY, c.cbValueMax);
    EXPECT_EQ(c.size, out.pcb);
    ExpectBytes(out, c.result, row);
  }
}

TEST(IntegerValueTest, LoadTakesTheKindsBytesAndRefusesFewer) {
  struct LoadCase {
    int32_t type;
    Bytes row;
    int result;
    int64_t value;
  };
  const LoadCase cases[] = {
      {SQL_BIT, {}, kLoadMalformed, 0},
      {SQL_BIT, {0xff}, kLoadDone, 255},
      {SQL_TINYINT, {0x80}, kLoadDone, -128},
      {SQL_TINYINT, {0x7f, 0x99}, kLoadDone, 127},
      {SQL_SMALLINT, {0x00}, kLoadMalformed, 0},
      {SQL_SMALLINT, {0x00, 0x80}, kLoadDone, -32768},
      {SQL_INTEGER, {1, 2, 3}, kLoadMalformed, 0},
      {SQL_INTEGER, {0xff, 0xff, 0xff, 0x7f}, kLoadDone, 2147483647},
      {SQL_INTEGER, {0x00, 0x00, 0x00, 0x80}, kLoadDone, -2147483648LL},
  };
  for (const LoadCase& c : cases) {
    ValuePtr v = Loaded(c.type, RowOf(c.type, 77));
    ASSERT_TRUE(v);
    EXPECT_EQ(c.result, LoadBytes(v.get(), c.row));
    EXPECT_EQ(c.value, static_cast<IntegerFamilyValue*>(v.get())->Value());
  }
}

}  // namespace
}  // namespace convert_test
