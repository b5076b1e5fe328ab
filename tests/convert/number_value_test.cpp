// The number classes: every integer target's limits (BIGINT, exact), the
// small integers' widening rules, doubles with fractions, NaN and
// infinities, NUMERIC digits, texts and bytes, and FormatDouble.
#include <cfloat>
#include <cmath>

#include "convert/FormatDouble.h"
#include "convert_test_util.h"

namespace convert_test {
namespace {

struct IntCase {
  int32_t type;
  Bytes row;
  SQLSMALLINT cType;
  int result;
  int64_t value;
};

const uint16_t kMax = 0xffff;
Bytes I8(int v) { return LE(static_cast<int8_t>(v)); }
Bytes I16(int v) { return LE(static_cast<int16_t>(v)); }
Bytes I32(int64_t v) { return LE(static_cast<int32_t>(v)); }
Bytes B(int64_t v) { return BigIntBytes(v); }
Bytes N(bool neg, int8_t exp, const char* digits) { return NumericBytes(neg, exp, digits); }

const IntCase kIntCases[] = {
    // Every target's limits, on BIGINT's exact magnitude and sign.
    {SQL_BIGINT, B(127), SQL_C_TINYINT, kDone, 127}, {SQL_BIGINT, B(128), SQL_C_TINYINT, kFail, 0},
    {SQL_BIGINT, B(-128), SQL_C_STINYINT, kDone, -128}, {SQL_BIGINT, B(-129), SQL_C_STINYINT, kFail, 0},
    {SQL_BIGINT, B(32767), SQL_C_SHORT, kDone, 32767}, {SQL_BIGINT, B(32768), SQL_C_SHORT, kFail, 0},
    {SQL_BIGINT, B(-32768), SQL_C_SSHORT, kDone, -32768}, {SQL_BIGINT, B(-32769), SQL_C_SSHORT, kFail, 0},
    {SQL_BIGINT, B(2147483647), SQL_C_SLONG, kDone, 2147483647},
    {SQL_BIGINT, B(2147483648LL), SQL_C_SLONG, kFail, 0},
    {SQL_BIGINT, B(-2147483648LL), SQL_C_SLONG, kDone, -2147483648LL},
    {SQL_BIGINT, B(-2147483649LL), SQL_C_SLONG, kFail, 0},
    {SQL_BIGINT, B(255), SQL_C_UTINYINT, kDone, 255}, {SQL_BIGINT, B(256), SQL_C_UTINYINT, kFail, 0},
    {SQL_BIGINT, B(-1), SQL_C_UTINYINT, kFail, 0}, {SQL_BIGINT, B(65535), SQL_C_USHORT, kDone, 65535},
    {SQL_BIGINT, B(65536), SQL_C_USHORT, kFail, 0},
    {SQL_BIGINT, B(4294967295LL), SQL_C_ULONG, kDone, 4294967295LL},
    {SQL_BIGINT, B(4294967296LL), SQL_C_ULONG, kFail, 0}, {SQL_BIGINT, B(-1), SQL_C_ULONG, kFail, 0},
    {SQL_BIGINT, B(0), SQL_C_BIT, kDone, 0}, {SQL_BIGINT, B(1), SQL_C_BIT, kDone, 1},
    {SQL_BIGINT, B(2), SQL_C_BIT, kFail, 0}, {SQL_BIGINT, B(-1), SQL_C_BIT, kFail, 0},
    {SQL_BIGINT, B(INT64_MAX), SQL_C_SBIGINT, kDone, INT64_MAX},
    {SQL_BIGINT, B(INT64_MIN), SQL_C_SBIGINT, kDone, INT64_MIN},
    {SQL_BIGINT, BigIntBytes(0x8000, 0, 0, 0, 0), SQL_C_SBIGINT, kFail, 0},
    {SQL_BIGINT, BigIntBytes(0x8000, 0, 0, 1, 1), SQL_C_SBIGINT, kFail, 0},
    {SQL_BIGINT, BigIntBytes(kMax, kMax, kMax, kMax, 0), SQL_C_UBIGINT, kDone, -1},
    {SQL_BIGINT, BigIntBytes(kMax, kMax, kMax, kMax, 1), SQL_C_UBIGINT, kFail, 0},
    {SQL_BIGINT, BigIntBytes(0, 0, 0, 0, 1), SQL_C_USHORT, kDone, 0},  // negative zero
    // The small integers widen to the unsigned types with their sign.
    {SQL_INTEGER, I32(-1), SQL_C_ULONG, kDone, 4294967295LL}, {SQL_INTEGER, I32(-1), SQL_C_UBIGINT, kDone, -1},
    {SQL_INTEGER, I32(-1), SQL_C_USHORT, kFail, 0}, {SQL_INTEGER, I32(65536), SQL_C_USHORT, kFail, 0},
    {SQL_INTEGER, I32(-2147483648LL), SQL_C_LONG, kDone, -2147483648LL},
    {SQL_INTEGER, I32(2), SQL_C_BIT, kFail, 0}, {SQL_INTEGER, I32(256), SQL_C_UTINYINT, kFail, 0},
    {SQL_SMALLINT, I16(-1), SQL_C_USHORT, kDone, 65535},
    {SQL_SMALLINT, I16(-32768), SQL_C_ULONG, kDone, 4294934528LL},
    {SQL_SMALLINT, I16(-1), SQL_C_UTINYINT, kFail, 0}, {SQL_SMALLINT, I16(128), SQL_C_TINYINT, kFail, 0},
    {SQL_TINYINT, I8(-1), SQL_C_UTINYINT, kDone, 255}, {SQL_TINYINT, I8(-1), SQL_C_USHORT, kDone, 65535},
    {SQL_TINYINT, I8(-128), SQL_C_TINYINT, kDone, -128}, {SQL_TINYINT, I8(-1), SQL_C_BIT, kFail, 0},
    {SQL_BIT, {2}, SQL_C_BIT, kDone, 2}, {SQL_BIT, {200}, SQL_C_TINYINT, kFail, 0},
    {SQL_BIT, {200}, SQL_C_UTINYINT, kDone, 200}, {SQL_BIT, {255}, SQL_C_USHORT, kDone, 255},
    // Doubles: a dropped fraction truncates, a fraction beyond a limit fails.
    {SQL_FLOAT, LE(3.25), SQL_C_SLONG, kCut, 3}, {SQL_FLOAT, LE(-3.25), SQL_C_SLONG, kCut, -3},
    {SQL_FLOAT, LE(2147483647.0), SQL_C_SLONG, kDone, 2147483647},
    {SQL_FLOAT, LE(2147483647.5), SQL_C_SLONG, kFail, 0},
    {SQL_FLOAT, LE(-2147483648.5), SQL_C_LONG, kFail, 0}, {SQL_FLOAT, LE(127.5), SQL_C_TINYINT, kFail, 0},
    {SQL_FLOAT, LE(126.9), SQL_C_TINYINT, kCut, 126}, {SQL_FLOAT, LE(-0.5), SQL_C_UTINYINT, kFail, 0},
    {SQL_FLOAT, LE(0.5), SQL_C_BIT, kCut, 0}, {SQL_FLOAT, LE(1.5), SQL_C_BIT, kCut, 1},
    {SQL_FLOAT, LE(2.0), SQL_C_BIT, kFail, 0}, {SQL_FLOAT, LE(-0.5), SQL_C_BIT, kFail, 0},
    {SQL_FLOAT, LE(9223372036854775808.0), SQL_C_SBIGINT, kFail, 0},
    {SQL_FLOAT, LE(-9223372036854775808.0), SQL_C_SBIGINT, kDone, INT64_MIN},
    {SQL_FLOAT, LE(18446744073709549568.0), SQL_C_UBIGINT, kDone, int64_t(18446744073709549568ull)},
    {SQL_FLOAT, LE(18446744073709551616.0), SQL_C_UBIGINT, kFail, 0},
    {SQL_FLOAT, LE(double(NAN)), SQL_C_SLONG, kFail, 0},
    {SQL_FLOAT, LE(double(INFINITY)), SQL_C_SBIGINT, kFail, 0},
    {SQL_FLOAT, LE(-double(INFINITY)), SQL_C_SBIGINT, kFail, 0},
    // A REAL's ranges are compared in double precision.
    {SQL_REAL, LE(2147483648.0f), SQL_C_SLONG, kFail, 0},
    {SQL_REAL, LE(2147483520.0f), SQL_C_SLONG, kDone, 2147483520},
    {SQL_REAL, LE(4294967296.0f), SQL_C_ULONG, kFail, 0},
    {SQL_REAL, LE(4294967040.0f), SQL_C_ULONG, kDone, 4294967040LL},
    // NUMERIC digits are exact.
    {SQL_NUMERIC, N(false, -3, "12340"), SQL_C_SLONG, kCut, 12},
    {SQL_NUMERIC, N(false, -3, "12000"), SQL_C_SLONG, kDone, 12},
    {SQL_NUMERIC, N(true, 0, "128"), SQL_C_TINYINT, kDone, -128},
    {SQL_NUMERIC, N(false, -1, "1275"), SQL_C_TINYINT, kFail, 0},
    {SQL_NUMERIC, N(false, 127, "1"), SQL_C_SLONG, kFail, 0},
    {SQL_NUMERIC, N(false, -128, "1"), SQL_C_SLONG, kCut, 0},
    {SQL_NUMERIC, N(true, -1, "5"), SQL_C_USHORT, kFail, 0},
    {SQL_NUMERIC, N(false, 0, "9999999999999999"), SQL_C_SBIGINT, kDone, 9999999999999999LL},
    {SQL_NUMERIC, N(false, 4, "1844674407370955"), SQL_C_UBIGINT, kDone, int64_t(18446744073709550000ull)},
    {SQL_NUMERIC, N(false, 4, "1844674407370956"), SQL_C_UBIGINT, kFail, 0},
    {SQL_NUMERIC, N(false, -1, "15"), SQL_C_BIT, kCut, 1},
};

TEST(NumberValueTest, IntegerTargets) {
  for (size_t i = 0; i < sizeof kIntCases / sizeof kIntCases[0]; ++i) {
    const IntCase& c = kIntCases[i];
    SCOPED_TRACE("case " + std::to_string(i));
    CheckInt(Loaded(c.type, c.row, 8).get(), c.cType, c.result, c.value);
  }
}

struct TextCase {
  int32_t type;
  Bytes row;
  SQLLEN cb;
  int result;
  const char* text;  // written, or the whole text when it fails
  SQLLEN length;
};

// Integers fit whole or fail; floating values lose fractional digits only.
TEST(NumberValueTest, CharTargets) {
  const TextCase cases[] = {
      {SQL_INTEGER, I32(123), 4, kDone, "123", 3}, {SQL_INTEGER, I32(123), 3, kFail, "", 3},
      {SQL_INTEGER, I32(123), 0, kFail, "", 3},
      {SQL_INTEGER, I32(-2147483648LL), 12, kDone, "-2147483648", 11},
      {SQL_INTEGER, I32(-2147483648LL), 11, kFail, "", 11},
      {SQL_SMALLINT, I16(-32768), 7, kDone, "-32768", 6}, {SQL_TINYINT, I8(-128), 5, kDone, "-128", 4},
      {SQL_BIT, {2}, 2, kDone, "1", 1}, {SQL_BIT, {1}, 1, kFail, "", 1},
      {SQL_BIGINT, B(INT64_MIN), 21, kDone, "-9223372036854775808", 20},
      {SQL_BIGINT, B(INT64_MIN), 20, kFail, "", 20},
      {SQL_BIGINT, BigIntBytes(kMax, kMax, kMax, kMax, 1), 22, kDone, "-18446744073709551615", 21},
      {SQL_BIGINT, BigIntBytes(0, 0, 0, 0, 1), 2, kDone, "0", 1},
      {SQL_FLOAT, LE(3.25), 1, kFail, "", 4}, {SQL_FLOAT, LE(3.25), 2, kCut, "3", 4},
      {SQL_FLOAT, LE(3.25), 4, kCut, "3.2", 4}, {SQL_FLOAT, LE(3.25), 5, kDone, "3.25", 4},
      {SQL_FLOAT, LE(-3.25), 2, kFail, "", 5}, {SQL_FLOAT, LE(1.5e-7), 20, kDone, "0.00000015", 10},
      {SQL_FLOAT, LE(1e20), 21, kFail, "", 21},
      {SQL_FLOAT, LE(12345678901234567.0), 40, kDone, "12345678901200000", 17},
      {SQL_FLOAT, LE(double(0.1f)), 40, kDone, "0.10000000149", 13},  // a FLOAT keeps 12 digits
      {SQL_REAL, LE(-1234.567f), 14, kDone, "-1234.567", 9},  // a REAL 7, within its display size
      {SQL_REAL, LE(16777216.0f), 14, kDone, "16777220", 8},
      {SQL_NUMERIC, N(true, -3, "12340"), 8, kDone, "-12.340", 7},
      {SQL_NUMERIC, N(true, -3, "12340"), 7, kCut, "-12.34", 7},
      {SQL_NUMERIC, N(true, -3, "12340"), 4, kCut, "-12", 7},
      {SQL_NUMERIC, N(true, -3, "12340"), 3, kFail, "", 7},
      {SQL_NUMERIC, N(true, -2, "5"), 9, kDone, "-0.05", 5}, {SQL_NUMERIC, N(true, 0, "0"), 9, kDone, "0", 1},
      {SQL_NUMERIC, N(false, 3, "12"), 9, kDone, "12000", 5},
      {SQL_NUMERIC, N(true, -16, "1234567890123456"), 20, kDone, "-0.1234567890123456", 19},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.cb));
    CheckText(Loaded(c.type, c.row, 19, 16).get(), c.cb, c.result, c.text, c.length);
  }
  ValuePtr huge = Loaded(SQL_FLOAT, LE(1e300));
  CheckText(huge.get(), 400, kDone, "1" + std::string(300, '0'), 301);
  CheckText(huge.get(), 128, kFail, "", 301);
  CheckText(Loaded(SQL_NUMERIC, N(false, -128, "1")).get(), 200, kDone, "0." + std::string(127, '0') + "1", 130);
  CheckText(Loaded(SQL_NUMERIC, N(true, 127, "9999999999999999")).get(), 200, kDone,
            "-9999999999999999" + std::string(127, '0'), 144);
}

