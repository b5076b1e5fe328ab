// REAL and FLOAT values, and FormatDouble.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "convert/FloatingValues.h"
#include "convert/FormatDouble.h"
#include "convert_test_util.h"

namespace convert_test {
namespace {

const int kFail = kConversionFailed, kDone = kConversionDone, kCut = kConversionTruncated;

struct IntCase {
  double held;
  SQLSMALLINT cType;
  int result;
  int64_t value;
};

const IntCase kFloatIntCases[] = {
    {3.25, SQL_C_SLONG, kCut, 3},
    {-3.25, SQL_C_SLONG, kCut, -3},
    {0.0, SQL_C_SLONG, kDone, 0},
    {2147483647.0, SQL_C_SLONG, kDone, 2147483647},
    {2147483647.5, SQL_C_SLONG, kFail, 0},
    {2147483648.0, SQL_C_SLONG, kFail, 0},
    {-2147483648.0, SQL_C_LONG, kDone, -2147483648LL},
    {-2147483648.5, SQL_C_LONG, kFail, 0},
    {127.0, SQL_C_TINYINT, kDone, 127},
    {127.5, SQL_C_TINYINT, kFail, 0},
    {126.9, SQL_C_TINYINT, kCut, 126},
    {-128.0, SQL_C_STINYINT, kDone, -128},
    {-128.5, SQL_C_STINYINT, kFail, 0},
    {32767.0, SQL_C_SHORT, kDone, 32767},
    {32768.0, SQL_C_SHORT, kFail, 0},
    {-32768.0, SQL_C_SSHORT, kDone, -32768},
    {-32769.0, SQL_C_SSHORT, kFail, 0},
    {255.0, SQL_C_UTINYINT, kDone, 255},
    {255.5, SQL_C_UTINYINT, kFail, 0},
    {-0.5, SQL_C_UTINYINT, kFail, 0},
    {0.0, SQL_C_UTINYINT, kDone, 0},
    {65535.0, SQL_C_USHORT, kDone, 65535},
    {65536.0, SQL_C_USHORT, kFail, 0},
    {-1.0, SQL_C_USHORT, kFail, 0},
    {4294967295.0, SQL_C_ULONG, kDone, 4294967295LL},
    {4294967296.0, SQL_C_ULONG, kFail, 0},
    {-1.0, SQL_C_ULONG, kFail, 0},
    {0.0, SQL_C_BIT, kDone, 0},
    {1.0, SQL_C_BIT, kDone, 1},
    {0.5, SQL_C_BIT, kCut, 0},
    {1.5, SQL_C_BIT, kCut, 1},
    {2.0, SQL_C_BIT, kFail, 0},
    {-0.5, SQL_C_BIT, kFail, 0},
    {9.2e18, SQL_C_SBIGINT, kDone, 9200000000000000000LL},
    {9223372036854775808.0, SQL_C_SBIGINT, kFail, 0},
    {-9223372036854775808.0, SQL_C_SBIGINT, kDone, INT64_MIN},
    {-1.5, SQL_C_SBIGINT, kCut, -1},
    {18446744073709549568.0, SQL_C_UBIGINT, kDone, static_cast<int64_t>(18446744073709549568ull)},
    {18446744073709551616.0, SQL_C_UBIGINT, kFail, 0},
    {-1.0, SQL_C_UBIGINT, kFail, 0},
    {NAN, SQL_C_SLONG, kFail, 0},
    {INFINITY, SQL_C_SBIGINT, kFail, 0},
    {-INFINITY, SQL_C_SBIGINT, kFail, 0},
};

void CheckIntCase(const ColumnValue* v, const IntCase& c) {
  ExpectInteger(Convert(v, c.cType), c.cType, c.result, c.value);
}

TEST(FloatingValueTest, FloatIntegerTargets) {
  for (const IntCase& c : kFloatIntCases) {
    SCOPED_TRACE(std::to_string(c.held) + " as " + std::to_string(c.cType));
    ValuePtr v = Loaded(SQL_FLOAT, LE(c.held), 8);
    ASSERT_TRUE(v);
    CheckIntCase(v.get(), c);
  }
}

// REAL's ranges are compared in double precision: 2^31 and 2^32 as floats
// are out of range rather than overflowing the target.
TEST(FloatingValueTest, RealIntegerTargets) {
  const IntCase cases[] = {
      {2147483648.0, SQL_C_SLONG, kFail, 0},
      {2147483520.0, SQL_C_SLONG, kDone, 2147483520},
      {-2147483648.0, SQL_C_SLONG, kDone, -2147483648LL},
      {4294967296.0, SQL_C_ULONG, kFail, 0},
      {4294967040.0, SQL_C_ULONG, kDone, 4294967040LL},
      {3.5, SQL_C_SLONG, kCut, 3},
      {127.0, SQL_C_TINYINT, kDone, 127},
      {128.0, SQL_C_TINYINT, kFail, 0},
      {1.5, SQL_C_BIT, kCut, 1},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.held) + " as " + std::to_string(c.cType));
    ValuePtr v = Loaded(SQL_REAL, LE(static_cast<float>(c.held)), 4);
    CheckIntCase(v.get(), c);
  }
}

