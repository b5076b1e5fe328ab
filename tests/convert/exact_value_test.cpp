// BIGINT and NUMERIC values: exact integers and decimal digits.
#include <gtest/gtest.h>

#include "convert/BigIntValue.h"
#include "convert/FloatingValues.h"
#include "convert_test_util.h"

namespace convert_test {
namespace {

const int kFail = kConversionFailed, kDone = kConversionDone, kCut = kConversionTruncated;

void CheckInt(const ColumnValue* v, SQLSMALLINT cType, int result, int64_t value) {
  ExpectInteger(Convert(v, cType), cType, result, value);
}

struct BigCase {
  Bytes row;
  SQLSMALLINT cType;
  int result;
  int64_t value;
};

TEST(BigIntValueTest, IntegerTargetsUseTheWholeRange) {
  const uint16_t kMax = 0xffff;
  const BigCase cases[] = {
      {BigIntBytes(0, 0, 1, 0, 1), SQL_C_SLONG, kDone, -65536},
      {BigIntBytes(0, 0, 1, 0, 1), SQL_C_USHORT, kFail, 0},
      {BigIntBytes(127), SQL_C_TINYINT, kDone, 127},
      {BigIntBytes(128), SQL_C_TINYINT, kFail, 0},
      {BigIntBytes(-128), SQL_C_STINYINT, kDone, -128},
      {BigIntBytes(-129), SQL_C_STINYINT, kFail, 0},
      {BigIntBytes(32767), SQL_C_SHORT, kDone, 32767},
      {BigIntBytes(32768), SQL_C_SHORT, kFail, 0},
      {BigIntBytes(-32768), SQL_C_SSHORT, kDone, -32768},
      {BigIntBytes(-32769), SQL_C_SSHORT, kFail, 0},
      {BigIntBytes(2147483647), SQL_C_SLONG, kDone, 2147483647},
      {BigIntBytes(2147483648LL), SQL_C_SLONG, kFail, 0},
      {BigIntBytes(-2147483648LL), SQL_C_SLONG, kDone, -2147483648LL},
      {BigIntBytes(-2147483649LL), SQL_C_SLONG, kFail, 0},
      {BigIntBytes(255), SQL_C_UTINYINT, kDone, 255},
      {BigIntBytes(256), SQL_C_UTINYINT, kFail, 0},
      {BigIntBytes(-1), SQL_C_UTINYINT, kFail, 0},
      {BigIntBytes(65535), SQL_C_USHORT, kDone, 65535},
      {BigIntBytes(65536), SQL_C_USHORT, kFail, 0},
      {BigIntBytes(4294967295LL), SQL_C_ULONG, kDone, 4294967295LL},
      {BigIntBytes(4294967296LL), SQL_C_ULONG, kFail, 0},
      {BigIntBytes(-1), SQL_C_ULONG, kFail, 0},
      {BigIntBytes(0), SQL_C_BIT, kDone, 0},
      {BigIntBytes(1), SQL_C_BIT, kDone, 1},
      {BigIntBytes(2), SQL_C_BIT, kFail, 0},
      {BigIntBytes(-1), SQL_C_BIT, kFail, 0},
      {BigIntBytes(INT64_MAX), SQL_C_SBIGINT, kDone, INT64_MAX},
      {BigIntBytes(INT64_MIN), SQL_C_SBIGINT, kDone, INT64_MIN},
      {BigIntBytes(0x8000, 0, 0, 0, 0), SQL_C_SBIGINT, kFail, 0},
      {BigIntBytes(0x8000, 0, 0, 1, 1), SQL_C_SBIGINT, kFail, 0},
      {BigIntBytes(kMax, kMax, kMax, kMax, 0), SQL_C_UBIGINT, kDone, -1},
      {BigIntBytes(kMax, kMax, kMax, kMax, 1), SQL_C_UBIGINT, kFail, 0},
      {BigIntBytes(-1), SQL_C_UBIGINT, kFail, 0},
      {BigIntBytes(0, 0, 0, 0, 1), SQL_C_USHORT, kDone, 0},  // negative zero
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    SCOPED_TRACE(i);
    ValuePtr v = Loaded(SQL_BIGINT, cases[i].row, 19);
    CheckInt(v.get(), cases[i].cType, cases[i].result, cases[i].value);
  }
}

TEST(BigIntValueTest, CharHasEveryDigit) {
  struct Case {
    Bytes row;
    SQLLEN cbValueMax;
    int result;
    const char* text;
  };
  const Case cases[] = {
      {BigIntBytes(1234567890123456789LL), 20, kDone, "1234567890123456789"},
      {BigIntBytes(1234567890123456789LL), 19, kFail, "1234567890123456789"},
      {BigIntBytes(INT64_MIN), 21, kDone, "-9223372036854775808"},
      {BigIntBytes(INT64_MIN), 20, kFail, "-9223372036854775808"},
      {BigIntBytes(0xffff, 0xffff, 0xffff, 0xffff, 1), 22, kDone, "-18446744073709551615"},
      {BigIntBytes(0), 2, kDone, "0"},
      {BigIntBytes(0), 1, kFail, "0"},
      {BigIntBytes(0, 0, 0, 0, 1), 2, kDone, "0"},
      {BigIntBytes(-7), 0, kFail, "-7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ValuePtr v = Loaded(SQL_BIGINT, c.row, 19);
    for (SQLSMALLINT t : {SQLSMALLINT(SQL_C_CHAR), SQLSMALLINT(SQL_C_DEFAULT)}) {
      Conversion out = Convert(v.get(), t, c.cbValueMax);
      EXPECT_EQ(static_cast<SQLLEN>(std::strlen(c.text)), out.pcb);
      ExpectText(out, c.result, c.text);
    }
  }
}

TEST(BigIntValueTest, FloatingTargets) {
  ValuePtr v = Loaded(SQL_BIGINT, BigIntBytes(9007199254740993LL));
  EXPECT_EQ(9007199254740992.0, Convert(v.get(), SQL_C_DOUBLE).As<double>());
  ValuePtr neg = Loaded(SQL_BIGINT, BigIntBytes(-5));
  EXPECT_EQ(-5.0, Convert(neg.get(), SQL_C_DOUBLE).As<double>());
  Conversion f = Convert(neg.get(), SQL_C_FLOAT);
  EXPECT_EQ(kDone, f.result);
  EXPECT_EQ(-5.0f, f.As<float>());
  ValuePtr zero = Loaded(SQL_BIGINT, BigIntBytes(0));
  EXPECT_EQ(kDone, Convert(zero.get(), SQL_C_FLOAT).result);
  EXPECT_EQ(0.0f, Convert(zero.get(), SQL_C_FLOAT).As<float>());
}

TEST(BigIntValueTest, BinaryIsSignAndMagnitude) {
  ValuePtr v = Loaded(SQL_BIGINT, BigIntBytes(-5), 19);
  Conversion small = Convert(v.get(), SQL_C_BINARY, 7);
  EXPECT_EQ(kFail, small.result);
  EXPECT_EQ(8, small.pcb);
  EXPECT_TRUE(small.untouched);
  for (SQLLEN cb : {8, 9}) {
    Conversion out = Convert(v.get(), SQL_C_BINARY, cb);
    EXPECT_EQ(kDone, out.result);
    EXPECT_EQ(8, out.pcb);
    EXPECT_EQ(0x8000000000000005ull, out.As<uint64_t>());
    EXPECT_TRUE(out.guardsIntact);
    if (cb == 9) {
      EXPECT_EQ(kGuardByte, out.buffer[8]);
    }
  }
  // A magnitude that needs bit 63 cannot be shown beside the sign.
  ValuePtr huge = Loaded(SQL_BIGINT, BigIntBytes(0x8000, 0, 0, 0, 0));
  EXPECT_EQ(kFail, Convert(huge.get(), SQL_C_BINARY, 8).result);
}

TEST(BigIntValueTest, LoadTakesTenBytes) {
  ValuePtr v = Loaded(SQL_BIGINT, BigIntBytes(42));
  Bytes nine = BigIntBytes(7);
  nine.pop_back();
  EXPECT_EQ(kLoadMalformed, LoadBytes(v.get(), nine));
  EXPECT_EQ(0u, static_cast<BigIntValue*>(v.get())->Magnitude());
  EXPECT_EQ(kLoadDone, LoadBytes(v.get(), BigIntBytes(0x0102, 0x0304, 0x0506, 0x0708, 0)));
  EXPECT_EQ(0x0102030405060708ull, static_cast<BigIntValue*>(v.get())->Magnitude());
}

struct NumericText {
  bool negative;
  int8_t exponent;
  const char* digits;
  const char* text;
};

TEST(NumericValueTest, CharShowsTheExactDigits) {
  const NumericText cases[] = {
      {false, -3, "12340", "12.340"},
      {true, -2, "5", "-0.05"},
      {false, 0, "0", "0"},
      {true, 0, "0", "0"},
      {false, -2, "0", "0.00"},
      {false, 3, "12", "12000"},
      {false, 0, "9999999999999999", "9999999999999999"},
      {true, -16, "1234567890123456", "-0.1234567890123456"},
      {false, -4, "1234567890123456", "123456789012.3456"},
  };
  for (const NumericText& c : cases) {
    SCOPED_TRACE(c.text);
    ValuePtr v = Loaded(SQL_NUMERIC, NumericBytes(c.negative, c.exponent, c.digits), 20, 16);
    ASSERT_TRUE(v);
    Conversion out = Convert(v.get(), SQL_C_CHAR, 200);
    EXPECT_EQ(kDone, out.result);
    EXPECT_EQ(c.text, out.Text());
    EXPECT_EQ(static_cast<SQLLEN>(std::strlen(c.text)), out.pcb);
    EXPECT_EQ(c.text, Convert(v.get(), SQL_C_DEFAULT, 200).Text());
  }
  ValuePtr tiny = Loaded(SQL_NUMERIC, NumericBytes(false, -128, "1"));
  EXPECT_EQ("0." + std::string(127, '0') + "1", Convert(tiny.get(), SQL_C_CHAR, 200).Text());
  ValuePtr huge = Loaded(SQL_NUMERIC, NumericBytes(true, 127, "9999999999999999"));
  EXPECT_EQ("-9999999999999999" + std::string(127, '0'),
            Convert(huge.get(), SQL_C_CHAR, 200).Text());
}

TEST(NumericValueTest, CharTruncationKeepsWholeDigits) {
  ValuePtr v = Loaded(SQL_NUMERIC, NumericBytes(true, -3, "12340"));
  struct Case {
    SQLLEN cbValueMax;
    int result;
    const char* text;
  };
  const Case cases[] = {
      {8, kDone, "-12.340"}, {9, kDone, "-12.340"}, {7, kCut, "-12.34"},
      {4, kCut, "-12"},      {3, kFail, ""},        {0, kFail, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cbValueMax);
    Conversion out = Convert(v.get(), SQL_C_CHAR, c.cbValueMax);
    EXPECT_EQ(7, out.pcb);
    ExpectText(out, c.result, c.text);
  }
}

struct NumericInt {
  bool negative;
  int8_t exponent;
  const char* digits;
  SQLSMALLINT cType;
  int result;
  int64_t value;
};

TEST(NumericValueTest, IntegerTargetsAreExact) {
  const NumericInt cases[] = {
      {false, -3, "12340", SQL_C_SLONG, kCut, 12},
      {false, -3, "12000", SQL_C_SLONG, kDone, 12},
      {false, 0, "9999999999999999", SQL_C_SBIGINT, kDone, 9999999999999999LL},
      {true, 0, "128", SQL_C_TINYINT, kDone, -128},
      {false, -1, "1275", SQL_C_TINYINT, kFail, 0},
      {false, -1, "1265", SQL_C_TINYINT, kCut, 126},
      {false, 127, "1", SQL_C_SLONG, kFail, 0},
      {false, -128, "1", SQL_C_SLONG, kCut, 0},
      {true, -1, "5", SQL_C_USHORT, kFail, 0},
      {false, 4, "1844674407370955", SQL_C_UBIGINT, kDone,
       static_cast<int64_t>(18446744073709550000ull)},
      {false, 4, "1844674407370956", SQL_C_UBIGINT, kFail, 0},
      {false, 0, "0", SQL_C_BIT, kDone, 0},
      {false, -1, "15", SQL_C_BIT, kCut, 1},
      {false, 0, "2", SQL_C_BIT, kFail, 0},
      {false, 0, "65535", SQL_C_USHORT, kDone, 65535},
      {false, 0, "4294967296", SQL_C_ULONG, kFail, 0},
  };
  for (const NumericInt& c : cases) {
    SCOPED_TRACE(std::string(c.digits) + "e" + std::to_string(c.exponent));
    ValuePtr v = Loaded(SQL_NUMERIC, NumericBytes(c.negative, c.exponent, c.digits));
    CheckInt(v.get(), c.cType, c.result, c.value);
  }
}

TEST(NumericValueTest, FloatingTargets) {
  struct Case {
    bool negative;
    int8_t exponent;
    const char* digits;
    int floatResult;
    double value;
  };
  const Case cases[] = {
      {false, -3, "1", kCut, 0.001},    {true, -1, "25", kDone, -2.5},
      {false, 0, "0", kDone, 0.0},      {false, -1, "5", kDone, 0.5},
      {false, -1, "1", kCut, 0.1},      {false, 39, "1", kFail, 1e39},
      {true, 0, "3", kDone, -3.0},      {false, -60, "1", kCut, 1e-60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ValuePtr v = Loaded(SQL_NUMERIC, NumericBytes(c.negative, c.exponent, c.digits));
    Conversion d = Convert(v.get(), SQL_C_DOUBLE);
    EXPECT_EQ(kDone, d.result);
    EXPECT_EQ(c.value, d.As<double>());
    Conversion f = Convert(v.get(), SQL_C_FLOAT);
    EXPECT_EQ(c.floatResult, f.result);
    if (c.floatResult == kFail) {
      EXPECT_TRUE(f.untouched);
    } else {
      EXPECT_EQ(static_cast<float>(c.value), f.As<float>());
    }
  }
}

TEST(NumericValueTest, BinaryIsTwelveBytes) {
  Bytes row = NumericBytes(true, -2, "123456");
  ValuePtr v = Loaded(SQL_NUMERIC, row, 30);
  Conversion small = Convert(v.get(), SQL_C_BINARY, 11);
  EXPECT_EQ(kFail, small.result);
  EXPECT_EQ(12, small.pcb);
  EXPECT_TRUE(small.untouched);
  Conversion out = Convert(v.get(), SQL_C_BINARY, 13);
  EXPECT_EQ(kDone, out.result);
  EXPECT_EQ(12, out.pcb);
  Bytes expected = {row[0], row[1], 0, 0};
  expected.insert(expected.end(), row.begin() + 2, row.end());
  EXPECT_EQ(expected, Bytes(out.buffer.begin(), out.buffer.begin() + 12));
  EXPECT_EQ(kGuardByte, out.buffer[12]);
  EXPECT_TRUE(out.guardsIntact);
}

TEST(NumericValueTest, LoadRefusesShortBytesAndBadDigits) {
  ValuePtr v = Loaded(SQL_NUMERIC, NumericBytes(false, 0, "42"));
  Bytes bad = NumericBytes(false, 0, "42");
  bad[5] = 0x1a;
  EXPECT_EQ(kLoadMalformed, LoadBytes(v.get(), bad));
  EXPECT_EQ("0", Convert(v.get(), SQL_C_CHAR).Text());
  Bytes nine = NumericBytes(false, 0, "42");
  nine.pop_back();
  EXPECT_EQ(kLoadMalformed, LoadBytes(v.get(), nine));
  EXPECT_EQ(kLoadDone, LoadBytes(v.get(), NumericBytes(false, 0, "42")));
  EXPECT_EQ("42", Convert(v.get(), SQL_C_CHAR).Text());
}

}  // namespace
}  // namespace convert_test