// Binary: the held bytes whole, whatever the declared length; BIGINT as
// sign and magnitude, refused (length 8, nothing written) when the
// magnitude needs bit 63; NUMERIC as twelve bytes.
TEST(NumberValueTest, BinaryTargets) {
  const struct {
    int32_t type;
    Bytes row;
    SQLLEN cb;
    int result;
    Bytes out;
    SQLLEN length;
  } cases[] = {
      {SQL_INTEGER, I32(-2), 3, kFail, {}, 4}, {SQL_INTEGER, I32(-2), 5, kDone, I32(-2), 4},
      {SQL_SMALLINT, I16(-2), 2, kDone, I16(-2), 2}, {SQL_TINYINT, I8(-2), 0, kFail, {}, 1},
      {SQL_BIT, {1}, 1, kDone, {1}, 1}, {SQL_REAL, LE(-2.5f), 3, kFail, {}, 4},
      {SQL_REAL, LE(-2.5f), 4, kDone, LE(-2.5f), 4}, {SQL_FLOAT, LE(-2.5), 9, kDone, LE(-2.5), 8},
      {SQL_BIGINT, B(-5), 7, kFail, {}, 8}, {SQL_BIGINT, B(-5), 9, kDone, LE(0x8000000000000005ull), 8},
      {SQL_BIGINT, BigIntBytes(0x8000, 0, 0, 0, 0), 8, kFail, {}, 8},
      {SQL_BIGINT, BigIntBytes(kMax, kMax, kMax, kMax, 1), 16, kFail, {}, 8},
      {SQL_NUMERIC, N(true, -2, "123456"), 11, kFail, {}, 12},
      {SQL_NUMERIC, N(true, -2, "123456"), 13, kDone,
       Cat({1, 0xfe, 0, 0}, Bytes{0x56, 0x34, 0x12, 0, 0, 0, 0, 0}), 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " in " + std::to_string(c.cb));
    Check(Loaded(c.type, c.row, 30).get(), SQL_C_BINARY, c.cb, c.result, c.out, c.length);
  }
}