struct FloatCase {
  double held;
  int result;
  float value;
};

TEST(FloatingValueTest, FloatToSinglePrecision) {
  const FloatCase cases[] = {
      {0.0, kDone, 0.0f},       {-1.5, kDone, -1.5f},     {0.1, kCut, 0.1f},
      {FLT_MAX, kDone, FLT_MAX}, {-FLT_MAX, kDone, -FLT_MAX}, {3.5e38, kFail, 0},
      {-3.5e38, kFail, 0},      {1e-50, kCut, 0.0f},      {INFINITY, kFail, 0},
  };
  for (const FloatCase& c : cases) {
    SCOPED_TRACE(c.held);
    ValuePtr v = Loaded(SQL_FLOAT, LE(c.held), 8);
    Conversion out = Convert(v.get(), SQL_C_FLOAT);
    EXPECT_EQ(c.result, out.result);
    EXPECT_TRUE(out.guardsIntact);
    if (c.result == kFail) {
      EXPECT_TRUE(out.untouched);
    } else {
      EXPECT_EQ(c.value, out.As<float>());
      EXPECT_EQ(4, out.pcb);
    }
  }
}

TEST(FloatingValueTest, DoubleAndRealCopies) {
  ValuePtr zero = Loaded(SQL_FLOAT, LE(0.0), 8);
  EXPECT_EQ(kDone, Convert(zero.get(), SQL_C_DOUBLE).result);
  EXPECT_EQ(0.0, Convert(zero.get(), SQL_C_DOUBLE).As<double>());
  ValuePtr real = Loaded(SQL_REAL, LE(0.1f), 4);
  EXPECT_EQ(static_cast<double>(0.1f), Convert(real.get(), SQL_C_DOUBLE).As<double>());
  Conversion f = Convert(real.get(), SQL_C_FLOAT);
  EXPECT_EQ(kDone, f.result);
  EXPECT_EQ(0.1f, f.As<float>());
  ValuePtr realZero = Loaded(SQL_REAL, LE(0.0f), 4);
  EXPECT_EQ(kDone, Convert(realZero.get(), SQL_C_FLOAT).result);
}

struct CharCase {
  double held;
  SQLLEN cbValueMax;
  int result;
  const char* text;  // written text (before the NUL)
  SQLLEN length;
};

TEST(FloatingValueTest, CharLosesOnlyFractionalDigits) {
  const CharCase cases[] = {
      {3.25, 0, kFail, "", 4},      {3.25, 1, kFail, "", 4},
      {3.25, 2, kCut, "3", 4},      {3.25, 3, kCut, "3.", 4},
      {3.25, 4, kCut, "3.2", 4},    {3.25, 5, kDone, "3.25", 4},
      {3.25, 6, kDone, "3.25", 4},  {-3.25, 3, kCut, "-3", 5},
      {-3.25, 2, kFail, "", 5},     {0.0, 2, kDone, "0", 1},
      {0.001, 6, kDone, "0.001", 5}, {1.5e-7, 20, kDone, "0.00000015", 10},
      {1e20, 21, kFail, "", 21},    {1e20, 22, kDone, "100000000000000000000", 21},
      {12345678901234567.0, 40, kDone, "12345678901200000", 17},
  };
  for (const CharCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.held) + " in " + std::to_string(c.cbValueMax));
    ValuePtr v = Loaded(SQL_FLOAT, LE(c.held), 8);
    Conversion out = Convert(v.get(), SQL_C_CHAR, c.cbValueMax);
    EXPECT_EQ(c.length, out.pcb);
    ExpectText(out, c.result, c.text);
  }
}

TEST(FloatingValueTest, HugeValuesKeepEveryWholeDigit) {
  ValuePtr v = Loaded(SQL_FLOAT, LE(1e300), 8);
  Conversion out = Convert(v.get(), SQL_C_CHAR, 400);
  EXPECT_EQ(kDone, out.result);
  EXPECT_EQ(301, out.pcb);
  EXPECT_EQ("1" + std::string(300, '0'), out.Text());
  EXPECT_EQ(kFail, Convert(v.get(), SQL_C_CHAR, 128).result);
}