TEST(NumberValueTest, FloatingTargets) {
  const struct {
    int32_t type;
    Bytes row;
    SQLSMALLINT cType;
    int result;
    double value;
  } cases[] = {
      {SQL_INTEGER, I32(2147483647), SQL_C_DOUBLE, kDone, 2147483647.0},
      {SQL_INTEGER, I32(-123), SQL_C_FLOAT, kDone, -123.0},
      {SQL_BIGINT, B(9007199254740993LL), SQL_C_DOUBLE, kDone, 9007199254740992.0},
      {SQL_BIGINT, B(-5), SQL_C_FLOAT, kDone, -5.0}, {SQL_REAL, LE(0.1f), SQL_C_DOUBLE, kDone, double(0.1f)},
      {SQL_FLOAT, LE(0.1), SQL_C_FLOAT, kCut, 0.1}, {SQL_FLOAT, LE(-1.5), SQL_C_FLOAT, kDone, -1.5},
      {SQL_FLOAT, LE(double(FLT_MAX)), SQL_C_FLOAT, kDone, FLT_MAX},
      {SQL_FLOAT, LE(3.5e38), SQL_C_FLOAT, kFail, 0}, {SQL_FLOAT, LE(-3.5e38), SQL_C_FLOAT, kFail, 0},
      {SQL_FLOAT, LE(1e-50), SQL_C_FLOAT, kCut, 0}, {SQL_FLOAT, LE(double(INFINITY)), SQL_C_FLOAT, kFail, 0},
      {SQL_NUMERIC, N(false, -3, "1"), SQL_C_FLOAT, kCut, 0.001},
      {SQL_NUMERIC, N(true, -1, "25"), SQL_C_FLOAT, kDone, -2.5},
      {SQL_NUMERIC, N(false, 39, "1"), SQL_C_FLOAT, kFail, 0},
      {SQL_NUMERIC, N(false, 39, "1"), SQL_C_DOUBLE, kDone, 1e39},
      {SQL_NUMERIC, N(false, -60, "1"), SQL_C_DOUBLE, kDone, 1e-60},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    Bytes out = c.cType == SQL_C_FLOAT ? LE(static_cast<float>(c.value)) : LE(c.value);
    Check(Loaded(c.type, c.row).get(), c.cType, 0, c.result, out, c.result == kFail ? SQL_NO_TOTAL : SQLLEN(out.size()));
  }
}