// A REAL shows the 7 digits it holds, so its text fits its display size
// of 13 (a client sizes its buffer by it) for values of every sign.
TEST(FloatingValueTest, RealTextHasTheDigitsARealHolds) {
  const struct {
    float held;
    const char* text;
  } cases[] = {
      {0.1f, "0.1"}, {-0.1f, "-0.1"}, {0.85f, "0.85"}, {-1234.567f, "-1234.567"},
      {16777216.0f, "16777220"}, {3.4028235e38f, "340282300000000000000000000000000000000"},
  };
  for (const auto& c : cases) {
    ValuePtr real = Loaded(SQL_REAL, LE(c.held), 4);
    Conversion out = Convert(real.get(), SQL_C_CHAR, 14);
    if (std::strlen(c.text) < 14) {
      EXPECT_EQ(kDone, out.result) << c.text;
      EXPECT_EQ(c.text, out.Text());
    } else {
      EXPECT_EQ(static_cast<SQLLEN>(std::strlen(c.text)), out.pcb);
    }
  }
  ValuePtr wide = Loaded(SQL_FLOAT, LE(static_cast<double>(0.1f)), 8);
  EXPECT_EQ("0.10000000149", Convert(wide.get(), SQL_C_CHAR).Text());  // a FLOAT keeps 12
}

TEST(FloatingValueTest, BinaryIsTheHeldBytes) {
  struct Case {
    int32_t type;
    SQLLEN cbValueMax;
    int result;
    SQLLEN size;
  };
  const Case cases[] = {
      {SQL_REAL, 3, kFail, 4}, {SQL_REAL, 4, kDone, 4}, {SQL_REAL, 5, kDone, 4},
      {SQL_FLOAT, 7, kFail, 8}, {SQL_FLOAT, 8, kDone, 8}, {SQL_FLOAT, 9, kDone, 8},
  };
  for (const Case& c : cases) {
    Bytes row = c.type == SQL_REAL ? LE(-2.5f) : LE(-2.5);
    ValuePtr v = Loaded(c.type, row, 15);  // declared length does not matter
    Conversion out = Convert(v.get(), SQL_C_BINARY, c.cbValueMax);
    EXPECT_EQ(c.size, out.pcb);
    ExpectBytes(out, c.result, row);
  }
}

TEST(FloatingValueTest, LoadRefusesShortBytes) {
  ValuePtr real = Loaded(SQL_REAL, LE(1.5f));
  EXPECT_EQ(kLoadMalformed, LoadBytes(real.get(), Bytes{1, 2, 3}));
  EXPECT_EQ(0.0, static_cast<RealValue*>(real.get())->AsDouble());
  EXPECT_EQ(kLoadDone, LoadBytes(real.get(), LE(-1.5f)));
  EXPECT_EQ(-1.5, static_cast<RealValue*>(real.get())->AsDouble());
  ValuePtr dbl = Loaded(SQL_FLOAT, LE(1.5));
  EXPECT_EQ(kLoadMalformed, LoadBytes(dbl.get(), Bytes(7, 1)));
  EXPECT_EQ(kLoadMalformed, dbl->Load(nullptr, 0));
  EXPECT_EQ(0.0, static_cast<FloatValue*>(dbl.get())->AsDouble());
}

struct FormatCase {
  double value;
  const char* text;
  uint32_t whole;
};

TEST(FormatDoubleTest, PlainDecimalWithTwelveDigits) {
  const FormatCase cases[] = {
      {12.5, "12.5", 2},
      {100, "100", 3},
      {0.001, "0.001", 1},
      {-3, "-3", 2},
      {0, "0", 1},
      {-0.0, "0", 1},
      {1234567890123456.0, "1234567890120000", 16},
      {0.1 + 0.2, "0.3", 1},
      {123456789012.5, "123456789012", 12},  // printf rounds half to even
      {123456789013.5, "123456789014", 12},
      {-0.000123, "-0.000123", 2},
      {9.99999999999, "9.99999999999", 1},
      {9.9999999999999, "10", 2},
      {5e-324, nullptr, 1},
      {NAN, "nan", 3},
      {-INFINITY, "-inf", 4},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.value);
    char text[kFormatDoubleMaxText + 1];
    uint32_t whole = 99;
    uint32_t n = FormatDouble(c.value, text, sizeof text, &whole);
    EXPECT_EQ(std::strlen(text), n);
    EXPECT_EQ(c.whole, whole);
    if (c.text) {
      EXPECT_STREQ(c.text, text);
    }
  }
}

TEST(FormatDoubleTest, CopiesAtMostLimitMinusOne) {
  char text[8];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(9u, FormatDouble(-1234.125, text, 5));
  EXPECT_STREQ("-123", text);
  EXPECT_EQ('x', text[5]);
  char none = 'x';
  EXPECT_EQ(1u, FormatDouble(0, &none, 0));
  EXPECT_EQ('x', none);
  // The extremes fit the documented maximum.
  char big[kFormatDoubleMaxText + 1];
  EXPECT_LE(FormatDouble(-DBL_MAX, big, sizeof big), kFormatDoubleMaxText);
  EXPECT_LE(FormatDouble(-5e-324, big, sizeof big), kFormatDoubleMaxText);
  EXPECT_EQ(std::string("-0.") + std::string(323, '0') + "494065645841", big);
}

}  // namespace
}  // namespace convert_test