// Fewer bytes than the layout (or a BCD digit that is not one) leave the
// value empty: it reads as 0.
TEST(NumberValueTest, LoadRefusesShortBytesAndBadDigits) {
  Bytes badDigit = N(false, 0, "42");
  badDigit[5] = 0x1a;
  const struct {
    int32_t type;
    Bytes good, bad;
    const char* text;
  } cases[] = {
      {SQL_BIT, {0xff}, {}, "1"}, {SQL_TINYINT, {0x7f, 0x99}, {}, "127"},
      {SQL_SMALLINT, {0x00, 0x80}, {0}, "-32768"}, {SQL_INTEGER, {0xff, 0xff, 0xff, 0x7f}, {1, 2, 3}, "2147483647"},
      {SQL_BIGINT, B(42), Bytes(9, 1), "42"}, {SQL_REAL, LE(-1.5f), {1, 2, 3}, "-1.5"},
      {SQL_FLOAT, LE(1.5), Bytes(7, 1), "1.5"}, {SQL_NUMERIC, N(false, 0, "42"), badDigit, "42"},
      {SQL_NUMERIC, N(false, 0, "42"), Bytes(9, 1), "42"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ValuePtr v = Make(c.type, 8);
    ASSERT_EQ(kLoadDone, LoadBytes(v.get(), c.good));
    EXPECT_EQ(c.text, Convert(v.get(), SQL_C_CHAR).Text());
    EXPECT_EQ(kLoadMalformed, LoadBytes(v.get(), c.bad));
    EXPECT_EQ("0", Convert(v.get(), SQL_C_CHAR).Text());
  }
}

TEST(FormatDoubleTest, PlainDecimalWithTwelveDigits) {
  const struct {
    double value;
    const char* text;
    uint32_t whole;
  } cases[] = {
      {12.5, "12.5", 2}, {0.001, "0.001", 1}, {-0.0, "0", 1},
      {1234567890123456.0, "1234567890120000", 16}, {0.1 + 0.2, "0.3", 1},
      {123456789012.5, "123456789012", 12}, {123456789013.5, "123456789014", 12},  // half to even
      {-0.000123, "-0.000123", 2}, {9.9999999999999, "10", 2}, {NAN, "nan", 3}, {-INFINITY, "-inf", 4},
  };
  for (const auto& c : cases) {
    char text[kFormatDoubleMaxText + 1];
    uint32_t whole = 99;
    EXPECT_EQ(std::strlen(c.text), FormatDouble(c.value, text, sizeof text, &whole));
    EXPECT_STREQ(c.text, text);
    EXPECT_EQ(c.whole, whole);
  }
  char text[8] = "xxxxxxx";
  EXPECT_EQ(9u, FormatDouble(-1234.125, text, 5));  // copies at most limit - 1
  EXPECT_STREQ("-123", text);
  EXPECT_EQ('x', text[5]);
  char big[kFormatDoubleMaxText + 1];
  EXPECT_LE(FormatDouble(-DBL_MAX, big, sizeof big), kFormatDoubleMaxText);
  EXPECT_LE(FormatDouble(-5e-324, big, sizeof big), kFormatDoubleMaxText);
  EXPECT_EQ(std::string("-0.") + std::string(323, '0') + "494065645841", big);
}

}  // namespace
}  // namespace convert_test
